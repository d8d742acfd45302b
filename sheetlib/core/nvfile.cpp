#include "nvfile.h"

#include "le.h"
#include "sink.h"
#include "text.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace calvex {

namespace testing {
long long fail_write_after_bytes = -1;
}  // namespace testing

namespace {

// Applies the test seam: raises once the byte budget is spent.
void check_write_budget(size_t size) {
  if (testing::fail_write_after_bytes < 0) return;
  if (static_cast<unsigned long long>(testing::fail_write_after_bytes) < size) {
    testing::fail_write_after_bytes = -1;
    throw IoError("injected write failure");
  }
  testing::fail_write_after_bytes -= static_cast<long long>(size);
}

}  // namespace

NvFile::~NvFile() { close(); }

#if defined(_WIN32)

bool NvFile::open(const std::u16string& path, Mode mode) {
  close();
  if (path.empty()) return false;
  const DWORD access = GENERIC_READ | (mode == Mode::ReadWrite ? GENERIC_WRITE : 0);
  HANDLE h = CreateFileW(reinterpret_cast<const wchar_t*>(path.c_str()), access, 0 /* no sharing */, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return false;
  }
  handle_ = h;
  return true;
}

bool NvFile::is_open() const { return handle_ != nullptr; }

void NvFile::seek(uint64_t offset) {
  if (!is_open()) throw IoError("seek on a closed file");
  LARGE_INTEGER pos;
  pos.QuadPart = static_cast<LONGLONG>(offset);
  if (!SetFilePointerEx(static_cast<HANDLE>(handle_), pos, nullptr, FILE_BEGIN)) throw IoError("seek failed");
}

size_t NvFile::read(std::span<uint8_t> buf) {
  if (!is_open()) throw IoError("read on a closed file");
  size_t total = 0;
  while (total < buf.size()) {
    const size_t want = buf.size() - total;
    const DWORD chunk = want > 0x40000000u ? 0x40000000u : static_cast<DWORD>(want);
    DWORD got = 0;
    if (!ReadFile(static_cast<HANDLE>(handle_), buf.data() + total, chunk, &got, nullptr)) throw IoError("read failed");
    if (got == 0) break;
    total += got;
  }
  return total;
}

void NvFile::write(std::span<const uint8_t> buf) {
  if (!is_open()) throw IoError("write on a closed file");
  check_write_budget(buf.size());
  size_t total = 0;
  while (total < buf.size()) {
    const size_t want = buf.size() - total;
    const DWORD chunk = want > 0x40000000u ? 0x40000000u : static_cast<DWORD>(want);
    DWORD put = 0;
    if (!WriteFile(static_cast<HANDLE>(handle_), buf.data() + total, chunk, &put, nullptr) || put == 0) {
      throw IoError("write failed");
    }
    total += put;
  }
}

void NvFile::close() {
  if (handle_ != nullptr) {
    CloseHandle(static_cast<HANDLE>(handle_));
    handle_ = nullptr;
  }
}

#else

bool NvFile::open(const std::u16string& path, Mode mode) {
  close();
  if (path.empty()) return false;
  const std::string native = to_utf8(path);
  const int flags = (mode == Mode::ReadWrite ? O_RDWR : O_RDONLY) | O_CLOEXEC | O_NOCTTY;
  int fd;
  do {
    fd = ::open(native.c_str(), flags);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    ::close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

bool NvFile::is_open() const { return fd_ >= 0; }

void NvFile::seek(uint64_t offset) {
  if (!is_open()) throw IoError("seek on a closed file");
  if (::lseek(fd_, static_cast<off_t>(offset), SEEK_SET) == static_cast<off_t>(-1)) throw IoError("seek failed");
}

size_t NvFile::read(std::span<uint8_t> buf) {
  if (!is_open()) throw IoError("read on a closed file");
  size_t total = 0;
  while (total < buf.size()) {
    const ssize_t got = ::read(fd_, buf.data() + total, buf.size() - total);
    if (got < 0) {
      if (errno == EINTR) continue;
      throw IoError("read failed");
    }
    if (got == 0) break;
    total += static_cast<size_t>(got);
  }
  return total;
}

void NvFile::write(std::span<const uint8_t> buf) {
  if (!is_open()) throw IoError("write on a closed file");
  check_write_budget(buf.size());
  size_t total = 0;
  while (total < buf.size()) {
    const ssize_t put = ::write(fd_, buf.data() + total, buf.size() - total);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) throw IoError("write failed");
    total += static_cast<size_t>(put);
  }
}

void NvFile::close() {
  if (fd_ >= 0) {
    ::close(fd_);  // also drops the lock
    fd_ = -1;
  }
}

#endif

size_t read_at(NvFile& file, uint64_t offset, std::span<uint8_t> buf) {
  file.seek(offset);
  return file.read(buf);
}

void write_at(NvFile& file, uint64_t offset, std::span<const uint8_t> buf) {
  file.seek(offset);
  file.write(buf);
}

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
