// Times binseek's search against the quadratic scan, the C library's memmem
// and Python's bytes.find, on a 256 MiB random text with a 64 KiB needle taken
// from it and on two adversarial texts (one repeated byte; 4 KiB needles of
// that byte ending, or starting, with another byte).  Also times the whole
// binseek program against cat of its two files, on those texts and on a 2 GiB
// sparse file (made with ftruncate, 64 KiB of data near its end, a 16-byte
// needle from that data; removed afterwards).
//
//   binseek_bench [size_MiB [sparse_GiB [binseek_program]]]   (defaults 256, 2, the built binseek)
//
// The searches in memory show the best of a few runs; throughput is text
// bytes per second.  The whole program and cat run in pairs, the order
// alternating from pair to pair, after one untimed run of each that brings the
// files into the page cache; each side shows the median CPU time (user +
// system of the process), the median wall time, and the median of the pairs'
// CPU time ratios (binseek / cat), which other load on the machine disturbs
// least.
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
// The whole program and cat are short and sensitive to other load: this many
// pairs of runs.
constexpr int kProcessPairs = 15;

constexpr size_t kMiB = size_t{1} << 20;
constexpr uint64_t kGiB = uint64_t{1} << 30;
constexpr size_t kDefaultSizeMiB = 256;
constexpr uint64_t kDefaultSparseGiB = 2;
// The sparse file: one block of data this far before its end, and a needle
// taken from inside that block.
constexpr size_t kSparseDataSize = 64 * 1024;
constexpr uint64_t kSparseDataBeforeEnd = 3 * kMiB;
constexpr size_t kSparseNeedleFrom = 4321;
constexpr size_t kSparseNeedleSize = 16;
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

// One run of a child process: its exit status (-1 when it could not run or
// did not exit), its CPU time (user + system) and its wall time.
struct ProcessRun {
  int status = -1;
  double cpu_seconds = 0;
  double wall_seconds = 0;
};

// Runs argv with standard output on /dev/null, no shell in between.
ProcessRun run_to_null(const std::vector<std::string>& argv) {
  ProcessRun run;
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  const auto start = Clock::now();
  pid_t child = -1;
  const int spawned = ::posix_spawnp(&child, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return run;
  int wait_status = 0;
  struct rusage usage;
  if (::wait4(child, &wait_status, 0, &usage) != child) return run;
  run.wall_seconds = std::chrono::duration<double>(Clock::now() - start).count();
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) / 1e6; };
  run.cpu_seconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  return run;
}

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// binseek against cat in kProcessPairs pairs of runs.
struct Paired {
  double program_cpu = 0;  // medians
  double cat_cpu = 0;
  double program_wall = 0;
  double cat_wall = 0;
  double ratio = 0;  // median of the pairs' CPU time ratios (program / cat)
  double ratio_low = 0;
  double ratio_high = 0;
  Matches matches;  // binseek's output
  bool ok = false;
};

// Counts the offsets in binseek's output and keeps the first.
Matches matches_in(const std::string& output) {
  Matches matches;
  for (size_t at = 0; at < output.size();) {
    const size_t end = output.find('\n', at);
    if (matches.count++ == 0) matches.first = std::strtoull(output.c_str() + at, nullptr, 10);
    at = end == std::string::npos ? output.size() : end + 1;
  }
  return matches;
}

// The whole binseek program against its yardstick, cat of its two files: both
// with their output on /dev/null; binseek runs once more with its output
// captured for the matches.  binseek may exit with any status (it fails when
// it finds no match or several), cat must succeed.
Paired program_against_cat(const std::string& program, const fs::path& text_path, const fs::path& needle_path) {
  const std::vector<std::string> binseek_argv = {program, text_path.string(), needle_path.string()};
  const std::vector<std::string> cat_argv = {"cat", text_path.string(), needle_path.string()};
  Paired paired;
  paired.ok = run_to_null(binseek_argv).status >= 0 && run_to_null(cat_argv).status == 0;
  std::vector<double> program_cpu, cat_cpu, program_wall, cat_wall, ratios;
  for (int pair = 0; pair < kProcessPairs && paired.ok; ++pair) {
    ProcessRun ours;
    ProcessRun theirs;
    if (pair % 2 == 0) {
      ours = run_to_null(binseek_argv);
      theirs = run_to_null(cat_argv);
    } else {
      theirs = run_to_null(cat_argv);
      ours = run_to_null(binseek_argv);
    }
    paired.ok = ours.status >= 0 && theirs.status == 0;
    program_cpu.push_back(ours.cpu_seconds);
    cat_cpu.push_back(theirs.cpu_seconds);
    program_wall.push_back(ours.wall_seconds);
    cat_wall.push_back(theirs.wall_seconds);
    // A run too short for the clock counts as its resolution.
    ratios.push_back(std::max(ours.cpu_seconds, 1e-6) / std::max(theirs.cpu_seconds, 1e-6));
  }
  paired.program_cpu = median(program_cpu);
  paired.cat_cpu = median(cat_cpu);
  paired.program_wall = median(program_wall);
  paired.cat_wall = median(cat_wall);
  paired.ratio = median(ratios);
  if (!ratios.empty()) {
    paired.ratio_low = *std::min_element(ratios.begin(), ratios.end());
    paired.ratio_high = *std::max_element(ratios.begin(), ratios.end());
  }
  int status = -1;
  paired.matches = matches_in(capture(program + " " + text_path.string() + " " + needle_path.string(), &status));
  return paired;
}

