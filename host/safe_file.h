// Files that calvex changes: an NV image locked for the whole of a change,
// and outputs that replace their destination only once they are complete.
//
// Every output goes to a temporary file in the destination's directory, is
// flushed to disk and then renamed over the destination; a failure at any
// step leaves an existing destination byte for byte as it was. Paths are
// UTF-8 (UTF-16 towards the system on Windows). Failures are returned as an
// English reason that names the path and the system's error text; nothing
// here throws, and nothing prints except through the notice set by
// set_file_notice.
//
// A destination that is a symbolic link: the file it names is replaced and
// the link kept. An existing destination is replaced only when the user may
// write it (as cp would), when it has no other names (hard links would keep
// the old data silently) and, on POSIX systems, with its owner, group and
// permission bits kept; otherwise nothing is written and the reason says why.
//
// Temporary files are named ".calvex-XXXXXX.tmp" and are removed when the
// process ends by SIGINT, SIGTERM or SIGHUP. Creating one removes the user's
// temporaries of that name older than kStaleTemporarySeconds in the same
// directory (runs that ended by SIGKILL or a crash), telling the notice.
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

// A temporary of a crashed run older than this is removed by a later run.
inline constexpr int64_t kStaleTemporarySeconds = 3600;

// How long a change waits for an image another program holds, unless set.
inline constexpr double kDefaultLockWaitSeconds = 5.0;

// Where waits and removed stale temporaries are told (one English line
// each); nothing is told before this is set.
using FileNotice = void (*)(const std::string& line);
void set_file_notice(FileNotice notice);

// How long LockedImage::open waits for a lock that another program holds.
void set_lock_wait_seconds(double seconds);

enum class LockMode {
  kShared,     // readers: any number at once, no writer meanwhile
  kExclusive,  // a writer: nobody else
};

// An existing NV image opened for a change or a read: a regular file
// (checked before anything could block on a FIFO or device), held locked
// until the object dies, its bytes read once. The lock is taken on the file
// the path names at the moment the lock is held: when another writer renamed
// a new image over the path meanwhile, the new one is opened and locked.
class LockedImage {
 public:
  LockedImage() = default;
  ~LockedImage();
  LockedImage(const LockedImage&) = delete;
  LockedImage& operator=(const LockedImage&) = delete;

  // Opens and locks the image at path and reads it; false with *error set
  // when it does not exist, is not a regular file, cannot be read, is
  // larger than kMaxImageBytes or is still held by another program once the
  // lock wait (set_lock_wait_seconds; the notice tells of the wait) is over.
  bool open(const std::string& path, std::string* error) { return open(path, LockMode::kExclusive, error); }
  bool open(const std::string& path, LockMode mode, std::string* error);

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

  // Creates the file next to destination (next to the file a symbolic link
  // names) holding bytes; false with *error set on failure or when an
  // existing destination may not be replaced (see the top of this header).
  // A new destination gets mode; an existing one keeps its own mode, owner
  // and group.
  bool create(const std::string& destination, const std::vector<uint8_t>& bytes, uint32_t mode, std::string* error);

  // As create, for bytes that are complete: they are flushed to disk before
  // the file is closed, and nothing may change the file afterwards, so that
  // commit renames it without opening it again (one open, one write, one
  // flush and one rename in all).
  bool create_complete(const std::string& destination, const std::vector<uint8_t>& bytes, uint32_t mode,
                       std::string* error);

  // As create, empty, for a writer that fills the file by its path.
  bool reserve(const std::string& destination, uint32_t mode, std::string* error) {
    return create(destination, {}, mode, error);
  }

  // A private copy (mode 0600) of bytes in the system's temporary folder,
  // for the library to read from while the original stays untouched.
  bool create_private(const std::vector<uint8_t>& bytes, std::string* error);

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
#if !defined(_WIN32)
  // The file in dir; replaced: the struct stat of the file it will replace
  // (owner and group kept), or nullptr.
  bool create_in(const std::string& dir, const std::vector<uint8_t>& bytes, uint32_t mode, const void* replaced,
                 std::string* error);
#endif
  std::string path_;
  bool committed_ = false;
  bool flushed_ = false;  // create_complete: on disk already
};

// Writes bytes to destination through a TempFile (mode 0644 for a new file,
// the existing file's mode otherwise). "-" writes to standard output.
bool write_file_safely(const std::string& destination, std::string_view bytes, std::string* error);

// True when both paths name the same existing file (also through links).
bool same_file(const std::string& a, const std::string& b);

// The whole content of the regular file at path, at most limit bytes; false
// with *error set (naming no path) when it cannot be opened, is not a regular
// file (a FIFO or device is refused without waiting on it), is larger or a
// read fails.
bool read_regular_file(const std::string& path, uint64_t limit, std::vector<uint8_t>* bytes, std::string* error);

// "not a regular file" / the system's reason for a failed call.
std::string system_reason();

}  // namespace calvex_host
