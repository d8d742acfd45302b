// The checks and the verity header block of sqseal, apart from any file
// access: what the squashfs superblock says, the size the padded image must
// have, the limits on the parts, and the block appended after the image.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>

namespace sqseal {

// squashfs superblock fields (little-endian).
constexpr size_t kSuperblockSize = 96;
constexpr uint32_t kSquashfsMagic = 0x73717368;  // "hsqs"
constexpr size_t kBytesUsedOffset = 40;

// The image is padded to 4 KiB, then to 128 KiB.
constexpr int64_t kPageAlignment = 4096;
constexpr int64_t kImageAlignment = 0x20000;

// Verity header block appended after the image (little-endian fields).
constexpr size_t kHeaderBlockSize = 4096;
constexpr uint32_t kHeaderMagic = 0xB001B001;
constexpr size_t kHeaderMagicOffset = 0;
constexpr size_t kHeaderReservedOffset = 4;
constexpr size_t kRootHashLengthOffset = 8;
constexpr size_t kHashTreeLengthOffset = 12;
constexpr size_t kSignatureOffset = 16;
constexpr int64_t kSignatureSize = 640;
constexpr size_t kRootHashOffset = 1024;
constexpr int64_t kRootHashSizeMax = 1024;
constexpr int64_t kHashTreeSizeMax = INT32_MAX;  // its length is stored as a signed 32-bit value
static_assert(kSignatureOffset + kSignatureSize <= kRootHashOffset, "signature overlaps the root hash");
static_assert(kRootHashOffset + kRootHashSizeMax <= kHeaderBlockSize, "root hash overflows the block");

enum class SuperblockStatus {
  kOk,
  kShortRead,  // fewer than kSuperblockSize bytes could be read
  kBadMagic,
};

struct ImageCheck {
  SuperblockStatus status = SuperblockStatus::kShortRead;
  int64_t bytes_used = 0;
  int64_t calc1 = 0;  // bytes_used rounded up to kPageAlignment
  int64_t calc2 = 0;  // calc1 rounded up to kImageAlignment: the size the image must have
};

// Reads the superblock from the first `count` bytes at `bytes` (the bytes
// read from the image's start, at most kSuperblockSize are looked at) and
// derives the expected image size.  A size beyond INT64_MAX after rounding
// up is given as INT64_MAX, which no image has.
ImageCheck check_superblock(const unsigned char* bytes, int64_t count);

// Whether a part of the given size may be sealed; each has its own refusal.
enum class PartStatus { kOk, kWrongSize, kTooBig, kEmpty };
PartStatus check_sign_size(int64_t size);       // exactly kSignatureSize
PartStatus check_root_hash_size(int64_t size);  // 1 to kRootHashSizeMax
PartStatus check_hash_tree_size(int64_t size);  // 1 to kHashTreeSizeMax

// Fills the kHeaderBlockSize bytes at `block`: magic, 0, the two lengths, the
// kSignatureSize bytes of `sign`, the `root_hash_size` bytes of `root_hash`,
// zeros elsewhere.  The sizes must have passed the checks above.
void build_header_block(const unsigned char* sign, const unsigned char* root_hash, int64_t root_hash_size,
                        int64_t hash_tree_size, unsigned char* block);

}  // namespace sqseal
