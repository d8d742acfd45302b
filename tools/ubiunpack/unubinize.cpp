#include "unubinize.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fileio.h"
#include "le.h"
#include "tool_main.h"

namespace unubinize {
namespace {

constexpr int kArgCount = 3;  // program, in_file, out_file
constexpr const char* kUsageLine = "%s in_file out_file\n";
constexpr const char* kMissingInputLine = "file:%s NOT exist\n";
constexpr const char* kEchoLine = "%s %s %s\n";
constexpr const char* kReadErrorLine = "read file %s error\n";
constexpr const char* kWriteErrorLine = "write file %s error\n";
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

using fileio::load_be32;
using fileio::load_le32;
using fileio::load_le64;

constexpr const char* kProgramReasonLine = "%s: %s: %s\n";  // program, path, reason

const char* program_name(Variant variant) { return variant == Variant::kExact ? "ubiunpack" : "ubiunpack-lite"; }

void print_reason(Variant variant, const char* path, const std::string& reason) {
  std::fflush(stdout);
  std::fprintf(stderr, kProgramReasonLine, program_name(variant), path, reason.c_str());
}

// Offset of the first "hsqs" of the input, searched piece by piece; -1 when
// there is none, -2 when a read failed.
int64_t find_squashfs_start(int64_t input_size, const ReadAt& read, int64_t chunk_size) {
  const int64_t carry_max = static_cast<int64_t>(sizeof kSquashfsMagicText) - 2;  // text length - 1
  std::vector<unsigned char> window(static_cast<size_t>(chunk_size + carry_max));
  int64_t window_start = 0;
  int64_t held = 0;
  for (int64_t next = 0; next < input_size;) {
    const int64_t piece = std::min(chunk_size, input_size - next);
    if (!read(next, window.data() + held, piece)) return -2;
    held += piece;
    next += piece;
    const int64_t found = find_nth(window.data(), held, held, kSquashfsMagicText, 0);
    if (found >= 0) return window_start + found;
    const int64_t keep = std::min(held, carry_max);
    std::memmove(window.data(), window.data() + held - keep, static_cast<size_t>(keep));
    window_start += held - keep;
    held = keep;
  }
  return -1;
}

// Everything after the input file's size is known; returns whether out_file was written.
bool unpack(const char* in_path, const char* out_path, int64_t input_size, Variant variant) {
  fileio::InputFile input;
  if (!input.open(in_path)) {
    std::printf(kReadErrorLine, in_path);
    print_reason(variant, in_path, input.error());
    return false;
  }
  if (input.size() != input_size || input_size == 0) {
    std::printf(kReadErrorLine, in_path);
    print_reason(variant, in_path, input_size == 0 ? fileio::kEmptyFileReason : fileio::kFileShrankReason);
    return false;
  }
  const ReadAt read = [&input](int64_t offset, unsigned char* into, int64_t count) {
    return input.read_exact(offset, into, count);
  };
  auto read_failed = [&]() {
    std::printf(kReadErrorLine, in_path);
    print_reason(variant, in_path, input.error());
    return false;
  };

  const Layout layout = inspect(input_size, read);
  switch (layout.status) {
    case InspectStatus::kReadFailed:
      return read_failed();
    case InspectStatus::kNotUbi:
      std::printf(kNotUbiLine);
      return false;
    case InspectStatus::kNotSquashfs:
      std::printf(kNotSquashfsLine, in_path);
      return false;
    default:
      break;
  }
  std::printf(kSquashfsSizeLine, static_cast<long long>(layout.bytes_used));
  if (layout.status != InspectStatus::kOk) {
    std::printf(kBlockSizeErrorLine);
    return false;
  }
  const Geometry& geometry = layout.geometry;
  std::printf(kGeometryLine, static_cast<unsigned>(static_cast<uint32_t>(geometry.physical_block_size) >> 10),
              static_cast<long long>(geometry.page_size),
              static_cast<long long>(geometry.logical_block_size / kBytesPerKiB));

  const int64_t limit = variant == Variant::kExact ? layout.bytes_used : kNoLimit;
  const int64_t out_size = for_each_piece(input_size, layout.squashfs_start, limit, geometry,
                                          [](int64_t, int64_t) { return true; });
  if (variant == Variant::kExact) {
    if (out_size != layout.bytes_used) {
      std::printf(kSizeMismatchLine, static_cast<long long>(layout.bytes_used), static_cast<long long>(out_size));
      return false;
    }
  } else {
    std::printf(kOutSizeLine, static_cast<long long>(out_size));
  }

  fileio::OutputFile output;
  auto write_failed = [&]() {
    std::printf(kWriteErrorLine, out_path);
    print_reason(variant, out_path, output.error());
    return false;
  };
  if (out_size == 0) {
    std::printf(kWriteErrorLine, out_path);
    print_reason(variant, out_path, "nothing to write");
    return false;
  }
  if (!output.create(out_path)) return write_failed();
  std::vector<unsigned char> block(static_cast<size_t>(geometry.physical_block_size));
  const CopyStatus copied =
      copy_pieces(input_size, read, layout, limit, block.data(),
                  [&output](const unsigned char* data, int64_t count) { return output.write(data, count); });
  if (copied == CopyStatus::kReadFailed) return read_failed();
  if (copied == CopyStatus::kWriteFailed) return write_failed();
  input.close();
  if (!output.commit()) return write_failed();
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
    // Only a position holding the text's first byte can start it.
    const void* first = std::memchr(buffer + j, text[0], static_cast<size_t>(last_start - j + 1));
    if (first == nullptr) break;
    j = static_cast<const unsigned char*>(first) - buffer;
    if (std::memcmp(buffer + j, text, static_cast<size_t>(text_size)) == 0) {
      if (seen == n) return j;
      ++seen;
    }
  }
  return -1;
}

int64_t for_each_piece(int64_t input_size, int64_t squashfs_start, int64_t limit, const Geometry& geometry,
                       const std::function<bool(int64_t src, int64_t count)>& visit) {
  int64_t out = 0;
  if (geometry.physical_block_size <= 0 || geometry.logical_block_size <= 0 || squashfs_start < 0) return 0;
  for (int64_t src = squashfs_start; src < input_size && out < limit; src += geometry.physical_block_size) {
    const int64_t piece = std::min({geometry.logical_block_size, input_size - src, limit - out});
    if (!visit(src, piece)) break;
    out += piece;
    if (input_size - src <= geometry.physical_block_size) break;
  }
  return out;
}

int64_t assemble_squashfs(const unsigned char* input, int64_t input_size, int64_t squashfs_start,
                          int64_t bytes_used, const Geometry& geometry, unsigned char* output) {
  return for_each_piece(input_size, squashfs_start, bytes_used, geometry, [&](int64_t src, int64_t count) {
    std::memcpy(output, input + src, static_cast<size_t>(count));
    output += count;
    return true;
  });
}

int64_t assemble_to_end(const unsigned char* input, int64_t input_size, int64_t squashfs_start,
                        const Geometry& geometry, unsigned char* output) {
  return assemble_squashfs(input, input_size, squashfs_start, kNoLimit, geometry, output);
}

Layout inspect(int64_t input_size, const ReadAt& read, int64_t chunk_size) {
  Layout layout;
  unsigned char ec_header[kEcHeaderSize];
  if (input_size < kEcHeaderSize) {
    layout.status = InspectStatus::kNotUbi;
    return layout;
  }
  if (!read(0, ec_header, kEcHeaderSize)) return layout;
  if (load_be32(ec_header + kEcMagicOffset) != kEcMagic) {
    layout.status = InspectStatus::kNotUbi;
    return layout;
  }
  const uint32_t vid_header_offset = load_be32(ec_header + kEcVidHeaderOffsetOffset);

  const int64_t squashfs_start = find_squashfs_start(input_size, read, chunk_size);
  if (squashfs_start == -2) return layout;
  if (squashfs_start < 0 || squashfs_start > input_size - kSuperblockSize) {
    layout.status = InspectStatus::kNotSquashfs;
    return layout;
  }
  unsigned char superblock[kSuperblockSize];
  if (!read(squashfs_start, superblock, kSuperblockSize)) return layout;
  const int64_t bytes_used = load_le64(superblock + kSquashfsBytesUsedOffset);
  // An image shorter than its own superblock is no squashfs image.
  if (load_le32(superblock) != kSquashfsMagic || bytes_used < kSuperblockSize) {
    layout.status = InspectStatus::kNotSquashfs;
    return layout;
  }
  layout.squashfs_start = squashfs_start;
  layout.bytes_used = bytes_used;

  // The second erase-counter header must start inside the window.
  const int64_t search_size = std::min(input_size, kBlockSizeSearchWindow + kEcMagicTextSize - 1);
  std::vector<unsigned char> head(static_cast<size_t>(search_size));
  if (!read(0, head.data(), search_size)) {
    layout.status = InspectStatus::kReadFailed;
    return layout;
  }
  const int64_t physical_block_size = find_nth(head.data(), search_size, kBlockSizeSearchWindow, kEcMagicText, 1);
  if (physical_block_size < 0) {
    layout.status = InspectStatus::kNoBlockSize;
    return layout;
  }
  layout.geometry = derive_geometry(physical_block_size, vid_header_offset);
  layout.status = layout.geometry.logical_block_size > 0 ? InspectStatus::kOk : InspectStatus::kBadGeometry;
  return layout;
}

CopyStatus copy_pieces(int64_t input_size, const ReadAt& read, const Layout& layout, int64_t limit,
                       unsigned char* block, const std::function<bool(const unsigned char* data, int64_t count)>& write) {
  CopyStatus status = CopyStatus::kOk;
  for_each_piece(input_size, layout.squashfs_start, limit, layout.geometry, [&](int64_t src, int64_t count) {
    if (!read(src, block, count)) {
      status = CopyStatus::kReadFailed;
    } else if (!write(block, count)) {
      status = CopyStatus::kWriteFailed;
    }
    return status == CopyStatus::kOk;
  });
  return status;
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
