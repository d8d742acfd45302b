// binsplice file_in offset file_in2 file_out
//
// Writes to file_out a copy of file_in with file_in2's bytes copied over it
// from `offset` on; the output has the size of file_in.  `offset` is the
// number on the first line of the file of that name when such a file exists,
// otherwise the argument's own decimal value.
#include <cstdio>
#include <cstring>

#include "fileio.h"

namespace {

constexpr int kArgCount = 5;  // program, file_in, offset, file_in2, file_out
constexpr const char* kUsageLine = "%s file_in offset file_in2 file_out\n";
constexpr const char* kEchoLine = "%s %s %lld %s %s\n";
constexpr const char* kReadErrorLine = "read file %s error\n";
constexpr const char* kWriteErrorLine = "write file %s error\n";
constexpr const char* kMallocFailLine = "malloc fail\n";
constexpr const char* kOffsetTooBigLine = "[error] offset too big\n";

int fail_with(const char* line, const char* path = nullptr) {
  std::printf(line, path);
  return fileio::kExitFailure;
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
  if (offset < 0) return fileio::kExitFailure;

  const int64_t base_size = fileio::file_size(base_path);
  if (base_size < 0) return fail_with(kReadErrorLine, base_path);
  fileio::FileBuffer base = fileio::allocate_file_buffer(base_size);
  if (!base.ok()) return fail_with(kMallocFailLine);
  if (base_size == 0 || fileio::read_whole(base_path, base.bytes.get(), base_size) != base_size) {
    return fail_with(kReadErrorLine, base_path);
  }

  const int64_t patch_size = fileio::file_size(patch_path);
  if (patch_size < 0) return fail_with(kReadErrorLine, patch_path);
  // A patch that ends exactly at the end of file_in fits.
  if (offset > base_size - patch_size) return fail_with(kOffsetTooBigLine);
  fileio::FileBuffer patch = fileio::allocate_file_buffer(patch_size);
  if (!patch.ok()) return fail_with(kMallocFailLine);
  if (patch_size == 0 || fileio::read_whole(patch_path, patch.bytes.get(), patch_size) != patch_size) {
    return fail_with(kReadErrorLine, patch_path);
  }

  std::memcpy(base.bytes.get() + offset, patch.bytes.get(), static_cast<size_t>(patch_size));
  if (fileio::write_whole(out_path, base.bytes.get(), base_size) != base_size) {
    return fail_with(kWriteErrorLine, out_path);
  }
  return fileio::kExitSuccess;
}

}  // namespace

int main(int argc, char** argv) { return run(argc, argv); }
