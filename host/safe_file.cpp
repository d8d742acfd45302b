#include "safe_file.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "platform.h"
#include "unicode.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <ctime>
#endif

namespace calvex_host {
namespace {

FileNotice g_notice = nullptr;
double g_lock_wait_seconds = kDefaultLockWaitSeconds;

[[maybe_unused]] void tell(const std::string& line) {
  if (g_notice != nullptr) g_notice(line);
}

// "5" or "0.5" seconds.
[[maybe_unused]] std::string seconds_text(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", seconds);
  return text;
}

// A lock held elsewhere is tried again after this pause.
constexpr auto kLockRetryPause = std::chrono::milliseconds(20);
// A path that keeps naming a new file after each lock: give up after so many.
constexpr int kLockReopenAttemptsMax = 64;
// Temporary names: prefix, six characters mkstemps replaces, suffix.
constexpr std::string_view kTemporaryPrefix = ".calvex-";
constexpr std::string_view kTemporarySuffix = ".tmp";
constexpr size_t kTemporaryRandomChars = 6;
constexpr uint32_t kPrivateMode = 0600;
constexpr uint32_t kPermissionBits = 07777;

std::string directory_of(const std::string& path) {
  const size_t slash = path.find_last_of(
#if defined(_WIN32)
      "/\\"
#else
      "/"
#endif
  );
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string in_quotes(const std::string& path) { return "'" + path + "'"; }

#if defined(_WIN32)

std::wstring wide(const std::string& utf8) {
  const std::u16string u = utf16_from_utf8(utf8);
  return std::wstring(u.begin(), u.end());
}

std::string last_error_text(DWORD code) {
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::u16string text;
  if (n > 0 && buffer != nullptr) text.assign(buffer, buffer + n);
  if (buffer != nullptr) LocalFree(buffer);
  while (!text.empty() && (text.back() == u'\n' || text.back() == u'\r' || text.back() == u' ')) text.pop_back();
  if (text.empty()) return "system error " + std::to_string(code);
  return utf8_from_utf16(text);
}

class Handle {
 public:
  explicit Handle(HANDLE h = INVALID_HANDLE_VALUE) : h_(h) {}
  ~Handle() {
    if (h_ != INVALID_HANDLE_VALUE) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }
  HANDLE release() {
    HANDLE h = h_;
    h_ = INVALID_HANDLE_VALUE;
    return h;
  }

 private:
  HANDLE h_;
};

// Reads the rest of the file into bytes, whose size is the file's size.
bool read_all(HANDLE h, std::vector<uint8_t>* bytes) {
  size_t done = 0;
  while (done < bytes->size()) {
    DWORD got = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes->size() - done, 1u << 30));
    if (!ReadFile(h, bytes->data() + done, chunk, &got, nullptr) || got == 0) return false;
    done += got;
  }
  return true;
}

bool write_all(HANDLE h, const uint8_t* data, size_t size) {
  while (size > 0) {
    const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
    DWORD written = 0;
    if (!WriteFile(h, data, chunk, &written, nullptr) || written == 0) return false;
    data += written;
    size -= written;
  }
  return true;
}

#else

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }

 private:
  int fd_;
};

bool write_all(int fd, const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}

bool read_all(int fd, std::vector<uint8_t>* out, uint64_t limit) {
  out->clear();
  uint8_t buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    if (out->size() + static_cast<size_t>(n) > limit) {
      errno = EFBIG;
      return false;
    }
    out->insert(out->end(), buffer, buffer + n);
  }
}


// ---- temporaries removed on SIGINT, SIGTERM and SIGHUP ----
//
// A fixed table the signal handler reads: a slot's path is complete before
// its flag is set, and signals are blocked while a slot changes.
constexpr size_t kLiveTemporariesMax = 16;
constexpr size_t kTemporaryPathBytesMax = 4096;
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

