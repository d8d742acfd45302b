#include "seal_format.h"

#include <cstring>

#include "le.h"

namespace sqseal {
namespace {

using fileio::load_le32;
using fileio::load_le64;
using fileio::store_le32;

// `value` rounded up to a multiple of `alignment` (a power of two), in
// unsigned arithmetic so that no sum can overflow.
uint64_t round_up(uint64_t value, uint64_t alignment) { return (value + alignment - 1) & ~(alignment - 1); }

}  // namespace

ImageCheck check_superblock(const unsigned char* bytes, int64_t count) {
  ImageCheck check;
  if (count < static_cast<int64_t>(kSuperblockSize)) return check;
  if (load_le32(bytes) != kSquashfsMagic) {
    check.status = SuperblockStatus::kBadMagic;
    return check;
  }
  check.status = SuperblockStatus::kOk;
  check.bytes_used = load_le64(bytes + kBytesUsedOffset);
  if (check.bytes_used < 0) {
    // Two's complement rounding: a negative bytes_used rounds up towards 0.
    const auto bits = static_cast<uint64_t>(check.bytes_used);
    check.calc1 = static_cast<int64_t>(round_up(bits, kPageAlignment));
    check.calc2 = static_cast<int64_t>(round_up(static_cast<uint64_t>(check.calc1), kImageAlignment));
    return check;
  }
  const uint64_t calc1 = round_up(static_cast<uint64_t>(check.bytes_used), kPageAlignment);
  const uint64_t calc2 = round_up(calc1, kImageAlignment);
  check.calc1 = calc1 > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(calc1);
  check.calc2 = calc2 > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(calc2);
  return check;
}

PartStatus check_sign_size(int64_t size) { return size == kSignatureSize ? PartStatus::kOk : PartStatus::kWrongSize; }

PartStatus check_root_hash_size(int64_t size) {
  if (size > kRootHashSizeMax) return PartStatus::kTooBig;
  return size <= 0 ? PartStatus::kEmpty : PartStatus::kOk;
}

PartStatus check_hash_tree_size(int64_t size) {
  if (size > kHashTreeSizeMax) return PartStatus::kTooBig;
  return size <= 0 ? PartStatus::kEmpty : PartStatus::kOk;
}

void build_header_block(const unsigned char* sign, const unsigned char* root_hash, int64_t root_hash_size,
                        int64_t hash_tree_size, unsigned char* block) {
  std::memset(block, 0, kHeaderBlockSize);
  store_le32(block + kHeaderMagicOffset, kHeaderMagic);
  store_le32(block + kHeaderReservedOffset, 0);
  store_le32(block + kRootHashLengthOffset, static_cast<uint32_t>(root_hash_size));
  store_le32(block + kHashTreeLengthOffset, static_cast<uint32_t>(hash_tree_size));
  std::memcpy(block + kSignatureOffset, sign, static_cast<size_t>(kSignatureSize));
  std::memcpy(block + kRootHashOffset, root_hash, static_cast<size_t>(root_hash_size));
}

}  // namespace sqseal
