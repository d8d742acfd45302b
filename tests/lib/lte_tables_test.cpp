// The LTE Filter, Mpr, Phse and Capacity tables in both layouts, end to end
// through the library's exports.
#include <gtest/gtest.h>

#include <filesystem>

#include "lte_support.h"

using namespace lte_test;

namespace {

struct Patch {
  size_t offset;
  Bytes bytes;
};

Bytes patched(Bytes image, const std::vector<Patch>& patches) {
  for (const Patch& p : patches) std::copy(p.bytes.begin(), p.bytes.end(), image.begin() + p.offset);
  return image;
}

Bytes le16_bytes(const std::vector<uint32_t>& values) {
  Bytes out(2 * values.size(), 0);
  for (size_t i = 0; i < values.size(); ++i) put_le16(out, 2 * i, values[i]);
  return out;
}

// Mpr cells: -1, 70000, then 100 * k.
Texts mpr_texts() {
  Texts t = {"-1", "70000"};
  for (int k = 2; k < 24; ++k) t.push_back(std::to_string(100 * k));
  return t;
}
std::vector<uint32_t> mpr_values() {
  std::vector<uint32_t> v = {0xFFFF, 0x1170};
  for (uint32_t k = 2; k < 24; ++k) v.push_back(100 * k);
  return v;
}

struct TableCase {
  const char* name;
  WriteFn fn;
  bool merged;
  Texts cells;
  std::vector<Patch> patches;
};

class LteTable : public LteTest {};

TEST_F(LteTable, WritesEachValueAtItsOffsetAndNothingElse) {
  const Texts filter = {"1", "-1", "70000", "0", "abc", " 12"};
  const Bytes filter_bytes = {0x01, 0x00, 0xFF, 0xFF, 0x70, 0x11, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x00};
  const TableCase cases[] = {
      {"filter single", SheetLteFilterWr_Lte, false, filter, {{0x1794, filter_bytes}}},
      {"filter merged", SheetLteFilterWr_LteMerge, true, filter, {{0x0184, filter_bytes}}},
      {"mpr single", SheetLteMprWr_Lte, false, mpr_texts(), {{0x1750, le16_bytes(mpr_values())}}},
      {"mpr merged: 24 values then 18 zero places",
       SheetLteMprWr_LteMerge,
       true,
       mpr_texts(),
       {{0x0004, le16_bytes(mpr_values())}, {0x0034, Bytes(36, 0)}}},
      {"phse single: 16 bits, halves at 0x1748 and 0x1784",
       SheetLtePhseWr_Lte,
       false,
       {"12345", "1", "2", "3", "4", "5", "0x6", "FFFF"},
       {{0x1748, {0x45, 0x23, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00}},
        {0x1784, {0x04, 0x00, 0x05, 0x00, 0x06, 0x00, 0xFF, 0xFF}}}},
      {"phse merged: 32 bits, cells 0, 1, 4, 5 between the capacity values",
       SheetLtePhseWr_LteMerge,
       true,
       {"12345", "0xA", "12345", "0xA", "FFFFFFFF", "b", "FFFFFFFF", "b"},
       {{0x2C60, {0x45, 0x23, 0x01, 0x00}},
        {0x2C70, {0x0A, 0x00, 0x00, 0x00}},
        {0x2C68, {0xFF, 0xFF, 0xFF, 0xFF}},
        {0x2C78, {0x0B, 0x00, 0x00, 0x00}}}},
      {"capacity single",
       SheetLteCapacityWr_Lte,
       false,
       {"0x10", "12345678"},
       {{0x1780, {0x10, 0x00, 0x00, 0x00}}, {0x178C, {0x78, 0x56, 0x34, 0x12}}}},
      {"capacity merged: each value twice",
       SheetLteCapacityWr_LteMerge,
       true,
       {"0x10", "0x20"},
       {{0x2C64, {0x10, 0x00, 0x00, 0x00}},
        {0x2C74, {0x10, 0x00, 0x00, 0x00}},
        {0x2C6C, {0x20, 0x00, 0x00, 0x00}},
        {0x2C7C, {0x20, 0x00, 0x00, 0x00}}}},
  };
  for (const TableCase& c : cases) {
    SCOPED_TRACE(c.name);
    write_file(image, before);
    EXPECT_EQ(write(c.fn, {{c.cells}}), done());
    Bytes expected = patched(before, c.patches);
    if (c.merged) expected = with_spare_block_cleared(expected);
    EXPECT_EQ(read_file(image), expected);
  }
}

TEST_F(LteTable, RefusalsShowOneMessageAndLeaveTheImage) {
  struct Case {
    const char* name;
    WriteFn fn;
    std::vector<RangeTexts> ranges;
    std::string message;
  };
  const Texts phse = {"1F", "2", "1F", "2", "3", "4", "3", "4"};
  auto phse_with = [&](size_t cell, const std::string& text) {
    Texts t = phse;
    t[cell] = text;
    return t;
  };
  const Case cases[] = {
      {"filter 5 cells", SheetLteFilterWr_Lte, {{repeat_text("1", 5)}}, "FilterFlag获取失败，请确认！"},
      {"filter 7 cells merged", SheetLteFilterWr_LteMerge, {{repeat_text("1", 7)}}, "FilterFlag获取失败，请确认！"},
      {"filter two ranges",
       SheetLteFilterWr_Lte,
       {{repeat_text("1", 6)}, {repeat_text("1", 6)}},
       "SheetLteFilter参数配置有误，请确认！"},
      {"filter no range", SheetLteFilterWr_LteMerge, {}, "SheetLteFilter参数配置有误，请确认！"},
      {"mpr 23 cells", SheetLteMprWr_Lte, {{repeat_text("1", 23)}}, "Mpr获取失败，请确认！"},
      {"mpr two ranges merged",
       SheetLteMprWr_LteMerge,
       {{repeat_text("1", 24)}, {repeat_text("1", 1)}},
       "SheetLteMpr参数配置有误，请确认！"},
      {"phse 9 cells", SheetLtePhseWr_Lte, {{repeat_text("1", 9)}}, "Phse获取失败，请确认！"},
      {"phse no range", SheetLtePhseWr_LteMerge, {}, "SheetLtePhse参数配置有误，请确认！"},
      {"capacity 1 cell", SheetLteCapacityWr_LteMerge, {{repeat_text("1", 1)}}, "Capacity获取失败，请确认！"},
      {"capacity two ranges",
       SheetLteCapacityWr_Lte,
       {{repeat_text("1", 2)}, {repeat_text("1", 2)}},
       "SheetLteCapacity参数配置有误，请确认！"},
      {"phse merged: case differs (1F, 1f)",
       SheetLtePhseWr_LteMerge,
       {{phse_with(2, "1f")}},
       "Rx/Tx的Fdd与Tdd请填写相同的数值！"},
      {"phse merged: 0x10 and 10 differ as texts",
       SheetLtePhseWr_LteMerge,
       {{phse_with(3, "0x2")}},
       "Rx/Tx的Fdd与Tdd请填写相同的数值！"},
      {"phse merged: last pair", SheetLtePhseWr_LteMerge, {{phse_with(7, "4 ")}}, "Rx/Tx的Fdd与Tdd请填写相同的数值！"},
      {"phse merged: pair check before hex errors",
       SheetLtePhseWr_LteMerge,
       {{phse_with(6, "G")}},
       "Rx/Tx的Fdd与Tdd请填写相同的数值！"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(write(c.fn, c.ranges), Texts{c.message});
    EXPECT_EQ(read_file(image), before);
  }
}

TEST_F(LteTable, HexErrorsZeroTheirCellAndTheSheetGoesOn) {
  EXPECT_EQ(write(SheetLteCapacityWr_Lte, {{{"123456789", "G1"}}}),
            (Texts{"字符长度超过8！", "非16进制数！", "修改完成！"}));
  EXPECT_EQ(read_file(image), patched(before, {{0x1780, Bytes(4, 0)}, {0x178C, Bytes(4, 0)}}));

  // Merged Phse parses every cell, so a bad text in a pair is reported twice.
  write_file(image, before);
  EXPECT_EQ(write(SheetLtePhseWr_LteMerge, {{{"G", "1", "G", "1", "2", "3", "2", "3"}}}),
            (Texts{"非16进制数！", "非16进制数！", "修改完成！"}));
  EXPECT_EQ(le32(read_file(image), 0x2C60), 0u);
  EXPECT_EQ(le32(read_file(image), 0x2C70), 1u);
}

TEST_F(LteTable, MergedSheetsGrowAShortImageAndZeroTheSpareBlock) {
  const Bytes small = random_bytes(0x1000, 3);
  write_file(image, small);
  EXPECT_EQ(write(SheetLteMprWr_LteMerge, {{mpr_texts()}}), done());
  Bytes expected = patched(small, {{0x0004, le16_bytes(mpr_values())}, {0x0034, Bytes(36, 0)}});
  expected.resize(kMergedImageEnd, 0);
  EXPECT_EQ(read_file(image), expected);

  // An image longer than the spare block keeps its length and its tail.
  const Bytes large = random_bytes(kMergedImageEnd + 1, 4);
  write_file(image, large);
  EXPECT_EQ(write(SheetLteCapacityWr_LteMerge, {{{"1", "2"}}}), done());
  const Bytes after = read_file(image);
  ASSERT_EQ(after.size(), kMergedImageEnd + 1);
  EXPECT_EQ(after[kSpareOffset - 1], large[kSpareOffset - 1]);
  EXPECT_EQ(after[kSpareOffset], 0);
  EXPECT_EQ(after[kMergedImageEnd - 1], 0);
  EXPECT_EQ(after[kMergedImageEnd], large[kMergedImageEnd]);
}

TEST_F(LteTable, OnlyTheProductOfTheBoundsCounts) {
  MessageLog log;
  call_write_bounded(SheetLteFilterWr_Lte, {{repeat_text("2", 6), 0, 0, 5, 0}}, image);  // one row of 6
  EXPECT_EQ(log.texts(), done());
  EXPECT_EQ(le16(read_file(image), 0x1794 + 10), 2u);
  log.clear();
  write_file(image, before);
  call_write_bounded(SheetLteFilterWr_Lte, {{repeat_text("2", 6), 3, 0, 2, 5}}, image);  // x2 = x1 - 1
  EXPECT_EQ(log.texts(), Texts{"FilterFlag获取失败，请确认！"});
  EXPECT_EQ(read_file(image), before);
}

}  // namespace