struct LiveTemporary {
  volatile std::sig_atomic_t used;
  char path[kTemporaryPathBytesMax];
};
LiveTemporary g_live[kLiveTemporariesMax];
bool g_handlers_installed = false;

extern "C" void remove_live_temporaries(int signal_number) {
  for (LiveTemporary& slot : g_live) {
    if (slot.used) ::unlink(slot.path);
  }
  // The disposition is the default again (SA_RESETHAND): end as the signal would.
  ::raise(signal_number);
}

class SignalsBlocked {
 public:
  SignalsBlocked() {
    sigset_t set;
    sigemptyset(&set);
    for (int s : kCleanupSignals) sigaddset(&set, s);
    ::sigprocmask(SIG_BLOCK, &set, &saved_);
  }
  ~SignalsBlocked() { ::sigprocmask(SIG_SETMASK, &saved_, nullptr); }
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;

 private:
  sigset_t saved_;
};

void install_cleanup_handlers() {
  if (g_handlers_installed) return;
  g_handlers_installed = true;
  for (int s : kCleanupSignals) {
    struct sigaction old {};
    if (::sigaction(s, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;  // nohup stays in force
    struct sigaction action {};
    action.sa_handler = remove_live_temporaries;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int other : kCleanupSignals) sigaddset(&action.sa_mask, other);
    ::sigaction(s, &action, nullptr);
  }
}

std::string absolute_path(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char cwd[PATH_MAX];
  if (::getcwd(cwd, sizeof cwd) == nullptr) return path;
  return std::string(cwd) + "/" + path;
}

void register_temporary(const std::string& path) {
  const std::string full = absolute_path(path);
  if (full.size() >= kTemporaryPathBytesMax) return;
  const SignalsBlocked blocked;
  install_cleanup_handlers();
  for (LiveTemporary& slot : g_live) {
    if (slot.used) continue;
    std::memcpy(slot.path, full.c_str(), full.size() + 1);
    slot.used = 1;
    return;
  }
}

void forget_temporary(const std::string& path) {
  const std::string full = absolute_path(path);
  const SignalsBlocked blocked;
  for (LiveTemporary& slot : g_live) {
    if (slot.used && full == slot.path) {
      slot.used = 0;
      return;
    }
  }
}

// ".calvex-" + six letters or digits (+ ".tmp": older runs had none).
bool is_temporary_name(std::string_view name) {
  if (!name.starts_with(kTemporaryPrefix)) return false;
  std::string_view rest = name.substr(kTemporaryPrefix.size());
  if (rest.ends_with(kTemporarySuffix)) rest.remove_suffix(kTemporarySuffix.size());
  if (rest.size() != kTemporaryRandomChars) return false;
  return std::all_of(rest.begin(), rest.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  });
}

// Removes the user's temporaries in dir that runs which never ended left.
void remove_stale_temporaries(const std::string& dir) {
  DIR* listing = ::opendir(dir.c_str());
  if (listing == nullptr) return;
  const time_t now = std::time(nullptr);
  size_t removed = 0;
  while (const dirent* entry = ::readdir(listing)) {
    if (!is_temporary_name(entry->d_name)) continue;
    const std::string path = dir + "/" + entry->d_name;
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::geteuid()) continue;
    if (now - st.st_mtime < kStaleTemporarySeconds) continue;
    if (::unlink(path.c_str()) == 0) ++removed;
  }
  ::closedir(listing);
  if (removed > 0) {
    tell("calvex: removed " + std::to_string(removed) + " temporary file" + (removed == 1 ? "" : "s") +
         " of an interrupted run from '" + dir + "'");
  }
}

// The file a destination stands for: the target of a symbolic link, else the path.
bool resolve_destination(const std::string& path, std::string* resolved, std::string* error) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
    *resolved = path;
    return true;
  }
  char target[PATH_MAX];
  if (::realpath(path.c_str(), target) == nullptr) {
    *error = "cannot follow the link " + in_quotes(path) + ": " + system_reason();
    return false;
  }
  *resolved = target;
  return true;
}

