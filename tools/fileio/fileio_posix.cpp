// Linux flavour of the whole-file routines: plain descriptors, and synchronous
// writes so that an image is on the medium when the tool reports success.
#include "fileio.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <limits>

namespace fileio {
namespace {

constexpr int kReadOpenFlags = O_RDONLY;
constexpr int kWriteOpenFlags = O_RDWR | O_CREAT | O_TRUNC | O_SYNC;
// Buffers of at least this size are aligned to it and offered huge pages.
constexpr size_t kHugePageSize = size_t{2} << 20;

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { close(); }
  int get() const { return fd_; }
  void close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

}  // namespace

int64_t file_size(const char* path) {
  struct stat status;
  if (::stat(path, &status) != 0) {
    std::printf("stat file %s failed\n", path);
    return -1;
  }
  return static_cast<int64_t>(status.st_size);
}

int64_t read_whole(const char* path, void* buffer, int64_t count) {
  Descriptor file(::open(path, kReadOpenFlags));
  if (file.get() < 0) return file.get();
  const int fd = file.get();
  return read_loop(
      [fd](void* data, int64_t n) { return static_cast<int64_t>(::read(fd, data, static_cast<size_t>(n))); },
      buffer, count);
}

int64_t write_whole(const char* path, const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  Descriptor file(::open(path, kWriteOpenFlags, kCreatedFileMode));
  if (file.get() < 0) return -1;
  const int fd = file.get();
  const int64_t written = write_loop(
      [fd](const void* data, int64_t n) {
        return static_cast<int64_t>(::write(fd, data, static_cast<size_t>(n)));
      },
      buffer, count);
  if (written != count) {
    // Remove what was left half-written, but never a device or other special file.
    struct stat status;
    const bool regular = ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode);
    file.close();
    if (regular) ::unlink(path);
  }
  return written;
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
