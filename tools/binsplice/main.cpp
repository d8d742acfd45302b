// binsplice file_in offset file_in2 file_out
//
// Writes to file_out a copy of file_in with file_in2's bytes copied over it
// from `offset` on; the output has the size of file_in.  `offset` is the
// number on the first line of the file of that name when such a file exists,
// otherwise the argument's own decimal value.  The files are copied in
// pieces; file_out is replaced only once it is complete, so it may name
// either input.
#include <cstdio>
#include <string>
#include <vector>

#include "fileio.h"
#include "tool_main.h"

namespace {

constexpr const char* kProgramName = "binsplice";
constexpr int kArgCount = 5;  // program, file_in, offset, file_in2, file_out
constexpr const char* kUsageLine = "%s file_in offset file_in2 file_out\n";
constexpr const char* kEchoLine = "%s %s %lld %s %s\n";
constexpr const char* kReadErrorLine = "read file %s error\n";
constexpr const char* kWriteErrorLine = "write file %s error\n";
constexpr const char* kOffsetTooBigLine = "[error] offset too big\n";
constexpr const char* kNegativeOffsetLine = "%s: offset %lld is negative\n";
constexpr const char* kTooBigReasonLine = "%s: %s (%lld bytes) at offset %lld ends beyond the %lld bytes of %s\n";

int fail_with(const char* line, const char* path, const std::string& reason) {
  return fileio::fail_with(kProgramName, line, path, reason);
}

bool open_input(const char* path, int64_t stat_size, fileio::InputFile& file) {
  return fileio::open_input(kProgramName, kReadErrorLine, path, stat_size, file);
}

int run(int argc, char** argv) {
  if (argc < kArgCount) {
    std::printf(kUsageLine, argv[0]);
    return fileio::kExitFailure;
  }
  const char* const base_path = argv[1];
  const char* const offset_arg = argv[2];
  const char* const patch_path = argv[3];
  const char* const out_path = argv[4];

  const int64_t offset = fileio::file_exists(offset_arg) ? fileio::read_number_file(offset_arg)
                                                         : fileio::parse_decimal_prefix(offset_arg);
  std::printf(kEchoLine, argv[0], base_path, static_cast<long long>(offset), patch_path, out_path);
  if (offset < 0) {
    std::fflush(stdout);
    std::fprintf(stderr, kNegativeOffsetLine, kProgramName, static_cast<long long>(offset));
    return fileio::kExitFailure;
  }

  const int64_t base_size = fileio::file_size(base_path);
  if (base_size < 0) return fail_with(kReadErrorLine, base_path, fileio::stat_error(base_path));
  fileio::InputFile base;
  if (!open_input(base_path, base_size, base)) return fileio::kExitFailure;

  const int64_t patch_size = fileio::file_size(patch_path);
  if (patch_size < 0) return fail_with(kReadErrorLine, patch_path, fileio::stat_error(patch_path));
  // A patch that ends exactly at the end of file_in fits.
  if (offset > base_size - patch_size) {
    std::printf(kOffsetTooBigLine);
    std::fflush(stdout);
    std::fprintf(stderr, kTooBigReasonLine, kProgramName, patch_path, static_cast<long long>(patch_size),
                 static_cast<long long>(offset), static_cast<long long>(base_size), base_path);
    return fileio::kExitFailure;
  }
  fileio::InputFile patch;
  if (!open_input(patch_path, patch_size, patch)) return fileio::kExitFailure;

  fileio::OutputFile output;
  if (!output.create(out_path)) return fail_with(kWriteErrorLine, out_path, output.error());
  std::vector<unsigned char> buffer(static_cast<size_t>(fileio::kCopyChunkSize));
  struct Piece {
    fileio::InputFile& file;
    const char* path;
    int64_t offset;
    int64_t count;
  };
  const Piece pieces[] = {
      {base, base_path, 0, offset},
      {patch, patch_path, 0, patch_size},
      {base, base_path, offset + patch_size, base_size - offset - patch_size},
  };
  for (const Piece& piece : pieces) {
    switch (fileio::copy_range(piece.file, piece.offset, piece.count, output, buffer.data(),
                               fileio::kCopyChunkSize)) {
      case fileio::CopyResult::kReadFailed:
        return fail_with(kReadErrorLine, piece.path, piece.file.error());
      case fileio::CopyResult::kWriteFailed:
        return fail_with(kWriteErrorLine, out_path, output.error());
      case fileio::CopyResult::kOk:
        break;
    }
  }
  base.close();
  patch.close();
  if (!output.commit()) return fail_with(kWriteErrorLine, out_path, output.error());
  return fileio::kExitSuccess;
}

}  // namespace

int main(int argc, char** argv) { return run(argc, argv); }
