#include "nvfile.h"

#include <algorithm>

#include "le.h"
#include "sink.h"
#include "text.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace calvex {

namespace testing {
long long fail_write_after_bytes = -1;
unsigned long long write_calls = 0;
}  // namespace testing

namespace {

// Counts a write call and applies the byte budget of the test seam: returns
// how many of size bytes may be written; fewer than size means the write
// fails after writing them.
size_t begin_write(size_t size) {
  ++testing::write_calls;
  if (testing::fail_write_after_bytes < 0) return size;
  const auto budget = static_cast<unsigned long long>(testing::fail_write_after_bytes);
  if (budget < size) {
    testing::fail_write_after_bytes = -1;
    return static_cast<size_t>(budget);
  }
  testing::fail_write_after_bytes -= static_cast<long long>(size);
  return size;
}

[[noreturn]] void injected_write_failure() { throw IoError("injected write failure"); }

// The MemoryImage that serves opens of its path, or null.
MemoryImage* g_memory_image = nullptr;

// Copies up to buf.size() bytes of image at offset into buf; returns the count.
size_t memory_read(const std::vector<uint8_t>& image, uint64_t offset, std::span<uint8_t> buf) {
  if (offset >= image.size()) return 0;
  const auto count = static_cast<size_t>(std::min<uint64_t>(buf.size(), image.size() - offset));
  std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(offset), count, buf.begin());
  return count;
}

// Writes buf at offset of image (zero-filling a gap past its end), counting
// the call and applying the test seam's byte budget.
void memory_write(std::vector<uint8_t>& image, uint64_t offset, std::span<const uint8_t> buf) {
  if (offset > kMaxMemoryImageBytes || buf.size() > kMaxMemoryImageBytes - offset) throw IoError("write failed");
  const size_t allowed = begin_write(buf.size());
  const auto end = static_cast<size_t>(offset) + allowed;
  if (allowed > 0 && end > image.size()) image.resize(end);  // writing nothing never extends
  std::copy_n(buf.begin(), allowed, image.begin() + static_cast<std::ptrdiff_t>(offset));
  if (allowed < buf.size()) injected_write_failure();
}

}  // namespace

MemoryImage::MemoryImage(std::u16string path, std::vector<uint8_t> bytes)
    : path_(std::move(path)), bytes_(std::move(bytes)) {
  if (g_memory_image == nullptr) g_memory_image = this;
}

MemoryImage::~MemoryImage() {
  if (g_memory_image == this) g_memory_image = nullptr;
}

bool MemoryImage::registered() const { return g_memory_image == this; }

NvFile::~NvFile() { close(); }

namespace {

// Takes the lock of an open on a MemoryImage as flock would; false when refused.
bool lock_memory(bool writer, unsigned& readers, bool& held_by_writer) {
  if (held_by_writer || (writer && readers > 0)) return false;
  if (writer) {
    held_by_writer = true;
  } else {
    ++readers;
  }
  return true;
}

}  // namespace

void NvFile::open_memory(MemoryImage& image, Mode mode) {
  const bool writer = mode == Mode::ReadWrite;
  if (!lock_memory(writer, image.readers_, image.writer_)) return;
  memory_ = &image;
  memory_writer_ = writer;
  position_ = 0;
}

void NvFile::detach_memory() {
  if (memory_ == nullptr) return;
  if (memory_writer_) {
    memory_->writer_ = false;
  } else {
    --memory_->readers_;
  }
  memory_ = nullptr;
}

#if defined(_WIN32)

namespace {

// The largest single ReadFile/WriteFile request.
constexpr size_t kMaxChunk = 0x40000000u;

DWORD chunk_of(size_t want) { return want > kMaxChunk ? static_cast<DWORD>(kMaxChunk) : static_cast<DWORD>(want); }

OVERLAPPED at_offset(uint64_t offset) {
  OVERLAPPED ov = {};
  ov.Offset = static_cast<DWORD>(offset);
  ov.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return ov;
}

// Writes all of buf at offset (positioned) or at the position (offset null).
void write_all(HANDLE h, const uint64_t* offset, std::span<const uint8_t> buf) {
  size_t total = 0;
  while (total < buf.size()) {
    DWORD put = 0;
    OVERLAPPED ov = offset != nullptr ? at_offset(*offset + total) : OVERLAPPED{};
    if (!WriteFile(h, buf.data() + total, chunk_of(buf.size() - total), &put, offset != nullptr ? &ov : nullptr) ||
        put == 0) {
      throw IoError("write failed");
    }
    total += put;
  }
}

// Reads up to buf.size() bytes at offset (positioned) or at the position.
size_t read_all(HANDLE h, const uint64_t* offset, std::span<uint8_t> buf) {
  size_t total = 0;
  while (total < buf.size()) {
    DWORD got = 0;
    OVERLAPPED ov = offset != nullptr ? at_offset(*offset + total) : OVERLAPPED{};
    if (!ReadFile(h, buf.data() + total, chunk_of(buf.size() - total), &got, offset != nullptr ? &ov : nullptr)) {
      if (offset != nullptr && GetLastError() == ERROR_HANDLE_EOF) break;
      throw IoError("read failed");
    }
    if (got == 0) break;
    total += got;
  }
  return total;
}

}  // namespace

