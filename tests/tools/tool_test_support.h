// Helpers for the image tool tests: scratch directories, file contents, and
// running a built program as a subprocess.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace tooltest {

using Bytes = std::vector<unsigned char>;

// Exit status of a program that returned -1, as seen by a POSIX parent.
constexpr int kFailureStatus = 255;

// Status of a program that was still running after its time guard and was killed.
constexpr int kTimedOutStatus = -2;

// Every program run is killed after this long, so that a program that blocks
// (on a FIFO, say) fails its test instead of hanging it.
constexpr int kRunGuardSeconds = 60;

struct RunResult {
  int status = -1;  // exit status 0..255, -1 when the program did not exit normally, kTimedOutStatus
  std::string out;  // everything written to standard output
  std::string err;  // everything written to standard error
};

// Runs `argv` (argv[0] is the program path, passed on as argument 0) in
// `working_dir` (the current directory when empty) and waits for it.  A
// non-zero `file_size_limit` caps the size of every file the program writes
// (writes beyond it fail with EFBIG).  A program still running after
// `guard_seconds` is killed and gets kTimedOutStatus.
RunResult run_program(const std::vector<std::string>& argv, const std::filesystem::path& working_dir = {},
                      uint64_t file_size_limit = 0, int guard_seconds = kRunGuardSeconds);

// Creates a FIFO (named pipe) at `path`.
void make_fifo(const std::string& path);

// Runs `body` in a child process whose written files may not exceed
// `file_size_limit` bytes; returns the status the body returned (0..255).
int run_with_file_size_limit(uint64_t file_size_limit, int (*body)(const std::string& arg), const std::string& arg);

// A fresh directory under the system's temporary directory, removed with everything in it.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

void write_file(const std::string& path, const Bytes& bytes);
void write_text(const std::string& path, const std::string& text);
Bytes read_file(const std::string& path);
bool exists(const std::string& path);

// `size` pseudo-random bytes, the same for the same seed on every machine.
Bytes pseudo_random_bytes(size_t size, uint64_t seed);

// Bytes of `text` (no terminator).
Bytes bytes_of(const std::string& text);

void store_le32(unsigned char* at, uint32_t value);
void store_le64(unsigned char* at, uint64_t value);
void store_be32(unsigned char* at, uint32_t value);
uint32_t load_le32(const unsigned char* at);

// Runs a shell command line (for the image-making tools); returns its exit status.
int run_shell(const std::string& command_line);

}  // namespace tooltest
