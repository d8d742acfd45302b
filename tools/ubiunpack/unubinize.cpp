#include "unubinize.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "fileio.h"

namespace unubinize {
namespace {

constexpr int kArgCount = 3;  // program, in_file, out_file
constexpr const char* kUsageLine = "%s in_file out_file\n";
constexpr const char* kMissingInputLine = "file:%s NOT exist\n";
constexpr const char* kEchoLine = "%s %s %s\n";
constexpr const char* kReadErrorLine = "read file %s error\n";
constexpr const char* kWriteErrorLine = "write file %s error\n";
constexpr const char* kMallocFailLine = "malloc fail\n";
constexpr const char* kNotUbiLine = "NOT UBI file magic dismatch\n";
constexpr const char* kNotSquashfsLine = "file %s is NOT squashfs\n";
constexpr const char* kSquashfsSizeLine = "squashfs file size:%lld\n";
constexpr const char* kBlockSizeErrorLine = "UBI get block_size error\n";
constexpr const char* kGeometryLine = "flash block_size:%uKB page_size:%lld leb_size:%lldKB\n";
constexpr const char* kSizeMismatchLine = "out file size dismatch! %lld %lld\n";
constexpr const char* kOutSizeLine = "out file size:%lld\n";
constexpr const char* kSuccessLine = "unubinize success\n";
constexpr const char* kFailLine = "unubinize fail\n";

constexpr int64_t kBytesPerKiB = 1024;

uint32_t load_be32(const unsigned char* at) {
  return (uint32_t{at[0]} << 24) | (uint32_t{at[1]} << 16) | (uint32_t{at[2]} << 8) | uint32_t{at[3]};
}

uint32_t load_le32(const unsigned char* at) {
  return uint32_t{at[0]} | (uint32_t{at[1]} << 8) | (uint32_t{at[2]} << 16) | (uint32_t{at[3]} << 24);
}

int64_t load_le64(const unsigned char* at) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | at[i];
  return static_cast<int64_t>(value);
}

// Everything after the input file's size is known; returns whether out_file was written.
bool unpack(const char* in_path, const char* out_path, int64_t input_size, Variant variant) {
  fileio::FileBuffer input = fileio::allocate_file_buffer(input_size);
  fileio::FileBuffer output = fileio::allocate_file_buffer(input_size);
  if (!input.ok() || !output.ok()) {
    std::printf(kMallocFailLine);
    return false;
  }
  if (input_size == 0 || fileio::read_whole(in_path, input.bytes.get(), input_size) != input_size) {
    std::printf(kReadErrorLine, in_path);
    return false;
  }
  const unsigned char* const in = input.bytes.get();

  if (input_size < kEcHeaderSize || load_be32(in + kEcMagicOffset) != kEcMagic) {
    std::printf(kNotUbiLine);
    return false;
  }
  const uint32_t vid_header_offset = load_be32(in + kEcVidHeaderOffsetOffset);

  const int64_t squashfs_start = find_nth(in, input_size, input_size, kSquashfsMagicText, 0);
  if (squashfs_start < 0 || squashfs_start > input_size - kSuperblockSize) {
    std::printf(kNotSquashfsLine, in_path);
    return false;
  }
  const unsigned char* const superblock = in + squashfs_start;
  const int64_t bytes_used = load_le64(superblock + kSquashfsBytesUsedOffset);
  // An image shorter than its own superblock is no squashfs image.
  if (load_le32(superblock) != kSquashfsMagic || bytes_used < kSuperblockSize) {
    std::printf(kNotSquashfsLine, in_path);
    return false;
  }
  std::printf(kSquashfsSizeLine, static_cast<long long>(bytes_used));

  const int64_t physical_block_size = find_nth(in, input_size, kBlockSizeSearchWindow, kEcMagicText, 1);
  if (physical_block_size < 0) {
    std::printf(kBlockSizeErrorLine);
    return false;
  }
  const Geometry geometry = derive_geometry(physical_block_size, vid_header_offset);
  if (geometry.logical_block_size <= 0) {
    std::printf(kBlockSizeErrorLine);
    return false;
  }
  std::printf(kGeometryLine, static_cast<unsigned>(static_cast<uint32_t>(physical_block_size) >> 10),
              static_cast<long long>(geometry.page_size),
              static_cast<long long>(geometry.logical_block_size / kBytesPerKiB));

  unsigned char* const out = output.bytes.get();
  int64_t out_size = 0;
  if (variant == Variant::kExact) {
    out_size = assemble_squashfs(in, input_size, squashfs_start, bytes_used, geometry, out);
    if (out_size != bytes_used) {
      std::printf(kSizeMismatchLine, static_cast<long long>(bytes_used), static_cast<long long>(out_size));
      return false;
    }
  } else {
    out_size = assemble_to_end(in, input_size, squashfs_start, geometry, out);
    std::printf(kOutSizeLine, static_cast<long long>(out_size));
  }

  if (fileio::write_whole(out_path, out, out_size) != out_size) {
    std::printf(kWriteErrorLine, out_path);
    return false;
  }
  return true;
}

}  // namespace

