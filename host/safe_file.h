// Files that calvex changes: an NV image locked for the whole of a change,
// and outputs that replace their destination only once they are complete.
//
// Every output goes to a temporary file in the destination's directory, is
// flushed to disk and then renamed over the destination; a failure at any
// step leaves an existing destination byte for byte as it was. Paths are
// UTF-8 (UTF-16 towards the system on Windows). Failures are returned as an
// English reason that names the path and the system's error text; nothing
// here prints or throws.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace calvex_host {

// The largest NV image or sheet file calvex loads (an NV image is a few tens
// of KiB; anything near this is not one).
inline constexpr uint64_t kMaxImageBytes = 256ull << 20;

// An existing NV image opened for a change: a regular file (checked before
// anything could block on a FIFO or device), held locked against other
// writers until the object dies, its bytes read once.
class LockedImage {
 public:
  LockedImage() = default;
  ~LockedImage();
  LockedImage(const LockedImage&) = delete;
  LockedImage& operator=(const LockedImage&) = delete;

  // Opens and locks the image at path and reads it; false with *error set
  // when it does not exist, is not a regular file, cannot be read, is
  // larger than kMaxImageBytes or is held by another writer.
  bool open(const std::string& path, std::string* error);

  const std::string& path() const { return path_; }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  // Ends the lock (and closes the image) before the object dies.
  void unlock();
  // Permission bits to give a file that replaces the image.
  uint32_t mode() const { return mode_; }

 private:
  std::string path_;
  std::vector<uint8_t> bytes_;
  uint32_t mode_ = 0644;
#if defined(_WIN32)
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

// A temporary file in the directory of `destination`, removed when the
// object dies unless it was committed.
class TempFile {
 public:
  TempFile() = default;
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Creates the file next to destination holding bytes (mode applied where
  // the platform has modes); false with *error set on failure.
  bool create(const std::string& destination, const std::vector<uint8_t>& bytes, uint32_t mode, std::string* error);

  const std::string& path() const { return path_; }

  // Reads the file's current bytes back (after the library changed it).
  bool read_back(std::vector<uint8_t>* bytes, std::string* error) const;

  // Flushes the file to disk and renames it over destination (which may be
  // the file it was created for or another path in the same directory).
  bool commit(const std::string& destination, std::string* error);

  // commit() over a locked image. Windows refuses to rename over a file that
  // is held open, so there the lock ends just before the rename; elsewhere it
  // lasts until the image object dies.
  bool commit_over(LockedImage& image, const std::string& destination, std::string* error);

 private:
  std::string path_;
  bool committed_ = false;
};

// Writes bytes to destination through a TempFile (mode 0644 for a new file,
// the existing file's mode otherwise). "-" writes to standard output.
bool write_file_safely(const std::string& destination, std::string_view bytes, std::string* error);

// True when both paths name the same existing file (also through links).
bool same_file(const std::string& a, const std::string& b);

// "not a regular file" / the system's reason for a failed call.
std::string system_reason();

}  // namespace calvex_host
