// binseek bigfile seekfile
//
// Prints every offset at which seekfile occurs inside bigfile, one per line in
// ascending order, and succeeds only when there is exactly one.  Candidate
// offsets run from 0 to size(bigfile) - size(seekfile) inclusive, so a
// seekfile equal to bigfile is found at offset 0.
#include <cstdio>

#include "fileio.h"
#include "needle_search.h"

namespace {

constexpr int kArgCount = 3;  // program, bigfile, seekfile
constexpr const char* kUsageLine = "%s bigfile seekfile\n";
constexpr const char* kReadErrorLine = "read file %s error\n";
constexpr const char* kMallocFailLine = "malloc fail\n";
constexpr const char* kOffsetLine = "%lld\n";

int fail_read(const char* path) {
  std::printf(kReadErrorLine, path);
  return fileio::kExitFailure;
}

int run(int argc, char** argv) {
  if (argc < kArgCount) {
    std::printf(kUsageLine, argv[0]);
    return fileio::kExitFailure;
  }
  const char* const big_path = argv[1];
  const char* const seek_path = argv[2];

  const int64_t big_size = fileio::file_size(big_path);
  if (big_size < 0) return fail_read(big_path);
  const int64_t seek_size = fileio::file_size(seek_path);
  if (seek_size < 0) return fail_read(seek_path);

  fileio::FileBuffer big = fileio::allocate_file_buffer(big_size);
  fileio::FileBuffer seek = fileio::allocate_file_buffer(seek_size);
  if (!big.ok() || !seek.ok()) {
    std::printf(kMallocFailLine);
    return fileio::kExitFailure;
  }
  // Empty files and files that changed size since the status query count as unreadable.
  if (big_size == 0 || fileio::read_whole(big_path, big.bytes.get(), big_size) != big_size) {
    return fail_read(big_path);
  }
  if (seek_size == 0 || fileio::read_whole(seek_path, seek.bytes.get(), seek_size) != seek_size) {
    return fail_read(seek_path);
  }

  const binseek::NeedleSearch search(seek.bytes.get(), static_cast<size_t>(seek_size));
  const uint64_t matches =
      search.find_all(big.bytes.get(), static_cast<size_t>(big_size),
                      [](uint64_t offset) { std::printf(kOffsetLine, static_cast<long long>(offset)); });
  return matches == 1 ? fileio::kExitSuccess : fileio::kExitFailure;
}

}  // namespace

int main(int argc, char** argv) { return run(argc, argv); }