void print_paired(const Paired& p) {
  if (!p.ok) {
    std::printf("  binseek program vs cat        failed\n");
    return;
  }
  std::printf("  binseek program (whole run)   cpu %.4f s   wall %.4f s   matches %llu\n", p.program_cpu,
              p.program_wall, static_cast<unsigned long long>(p.matches.count));
  std::printf("  cat of both files             cpu %.4f s   wall %.4f s\n", p.cat_cpu, p.cat_wall);
  std::printf("  binseek / cat cpu, %d paired runs: median %.2f (lowest %.2f, highest %.2f)\n", kProcessPairs,
              p.ratio, p.ratio_low, p.ratio_high);
}

void print_row(const char* method, const Timing& t, const char* note = "") {
  if (!t.ok) {
    std::printf("  %-28s  failed\n", method);
    return;
  }
  std::printf("  %-28s %9.4f s %9.2f GB/s   matches %llu%s\n", method, t.seconds, t.gb_per_s(),
              static_cast<unsigned long long>(t.matches.count), note);
}

bool run_case(const char* title, const Bytes& text, const Bytes& needle, bool naive_on_prefix, const fs::path& dir,
              const std::string& program) {
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
  const Paired whole = program_against_cat(program, text_path, needle_path);

  print_row("binseek search", ours);
  print_row("naive scan", naive, naive_on_prefix ? "   (on a 16 MiB prefix)" : "");
  print_row("memmem", libc);
  print_row("python bytes.find", python);
  print_paired(whole);
  std::printf("  binseek search vs naive %.1fx, vs memmem %.1fx, vs python %.1fx\n",
              naive.gb_per_s() > 0 ? ours.gb_per_s() / naive.gb_per_s() : 0,
              libc.gb_per_s() > 0 ? ours.gb_per_s() / libc.gb_per_s() : 0,
              python.gb_per_s() > 0 ? ours.gb_per_s() / python.gb_per_s() : 0);

  bool agree = libc.matches == ours.matches && python.matches == ours.matches && whole.matches == ours.matches;
  if (!naive_on_prefix) agree = agree && naive.matches == ours.matches;
  if (!agree) std::printf("  MISMATCH: the methods disagree on the matches\n");
  return agree;
}

// The whole program against cat on a sparse file: a hole of `size` bytes with
// one block of data near its end, and a needle from inside that block.
bool run_sparse_case(uint64_t size, const fs::path& dir, const std::string& program) {
  std::printf("\nsparse file: %llu MiB, %zu KiB of data at %llu MiB before its end, needle %zu bytes\n",
              static_cast<unsigned long long>(size / kMiB), kSparseDataSize / 1024,
              static_cast<unsigned long long>(kSparseDataBeforeEnd / kMiB), kSparseNeedleSize);
  const fs::path text_path = dir / "sparse.bin";
  const fs::path needle_path = dir / "needle.bin";
  const uint64_t data_at = size - kSparseDataBeforeEnd;
  const Bytes data = random_bytes(kSparseDataSize, 2025);
  const int fd = ::open(text_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  const bool made = fd >= 0 && ::ftruncate(fd, static_cast<off_t>(size)) == 0 &&
                    ::pwrite(fd, data.data(), data.size(), static_cast<off_t>(data_at)) ==
                        static_cast<ssize_t>(data.size());
  if (fd >= 0) ::close(fd);
  if (!made) {
    std::printf("  cannot make the sparse file\n");
    fs::remove(text_path);
    return false;
  }
  write_file(needle_path, Bytes(data.begin() + kSparseNeedleFrom, data.begin() + kSparseNeedleFrom + kSparseNeedleSize));
  const Paired whole = program_against_cat(program, text_path, needle_path);
  fs::remove(text_path);
  print_paired(whole);
  const bool agree = whole.matches == Matches{1, data_at + kSparseNeedleFrom};
  if (!agree) std::printf("  MISMATCH: binseek did not find the needle once at %llu\n",
                          static_cast<unsigned long long>(data_at + kSparseNeedleFrom));
  return agree;
}

}  // namespace

int main(int argc, char** argv) {
  const size_t size = (argc > 1 ? std::strtoull(argv[1], nullptr, 10) : kDefaultSizeMiB) * kMiB;
  const uint64_t sparse_size = (argc > 2 ? std::strtoull(argv[2], nullptr, 10) : kDefaultSparseGiB) * kGiB;
  const std::string program = argc > 3 ? argv[3] : BINSEEK_PROGRAM;
  if (size < kRandomNeedleSize * 2 || sparse_size < kSparseDataBeforeEnd) {
    std::printf("usage: %s [size_MiB [sparse_GiB [binseek_program]]]\n", argv[0]);
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
    agree &= run_case("random", text, needle, false, dir, program);
  }
  agree &= run_sparse_case(sparse_size, dir, program);
  {
    const Bytes text(size, 'a');
    Bytes needle(kAdversarialNeedleSize, 'a');
    needle.back() = 'b';
    agree &= run_case("one repeated byte, needle ending in another byte", text, needle, true, dir, program);
    needle.back() = 'a';
    needle.front() = 'b';
    agree &= run_case("one repeated byte, needle starting with another byte", text, needle, true, dir, program);
  }
  fs::remove_all(dir);
  return agree ? 0 : 1;
}
