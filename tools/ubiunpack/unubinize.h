// Stripping the UBI layer from a raw UBI image that carries one squashfs
// volume ("unubinize"), shared by ubiunpack and ubiunpack-lite.
//
// The image is a dump of physical erase blocks of P bytes.  Each begins with
// UBI headers; the last L bytes of each are the logical block's data.  The
// squashfs image starts at the first "hsqs" in the dump, at the start of a
// data area, and continues in the data areas of the following blocks.
#pragma once

#include <cstdint>
#include <functional>

namespace unubinize {

// UBI erase-counter header, at the start of every physical block.  Fields are big-endian.
constexpr int64_t kEcHeaderSize = 64;
constexpr int64_t kEcMagicOffset = 0;
constexpr uint32_t kEcMagic = 0x55424923;  // "UBI#"
constexpr int64_t kEcVidHeaderOffsetOffset = 16;
constexpr char kEcMagicText[] = "UBI#";
constexpr int64_t kEcMagicTextSize = sizeof kEcMagicText - 1;

// squashfs superblock.  Fields are little-endian.
constexpr int64_t kSuperblockSize = 96;
constexpr uint32_t kSquashfsMagic = 0x73717368;  // "hsqs"
constexpr int64_t kSquashfsBytesUsedOffset = 40;
constexpr char kSquashfsMagicText[] = "hsqs";

// The second erase-counter header is looked for in this many leading bytes
// (256 KiB, the largest block size handled, plus 16).
constexpr int64_t kBlockSizeSearchWindow = 262160;

constexpr int64_t kDefaultPageSize = 2048;
constexpr int64_t kLargeBlockSize = 0x40000;  // 256 KiB blocks use 4096-byte pages
constexpr int64_t kLargeBlockPageSize = 4096;

struct Geometry {
  int64_t physical_block_size;  // P
  int64_t page_size;
  int64_t logical_block_size;  // L, may be <= 0 for a nonsensical P
};

// Page size and logical block size for physical blocks of `physical_block_size`
// bytes whose VID header sits at `vid_header_offset`: the VID header shares the
// erase-counter header's page when it starts inside that page, otherwise it
// takes a page of its own.
Geometry derive_geometry(int64_t physical_block_size, uint32_t vid_header_offset);

// Offset of the (n + 1)-th occurrence of the NUL-terminated `text` in the
// first `window` bytes of `buffer` (`buffer_size` bytes long); occurrences must
// start below `window` and lie wholly inside the buffer.  -1 when there is none.
int64_t find_nth(const unsigned char* buffer, int64_t buffer_size, int64_t window, const char* text, int n);

// Copies the data areas of the blocks from `squashfs_start` on into `output`
// (at least `input_size` bytes), at most L bytes of each block and never more
// than the input holds, until `bytes_used` bytes are assembled.  Returns the
// number of bytes assembled (less than `bytes_used` when the blocks do not
// carry that many).  `bytes_used` must be positive.
int64_t assemble_squashfs(const unsigned char* input, int64_t input_size, int64_t squashfs_start,
                          int64_t bytes_used, const Geometry& geometry, unsigned char* output);

// Copies the data areas of all blocks from `squashfs_start` to the end of the
// input into `output` (at least `input_size` bytes), at most L bytes of each.
// Returns the number of bytes assembled.
int64_t assemble_to_end(const unsigned char* input, int64_t input_size, int64_t squashfs_start,
                        const Geometry& geometry, unsigned char* output);

// Calls `visit(src, count)` for each piece the unpackers copy, in order: at
// most L bytes of each block from `squashfs_start` on, never beyond the
// input's end, until `limit` bytes are taken.  Stops early when `visit`
// returns false.  Returns the number of bytes visited.  assemble_squashfs
// and assemble_to_end (limit: bytes_used, or none) take the same pieces.
int64_t for_each_piece(int64_t input_size, int64_t squashfs_start, int64_t limit, const Geometry& geometry,
                       const std::function<bool(int64_t src, int64_t count)>& visit);

// No limit for for_each_piece: everything up to the input's end.
constexpr int64_t kNoLimit = INT64_MAX;

// Reads `count` bytes at `offset` of the input into `into`; false when they
// cannot all be read.
using ReadAt = std::function<bool(int64_t offset, unsigned char* into, int64_t count)>;

// What the headers of an input say, as far as they could be read.
enum class InspectStatus {
  kOk,
  kReadFailed,      // a read through ReadAt failed
  kNotUbi,          // no erase-counter header at the start
  kNotSquashfs,     // no "hsqs", or no superblock there
  kNoBlockSize,     // no second erase-counter header in the search window (bytes_used is valid)
  kBadGeometry,     // a block size that leaves no room for data (bytes_used is valid)
};

struct Layout {
  InspectStatus status = InspectStatus::kReadFailed;
  int64_t squashfs_start = -1;
  int64_t bytes_used = 0;
  Geometry geometry{0, 0, 0};
};

// Finds the squashfs image and the block geometry of an input of
// `input_size` bytes, reading it in pieces of at most `chunk_size` bytes
// (positive) and the search window of the block size whole.
constexpr int64_t kInspectChunkSize = int64_t{1} << 20;
Layout inspect(int64_t input_size, const ReadAt& read, int64_t chunk_size = kInspectChunkSize);

// Writes the pieces of for_each_piece (up to `limit` bytes) through `write`,
// reading each into `block` (at least the physical block size).  Returns
// kOk, kReadFailed, or kWriteFailed when `write` returned false.
enum class CopyStatus { kOk, kReadFailed, kWriteFailed };
CopyStatus copy_pieces(int64_t input_size, const ReadAt& read, const Layout& layout, int64_t limit,
                       unsigned char* block, const std::function<bool(const unsigned char* data, int64_t count)>& write);

enum class Variant {
  kExact,  // ubiunpack: exactly the squashfs image's bytes_used bytes
  kToEnd,  // ubiunpack-lite: everything up to the end of the input
};

// The whole program: `argv` is "<program> in_file out_file"; returns the exit status.
int run(int argc, char** argv, Variant variant);

}  // namespace unubinize
