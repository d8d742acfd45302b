#include "safe_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform.h"
#include "unicode.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace calvex_host {
namespace {

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

std::string quoted(const std::string& path) { return "'" + path + "'"; }

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
    if (n <= 0) return false;
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

#endif

}  // namespace

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

bool LockedImage::open(const std::string& path, std::string* error) {
  path_ = path;
#if defined(_WIN32)
  // Others may read the image meanwhile, none may write it; sharing delete
  // lets a finished copy be renamed over it.
  Handle h(CreateFileW(wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr));
  if (h.get() == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    *error = code == ERROR_SHARING_VIOLATION ? "image " + quoted(path) + " is held open by another program"
                                             : "cannot open image " + quoted(path) + ": " + last_error_text(code);
    return false;
  }
  if (GetFileType(h.get()) != FILE_TYPE_DISK) {
    *error = "image " + quoted(path) + " is not a regular file";
    return false;
  }
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(h.get(), &size) || static_cast<uint64_t>(size.QuadPart) > kMaxImageBytes) {
    *error = "image " + quoted(path) + " is larger than " + std::to_string(kMaxImageBytes >> 20) + " MiB";
    return false;
  }
  bytes_.resize(static_cast<size_t>(size.QuadPart));
  if (!read_all(h.get(), &bytes_)) {
    *error = "cannot read image " + quoted(path) + ": " + last_error_text(GetLastError());
    return false;
  }
  handle_ = h.release();
  return true;
#else
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    *error = "cannot open image " + quoted(path) + ": " + system_reason();
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    *error = "image " + quoted(path) + " is not a regular file";
    return false;
  }
  Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) {
    *error = "cannot open image " + quoted(path) + ": " + system_reason();
    return false;
  }
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
    *error = "image " + quoted(path) + " is not a regular file";
    return false;
  }
  ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) & ~O_NONBLOCK);
  if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0) {
    *error = errno == EWOULDBLOCK ? "image " + quoted(path) + " is held open by another program"
                                  : "cannot lock image " + quoted(path) + ": " + system_reason();
    return false;
  }
  if (static_cast<uint64_t>(st.st_size) > kMaxImageBytes) {
    *error = "image " + quoted(path) + " is larger than " + std::to_string(kMaxImageBytes >> 20) + " MiB";
    return false;
  }
  if (!read_all(fd.get(), &bytes_, kMaxImageBytes)) {
    *error = "cannot read image " + quoted(path) + ": " + system_reason();
    return false;
  }
  mode_ = static_cast<uint32_t>(st.st_mode & 07777);
  fd_ = fd.release();
  return true;
#endif
}

// ---- TempFile ----

TempFile::~TempFile() {
  if (path_.empty() || committed_) return;
#if defined(_WIN32)
  DeleteFileW(wide(path_).c_str());
#else
  ::unlink(path_.c_str());
#endif
}

bool TempFile::create(const std::string& destination, const std::vector<uint8_t>& bytes, uint32_t mode,
                      std::string* error) {
  const std::string dir = directory_of(destination);
#if defined(_WIN32)
  (void)mode;
  wchar_t name[MAX_PATH + 1] = {0};
  if (GetTempFileNameW(wide(dir).c_str(), L"cvx", 0, name) == 0) {
    *error = "cannot create a temporary file in " + quoted(dir) + ": " + last_error_text(GetLastError());
    return false;
  }
  const std::wstring wname(name);
  path_ = utf8_from_utf16(std::u16string(wname.begin(), wname.end()));
  Handle h(CreateFileW(name, GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (h.get() == INVALID_HANDLE_VALUE || !write_all(h.get(), bytes.data(), bytes.size())) {
    *error = "cannot write " + quoted(path_) + ": " + last_error_text(GetLastError());
    return false;
  }
  return true;
#else
  std::string name = dir + "/.calvex-XXXXXX";
  Fd fd(::mkstemp(name.data()));
  if (fd.get() < 0) {
    *error = "cannot create a temporary file in " + quoted(dir) + ": " + system_reason();
    return false;
  }
  path_ = name;
  if (!write_all(fd.get(), bytes.data(), bytes.size()) || ::fchmod(fd.get(), static_cast<mode_t>(mode)) != 0) {
    *error = "cannot write " + quoted(path_) + ": " + system_reason();
    return false;
  }
  if (::close(fd.release()) != 0) {
    *error = "cannot write " + quoted(path_) + ": " + system_reason();
    return false;
  }
  return true;
#endif
}

bool TempFile::read_back(std::vector<uint8_t>* bytes, std::string* error) const {
#if defined(_WIN32)
  Handle h(CreateFileW(wide(path_).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr));
  LARGE_INTEGER size{};
  if (h.get() == INVALID_HANDLE_VALUE || !GetFileSizeEx(h.get(), &size) ||
      static_cast<uint64_t>(size.QuadPart) > kMaxImageBytes) {
    *error = "cannot read " + quoted(path_) + ": " + last_error_text(GetLastError());
    return false;
  }
  bytes->resize(static_cast<size_t>(size.QuadPart));
  if (!read_all(h.get(), bytes)) {
    *error = "cannot read " + quoted(path_) + ": " + last_error_text(GetLastError());
    return false;
  }
  return true;
#else
  Fd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0 || !read_all(fd.get(), bytes, kMaxImageBytes)) {
    *error = "cannot read " + quoted(path_) + ": " + system_reason();
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
      *error = "cannot flush " + quoted(path_) + ": " + last_error_text(GetLastError());
      return false;
    }
  }
  if (!MoveFileExW(wide(path_).c_str(), wide(destination).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    *error = "cannot replace " + quoted(destination) + ": " + last_error_text(GetLastError());
    return false;
  }
#else
  {
    Fd fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0 || ::fsync(fd.get()) != 0) {
      *error = "cannot flush " + quoted(path_) + ": " + system_reason();
      return false;
    }
  }
  if (::rename(path_.c_str(), destination.c_str()) != 0) {
    *error = "cannot replace " + quoted(destination) + ": " + system_reason();
    return false;
  }
  Fd dir(::open(directory_of(destination).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
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
  uint32_t mode = 0644;
#if !defined(_WIN32)
  struct stat st {};
  if (::stat(destination.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) {
      *error = "output " + quoted(destination) + " is not a regular file";
      return false;
    }
    mode = static_cast<uint32_t>(st.st_mode & 07777);
  }
#endif
  TempFile temp;
  if (!temp.create(destination, std::vector<uint8_t>(bytes.begin(), bytes.end()), mode, error)) return false;
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

}  // namespace calvex_host
