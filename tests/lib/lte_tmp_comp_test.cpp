// The LTE temperature compensation sheet in both layouts, end to end.
#include <gtest/gtest.h>

#include <filesystem>

#include "lte_support.h"

using namespace lte_test;

namespace {

constexpr size_t kRows = 60, kColumns = 32;
constexpr size_t kSingleBase = 0x0BD4, kSingleRecord = 244, kSingleEnd = 0x1744;
constexpr size_t kMergedBase = 0x01B8, kMergedSlot = 780, kMergedRows = 0x118;
size_t single_record(size_t slot) { return kSingleBase + kSingleRecord * slot; }
size_t merged_slot(size_t slot) { return kMergedBase + kMergedSlot * slot; }

// Band texts 1..12 (band 40 + b); cell (r, i) holds 1000 * i + r - 30.
struct TmpCompSheet {
  Texts bands;
  Texts data;
  TmpCompSheet() {
    for (size_t b = 0; b < 12; ++b) bands.push_back(std::to_string(40 + b));
    for (size_t r = 0; r < kRows; ++r)
      for (size_t i = 0; i < kColumns; ++i) data.push_back(std::to_string(value(r, i)));
  }
  static int32_t value(size_t r, size_t i) { return static_cast<int32_t>(1000 * i + r) - 30; }
  std::vector<RangeTexts> ranges() const { return {{bands}, {data}}; }
};

class LteTmpComp : public LteTest {};

TEST_F(LteTmpComp, SingleLayoutRecords) {
  TmpCompSheet sheet;
  sheet.data[5 * kColumns + 3] = "70000";  // low 16 bits: 0x1170
  EXPECT_EQ(write(SheetLteTmpCompWr_Lte, sheet.ranges()), done());
  const Bytes after = read_file(image);
  for (size_t b = 0; b < 12; ++b) {
    SCOPED_TRACE(b);
    EXPECT_EQ(le32(after, single_record(b)), 40 + b);
    for (size_t r = 0; r < kRows; ++r) {
      const uint32_t first = static_cast<uint16_t>(TmpCompSheet::value(r, 2 * b));
      const uint32_t second = (b == 1 && r == 5) ? 0x1170 : static_cast<uint16_t>(TmpCompSheet::value(r, 2 * b + 1));
      ASSERT_EQ(le16(after, single_record(b) + 4 + 4 * r), first) << "row " << r;
      ASSERT_EQ(le16(after, single_record(b) + 6 + 4 * r), second) << "row " << r;
    }
  }
  // Slots 12..15 have no room: the table values from 0x1748 stay.
  EXPECT_EQ(changes_outside(before, after, {{kSingleBase, kSingleEnd - kSingleBase}}), std::vector<size_t>{});
}

TEST_F(LteTmpComp, MergedLayoutWidensFirstWithoutAndSecondWithSign) {
  TmpCompSheet sheet;
  sheet.data[0] = "-5";
  sheet.data[1] = "-5";
  EXPECT_EQ(write(SheetLteTmpCompWr_LteMerge, sheet.ranges()), done());
  const Bytes after = read_file(image);
  EXPECT_EQ(le32(after, merged_slot(0) + kMergedRows), 0x0000FFFBu);      // FB FF 00 00
  EXPECT_EQ(le32(after, merged_slot(0) + kMergedRows + 4), 0xFFFFFFFBu);  // FB FF FF FF
  for (size_t b = 0; b < 14; ++b) {
    SCOPED_TRACE(b);
    // Slots 12 and 13: no band text, and with N = 16 the columns 24..27.
    EXPECT_EQ(le32(after, merged_slot(b)), b < 12 ? 40 + b : 0u);
    for (size_t r = 1; r < kRows; ++r) {
      const size_t at = merged_slot(b) + kMergedRows + 8 * r;
      ASSERT_EQ(le32(after, at), static_cast<uint16_t>(TmpCompSheet::value(r, 2 * b))) << "row " << r;
      ASSERT_EQ(le32(after, at + 4), static_cast<uint32_t>(TmpCompSheet::value(r, 2 * b + 1))) << "row " << r;
    }
  }
  std::vector<Span> spans;
  for (size_t b = 0; b < 14; ++b) {
    spans.push_back({merged_slot(b), 4});
    spans.push_back({merged_slot(b) + kMergedRows, 8 * kRows});
  }
  // Slot 14 would start on the Phse value at 0x2C60: untouched.
  EXPECT_EQ(changes_outside(with_spare_block_cleared(before), after, spans), std::vector<size_t>{});
}

TEST_F(LteTmpComp, SkippedSlotsStillTakeTheFirstColumns) {
  // Slot 2 skipped: N = 15; record 2 has band 0 but columns 4 and 5,
  // record 14 gets columns 28 and 29, columns 30 and 31 are not read.
  TmpCompSheet sheet;
  sheet.bands[2] = "X";
  for (size_t r = 0; r < kRows; ++r) {
    sheet.data[r * kColumns + 30] = "1";
    sheet.data[r * kColumns + 31] = "1";
  }
  EXPECT_EQ(write(SheetLteTmpCompWr_Lte, sheet.ranges()), done());
  Bytes after = read_file(image);
  EXPECT_EQ(le32(after, single_record(2)), 0u);
  EXPECT_EQ(le16(after, single_record(2) + 4), static_cast<uint16_t>(TmpCompSheet::value(0, 4)));
  EXPECT_EQ(le16(after, single_record(2) + 6), static_cast<uint16_t>(TmpCompSheet::value(0, 5)));

  // All twelve skipped: N = 4 (slots 12..15), records 0..3 take columns 0..7.
  for (std::string& b : sheet.bands) b = "x";
  write_file(image, before);
  EXPECT_EQ(write(SheetLteTmpCompWr_Lte, sheet.ranges()), done());
  after = read_file(image);
  for (size_t b = 0; b < 12; ++b) {
    SCOPED_TRACE(b);
    EXPECT_EQ(le32(after, single_record(b)), 0u);
    EXPECT_EQ(le16s(after, single_record(b) + 4 + 4 * 59), b < 4 ? TmpCompSheet::value(59, 2 * b) : 0);
  }
}

TEST_F(LteTmpComp, Refusals) {
  struct Case {
    const char* name;
    std::vector<RangeTexts> ranges;
    std::string message;
  };
  const TmpCompSheet sheet;
  Texts short_data = sheet.data;
  short_data.pop_back();
  Texts long_bands = sheet.bands;
  long_bands.push_back("1");
  const Case cases[] = {
      {"one range", {{sheet.bands}}, "SheetLteTmpComp参数配置有误，请确认！"},
      {"three ranges", {{sheet.bands}, {sheet.data}, {sheet.bands}}, "SheetLteTmpComp参数配置有误，请确认！"},
      {"13 bands", {{long_bands}, {sheet.data}}, "Band信息获取失败，请确认！"},
      {"1919 values", {{sheet.bands}, {short_data}}, "温度输入数据有误，请确认！"},
  };
  for (const Case& c : cases) {
    for (WriteFn fn : {SheetLteTmpCompWr_Lte, SheetLteTmpCompWr_LteMerge}) {
      SCOPED_TRACE(c.name);
      EXPECT_EQ(write(fn, c.ranges), Texts{c.message});
      EXPECT_EQ(read_file(image), before);
    }
  }
  const std::string missing = dir.file("missing.bin");
  MessageLog log;
  call_write(SheetLteTmpCompWr_LteMerge, sheet.ranges(), missing);
  EXPECT_EQ(log.texts(), Texts{"文件打开失败！"});
  EXPECT_FALSE(std::filesystem::exists(missing));
}

}  // namespace
