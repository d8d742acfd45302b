// Running programs from the tests (POSIX): a built program as a subprocess
// with its output captured, a body under a file-size cap, FIFOs, shell lines.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace calvex_test {

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

// Runs a shell command line (for the image-making tools); returns its exit status.
int run_shell(const std::string& command_line);

}  // namespace calvex_test