Geometry derive_geometry(int64_t physical_block_size, uint32_t vid_header_offset) {
  const int64_t page_size = physical_block_size == kLargeBlockSize ? kLargeBlockPageSize : kDefaultPageSize;
  const int64_t header_pages = vid_header_offset < page_size ? 1 : 2;
  return {physical_block_size, page_size, physical_block_size - header_pages * page_size};
}

int64_t find_nth(const unsigned char* buffer, int64_t buffer_size, int64_t window, const char* text, int n) {
  const auto text_size = static_cast<int64_t>(std::strlen(text));
  const int64_t last_start = std::min(window - 1, buffer_size - text_size);
  int seen = 0;
  for (int64_t j = 0; j <= last_start; ++j) {
    if (std::memcmp(buffer + j, text, static_cast<size_t>(text_size)) == 0) {
      if (seen == n) return j;
      ++seen;
    }
  }
  return -1;
}

int64_t assemble_squashfs(const unsigned char* input, int64_t input_size, int64_t squashfs_start,
                          int64_t bytes_used, const Geometry& geometry, unsigned char* output) {
  int64_t out = 0;
  for (int64_t src = squashfs_start; src < input_size && out < bytes_used;
       src += geometry.physical_block_size) {
    const int64_t piece = std::min({geometry.logical_block_size, input_size - src, bytes_used - out});
    std::memcpy(output + out, input + src, static_cast<size_t>(piece));
    out += piece;
  }
  return out;
}

int64_t assemble_to_end(const unsigned char* input, int64_t input_size, int64_t squashfs_start,
                        const Geometry& geometry, unsigned char* output) {
  int64_t out = 0;
  for (int64_t src = squashfs_start; src < input_size; src += geometry.physical_block_size) {
    const int64_t piece = std::min(geometry.logical_block_size, input_size - src);
    std::memcpy(output + out, input + src, static_cast<size_t>(piece));
    out += piece;
  }
  return out;
}

int run(int argc, char** argv, Variant variant) {
  if (argc < kArgCount) {
    std::printf(kUsageLine, argv[0]);
    return fileio::kExitFailure;
  }
  const char* const in_path = argv[1];
  const char* const out_path = argv[2];
  if (!fileio::file_exists(in_path)) {
    std::printf(kMissingInputLine, in_path);
    return fileio::kExitFailure;
  }
  std::printf(kEchoLine, argv[0], in_path, out_path);
  const int64_t input_size = fileio::file_size(in_path);
  if (input_size < 0) {
    std::printf(kReadErrorLine, in_path);
    return fileio::kExitFailure;
  }
  const bool written = unpack(in_path, out_path, input_size, variant);
  std::printf(written ? kSuccessLine : kFailLine);
  return written ? fileio::kExitSuccess : fileio::kExitFailure;
}

}  // namespace unubinize
