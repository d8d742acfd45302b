#include "process.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "files.h"
#include "temp_dir.h"

namespace calvex_test {
namespace fs = std::filesystem;

namespace {

// In a child process: writes past `limit` bytes fail with EFBIG instead of killing it.
bool limit_file_size(uint64_t limit) {
  if (limit == 0) return true;
  const struct rlimit cap = {static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
  return std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR && ::setrlimit(RLIMIT_FSIZE, &cap) == 0;
}

int wait_for(pid_t child) {
  int wait_status = 0;
  while (::waitpid(child, &wait_status, 0) < 0) {
  }
  return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
}

// Waits at most `guard_seconds` for `child`, then kills it.
int wait_guarded(pid_t child, int guard_seconds) {
  constexpr auto kPollInterval = std::chrono::milliseconds(5);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(guard_seconds);
  int wait_status = 0;
  for (;;) {
    const pid_t done = ::waitpid(child, &wait_status, WNOHANG);
    if (done == child) return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(child, SIGKILL);
      wait_for(child);
      return kTimedOutStatus;
    }
    std::this_thread::sleep_for(kPollInterval);
  }
}

}  // namespace

int run_with_file_size_limit(uint64_t file_size_limit, int (*body)(const std::string& arg), const std::string& arg) {
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) ::_exit(limit_file_size(file_size_limit) ? body(arg) : 127);
  return wait_for(child);
}

void make_fifo(const std::string& path) {
  if (::mkfifo(path.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed: " + path);
}

RunResult run_program(const std::vector<std::string>& argv, const fs::path& working_dir, uint64_t file_size_limit,
                      int guard_seconds) {
  TempDir capture;
  const std::string out_path = capture.file("stdout");
  const std::string err_path = capture.file("stderr");
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);

  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    const int out_fd = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    const int err_fd = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out_fd < 0 || err_fd < 0 || ::dup2(out_fd, 1) < 0 || ::dup2(err_fd, 2) < 0) ::_exit(127);
    if (!working_dir.empty() && ::chdir(working_dir.c_str()) != 0) ::_exit(127);
    // The cap applies to the capture files as well; the programs' lines are far below it.
    if (!limit_file_size(file_size_limit)) ::_exit(127);
    ::execv(args[0], args.data());
    ::_exit(127);
  }
  RunResult result;
  result.status = wait_guarded(child, guard_seconds);
  const Bytes out = read_file(out_path);
  const Bytes err = read_file(err_path);
  result.out.assign(out.begin(), out.end());
  result.err.assign(err.begin(), err.end());
  return result;
}

int run_shell(const std::string& command_line) {
  const int status = std::system(command_line.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace calvex_test
