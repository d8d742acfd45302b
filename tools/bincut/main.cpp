// bincut file_in offset size file_out
//
// Writes `size` bytes of file_in from `offset` on to file_out; a size of 0
// means "to the end of file_in".  The slice must lie within file_in.  The
// slice is copied in pieces; file_out is replaced only once it is complete,
// so it may name file_in itself.
#include <cstdio>
#include <vector>

#include "fileio.h"
#include "tool_main.h"

namespace {

constexpr const char* kProgramName = "bincut";
constexpr int kArgCount = 5;  // program, file_in, offset, size, file_out
constexpr const char* kUsageLine = "%s file_in offset size file_out\n";
constexpr const char* kEchoLine = "%s %s %lld %lld %s\n";
constexpr const char* kReadErrorLine = "read file %s error\n";
constexpr const char* kWriteErrorLine = "write file %s error\n";
constexpr const char* kOutOfRangeLine = "[error] offset or size out of range\n";
constexpr const char* kRangeReasonLine = "%s: %s holds %lld bytes\n";  // program, path, size
constexpr const char* kEmptySliceReason = "the slice is empty";

int fail_with(const char* line, const char* path, const std::string& reason) {
  return fileio::fail_with(kProgramName, line, path, reason);
}

int run(int argc, char** argv) {
  if (argc < kArgCount) {
    std::printf(kUsageLine, argv[0]);
    return fileio::kExitFailure;
  }
  const char* const in_path = argv[1];
  const int64_t offset = fileio::parse_decimal_prefix(argv[2]);
  const int64_t size_arg = fileio::parse_decimal_prefix(argv[3]);
  const char* const out_path = argv[4];
  std::printf(kEchoLine, argv[0], in_path, static_cast<long long>(offset), static_cast<long long>(size_arg),
              out_path);

  const int64_t stat_size = fileio::file_size(in_path);
  if (stat_size < 0) return fail_with(kReadErrorLine, in_path, fileio::stat_error(in_path));
  fileio::InputFile input;
  if (!input.open(in_path)) return fail_with(kReadErrorLine, in_path, input.error());
  const int64_t file_size = input.size();
  if (file_size == 0) return fail_with(kReadErrorLine, in_path, fileio::kEmptyFileReason);

  const int64_t length = size_arg != 0 ? size_arg : file_size - offset;
  if (offset < 0 || offset > file_size || length < 0 || length > file_size - offset) {
    std::printf(kOutOfRangeLine);
    std::fflush(stdout);
    std::fprintf(stderr, kRangeReasonLine, kProgramName, in_path, static_cast<long long>(file_size));
    return fileio::kExitFailure;
  }
  if (length == 0) return fail_with(kWriteErrorLine, out_path, kEmptySliceReason);

  fileio::OutputFile output;
  if (!output.create(out_path)) return fail_with(kWriteErrorLine, out_path, output.error());
  std::vector<unsigned char> buffer(static_cast<size_t>(fileio::kCopyChunkSize));
  switch (fileio::copy_range(input, offset, length, output, buffer.data(), fileio::kCopyChunkSize)) {
    case fileio::CopyResult::kReadFailed:
      return fail_with(kReadErrorLine, in_path, input.error());
    case fileio::CopyResult::kWriteFailed:
      return fail_with(kWriteErrorLine, out_path, output.error());
    case fileio::CopyResult::kOk:
      break;
  }
  input.close();
  if (!output.commit()) return fail_with(kWriteErrorLine, out_path, output.error());
  return fileio::kExitSuccess;
}

}  // namespace

int main(int argc, char** argv) { return run(argc, argv); }
