// Times binseek's search against the quadratic scan, the C library's memmem
// and Python's bytes.find, on a 256 MiB random text with a 64 KiB needle taken
// from it and on two adversarial texts (one repeated byte; 4 KiB needles of
// that byte ending, or starting, with another byte).  Also times the whole
// binseek program against cat of its two files.
//
//   binseek_bench [size_MiB]      (default 256)
//
// Every figure is the best of a few runs; throughput is text bytes per second.
// The whole program and cat also show their CPU time (user + system), which
// other load on the machine disturbs less than the wall time.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "needle_search.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 3;
// The whole program and cat are short and sensitive to other load: more runs.
constexpr int kProcessRuns = 10;

// User + system time of all waited-for children so far.
double children_cpu_seconds() {
  struct rusage usage;
  ::getrusage(RUSAGE_CHILDREN, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}
constexpr size_t kMiB = size_t{1} << 20;
constexpr size_t kRandomNeedleSize = 64 * 1024;
constexpr size_t kAdversarialNeedleSize = 4096;
// The quadratic scan compares up to the whole needle at every offset; on the
// adversarial texts it runs on this prefix only.
constexpr size_t kNaiveAdversarialPrefix = 16 * kMiB;

struct Matches {
  uint64_t count = 0;
  uint64_t first = UINT64_MAX;
  bool operator==(const Matches& other) const { return count == other.count && first == other.first; }
};

struct Timing {
  double seconds = 0;
  double cpu_seconds = 0;  // user + system time of a child process (best run), when measured
  size_t text_bytes = 0;
  Matches matches;
  bool ok = false;
  double gb_per_s() const { return seconds > 0 ? static_cast<double>(text_bytes) / seconds / 1e9 : 0; }
};

Timing best_of(size_t text_bytes, const std::function<Matches()>& run) {
  Timing timing;
  timing.text_bytes = text_bytes;
  timing.seconds = 1e300;
  for (int i = 0; i < kRuns; ++i) {
    const auto start = Clock::now();
    const Matches matches = run();
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    timing.seconds = std::min(timing.seconds, seconds);
    timing.matches = matches;
  }
  timing.ok = true;
  return timing;
}

Bytes random_bytes(size_t size, uint64_t seed) {
  Bytes bytes(size);
  uint64_t state = seed;
  for (size_t i = 0; i + 8 <= size; i += 8) {
    state += 0x9E3779B97F4A7C15ull;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    std::memcpy(bytes.data() + i, &z, 8);
  }
  return bytes;
}

void write_file(const fs::path& path, const Bytes& bytes) {
  std::ofstream stream(path, std::ios::binary | std::ios::trunc);
  stream.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// Runs a command line with its standard output captured; returns that output.
std::string capture(const std::string& command_line, int* status) {
  std::string output;
  FILE* pipe = ::popen(command_line.c_str(), "r");
  if (pipe == nullptr) return output;
  char chunk[4096];
  size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) output.append(chunk, got);
  const int wait_status = ::pclose(pipe);
  *status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  return output;
}

const char* kPythonScript = R"(
import sys, time
text = open(sys.argv[1], 'rb').read()
needle = open(sys.argv[2], 'rb').read()
best = None
for _ in range(int(sys.argv[3])):
    start = time.perf_counter()
    count, first, at = 0, -1, text.find(needle)
    while at >= 0:
        if count == 0:
            first = at
        count += 1
        at = text.find(needle, at + 1)
    seconds = time.perf_counter() - start
    best = seconds if best is None else min(best, seconds)
print(best, count, first)
)";

Timing python_find(const fs::path& text_path, const fs::path& needle_path, size_t text_bytes,
                   const fs::path& script_path) {
  Timing timing;
  timing.text_bytes = text_bytes;
  int status = -1;
  const std::string output = capture("python3 " + script_path.string() + " " + text_path.string() + " " +
                                         needle_path.string() + " " + std::to_string(kRuns),
                                     &status);
  long long count = 0;
  long long first = -1;
  if (status == 0 && std::sscanf(output.c_str(), "%lf %lld %lld", &timing.seconds, &count, &first) == 3) {
    timing.ok = true;
    timing.matches.count = static_cast<uint64_t>(count);
    timing.matches.first = first < 0 ? UINT64_MAX : static_cast<uint64_t>(first);
  }
  return timing;
}

