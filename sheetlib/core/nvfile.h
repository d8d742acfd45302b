// NV image access: the file object every sheet operation opens by the path
// the host passes, and the width-coded value writer CBinFile.
//
// An NV image is opened only if it exists (never created or truncated by the
// open), is a regular file, and is not held open by a writer: a read/write
// open takes an exclusive lock, a read-only open a shared one, and an open
// whose lock is refused fails, in this process or another (read-only opens
// never refuse each other). Opening never blocks, whatever the
// path names (a FIFO, a device). Offsets are absolute from the start of the
// file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace calvex {

class MemoryImage;

// An NvFile opened by the path serves its reads and writes from memory when
// a MemoryImage is registered for exactly that path (see MemoryImage);
// otherwise from the file.

// Raised by NvFile when the platform reports an error after a successful
// open (failed seek, read error, short or failed write). The boundary layer
// turns it into one message box; it never leaves an export.
class IoError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class NvFile {
 public:
  enum class Mode { ReadWrite, ReadOnly };

  NvFile() = default;
  ~NvFile();
  NvFile(const NvFile&) = delete;
  NvFile& operator=(const NvFile&) = delete;

  // Opens the existing file at path. Returns false (and stays closed) if it
  // does not exist, is not a regular file (a directory, FIFO or device), cannot
  // be opened in mode, or is held open elsewhere.
  bool open(const std::u16string& path, Mode mode);
  bool is_open() const;

  // Reads up to buf.size() bytes at offset with positioned reads; returns the
  // count read. A short read (end of file) leaves the rest of buf as it was.
  size_t read_at(uint64_t offset, std::span<uint8_t> buf);
  // Writes all of buf at offset as one positioned write (extending the file
  // past its end).
  void write_at(uint64_t offset, std::span<const uint8_t> buf);
  // The file's length in bytes.
  uint64_t size();
  // Cuts the file to length bytes.
  void truncate(uint64_t length);
  // Returns once everything written is on the storage device.
  void sync();

  // Sets the position to offset bytes from the start of the file.
  void seek(uint64_t offset);
  // Reads up to buf.size() bytes at the position; returns the count read.
  // A short read (end of file) leaves the rest of buf as it was.
  size_t read(std::span<uint8_t> buf);
  // Writes all of buf at the position (extending the file past its end).
  void write(std::span<const uint8_t> buf);
  // Closes the file; harmless on a file that never opened.
  void close();

 private:
  // Opens on image (the registered one) as open() does on a file.
  void open_memory(MemoryImage& image, Mode mode);
  // Gives up the hold on the image in memory this NvFile is open on, if any.
  void detach_memory();

  MemoryImage* memory_ = nullptr;  // the image in memory this NvFile is open on, or null
  bool memory_writer_ = false;     // opened read/write on memory_
  uint64_t position_ = 0;          // the position on memory_
#if defined(_WIN32)
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

// An NV image in memory that every NvFile open of one path reaches instead
// of the file, for as long as the object lives: a host that runs several
// sheet operations on one image registers it, runs them by that path, and
// then writes bytes() out once. The NvFile calls behave as on a regular file
// that holds the bytes: positioned and sequential reads (short at the end),
// writes that extend it (a gap reads as zero bytes), size, truncate, sync (a
// no-op, nothing being on a device); opens lock as flock does (any number of
// read-only opens, or one read/write open) and the test seams count and fail
// writes as on a file. The path need not name an existing file.
//
// At most one MemoryImage is registered at a time in a process; it must be
// created, used and destroyed on one thread while no other thread runs a
// sheet operation, and outlive every NvFile opened on it.
class MemoryImage {
 public:
  MemoryImage(std::u16string path, std::vector<uint8_t> bytes);
  ~MemoryImage();
  MemoryImage(const MemoryImage&) = delete;
  MemoryImage& operator=(const MemoryImage&) = delete;

  // False when another MemoryImage was registered first (this one then
  // serves no open).
  bool registered() const;
  const std::u16string& path() const { return path_; }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  friend class NvFile;
  std::u16string path_;
  std::vector<uint8_t> bytes_;
  unsigned readers_ = 0;
  bool writer_ = false;
};

// The largest image a MemoryImage grows to; a write beyond it fails as a
// full device would.
inline constexpr uint64_t kMaxMemoryImageBytes = 1ull << 30;

// Width codes of CBinFile::WriteValue.
inline constexpr int kWidth8 = 0;
inline constexpr int kWidth16 = 1;
inline constexpr int kWidth32 = 2;

class CBinFile {
 public:
  // Opens path read/write (see NvFile::open); shows no message.
  bool Open(const std::u16string& binPath);
  // Seeks to offset, then writes the low 1, 2 or 4 bytes of value
  // little-endian for widthCode 0, 1 or 2; any other code writes nothing
  // and shows "CBinFile，错误的读写位宽！".
  void WriteValue(uint32_t offset, uint32_t value, int widthCode);
  void Close();
  NvFile& file() { return file_; }

 private:
  NvFile file_;
};

namespace testing {
// Test seam: when set, a write of NvFile fails (raises IoError, writing
// nothing) once this many more bytes have been written in this process.
// Negative disables it; it disables itself when it fires.
extern long long fail_write_after_bytes;
// Test seam: the number of write calls (write or write_at) NvFile objects
// have made in this process.
extern unsigned long long write_calls;
}  // namespace testing

}  // namespace calvex
