// bincut file_in offset size file_out
//
// Writes `size` bytes of file_in from `offset` on to file_out; a size of 0
// means "to the end of file_in".  The slice must lie within file_in.
#include <cstdio>

#include "fileio.h"

namespace {

constexpr int kArgCount = 5;  // program, file_in, offset, size, file_out
constexpr const char* kUsageLine = "%s file_in offset size file_out\n";
constexpr const char* kEchoLine = "%s %s %lld %lld %s\n";
constexpr const char* kReadErrorLine = "read file %s error\n";
constexpr const char* kWriteErrorLine = "write file %s error\n";
constexpr const char* kMallocFailLine = "malloc fail\n";
constexpr const char* kOutOfRangeLine = "[error] offset or size out of range\n";

int fail_with(const char* line, const char* path = nullptr) {
  std::printf(line, path);
  return fileio::kExitFailure;
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

  const int64_t file_size = fileio::file_size(in_path);
  if (file_size < 0) return fail_with(kReadErrorLine, in_path);
  fileio::FileBuffer file = fileio::allocate_file_buffer(file_size);
  if (!file.ok()) return fail_with(kMallocFailLine);
  if (file_size == 0 || fileio::read_whole(in_path, file.bytes.get(), file_size) != file_size) {
    return fail_with(kReadErrorLine, in_path);
  }

  if (offset < 0 || offset > file_size) return fail_with(kOutOfRangeLine);
  const int64_t length = size_arg != 0 ? size_arg : file_size - offset;
  if (length < 0 || length > file_size - offset) return fail_with(kOutOfRangeLine);

  if (fileio::write_whole(out_path, file.bytes.get() + offset, length) != length || length == 0) {
    return fail_with(kWriteErrorLine, out_path);
  }
  return fileio::kExitSuccess;
}

}  // namespace

int main(int argc, char** argv) { return run(argc, argv); }
