// File routines shared by the image tools.
//
// binsplice, binseek, bincut and the two UBI unpackers touch the file system
// only through these routines.  Inputs are read in pieces from an open
// InputFile, so memory does not grow with a file's size; outputs are written
// through an OutputFile, a temporary file next to the destination that
// replaces it only once it is complete and on disk.  Two flavours exist:
// fileio_posix.cpp (Linux descriptors) and fileio_win.cpp (Win32 handles).
//
// Sizes, offsets and counts are signed 64-bit on every platform so that every
// routine can return a negative value for failure.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>

namespace fileio {

// Exit statuses of every tool (-1 reaches a POSIX shell as 255).
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = -1;

// Permission bits of a new output file: rw-r----- (0640), less the umask.
// An output that replaces an existing file keeps that file's permissions.
constexpr int kCreatedFileMode = 0640;

// Size of the pieces in which the tools copy and scan files.
constexpr int64_t kCopyChunkSize = int64_t{1} << 20;

// The reason text given when a path names something other than a regular file.
constexpr const char* kNotRegularFileReason = "not a regular file";

// true when `path` names something that exists and, for a regular file, can be
// opened for reading; whether anything else can be read is left to
// InputFile::open.  Never blocks on a FIFO or device.  Prints nothing.
bool file_exists(const char* path);

// The decimal number at the start of the first line of the regular file
// `path`: at most the first kNumberLineChars characters of the line take part,
// read with parse_decimal_prefix.  Returns -1 when the file cannot be opened or
// is not a regular file, after printing "<path>: <reason>" on stderr.
constexpr int kNumberLineChars = 15;
int64_t read_number_file(const char* path);

// Size in bytes of the file `path` (64-bit on every platform).  When the
// status query fails, prints "stat file <path> failed" on stdout and returns -1.
int64_t file_size(const char* path);

// The system's reason why the status query of `path` fails (for a message
// after file_size returned -1).
std::string stat_error(const char* path);

// An input file open for reading.  open() never blocks: it refuses anything
// that is not a regular file (a FIFO, a device, a directory).  Closed by the
// destructor.
class InputFile {
 public:
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens `path`; false on failure, with error() saying why.
  bool open(const char* path);
#if !defined(_WIN32)
  // What an open_any path names.
  enum class Kind { kRegular, kDirectory, kOther };
  // Opens `path` whatever it names, without blocking on a FIFO or device:
  // for reading, or with `for_writing` for reading and writing (so that the
  // system refuses a file the program may not replace); false when the
  // system refuses the open or its status, with error() saying why. kind()
  // then says what the path names; only a regular file is read. (sqseal,
  // which opens all its inputs before it tells what each is.)
  bool open_any(const char* path, bool for_writing);
  Kind kind() const { return kind_; }
  // True when both are open on the same file.
  bool same_file(const InputFile& other) const;
#endif
  // The file's size when it was opened.
  int64_t size() const { return size_; }
  // Reads up to `count` bytes at `offset` into `buffer` (at least `count`
  // bytes); fewer only at the end of the file.  Returns the number read, or
  // -1 with error() set.
  int64_t read_at(int64_t offset, void* buffer, int64_t count);
  // Reads exactly `count` bytes at `offset`; false when the file ends first
  // (it shrank since it was opened) or a read fails, with error() set.
  bool read_exact(int64_t offset, void* buffer, int64_t count);
  // read_exact for a file that may have holes: bytes in a hole are set to
  // zero, as a read would give them, without being read, so the system
  // neither copies them nor fills its cache with zero pages.  On Linux the
  // holes are those that lseek SEEK_DATA/SEEK_HOLE report; elsewhere, and on
  // file systems that report none, every byte is read.  Where the data and
  // the holes lie is asked once per stretch and kept, except for a hole that
  // runs to the end of the file, which is asked again for every call so that
  // a file that shrank is still refused.
  bool read_exact_sparse(int64_t offset, void* buffer, int64_t count);
  // The system's reason for the last failure.
  const std::string& error() const { return error_; }
  // Closes the file early: on Windows a file that is open cannot be replaced,
  // so a program closes its inputs before committing an output over one.
  void close();

 private:
  // The end of the stretch of the file that starts at `offset` and is all
  // data or all hole (*hole says which); `offset` when the file ends there or
  // before; -1 on failure with error() set.  *ends_file is true for a hole
  // that runs to the end of the file.
  int64_t stretch_at(int64_t offset, bool* hole, bool* ends_file);

