// sqseal's checks and header block: the expected image size against its
// definition, the part limits, and the block's every byte.
//
// Input: the 96 superblock bytes (fewer give a short read), three part sizes,
// then the signature and root hash bytes.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_input.h"
#include "seal_format.h"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

uint32_t le32(const unsigned char* at) {
  return uint32_t{at[0]} | (uint32_t{at[1]} << 8) | (uint32_t{at[2]} << 16) | (uint32_t{at[3]} << 24);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::FuzzInput input(data, size);
  const size_t superblock_read = input.take_byte() % (sqseal::kSuperblockSize + 1);
  const std::vector<uint8_t> superblock = input.take_bytes(superblock_read);
  const auto count = static_cast<int64_t>(superblock.size());

  const sqseal::ImageCheck image = sqseal::check_superblock(superblock.data(), count);
  if (count < static_cast<int64_t>(sqseal::kSuperblockSize)) {
    check(image.status == sqseal::SuperblockStatus::kShortRead);
  } else if (le32(superblock.data()) != sqseal::kSquashfsMagic) {
    check(image.status == sqseal::SuperblockStatus::kBadMagic);
  } else {
    check(image.status == sqseal::SuperblockStatus::kOk);
    int64_t bytes_used = 0;
    std::memcpy(&bytes_used, superblock.data() + sqseal::kBytesUsedOffset, sizeof bytes_used);  // little-endian host
    check(image.bytes_used == bytes_used);
    // Rounding up, exactly: the smallest multiples not below the value
    // (negative values round towards zero); beyond INT64_MAX, INT64_MAX.
    using Wide = __int128;
    auto round_up = [](Wide value, Wide alignment) {
      const Wide rest = value % alignment;
      return rest == 0 ? value : rest > 0 ? value + alignment - rest : value - rest;
    };
    auto narrow = [](Wide value) { return value > INT64_MAX ? INT64_MAX : static_cast<int64_t>(value); };
    const Wide calc1 = round_up(bytes_used, sqseal::kPageAlignment);
    check(image.calc1 == narrow(calc1));
    check(image.calc2 == narrow(round_up(calc1, sqseal::kImageAlignment)));
  }

  const int64_t sign_size = static_cast<int64_t>(input.take_le(8));
  const int64_t root_hash_size = static_cast<int64_t>(input.take_le(8));
  const int64_t tree_size = static_cast<int64_t>(input.take_le(8));
  check((sqseal::check_sign_size(sign_size) == sqseal::PartStatus::kOk) == (sign_size == sqseal::kSignatureSize));
  const sqseal::PartStatus root_hash = sqseal::check_root_hash_size(root_hash_size);
  check((root_hash == sqseal::PartStatus::kOk) == (root_hash_size > 0 && root_hash_size <= sqseal::kRootHashSizeMax));
  const sqseal::PartStatus tree = sqseal::check_hash_tree_size(tree_size);
  check((tree == sqseal::PartStatus::kOk) == (tree_size > 0 && tree_size <= sqseal::kHashTreeSizeMax));
  check((root_hash == sqseal::PartStatus::kEmpty) == (root_hash_size <= 0));
  if (root_hash != sqseal::PartStatus::kOk || tree != sqseal::PartStatus::kOk) return 0;

  std::vector<uint8_t> sign = input.take_bytes(sqseal::kSignatureSize);
  sign.resize(sqseal::kSignatureSize, 0);
  std::vector<uint8_t> hash = input.take_bytes(static_cast<size_t>(root_hash_size));
  hash.resize(static_cast<size_t>(root_hash_size), 0);
  std::array<unsigned char, sqseal::kHeaderBlockSize + 1> block;
  block.fill(0xA5);
  sqseal::build_header_block(sign.data(), hash.data(), root_hash_size, tree_size, block.data());
  check(block[sqseal::kHeaderBlockSize] == 0xA5);  // nothing written past the block
  check(le32(&block[sqseal::kHeaderMagicOffset]) == sqseal::kHeaderMagic);
  check(le32(&block[sqseal::kHeaderReservedOffset]) == 0);
  check(le32(&block[sqseal::kRootHashLengthOffset]) == static_cast<uint32_t>(root_hash_size));
  check(le32(&block[sqseal::kHashTreeLengthOffset]) == static_cast<uint32_t>(tree_size));
  check(std::memcmp(&block[sqseal::kSignatureOffset], sign.data(), sign.size()) == 0);
  check(std::memcmp(&block[sqseal::kRootHashOffset], hash.data(), hash.size()) == 0);
  for (size_t i = sqseal::kSignatureOffset + sqseal::kSignatureSize; i < sqseal::kRootHashOffset; ++i) {
    check(block[i] == 0);
  }
  for (size_t i = sqseal::kRootHashOffset + hash.size(); i < sqseal::kHeaderBlockSize; ++i) check(block[i] == 0);
  return 0;
}