bool NvFile::open(const std::u16string& path, Mode mode) {
  close();
  if (g_memory_image != nullptr && !path.empty() && path == g_memory_image->path_) {
    open_memory(*g_memory_image, mode);
    return is_open();
  }
  if (path.empty()) return false;
  const DWORD access = GENERIC_READ | (mode == Mode::ReadWrite ? GENERIC_WRITE : 0);
  // Readers share with readers; a writer shares with nobody.
  const DWORD share = mode == Mode::ReadWrite ? 0 : FILE_SHARE_READ;
  HANDLE h = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), access, share, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return false;
  }
  handle_ = h;
  return true;
}

bool NvFile::is_open() const { return memory_ != nullptr || handle_ != nullptr; }

size_t NvFile::read_at(uint64_t offset, std::span<uint8_t> buf) {
  if (memory_ != nullptr) return memory_read(memory_->bytes_, offset, buf);
  if (!is_open()) throw IoError("read on a closed file");
  return read_all(static_cast<HANDLE>(handle_), &offset, buf);
}

void NvFile::write_at(uint64_t offset, std::span<const uint8_t> buf) {
  if (memory_ != nullptr) {
    if (!memory_writer_) throw IoError("write failed");
    memory_write(memory_->bytes_, offset, buf);
    return;
  }
  if (!is_open()) throw IoError("write on a closed file");
  const size_t allowed = begin_write(buf.size());
  write_all(static_cast<HANDLE>(handle_), &offset, buf.first(allowed));
  if (allowed < buf.size()) injected_write_failure();
}

uint64_t NvFile::size() {
  if (memory_ != nullptr) return memory_->bytes_.size();
  if (!is_open()) throw IoError("size of a closed file");
  LARGE_INTEGER length;
  if (!GetFileSizeEx(static_cast<HANDLE>(handle_), &length)) throw IoError("size failed");
  return static_cast<uint64_t>(length.QuadPart);
}

void NvFile::truncate(uint64_t length) {
  if (memory_ != nullptr) {
    if (!memory_writer_ || length > kMaxMemoryImageBytes) throw IoError("truncate failed");
    memory_->bytes_.resize(static_cast<size_t>(length));
    return;
  }
  if (!is_open()) throw IoError("truncate on a closed file");
  LARGE_INTEGER pos;
  pos.QuadPart = static_cast<LONGLONG>(length);
  if (!SetFilePointerEx(static_cast<HANDLE>(handle_), pos, nullptr, FILE_BEGIN) ||
      !SetEndOfFile(static_cast<HANDLE>(handle_))) {
    throw IoError("truncate failed");
  }
}

void NvFile::sync() {
  if (memory_ != nullptr) return;
  if (!is_open()) throw IoError("sync on a closed file");
  if (!FlushFileBuffers(static_cast<HANDLE>(handle_))) throw IoError("sync failed");
}

void NvFile::seek(uint64_t offset) {
  if (memory_ != nullptr) {
    position_ = offset;
    return;
  }
  if (!is_open()) throw IoError("seek on a closed file");
  LARGE_INTEGER pos;
  pos.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(static_cast<HANDLE>(handle_), pos, nullptr, FILE_BEGIN)) throw IoError("seek failed");
}

size_t NvFile::read(std::span<uint8_t> buf) {
  if (memory_ != nullptr) {
    const size_t got = memory_read(memory_->bytes_, position_, buf);
    position_ += got;
    return got;
  }
  if (!is_open()) throw IoError("read on a closed file");
  return read_all(static_cast<HANDLE>(handle_), nullptr, buf);
}

void NvFile::write(std::span<const uint8_t> buf) {
  if (memory_ != nullptr) {
    if (!memory_writer_) throw IoError("write failed");
    memory_write(memory_->bytes_, position_, buf);
    position_ += buf.size();
    return;
  }
  if (!is_open()) throw IoError("write on a closed file");
  const size_t allowed = begin_write(buf.size());
  write_all(static_cast<HANDLE>(handle_), nullptr, buf.first(allowed));
  if (allowed < buf.size()) injected_write_failure();
}

void NvFile::close() {
  detach_memory();
  if (handle_ != nullptr) {
    CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
  }
}

#else

namespace {

// Writes all of buf at offset (positioned) or at the position (offset null).
void write_all(int fd, const uint64_t* offset, std::span<const uint8_t> buf) {
  size_t total = 0;
  while (total < buf.size()) {
    const size_t want = buf.size() - total;
    const ssize_t put = offset != nullptr ? ::pwrite(fd, buf.data() + total, want, static_cast<off_t>(*offset + total))
                                          : ::write(fd, buf.data() + total, want);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) throw IoError("write failed");
    total += static_cast<size_t>(put);
  }
}