  intptr_t handle_ = -1;  // descriptor or Win32 handle; -1 when closed
  int64_t size_ = 0;
#if !defined(_WIN32)
  Kind kind_ = Kind::kRegular;
  uint64_t device_ = 0;
  uint64_t inode_ = 0;
#endif
  std::string error_;
  // The last stretch read_exact_sparse was told of: [stretch_start_, stretch_end_).
  int64_t stretch_start_ = 0;
  int64_t stretch_end_ = 0;
  bool stretch_is_hole_ = false;
};

// An output file that replaces its destination only when complete.  create()
// makes a temporary file in the destination's directory; write() appends to
// it; commit() flushes it to disk and renames it over the destination.  Until
// commit() succeeds the destination is untouched, and the destructor removes
// the temporary file of an output that was not committed.  An existing
// destination that is not a regular file is refused by create(); a symbolic
// link is followed, so the file it names is replaced.  On Linux, create()
// also makes a file size limit fail the write (EFBIG) rather than end the
// program, so that the temporary file is still removed.
class OutputFile {
 public:
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  bool create(const char* path);
  // Appends `count` bytes of `data`; false on failure (a full disk, a file
  // size limit), with error() set.
  bool write(const void* data, int64_t count);
  bool commit();
  // Bytes appended so far.
  int64_t written() const { return written_; }
  const std::string& error() const { return error_; }

 private:
  void discard();

  intptr_t handle_ = -1;
  std::string target_path_;  // the file replaced by commit()
  std::string temp_path_;    // empty when no temporary file exists
  int64_t written_ = 0;
  std::string error_;
};

// The reason given when a file ends before the bytes it was opened with.
constexpr const char* kFileShrankReason = "file ended before its size (changed while being read)";

// Which side of a copy failed.
enum class CopyResult { kOk, kReadFailed, kWriteFailed };

// Copies `count` bytes of `in` from `offset` on to the end of `out` through
// `buffer` (`buffer_size` bytes).  A piece that ends before `count` bytes (the
// input shrank) is a read failure.
CopyResult copy_range(InputFile& in, int64_t offset, int64_t count, OutputFile& out, unsigned char* buffer,
                      int64_t buffer_size);

// Reads up to `count` bytes of the file `path` into `buffer` (caller-owned,
// at least `count` bytes).  Returns the number of bytes read (0 for an empty
// file, less than `count` when the file is shorter), or a negative value when
// the file cannot be opened, is not a regular file, or its first read fails.
// Prints nothing.
int64_t read_whole(const char* path, void* buffer, int64_t count);

// Writes `count` bytes of `buffer` to the file `path` through an OutputFile:
// a new file, or a complete replacement of an existing one.  Returns `count`
// on success.  On failure `path` is left as it was and the result is the
// number of bytes the temporary file took before the failure when non-zero,
// else -1.  A `count` of 0 or less is refused with 0 before anything is
// created.  Prints nothing.
int64_t write_whole(const char* path, const void* buffer, int64_t count);

// Reads an integer the way the C library's atoi does: leading white space, an
// optional sign, then decimal digits up to the first other character; no
// digits give 0.  Unlike atoi, a value beyond the 64-bit range saturates
// instead of being undefined.
int64_t parse_decimal_prefix(const char* text);

// --- The transfer loops behind InputFile::read_at and OutputFile::write. ---
//
// One read or write call on an open file: moves at most `count` bytes at
// `data` and returns the number moved, 0 at end of file, or a negative value
// with errno set on failure.  Tests inject short, interrupted and failing
// calls through these.
using ReadCall = std::function<int64_t(void* data, int64_t count)>;
using WriteCall = std::function<int64_t(const void* data, int64_t count)>;

// Calls `read_call` until `count` bytes are in `buffer` or the file ends.  A
// call interrupted by a signal (errno EINTR) is retried with errno reset to 0.
// Returns the total read; on any other failure the total so far when it is
// non-zero, else the failure's result.
int64_t read_loop(const ReadCall& read_call, void* buffer, int64_t count);

// Calls `write_call` until `count` bytes of `buffer` are written; EINTR is
// retried as in read_loop.  Returns the total written; on failure, or when a
// call writes nothing, the total so far when it is non-zero, else the
// failure's result (-1 for a call that wrote nothing).
int64_t write_loop(const WriteCall& write_call, const void* buffer, int64_t count);

// An uninitialised byte buffer for a whole file, or empty when the allocation
// failed.  Zero bytes are a valid size.  The programs no longer hold whole
// files (they read in pieces); this stays for callers that want a file whole.
// The Linux flavour backs large buffers with huge pages where the system
// offers them, which makes filling and scanning them much cheaper.
struct FreeBytes {
  void operator()(unsigned char* bytes) const { std::free(bytes); }
};
struct FileBuffer {
  std::unique_ptr<unsigned char[], FreeBytes> bytes;
  int64_t size = 0;
  bool ok() const { return bytes != nullptr; }
};
FileBuffer allocate_file_buffer(int64_t size);

}  // namespace fileio
