// Linux flavour of the file routines: plain descriptors.  Inputs are opened
// non-blocking and checked to be regular files before anything is read;
// outputs go to a temporary file in the destination's directory that is
// flushed with fsync and renamed over the destination.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "fileio.h"

namespace fileio {
namespace {

// O_NONBLOCK: opening a FIFO or a device must not wait for a peer.
constexpr int kReadOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
constexpr int kReadWriteOpenFlags = O_RDWR | O_NONBLOCK | O_CLOEXEC;
// Buffers of at least this size are aligned to it and offered huge pages.
constexpr size_t kHugePageSize = size_t{2} << 20;
// mkstemp replaces these six characters of the temporary file's name.
constexpr const char* kTempNameSuffix = ".XXXXXX";
constexpr mode_t kPermissionBits = 07777;

std::string system_error(int code) { return std::strerror(code); }

int descriptor(intptr_t handle) { return static_cast<int>(handle); }

std::string directory_of(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Temporary files removed when SIGINT, SIGTERM or SIGHUP ends the program: a
// fixed table the handler reads, changed with those signals blocked.
constexpr size_t kLiveTemporariesMax = 4;
constexpr size_t kTemporaryPathBytesMax = 4096;
constexpr int kCleanupSignals[] = {SIGINT, SIGTERM, SIGHUP};

struct LiveTemporary {
  volatile std::sig_atomic_t used;
  char path[kTemporaryPathBytesMax];
};
LiveTemporary live_temporaries[kLiveTemporariesMax];
bool cleanup_installed = false;

extern "C" void remove_live_temporaries(int signal_number) {
  for (LiveTemporary& slot : live_temporaries) {
    if (slot.used) ::unlink(slot.path);
  }
  ::raise(signal_number);  // SA_RESETHAND: the default action ends the program
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

std::string absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char cwd[PATH_MAX];
  return ::getcwd(cwd, sizeof cwd) != nullptr ? std::string(cwd) + "/" + path : path;
}

// Called with the signals blocked.
void register_temporary(const std::string& path) {
  if (!cleanup_installed) {
    cleanup_installed = true;
    for (int s : kCleanupSignals) {
      struct sigaction old {};
      if (::sigaction(s, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
      struct sigaction action {};
      action.sa_handler = remove_live_temporaries;
      action.sa_flags = SA_RESETHAND;
      sigemptyset(&action.sa_mask);
      for (int other : kCleanupSignals) sigaddset(&action.sa_mask, other);
      ::sigaction(s, &action, nullptr);
    }
  }
  const std::string full = absolute(path);
  if (full.size() >= kTemporaryPathBytesMax) return;
  for (LiveTemporary& slot : live_temporaries) {
    if (slot.used) continue;
    std::memcpy(slot.path, full.c_str(), full.size() + 1);
    slot.used = 1;
    return;
  }
}

// Called with the signals blocked.
void forget_temporary(const std::string& path) {
  const std::string full = absolute(path);
  for (LiveTemporary& slot : live_temporaries) {
    if (slot.used && full == slot.path) slot.used = 0;
  }
}

}  // namespace

bool file_exists(const char* path) {
  struct stat status;
  if (::stat(path, &status) != 0) return false;
  if (!S_ISREG(status.st_mode)) return true;
  const int fd = ::open(path, kReadOpenFlags);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

int64_t file_size(const char* path) {
  struct stat status;
  if (::stat(path, &status) != 0) {
    std::printf("stat file %s failed\n", path);
    return -1;
  }
  return static_cast<int64_t>(status.st_size);
}

std::string stat_error(const char* path) {
  struct stat status;
  return ::stat(path, &status) != 0 ? system_error(errno) : std::string();
}

InputFile::~InputFile() { close(); }

void InputFile::close() {
  if (handle_ >= 0) ::close(descriptor(handle_));
  handle_ = -1;
  stretch_start_ = stretch_end_ = 0;  // what was learnt of its holes
}

bool InputFile::open_any(const char* path, bool for_writing) {
  close();
  const int fd = ::open(path, for_writing ? kReadWriteOpenFlags : kReadOpenFlags);
  if (fd < 0) {
    error_ = system_error(errno);
    return false;
  }
  struct stat status;
  if (::fstat(fd, &status) != 0) {
    error_ = system_error(errno);
    ::close(fd);
    return false;
  }
  handle_ = fd;
  size_ = static_cast<int64_t>(status.st_size);
  kind_ = S_ISREG(status.st_mode) ? Kind::kRegular : S_ISDIR(status.st_mode) ? Kind::kDirectory : Kind::kOther;
  device_ = static_cast<uint64_t>(status.st_dev);
  inode_ = static_cast<uint64_t>(status.st_ino);
  return true;
}

bool InputFile::same_file(const InputFile& other) const {
  return handle_ >= 0 && other.handle_ >= 0 && device_ == other.device_ && inode_ == other.inode_;
}

bool InputFile::open(const char* path) {
  if (!open_any(path, false)) return false;
  if (kind_ != Kind::kRegular) {
    error_ = kind_ == Kind::kDirectory ? system_error(EISDIR) : kNotRegularFileReason;
    close();
    return false;
  }
  return true;
}

int64_t InputFile::read_at(int64_t offset, void* buffer, int64_t count) {
  const int fd = descriptor(handle_);
  int64_t position = offset;
  const int64_t got = read_loop(
      [fd, &position](void* data, int64_t n) {
        const ssize_t moved = ::pread(fd, data, static_cast<size_t>(n), static_cast<off_t>(position));
        if (moved > 0) position += moved;
        return static_cast<int64_t>(moved);
      },
      buffer, count);
  if (got < 0) {
    error_ = system_error(errno);
    return -1;
  }
  return got;
}

int64_t InputFile::stretch_at(int64_t offset, bool* hole, bool* ends_file) {
  const int fd = descriptor(handle_);
  *hole = false;
  *ends_file = false;
  const off_t data = ::lseek(fd, static_cast<off_t>(offset), SEEK_DATA);
  if (data < 0 && errno != ENXIO) {
    // A system that cannot tell: everything up to the size at open is data.
    if (errno == EINVAL) return std::max(offset, size_);
    error_ = system_error(errno);
    return -1;
  }
  if (data < 0) {
    // No data at or after offset: a hole up to the end, or the end itself.
    struct stat status;
    if (::fstat(fd, &status) != 0) {
      error_ = system_error(errno);
      return -1;
    }
    const auto end = static_cast<int64_t>(status.st_size);
    if (end <= offset) return offset;
    *hole = true;
    *ends_file = true;
    return end;
  }
  if (data > offset) {
    *hole = true;
    return static_cast<int64_t>(data);
  }
  const off_t next_hole = ::lseek(fd, static_cast<off_t>(offset), SEEK_HOLE);
  if (next_hole < 0) {
    // ENXIO: the file ended at offset since the last call.
    if (errno == ENXIO) return offset;
    error_ = system_error(errno);
    return -1;
  }
  return static_cast<int64_t>(next_hole);
}

OutputFile::~OutputFile() { discard(); }

void OutputFile::discard() {
  if (handle_ >= 0) ::close(descriptor(handle_));
  handle_ = -1;
  if (!temp_path_.empty()) {
    const SignalsBlocked blocked;
    ::unlink(temp_path_.c_str());
    forget_temporary(temp_path_);
  }
  temp_path_.clear();
}

bool OutputFile::create(const char* path) {
  // A write beyond a file size limit then fails with EFBIG instead of ending
  // the program before it can remove its temporary file.
  std::signal(SIGXFSZ, SIG_IGN);
  discard();
  written_ = 0;
  target_path_ = path;
  struct stat status;
  bool replaces_file = false;
  if (::lstat(path, &status) == 0) {
    if (S_ISLNK(status.st_mode)) {
      // Replace the file the link names, not the link.
      char resolved[PATH_MAX];
      if (::realpath(path, resolved) == nullptr || ::stat(resolved, &status) != 0) {
        error_ = system_error(errno);
        return false;
      }
      target_path_ = resolved;
    }
    if (!S_ISREG(status.st_mode)) {
      error_ = S_ISDIR(status.st_mode) ? system_error(EISDIR) : kNotRegularFileReason;
      return false;
    }
    // As cp: a file the user may not write is not replaced, whatever the
    // folder allows.
    if (::access(target_path_.c_str(), W_OK) != 0) {
      error_ = system_error(errno);
      return false;
    }
    replaces_file = true;
  } else if (errno != ENOENT) {
    error_ = system_error(errno);
    return false;
  }

  std::string name = target_path_ + kTempNameSuffix;
  int fd = -1;
  {
    const SignalsBlocked blocked;
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
      error_ = system_error(errno);
      return false;
    }
    register_temporary(name);
  }
  handle_ = fd;
  temp_path_ = name;
  mode_t mode = 0;
  if (replaces_file) {
    mode = status.st_mode & kPermissionBits;
    // Keep the owner of a file that is replaced where the system allows it;
    // where it does not, the replacement belongs to whoever ran the program.
    const bool owner_kept = ::fchown(fd, status.st_uid, status.st_gid) == 0;
    static_cast<void>(owner_kept);
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = kCreatedFileMode & ~mask;
  }
  if (::fchmod(fd, mode) != 0) {
    error_ = system_error(errno);
    discard();
    return false;
  }
  return true;
}

bool OutputFile::write(const void* data, int64_t count) {
  const int fd = descriptor(handle_);
  errno = 0;
  const int64_t put = write_loop(
      [fd](const void* at, int64_t n) { return static_cast<int64_t>(::write(fd, at, static_cast<size_t>(n))); },
      data, count);
  if (put > 0) written_ += put;
  if (put == count) return true;
  // A call that wrote nothing leaves errno unset; the medium is then full.
  error_ = system_error(errno != 0 ? errno : ENOSPC);
  return false;
}

bool OutputFile::commit() {
  const int fd = descriptor(handle_);
  if (::fsync(fd) != 0) {
    error_ = system_error(errno);
    discard();
    return false;
  }
  handle_ = -1;
  if (::close(fd) != 0) {
    error_ = system_error(errno);
    discard();
    return false;
  }
  {
    const SignalsBlocked blocked;
    if (::rename(temp_path_.c_str(), target_path_.c_str()) != 0) {
      error_ = system_error(errno);
      discard();
      return false;
    }
    forget_temporary(temp_path_);
  }
  temp_path_.clear();
  // Make the new name durable too; the data already is.
  const int directory = ::open(directory_of(target_path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (directory >= 0) {
    ::fsync(directory);
    ::close(directory);
  }
  return true;
}

FileBuffer allocate_file_buffer(int64_t size) {
  FileBuffer buffer;
  if (size < 0 || static_cast<uint64_t>(size) > std::numeric_limits<size_t>::max() - kHugePageSize) return buffer;
  const auto bytes = static_cast<size_t>(size);
  if (bytes >= kHugePageSize) {
    const size_t rounded = (bytes + kHugePageSize - 1) & ~(kHugePageSize - 1);
    buffer.bytes.reset(static_cast<unsigned char*>(std::aligned_alloc(kHugePageSize, rounded)));
    // Only advice: without huge pages the buffer works the same.
    if (buffer.bytes) ::madvise(buffer.bytes.get(), rounded, MADV_HUGEPAGE);
  } else {
    buffer.bytes.reset(static_cast<unsigned char*>(std::malloc(bytes != 0 ? bytes : 1)));
  }
  if (buffer.bytes) buffer.size = size;
  return buffer;
}

}  // namespace fileio
