// Whole-file routines shared by the image tools.
//
// The tools hold every input entirely in memory; these routines are the only
// place where binsplice, binseek, bincut and the two UBI unpackers touch the
// file system.  Two flavours exist: fileio_posix.cpp (Linux: plain descriptors,
// synchronous writes) and fileio_win.cpp (Windows: binary-mode descriptors,
// sizes limited to what a signed 32-bit count can hold).
//
// Sizes and counts are signed 64-bit so that every routine can return a
// negative value for failure.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>

namespace fileio {

// Exit statuses of every tool (-1 reaches a POSIX shell as 255).
constexpr int kExitSuccess = 0;
constexpr int kExitFailure = -1;

// Permission bits of a file created by write_whole: rw-r----- (0640).
constexpr int kCreatedFileMode = 0640;

// true when `path` can be opened for reading as a text stream; the stream is
// closed again at once.  Prints nothing.
bool file_exists(const char* path);

// The decimal number at the start of the first line of the text file `path`:
// at most the first kNumberLineChars characters of the line take part, read
// with parse_decimal_prefix.  Returns -1 when the file cannot be opened, after
// printing the system's error text prefixed with the path on stderr.
constexpr int kNumberLineChars = 15;
int64_t read_number_file(const char* path);

// Size in bytes of the file `path`.  When the status query fails, prints
// "stat file <path> failed" on stdout and returns -1.  The Windows flavour also
// returns -1 (silently) for a file larger than INT32_MAX bytes.
int64_t file_size(const char* path);

// Reads up to `count` bytes of the file `path` into `buffer` (caller-owned,
// at least `count` bytes).  Returns the number of bytes read (0 for an empty
// file, less than `count` when the file is shorter), or the negative result of
// a failed open or of a failed first read.  Prints nothing.
int64_t read_whole(const char* path, void* buffer, int64_t count);

// Creates or truncates the file `path` and writes `count` bytes of `buffer`
// to it.  Returns the number of bytes written, or a value <= 0 on failure:
// -1 when the file cannot be opened, the negative result of a failed first
// write, or -1 when the system reports that nothing was written.  A regular
// file that was opened but could not be written whole is removed again.  A `count` of 0
// or less is refused with 0 before anything is opened.  Prints nothing.
int64_t write_whole(const char* path, const void* buffer, int64_t count);

// Reads an integer the way the C library's atoi does: leading white space, an
// optional sign, then decimal digits up to the first other character; no
// digits give 0.  Unlike atoi, a value beyond the 64-bit range saturates
// instead of being undefined.
int64_t parse_decimal_prefix(const char* text);

// --- The transfer loops behind read_whole and write_whole. ---
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
// failed (the tools then print "malloc fail").  Zero bytes are a valid size.
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
