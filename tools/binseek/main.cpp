// binseek bigfile seekfile
//
// Prints every offset at which seekfile occurs inside bigfile, one per line in
// ascending order, and succeeds only when there is exactly one.  Candidate
// offsets run from 0 to size(bigfile) - size(seekfile) inclusive, so a
// seekfile equal to bigfile is found at offset 0.  Both files are read in
// pieces, so memory stays bounded whatever their sizes; holes of a sparse
// file are searched as the zeros they hold without being read.
#include <cstdio>
#include <string>

#include "fileio.h"
#include "needle_search.h"
#include "tool_main.h"

namespace {

constexpr const char* kProgramName = "binseek";
constexpr int kArgCount = 3;  // program, bigfile, seekfile
constexpr const char* kUsageLine = "%s bigfile seekfile\n";
constexpr const char* kReadErrorLine = "read file %s error\n";
constexpr const char* kOffsetLine = "%lld\n";

int fail_read(const char* path, const std::string& reason) {
  return fileio::fail_with(kProgramName, kReadErrorLine, path, reason);
}

bool open_input(const char* path, int64_t stat_size, fileio::InputFile& file) {
  return fileio::open_input(kProgramName, kReadErrorLine, path, stat_size, file);
}

int run(int argc, char** argv) {
  if (argc < kArgCount) {
    std::printf(kUsageLine, argv[0]);
    return fileio::kExitFailure;
  }
  const char* const big_path = argv[1];
  const char* const seek_path = argv[2];

  const int64_t big_size = fileio::file_size(big_path);
  if (big_size < 0) return fail_read(big_path, fileio::stat_error(big_path));
  const int64_t seek_size = fileio::file_size(seek_path);
  if (seek_size < 0) return fail_read(seek_path, fileio::stat_error(seek_path));

  fileio::InputFile big;
  if (!open_input(big_path, big_size, big)) return fileio::kExitFailure;
  fileio::InputFile seek;
  if (!open_input(seek_path, seek_size, seek)) return fileio::kExitFailure;

  auto reader = [](fileio::InputFile& file) {
    return [&file](int64_t offset, unsigned char* into, size_t count) {
      return file.read_exact_sparse(offset, into, static_cast<int64_t>(count));
    };
  };
  const binseek::StreamResult result =
      binseek::find_all_streamed(big_size, reader(big), seek_size, reader(seek),
                                 [](uint64_t offset) { std::printf(kOffsetLine, static_cast<long long>(offset)); });
  if (result.failure == binseek::StreamFailure::kTextRead) return fail_read(big_path, big.error());
  if (result.failure == binseek::StreamFailure::kNeedleRead) return fail_read(seek_path, seek.error());
  return result.matches == 1 ? fileio::kExitSuccess : fileio::kExitFailure;
}

}  // namespace

int main(int argc, char** argv) { return run(argc, argv); }