// Runs argv with standard output on /dev/null, no shell in between; returns
// the exit status.
int run_to_null(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t child = -1;
  const int spawned = ::posix_spawnp(&child, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return -1;
  int wait_status = 0;
  if (::waitpid(child, &wait_status, 0) != child) return -1;
  return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
}

// Wall and CPU time of a process, best of kProcessRuns runs each.
Timing process_run(const std::vector<std::string>& argv, size_t text_bytes, bool any_status) {
  Timing timing;
  timing.text_bytes = text_bytes;
  timing.seconds = 1e300;
  timing.cpu_seconds = 1e300;
  timing.ok = true;
  for (int i = 0; i < kProcessRuns; ++i) {
    const auto start = Clock::now();
    const double cpu_start = children_cpu_seconds();
    const int status = run_to_null(argv);
    timing.seconds = std::min(timing.seconds, std::chrono::duration<double>(Clock::now() - start).count());
    timing.cpu_seconds = std::min(timing.cpu_seconds, children_cpu_seconds() - cpu_start);
    timing.ok = timing.ok && status >= 0 && (any_status || status == 0);
  }
  return timing;
}

// The whole binseek program: timed with its output on /dev/null, and run once
// more with its output captured for the matches.
Timing program_run(const fs::path& text_path, const fs::path& needle_path, size_t text_bytes) {
  Timing timing = process_run({BINSEEK_PROGRAM, text_path.string(), needle_path.string()}, text_bytes, true);
  int status = -1;
  const std::string output =
      capture(std::string(BINSEEK_PROGRAM) + " " + text_path.string() + " " + needle_path.string(), &status);
  for (size_t at = 0; at < output.size();) {
    const size_t end = output.find('\n', at);
    if (timing.matches.count++ == 0) timing.matches.first = std::strtoull(output.c_str() + at, nullptr, 10);
    at = end == std::string::npos ? output.size() : end + 1;
  }
  return timing;
}

// The yardstick of the whole program: cat of its two files, run the same way.
Timing cat_both(const fs::path& text_path, const fs::path& needle_path, size_t text_bytes) {
  return process_run({"cat", text_path.string(), needle_path.string()}, text_bytes, false);
}

void print_row(const char* method, const Timing& t, const char* note = "") {
  if (!t.ok) {
    std::printf("  %-28s  failed\n", method);
    return;
  }
  std::printf("  %-28s %9.4f s %9.2f GB/s   matches %llu%s", method, t.seconds, t.gb_per_s(),
              static_cast<unsigned long long>(t.matches.count), note);
  if (t.cpu_seconds > 0) std::printf("   cpu %.4f s", t.cpu_seconds);
  std::printf("\n");
}

bool run_case(const char* title, const Bytes& text, const Bytes& needle, bool naive_on_prefix, const fs::path& dir) {
  std::printf("\n%s: text %zu MiB, needle %zu bytes\n", title, text.size() / kMiB, needle.size());
  const fs::path text_path = dir / "text.bin";
  const fs::path needle_path = dir / "needle.bin";
  const fs::path script_path = dir / "find.py";
  write_file(text_path, text);
  write_file(needle_path, needle);
  std::ofstream(script_path) << kPythonScript;

  auto record = [](Matches* m) {
    return [m](uint64_t offset) {
      if (m->count++ == 0) m->first = offset;
    };
  };
  const Timing ours = best_of(text.size(), [&] {
    Matches m;
    const binseek::NeedleSearch search(needle.data(), needle.size());
    search.find_all(text.data(), text.size(), record(&m));
    return m;
  });
  const size_t naive_size = naive_on_prefix ? std::min(text.size(), kNaiveAdversarialPrefix) : text.size();
  const Timing naive = best_of(naive_size, [&] {
    Matches m;
    binseek::find_all_naive(text.data(), naive_size, needle.data(), needle.size(), record(&m));
    return m;
  });
  const Timing libc = best_of(text.size(), [&] {
    Matches m;
    const unsigned char* at = text.data();
    const unsigned char* const end = text.data() + text.size();
    while (at < end) {
      const void* hit = ::memmem(at, static_cast<size_t>(end - at), needle.data(), needle.size());
      if (hit == nullptr) break;
      const auto offset = static_cast<uint64_t>(static_cast<const unsigned char*>(hit) - text.data());
      record(&m)(offset);
      at = static_cast<const unsigned char*>(hit) + 1;
    }
    return m;
  });
  const Timing python = python_find(text_path, needle_path, text.size(), script_path);
  const Timing program = program_run(text_path, needle_path, text.size());
  const Timing reading = cat_both(text_path, needle_path, text.size());

  print_row("binseek search", ours);
  print_row("naive scan", naive, naive_on_prefix ? "   (on a 16 MiB prefix)" : "");
  print_row("memmem", libc);
  print_row("python bytes.find", python);
  print_row("binseek program (whole run)", program);
  print_row("cat of both files", reading);
  std::printf("  whole run / cat: wall %.2f, cpu %.2f (goal: at most 1.2)\n", reading.seconds > 0 ? program.seconds / reading.seconds : 0,
              reading.cpu_seconds > 0 ? program.cpu_seconds / reading.cpu_seconds : 0);
  std::printf("  binseek search vs naive %.1fx, vs memmem %.1fx, vs python %.1fx\n",
              naive.gb_per_s() > 0 ? ours.gb_per_s() / naive.gb_per_s() : 0,
              libc.gb_per_s() > 0 ? ours.gb_per_s() / libc.gb_per_s() : 0,
              python.gb_per_s() > 0 ? ours.gb_per_s() / python.gb_per_s() : 0);

  bool agree = libc.matches == ours.matches && python.matches == ours.matches && program.matches == ours.matches;
  if (!naive_on_prefix) agree = agree && naive.matches == ours.matches;
  if (!agree) std::printf("  MISMATCH: the methods disagree on the matches\n");
  return agree;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t size = (argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 256) * kMiB;
  if (size < kRandomNeedleSize * 2) {
    std::printf("usage: %s [size_MiB]\n", argv[0]);
    return 2;
  }
  char pattern[] = "/tmp/binseek-bench-XXXXXX";
  if (::mkdtemp(pattern) == nullptr) return 1;
  const fs::path dir = pattern;
  bool agree = true;
  {
    const Bytes text = random_bytes(size, 2024);
    const size_t from = size - size / 5 + 12345;
    const Bytes needle(text.begin() + static_cast<std::ptrdiff_t>(from),
                       text.begin() + static_cast<std::ptrdiff_t>(from + kRandomNeedleSize));
    agree &= run_case("random", text, needle, false, dir);
  }
  {
    const Bytes text(size, 'a');
    Bytes needle(kAdversarialNeedleSize, 'a');
    needle.back() = 'b';
    agree &= run_case("one repeated byte, needle ending in another byte", text, needle, true, dir);
    needle.back() = 'a';
    needle.front() = 'b';
    agree &= run_case("one repeated byte, needle starting with another byte", text, needle, true, dir);
  }
  fs::remove_all(dir);
  return agree ? 0 : 1;
}