// Reads up to buf.size() bytes at offset (positioned) or at the position.
size_t read_all(int fd, const uint64_t* offset, std::span<uint8_t> buf) {
  size_t total = 0;
  while (total < buf.size()) {
    const size_t want = buf.size() - total;
    const ssize_t got = offset != nullptr ? ::pread(fd, buf.data() + total, want, static_cast<off_t>(*offset + total))
                                          : ::read(fd, buf.data() + total, want);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw IoError("read failed");
    }
    if (got == 0) break;
    total += static_cast<size_t>(got);
  }
  return total;
}

}  // namespace

bool NvFile::open(const std::u16string& path, Mode mode) {
  close();
  if (g_memory_image != nullptr && !path.empty() && path == g_memory_image->path_) {
    open_memory(*g_memory_image, mode);
    return is_open();
  }
  if (path.empty()) return false;
  const std::string native = to_utf8(path);
  // Non-blocking, so that a FIFO or device is refused instead of waited on;
  // the descriptor is blocking again once it is known to be a regular file.
  const int flags = (mode == Mode::ReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;
  int fd;
  do {
    fd = ::open(native.c_str(), flags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  struct stat st;
  const int status = ::fcntl(fd, F_GETFL);
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || status == -1 ||
      ::fcntl(fd, F_SETFL, status & ~O_NONBLOCK) != 0 ||
      ::flock(fd, (mode == Mode::ReadWrite ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

bool NvFile::is_open() const { return memory_ != nullptr || fd_ >= 0; }

size_t NvFile::read_at(uint64_t offset, std::span<uint8_t> buf) {
  if (memory_ != nullptr) return memory_read(memory_->bytes_, offset, buf);
  if (!is_open()) throw IoError("read on a closed file");
  return read_all(fd_, &offset, buf);
}

void NvFile::write_at(uint64_t offset, std::span<const uint8_t> buf) {
  if (memory_ != nullptr) {
    if (!memory_writer_) throw IoError("write failed");
    memory_write(memory_->bytes_, offset, buf);
    return;
  }
  if (!is_open()) throw IoError("write on a closed file");
  const size_t allowed = begin_write(buf.size());
  write_all(fd_, &offset, buf.first(allowed));
  if (allowed < buf.size()) injected_write_failure();
}

uint64_t NvFile::size() {
  if (memory_ != nullptr) return memory_->bytes_.size();
  if (!is_open()) throw IoError("size of a closed file");
  struct stat st;
  if (::fstat(fd_, &st) != 0) throw IoError("size failed");
  return static_cast<uint64_t>(st.st_size);
}

void NvFile::truncate(uint64_t length) {
  if (memory_ != nullptr) {
    if (!memory_writer_ || length > kMaxMemoryImageBytes) throw IoError("truncate failed");
    memory_->bytes_.resize(static_cast<size_t>(length));
    return;
  }
  if (!is_open()) throw IoError("truncate on a closed file");
  int result;
  do {
    result = ::ftruncate(fd_, static_cast<off_t>(length));
  } while (result != 0 && errno == EINTR);
  if (result != 0) throw IoError("truncate failed");
}

void NvFile::sync() {
  if (memory_ != nullptr) return;
  if (!is_open()) throw IoError("sync on a closed file");
  int result;
  do {
    result = ::fsync(fd_);
  } while (result != 0 && errno == EINTR);
  if (result != 0) throw IoError("sync failed");
}

void NvFile::seek(uint64_t offset) {
  if (memory_ != nullptr) {
    position_ = offset;
    return;
  }
  if (!is_open()) throw IoError("seek on a closed file");
  if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(-1)) throw IoError("seek failed");
}

size_t NvFile::read(std::span<uint8_t> buf) {
  if (memory_ != nullptr) {
    const size_t got = memory_read(memory_->bytes_, position_, buf);
    position_ += got;
    return got;
  }
  if (!is_open()) throw IoError("read on a closed file");
  return read_all(fd_, nullptr, buf);
}

void NvFile::write(std::span<const uint8_t> buf) {
  if (memory_ != nullptr) {
    if (!memory_writer_) throw IoError("write failed");
    memory_write(memory_->bytes_, position_, buf);
    position_ += buf.size();
    return;
  }
  if (!is_open()) throw IoError("write on a closed file");
  const size_t allowed = begin_write(buf.size());
  write_all(fd_, nullptr, buf.first(allowed));
  if (allowed < buf.size()) injected_write_failure();
}

void NvFile::close() {
  detach_memory();
  if (fd_ >= 0) {
    ::close(fd_);  // also drops the lock
    fd_ = -1;
  }
}

#endif

bool CBinFile::Open(const std::u16string& binPath) {
  const std::u16string path = binPath;
  return file_.open(path, NvFile::Mode::ReadWrite);
}

void CBinFile::WriteValue(uint32_t offset, uint32_t value, int widthCode) {
  file_.seek(offset);
  uint8_t bytes[4];
  store_le32(bytes, value);
  switch (widthCode) {
    case kWidth8:
      file_.write(std::span<const uint8_t>(bytes, 1));
      break;
    case kWidth16:
      file_.write(std::span<const uint8_t>(bytes, 2));
      break;
    case kWidth32:
      file_.write(std::span<const uint8_t>(bytes, 4));
      break;
    default:
      show(msg::kBadWidthCode);
      break;
  }
}

void CBinFile::Close() { file_.close(); }

}  // namespace calvex
