// The temperature DAC table end to end through the library's exports.
#include <gtest/gtest.h>

#include "test_host.h"

using namespace calvex_test;

namespace {

constexpr size_t kTableOffset = 0x480;
constexpr size_t kTableBytes = 54;
constexpr size_t kImageSize = 0x600;

std::vector<std::string> table_texts() {
  std::vector<std::string> cells;
  for (int i = 0; i < 27; ++i) cells.push_back(std::to_string(100 + 300 * i));
  return cells;
}

class TempDacTable : public ::testing::Test {
 protected:
  TempDir dir;
  std::string image = dir.file("nv.bin");
  std::vector<uint8_t> before = random_bytes(kImageSize, 7);
  void SetUp() override { write_file(image, before); }
};

TEST_F(TempDacTable, WritesTwentySevenLittleEndianValuesAndNothingElse) {
  MessageLog log;
  std::vector<std::string> cells = table_texts();
  cells[26] = "8191";
  cells[25] = "65537";   // cut to 16 bits: 1
  cells[24] = "100abc";  // trailing text ignored
  call_write(SheetphyCommonTempDacTabWr, {{cells}}, image);
  EXPECT_EQ(log.texts(), std::vector<std::string>{"修改完成！"});
  const auto after = read_file(image);
  for (int i = 0; i < 24; ++i) EXPECT_EQ(le16(after, kTableOffset + 2 * i), 100u + 300u * i) << "entry " << i;
  EXPECT_EQ(le16(after, kTableOffset + 48), 100u);
  EXPECT_EQ(le16(after, kTableOffset + 50), 1u);
  EXPECT_EQ(after[kTableOffset + 52], 0xFF);
  EXPECT_EQ(after[kTableOffset + 53], 0x1F);
  EXPECT_EQ(changes_outside(before, after, {{kTableOffset, kTableBytes}}), std::vector<size_t>{});
}

TEST_F(TempDacTable, RefusalsShowOneMessageAndLeaveTheImage) {
  struct Case {
    const char* rule;
    size_t cell;
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"8192 is past 13 bits", 3, "8192", "温度DAC值数据不正确！"},
      {"zero", 0, "0", "温度DAC值数据不正确！"},
      {"-1 is 65535 in 16 bits", 5, "-1", "温度DAC值数据不正确！"},
      {"no digits read as 0", 7, "abc", "温度DAC值数据不正确！"},
      {"empty reads as 0", 26, "", "温度DAC值数据不正确！"},
      {"65536 cuts to 0", 1, "65536", "温度DAC值数据不正确！"},
      {"placeholder X", 2, "X", "温度DAC值数据不是有效数字！"},
      {"placeholder x", 2, "x", "温度DAC值数据不是有效数字！"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    std::vector<std::string> cells = table_texts();
    cells[c.cell] = c.text;
    MessageLog log;
    call_write(SheetphyCommonTempDacTabWr, {{cells}}, image);
    EXPECT_EQ(log.texts(), std::vector<std::string>{c.message});
    EXPECT_EQ(read_file(image), before);
  }
}

TEST_F(TempDacTable, OnlyTheFirstOffendingCellIsReported) {
  std::vector<std::string> cells = table_texts();
  cells[4] = "9000";
  cells[9] = "X";
  MessageLog log;
  call_write(SheetphyCommonTempDacTabWr, {{cells}}, image);
  EXPECT_EQ(log.texts(), std::vector<std::string>{"温度DAC值数据不正确！"});
}

TEST_F(TempDacTable, ShapeChecks) {
  MessageLog log;
  call_write(SheetphyCommonTempDacTabWr, {{table_texts()}, {table_texts()}}, image);
  std::vector<std::string> short_range = table_texts();
  short_range.pop_back();
  call_write(SheetphyCommonTempDacTabWr, {{short_range}}, image);
  call_write(SheetphyCommonTempDacTabWr, {}, image);
  // 1 x 27 is as good as 27 x 1.
  call_write(SheetphyCommonTempDacTabWr, {{table_texts(), 1, 27}}, image);
  EXPECT_EQ(log.texts(), (std::vector<std::string>{"SheetCommon参数配置有误，请确认！", "传入数据不正确，请确认！",
                                                   "SheetCommon参数配置有误，请确认！", "修改完成！"}));
}

TEST_F(TempDacTable, ReadBackGivesTheWrittenTexts) {
  call_write(SheetphyCommonTempDacTabWr, {{table_texts()}}, image);
  MessageLog log;
  const ReadResult r = call_read(SheetphyCommonTempDacTabRd, 27, image);
  EXPECT_TRUE(log.texts().empty());
  EXPECT_EQ(r.texts, table_texts());
  EXPECT_EQ(r.marks, std::vector<int32_t>(27, 2));
}

TEST_F(TempDacTable, ReadShowsStoredValuesUnsigned) {
  std::vector<uint8_t> image_bytes = before;
  image_bytes[kTableOffset] = 0xFF;
  image_bytes[kTableOffset + 1] = 0xFF;
  write_file(image, image_bytes);
  const ReadResult r = call_read(SheetphyCommonTempDacTabRd, 27, image);
  EXPECT_EQ(r.texts[0], "65535");
}

TEST_F(TempDacTable, ShortImageReadsMissingEntriesAsZero) {
  std::vector<uint8_t> short_image(before.begin(), before.begin() + kTableOffset + 4);
  write_file(image, short_image);
  const ReadResult r = call_read(SheetphyCommonTempDacTabRd, 27, image);
  EXPECT_EQ(r.texts[0], std::to_string(le16(short_image, kTableOffset)));
  EXPECT_EQ(r.texts[1], std::to_string(le16(short_image, kTableOffset + 2)));
  for (size_t i = 2; i < 27; ++i) EXPECT_EQ(r.texts[i], "0") << "entry " << i;
  EXPECT_EQ(read_file(image), short_image) << "a read never changes the image";
}

}  // namespace
