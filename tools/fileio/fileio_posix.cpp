// Linux flavour of the whole-file routines: plain descriptors, and synchronous
// writes so that an image is on the medium when the tool reports success.
#include "fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

namespace fileio {
namespace {

constexpr int kReadOpenFlags = O_RDONLY;
constexpr int kWriteOpenFlags = O_RDWR | O_CREAT | O_TRUNC | O_SYNC;

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
    file.close();
    ::unlink(path);
  }
  return written;
}

}  // namespace fileio