// An existing destination that may be replaced: *exists and *st then hold it.
bool check_replaceable(const std::string& path, bool* exists, struct stat* st, std::string* error) {
  *exists = false;
  if (::stat(path.c_str(), st) != 0) {
    if (errno == ENOENT) return true;
    *error = "cannot use " + in_quotes(path) + ": " + system_reason();
    return false;
  }
  if (!S_ISREG(st->st_mode)) {
    *error = in_quotes(path) + " is not a regular file";
    return false;
  }
  if (::access(path.c_str(), W_OK) != 0) {
    *error = "cannot write " + in_quotes(path) + ": " + system_reason();
    return false;
  }
  if (st->st_nlink > 1) {
    *error = in_quotes(path) + " has " + std::to_string(st->st_nlink) +
             " names (hard links); replacing it would leave the other names with the old data (write to a new name instead)";
    return false;
  }
  *exists = true;
  return true;
}
#endif

}  // namespace

void set_file_notice(FileNotice notice) { g_notice = notice; }

void set_lock_wait_seconds(double seconds) { g_lock_wait_seconds = seconds < 0 ? 0 : seconds; }

std::string system_reason() {
#if defined(_WIN32)
  return last_error_text(GetLastError());
#else
  return std::strerror(errno);
#endif
}

// ---- LockedImage ----

LockedImage::~LockedImage() { unlock(); }

void LockedImage::unlock() {
#if defined(_WIN32)
  if (handle_ != nullptr) CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
#else
  if (fd_ >= 0) ::close(fd_);  // releases the lock
  fd_ = -1;
#endif
}

bool LockedImage::open(const std::string& path, LockMode mode, std::string* error) {
  path_ = path;
#if defined(_WIN32)
  (void)mode;
  // Others may read the image meanwhile, none may write it; sharing delete
  // lets a finished copy be renamed over it.
  Handle h(CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (h.get() == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    *error = code == ERROR_SHARING_VIOLATION ? "image " + in_quotes(path) + " is held open by another program"
                                             : "cannot open image " + in_quotes(path) + ": " + last_error_text(code);
    return false;
  }
  if (GetFileType(h.get()) != FILE_TYPE_DISK) {
    *error = "image " + in_quotes(path) + " is not a regular file";
    return false;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(h.get(), &size) || static_cast<uint64_t>(size.QuadPart) > kMaxImageBytes) {
    *error = "image " + in_quotes(path) + " is larger than " + std::to_string(kMaxImageBytes >> 20) + " MiB";
    return false;
  }
  bytes_.resize(static_cast<size_t>(size.QuadPart));
  if (!read_all(h.get(), &bytes_)) {
    *error = "cannot read image " + in_quotes(path) + ": " + last_error_text(GetLastError());
    return false;
  }
  handle_ = h.release();
  return true;
#else
  const std::string held = "image " + in_quotes(path) + " is held open by another program";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(g_lock_wait_seconds);
  bool told = false;
  for (int attempt = 0;; ++attempt) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
      *error = "cannot open image " + in_quotes(path) + ": " + system_reason();
      return false;
    }
    if (!S_ISREG(st.st_mode)) {
      *error = "image " + in_quotes(path) + " is not a regular file";
      return false;
    }
    Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (fd.get() < 0) {
      *error = "cannot open image " + in_quotes(path) + ": " + system_reason();
      return false;
    }
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
      *error = "image " + in_quotes(path) + " is not a regular file";
      return false;
    }
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
    const int operation = (mode == LockMode::kShared ? LOCK_SH : LOCK_EX) | LOCK_NB;
    while (::flock(fd.get(), operation) != 0) {
      if (errno == EINTR) continue;
      if (errno != EWOULDBLOCK) {
        *error = "cannot lock image " + in_quotes(path) + ": " + system_reason();
        return false;
      }
      if (std::chrono::steady_clock::now() >= deadline) {
        *error = told ? held + " (waited " + seconds_text(g_lock_wait_seconds) + " s; --wait SECONDS waits longer)"
                      : held;
        return false;
      }
      if (!told) {
        tell("calvex: image " + in_quotes(path) + " is in use by another program; waiting up to " +
             seconds_text(g_lock_wait_seconds) + " s (--wait SECONDS)");
        told = true;
      }
      std::this_thread::sleep_for(kLockRetryPause);
    }
    // Locked: but another writer may have renamed a new image over the path
    // between the open and the lock. Then the lock holds a file nobody reads.
    struct stat now {};
    if (::stat(path.c_str(), &now) == 0 && now.st_dev == st.st_dev && now.st_ino == st.st_ino) {
      if (::fstat(fd.get(), &st) != 0 || static_cast<uint64_t>(st.st_size) > kMaxImageBytes) {
        *error = "image " + in_quotes(path) + " is larger than " + std::to_string(kMaxImageBytes >> 20) + " MiB";
        return false;
      }
      if (!read_all(fd.get(), &bytes_, kMaxImageBytes)) {
        *error = "cannot read image " + in_quotes(path) + ": " + system_reason();
        return false;
      }
      mode_ = static_cast<uint32_t>(st.st_mode & kPermissionBits);
      fd_ = fd.release();
      return true;
    }
    if (attempt >= kLockReopenAttemptsMax) {
      *error = "image " + in_quotes(path) + " keeps being replaced by another program";
      return false;
    }
  }
