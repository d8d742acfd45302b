// Windows flavour of the whole-file routines: binary-mode descriptors of the C
// runtime, one transfer call moving at most INT32_MAX bytes, and sizes limited
// to what the 32-bit programs can hold.
#include "fileio.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace fileio {
namespace {

constexpr int kReadOpenFlags = _O_RDONLY | _O_BINARY;                          // 0x8000
constexpr int kWriteOpenFlags = _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY;     // 0x8302
constexpr int64_t kLargestFileSize = INT_MAX;
constexpr int64_t kLargestTransfer = INT_MAX;

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { close(); }
  int get() const { return fd_; }
  void close() {
    if (fd_ >= 0) ::_close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

unsigned int transfer_count(int64_t remaining) {
  return static_cast<unsigned int>(remaining < kLargestTransfer ? remaining : kLargestTransfer);
}

}  // namespace

int64_t file_size(const char* path) {
  struct _stati64 status;
  if (::_stati64(path, &status) != 0) {
    std::printf("stat file %s failed\n", path);
    return -1;
  }
  const int64_t size = static_cast<int64_t>(status.st_size);
  return size > kLargestFileSize ? -1 : size;
}

int64_t read_whole(const char* path, void* buffer, int64_t count) {
  Descriptor file(::_open(path, kReadOpenFlags));
  if (file.get() < 0) return file.get();
  const int fd = file.get();
  return read_loop(
      [fd](void* data, int64_t n) { return static_cast<int64_t>(::_read(fd, data, transfer_count(n))); },
      buffer, count);
}

int64_t write_whole(const char* path, const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  Descriptor file(::_open(path, kWriteOpenFlags, kCreatedFileMode));
  if (file.get() < 0) return -1;
  const int fd = file.get();
  const int64_t written = write_loop(
      [fd](const void* data, int64_t n) {
        return static_cast<int64_t>(::_write(fd, data, transfer_count(n)));
      },
      buffer, count);
  if (written != count) {
    // Remove what was left half-written, but never a device.
    struct _stati64 status;
    const bool regular = ::_fstati64(fd, &status) == 0 && (status.st_mode & _S_IFREG) != 0;
    file.close();
    if (regular) ::_unlink(path);
  }
  return written;
}

FileBuffer allocate_file_buffer(int64_t size) {
  FileBuffer buffer;
  if (size < 0 || static_cast<uint64_t>(size) > std::numeric_limits<size_t>::max()) return buffer;
  const auto bytes = static_cast<size_t>(size);
  buffer.bytes.reset(static_cast<unsigned char*>(std::malloc(bytes != 0 ? bytes : 1)));
  if (buffer.bytes) buffer.size = size;
  return buffer;
}

}  // namespace fileio
