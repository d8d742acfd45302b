// sqseal's checks apart from files: the expected image size from bytes_used,
// at the edges of the 64-bit range too.
#include "seal_format.h"

#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cstdint>

#include "files.h"
#include "process.h"
#include "temp_dir.h"

namespace {

struct SizeCase {
  int64_t bytes_used;
  int64_t calc1;
  int64_t calc2;
  const char* rule;
};

TEST(CheckSuperblock, RoundsBytesUsedUpToPagesThenTo128KiB) {
  constexpr int64_t kLargestMultiple = INT64_MAX - 0x1FFFF;  // of 128 KiB
  const SizeCase cases[] = {
      {10000000, 10002432, 10092544, "77 blocks of 128 KiB"},
      {131072, 131072, 131072, "already aligned"},
      {131073, 135168, 262144, "one byte more"},
      {0, 0, 0, "empty"},
      {-5, 0, 0, "negative rounds towards zero"},
      {kLargestMultiple, kLargestMultiple, kLargestMultiple, "largest 128 KiB multiple"},
      {kLargestMultiple - 4096, kLargestMultiple - 4096, kLargestMultiple, "just below it"},
      // Found by fuzzing: the 4 KiB rounding used to leave too little room for
      // the 128 KiB one, and the sum overflowed.
      {INT64_MAX - 131071 - 4000, INT64_MAX - 131071, INT64_MAX - 131071, "near the top, still representable"},
      {kLargestMultiple + 1, INT64_MAX - 126975, INT64_MAX, "beyond: INT64_MAX, which no image has"},
      {INT64_MAX, INT64_MAX, INT64_MAX, "largest"},
  };
  for (const SizeCase& c : cases) {
    std::array<unsigned char, sqseal::kSuperblockSize> superblock{};
    calvex_test::store_le32(superblock.data(), sqseal::kSquashfsMagic);
    calvex_test::store_le64(superblock.data() + sqseal::kBytesUsedOffset, static_cast<uint64_t>(c.bytes_used));
    const sqseal::ImageCheck check = sqseal::check_superblock(superblock.data(), sqseal::kSuperblockSize);
    ASSERT_EQ(check.status, sqseal::SuperblockStatus::kOk) << c.rule;
    EXPECT_EQ(check.bytes_used, c.bytes_used) << c.rule;
    EXPECT_EQ(check.calc1, c.calc1) << c.rule;
    EXPECT_EQ(check.calc2, c.calc2) << c.rule;
  }
}

TEST(CheckSuperblock, ShortReadAndWrongMagic) {
  std::array<unsigned char, sqseal::kSuperblockSize> superblock{};
  calvex_test::store_le32(superblock.data(), sqseal::kSquashfsMagic);
  EXPECT_EQ(sqseal::check_superblock(superblock.data(), sqseal::kSuperblockSize - 1).status,
            sqseal::SuperblockStatus::kShortRead);
  superblock[0] = 'x';
  EXPECT_EQ(sqseal::check_superblock(superblock.data(), sqseal::kSuperblockSize).status,
            sqseal::SuperblockStatus::kBadMagic);
}

TEST(PartSizes, EachLimitAtItsEdges) {
  EXPECT_EQ(sqseal::check_sign_size(640), sqseal::PartStatus::kOk);
  EXPECT_EQ(sqseal::check_sign_size(639), sqseal::PartStatus::kWrongSize);
  EXPECT_EQ(sqseal::check_sign_size(641), sqseal::PartStatus::kWrongSize);
  EXPECT_EQ(sqseal::check_root_hash_size(0), sqseal::PartStatus::kEmpty);
  EXPECT_EQ(sqseal::check_root_hash_size(1), sqseal::PartStatus::kOk);
  EXPECT_EQ(sqseal::check_root_hash_size(1024), sqseal::PartStatus::kOk);
  EXPECT_EQ(sqseal::check_root_hash_size(1025), sqseal::PartStatus::kTooBig);
  EXPECT_EQ(sqseal::check_hash_tree_size(0), sqseal::PartStatus::kEmpty);
  EXPECT_EQ(sqseal::check_hash_tree_size(INT32_MAX), sqseal::PartStatus::kOk);
  EXPECT_EQ(sqseal::check_hash_tree_size(int64_t{INT32_MAX} + 1), sqseal::PartStatus::kTooBig);
}

}  // namespace