#endif
}

// ---- TempFile ----

TempFile::~TempFile() {
  if (path_.empty() || committed_) return;
#if defined(_WIN32)
  DeleteFileW(wide(path_).c_str());
#else
  ::unlink(path_.c_str());
  forget_temporary(path_);
#endif
}

bool TempFile::create(const std::string& destination, const std::vector<uint8_t>& bytes, uint32_t mode,
                      std::string* error) {
#if defined(_WIN32)
  const std::string dir = directory_of(destination);
  (void)mode;
  wchar_t name[MAX_PATH + 1] = {0};
  if (GetTempFileNameW(wide(dir).c_str(), L"cvx", 0, name) == 0) {
    *error = "cannot create a temporary file in " + in_quotes(dir) + ": " + last_error_text(GetLastError());
    return false;
  }
  const std::wstring wname(name);
  path_ = utf8_from_utf16(std::u16string(wname.begin(), wname.end()));
  Handle h(CreateFileW(name, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (h.get() == INVALID_HANDLE_VALUE || !write_all(h.get(), bytes.data(), bytes.size())) {
    *error = "cannot write " + in_quotes(path_) + ": " + last_error_text(GetLastError());
    return false;
  }
  return true;
#else
  std::string target;
  if (!resolve_destination(destination, &target, error)) return false;
  bool exists = false;
  struct stat existing {};
  if (!check_replaceable(target, &exists, &existing, error)) return false;
  const std::string dir = directory_of(target);
  remove_stale_temporaries(dir);
  return create_in(dir, bytes, exists ? static_cast<uint32_t>(existing.st_mode & kPermissionBits) : mode,
                   exists ? &existing : nullptr, error);
#endif
}

bool TempFile::create_complete(const std::string& destination, const std::vector<uint8_t>& bytes, uint32_t mode,
                               std::string* error) {
  flushed_ = true;
  if (create(destination, bytes, mode, error)) return true;
  flushed_ = false;
  return false;
}

bool TempFile::create_private(const std::vector<uint8_t>& bytes, std::string* error) {
  std::error_code ec;
  const std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
  if (ec) {
    *error = "cannot find the folder for temporary files: " + ec.message();
    return false;
  }
  const auto utf8 = folder.u8string();
  std::string dir(utf8.begin(), utf8.end());
  while (dir.size() > 1 && (dir.back() == '/' || dir.back() == '\\')) dir.pop_back();
#if defined(_WIN32)
  return create(dir + "\\calvex-read", bytes, kPrivateMode, error);
#else
  remove_stale_temporaries(dir);
  return create_in(dir, bytes, kPrivateMode, nullptr, error);
#endif
}

#if !defined(_WIN32)
bool TempFile::create_in(const std::string& dir, const std::vector<uint8_t>& bytes, uint32_t mode,
                         const void* replaced, std::string* error) {
  std::string name = dir + "/" + std::string(kTemporaryPrefix) + std::string(kTemporaryRandomChars, 'X') +
                     std::string(kTemporarySuffix);
  // Signals stay blocked from the file's creation until its name is known
  // to the handler, so that no signal leaves it behind.
  int created = -1;
  {
    const SignalsBlocked blocked;
    created = ::mkostemps(name.data(), static_cast<int>(kTemporarySuffix.size()), O_CLOEXEC);
    if (created < 0) {
      *error = "cannot create a temporary file in " + in_quotes(dir) + ": " + system_reason();
      return false;
    }
    path_ = name;
    register_temporary(path_);
  }
  Fd fd(created);
  if (!write_all(fd.get(), bytes.data(), bytes.size())) {
    *error = "cannot write " + in_quotes(path_) + ": " + system_reason();
    return false;
  }
  if (replaced != nullptr) {
    // Owner and group first: a change of owner may clear mode bits.
    const auto* st = static_cast<const struct stat*>(replaced);
    if ((st->st_uid != ::geteuid() || st->st_gid != ::getegid()) && ::fchown(fd.get(), st->st_uid, st->st_gid) != 0) {
      *error = "cannot keep the owner (uid " + std::to_string(st->st_uid) + ") and group (gid " +
               std::to_string(st->st_gid) + ") of the file it replaces: " + system_reason();
      return false;
    }
  }
  if (::fchmod(fd.get(), static_cast<mode_t>(mode)) != 0) {
    *error = "cannot write " + in_quotes(path_) + ": " + system_reason();
    return false;
  }
  if (flushed_ && ::fsync(fd.get()) != 0) {
    *error = "cannot flush " + in_quotes(path_) + ": " + system_reason();
    return false;
  }
  if (::close(fd.release()) != 0) {
    *error = "cannot write " + in_quotes(path_) + ": " + system_reason();
    return false;
  }
  return true;
}
#endif

bool TempFile::read_back(std::vector<uint8_t>* bytes, std::string* error) const {
#if defined(_WIN32)
  Handle h(CreateFileW(wide(path_).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (h.get() == INVALID_HANDLE_VALUE || !GetFileSizeEx(h.get(), &size) ||
      static_cast<uint64_t>(size.QuadPart) > kMaxImageBytes) {
    *error = "cannot read " + in_quotes(path_) + ": " + last_error_text(GetLastError());
    return false;
  }
  bytes->resize(static_cast<size_t>(size.QuadPart));
  if (!read_all(h.get(), bytes)) {
    *error = "cannot read " + in_quotes(path_) + ": " + last_error_text(GetLastError());
    return false;
  }
  return true;
#else
  Fd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0 || !read_all(fd.get(), bytes, kMaxImageBytes)) {
    *error = "cannot read " + in_quotes(path_) + ": " + system_reason();
    return false;
  }
  return true;
#endif
}

bool TempFile::commit(const std::string& destination, std::string* error) {
#if defined(_WIN32)
  {
    Handle h(CreateFileW(wide(path_).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                         nullptr));
    if (h.get() == INVALID_HANDLE_VALUE || !FlushFileBuffers(h.get())) {
      *error = "cannot flush " + in_quotes(path_) + ": " + last_error_text(GetLastError());
      return false;
    }
  }
  if (!MoveFileExW(wide(path_).c_str(), wide(destination).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    *error = "cannot replace " + in_quotes(destination) + ": " + last_error_text(GetLastError());
    return false;
  }
#else
  std::string target;
  if (!resolve_destination(destination, &target, error)) return false;
  if (!flushed_) {
    Fd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0 || ::fsync(fd.get()) != 0) {
      *error = "cannot flush " + in_quotes(path_) + ": " + system_reason();
      return false;
    }
    if (::close(fd.release()) != 0) {
      *error = "cannot flush " + in_quotes(path_) + ": " + system_reason();
      return false;
    }
  }
  {
    const SignalsBlocked blocked;
    if (::rename(path_.c_str(), target.c_str()) != 0) {
      *error = "cannot replace " + in_quotes(destination) + ": " + system_reason();
      return false;
    }
    forget_temporary(path_);
  }
  Fd dir(::open(directory_of(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() >= 0) ::fsync(dir.get());
#endif
  committed_ = true;
  return true;
}

bool TempFile::commit_over(LockedImage& image, const std::string& destination, std::string* error) {
#if defined(_WIN32)
  if (same_file(image.path(), destination)) image.unlock();
#else
  (void)image;
#endif
  return commit(destination, error);
}

bool write_file_safely(const std::string& destination, std::string_view bytes, std::string* error) {
  if (destination == "-") {
    if (!platform::write_text(platform::Stream::kOut, bytes)) {
      *error = "cannot write to standard output: " + system_reason();
      return false;
    }
    return true;
  }
  constexpr uint32_t kNewFileMode = 0644;
#if !defined(_WIN32)
  struct stat st {};
  if (::stat(destination.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    *error = "output " + in_quotes(destination) + " is not a regular file";
    return false;
  }
#endif
  TempFile temp;
  if (!temp.create(destination, std::vector<uint8_t>(bytes.begin(), bytes.end()), kNewFileMode, error)) return false;
  return temp.commit(destination, error);
}

bool same_file(const std::string& a, const std::string& b) {
#if defined(_WIN32)
  auto info = [](const std::string& path, BY_HANDLE_FILE_INFORMATION* out) {
    Handle h(CreateFileW(wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return h.get() != INVALID_HANDLE_VALUE && GetFileInformationByHandle(h.get(), out);
  };
  BY_HANDLE_FILE_INFORMATION x{}, y{};
  if (!info(a, &x) || !info(b, &y)) return false;
  return x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
         x.nFileIndexLow == y.nFileIndexLow;
#else
  struct stat x {}, y {};
  if (::stat(a.c_str(), &x) != 0 || ::stat(b.c_str(), &y) != 0) return false;
  return x.st_dev == y.st_dev && x.st_ino == y.st_ino;
#endif
}

bool read_regular_file(const std::string& path, uint64_t limit, std::vector<uint8_t>* bytes, std::string* error) {
#if defined(_WIN32)
  Handle h(CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (h.get() == INVALID_HANDLE_VALUE) {
    *error = "cannot open: " + last_error_text(GetLastError());
    return false;
  }
  if (GetFileType(h.get()) != FILE_TYPE_DISK) {
    *error = "not a regular file";
    return false;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(h.get(), &size)) {
    *error = "cannot read: " + last_error_text(GetLastError());
    return false;
  }
  if (static_cast<uint64_t>(size.QuadPart) > limit) {
    *error = "larger than " + std::to_string(limit >> 20) + " MiB";
    return false;
  }
  bytes->resize(static_cast<size_t>(size.QuadPart));
  if (!read_all(h.get(), bytes)) {
    *error = "cannot read: " + last_error_text(GetLastError());
    return false;
  }
  return true;
#else
  Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) {
    *error = "cannot open: " + system_reason();
    return false;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = "not a regular file";
    return false;
  }
  if (static_cast<uint64_t>(st.st_size) > limit) {
    *error = "larger than " + std::to_string(limit >> 20) + " MiB";
    return false;
  }
  ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  if (!read_all(fd.get(), bytes, limit)) {
    *error = errno == EFBIG ? "larger than " + std::to_string(limit >> 20) + " MiB" : "cannot read: " + system_reason();
    return false;
  }
  return true;
#endif
}

}  // namespace calvex_host
