// LTE-A temperature compensation.
#include "ltea_support.h"

using namespace ltea_test;

namespace {

constexpr const char* kOrderMessage = "温补表格填写的Band顺序与原始NV中不一致，请重新确认！";
constexpr const char* kNoBand = "无有效Band输入！";
constexpr int32_t kReadCells = 1936;

size_t table_value(size_t slot, size_t row, size_t second) { return band_field(slot, 280 + 8 * row + 4 * second); }

// Table cell texts: row r, column c holds 1000·r + c, except row 0 column 1, which holds -5.
std::vector<std::string> table_cells() {
  std::vector<std::string> cells;
  for (int r = 0; r < 60; ++r) {
    for (int c = 0; c < 32; ++c) cells.push_back(r == 0 && c == 1 ? "-5" : std::to_string(1000 * r + c));
  }
  return cells;
}

class LteaTmpComp : public LteaImageTest {
 protected:
  // Sets the image's band numbers (slots beyond the list are 0).
  void set_image_bands(const std::vector<uint32_t>& bands) {
    for (size_t slot = 0; slot < 16; ++slot)
      put_le32(before, band_field(slot, 0), slot < bands.size() ? bands[slot] : 0);
    write_file(path, before);
  }
  void write_sheet(std::vector<std::string> bands) {
    bands.resize(16, "X");
    call_write(SheetLteaTmpCompWr, {RangeTexts{bands, 1, 16}, RangeTexts{table_cells(), 60, 32}}, path);
  }
};

TEST_F(LteaTmpComp, MatchingBandsWriteTheTablesOfTheFirstNSlots) {
  set_image_bands({1, 3});
  write_sheet({"1", "3", "X", "0", "x"});
  EXPECT_EQ(log.texts(), Messages({kDone}));
  const auto after = image();
  EXPECT_EQ(le32(after, table_value(0, 0, 0)), 0u);
  EXPECT_EQ(le32(after, table_value(0, 0, 1)), 0xFFFFFFFBu);
  EXPECT_EQ(le32(after, table_value(1, 0, 0)), 2u);
  EXPECT_EQ(le32(after, table_value(1, 59, 1)), 59003u);
  EXPECT_EQ(le32(after, table_value(0, 7, 1)), 7001u);
  EXPECT_TRUE(changes_outside(before, after, {{band_field(0, 280), 480}, {band_field(1, 280), 480}}).empty());

  log.clear();
  const ReadResult r = call_read(SheetLteaTmpCompRd, kReadCells, path);
  EXPECT_TRUE(log.texts().empty());
  EXPECT_EQ(r.texts[0], "1");
  EXPECT_EQ(r.texts[1], "3");
  EXPECT_EQ(r.texts[2], "X");
  EXPECT_EQ(r.marks[0], 2);
  EXPECT_EQ(r.texts[16 + 1], "-5");
  EXPECT_EQ(r.marks[16 + 1], 17);
  EXPECT_EQ(r.texts[16 + 32 * 59 + 3], "59003");
  EXPECT_EQ(r.texts[16 + 4], "X");
  EXPECT_EQ(r.marks[16 + 4], 2);
}

struct MismatchCase {
  const char* name;
  std::vector<std::string> bands;
  Messages messages;
};

class LteaTmpCompMismatch : public LteaTmpComp, public ::testing::WithParamInterface<MismatchCase> {};

TEST_P(LteaTmpCompMismatch, ShowsTheFirstDifferenceAndWritesNothing) {
  set_image_bands({1, 3});
  write_sheet(GetParam().bands);
  EXPECT_EQ(log.texts(), GetParam().messages);
  EXPECT_EQ(image(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Ltea, LteaTmpCompMismatch,
    ::testing::Values(MismatchCase{"Swapped", {"3", "1", "9"}, {"bandnum:3,跟NV中1不一致！", kOrderMessage}},
                      MismatchCase{"LeadingSpace", {" 1", "3"}, {"bandnum: 1,跟NV中1不一致！", kOrderMessage}},
                      MismatchCase{"ExtraBand", {"1", "3", "5"}, {"bandnum:5,跟NV中X不一致！", kOrderMessage}},
                      MismatchCase{"MissingBand", {"1", "0"}, {"bandnum:X,跟NV中3不一致！", kOrderMessage}},
                      // "0" cells past the difference are not replaced and count as bands.
                      MismatchCase{"NoBandBeforeDifference", {"X", "0"}, {"bandnum:X,跟NV中1不一致！", kOrderMessage}},
                      MismatchCase{"NoBandAtAll", {"x"}, {"bandnum:X,跟NV中1不一致！", kNoBand}}),
    [](const auto& info) { return std::string(info.param.name); });

// The image's band texts are "%d" of the signed band number.
TEST_F(LteaTmpComp, BandNumberWithTheTopBitSetIsComparedAndShownSigned) {
  set_image_bands({0xFFFFFFFF, 3});
  write_sheet({"4294967295", "3"});
  EXPECT_EQ(log.texts(), Messages({"bandnum:4294967295,跟NV中-1不一致！", kOrderMessage}));
  EXPECT_EQ(image(), before);

  log.clear();
  write_sheet({"-1", "3"});
  EXPECT_EQ(log.texts(), Messages({kDone}));
  const auto after = image();
  EXPECT_EQ(le32(after, band_field(0, 0)), 0xFFFFFFFFu);
  EXPECT_TRUE(changes_outside(before, after, {{band_field(0, 280), 480}, {band_field(1, 280), 480}}).empty());

  const ReadResult r = call_read(SheetLteaTmpCompRd, kReadCells, path);
  EXPECT_EQ(r.texts[0], "-1");
  EXPECT_EQ(r.texts[16 + 0], "0");
}

TEST_F(LteaTmpComp, EmptyImageAndEmptySheetHaveNoBand) {
  set_image_bands({});
  write_sheet({"0", "x"});
  EXPECT_EQ(log.texts(), Messages({kNoBand}));
  EXPECT_EQ(image(), before);
}

TEST_F(LteaTmpComp, ReadShowsEveryBandSlotWhereverItStands) {
  set_image_bands({7, 0, 9});
  put_le32(before, table_value(2, 3, 1), static_cast<uint32_t>(-42));
  write_file(path, before);
  const ReadResult r = call_read(SheetLteaTmpCompRd, kReadCells, path);
  EXPECT_TRUE(log.texts().empty());
  EXPECT_EQ(std::vector<std::string>(r.texts.begin(), r.texts.begin() + 4),
            std::vector<std::string>({"7", "X", "9", "X"}));
  EXPECT_EQ(r.texts[16 + 32 * 3 + 5], "-42");
  for (size_t row = 0; row < 60; ++row) {
    ASSERT_EQ(r.texts[16 + 32 * row + 2], "X");
    ASSERT_EQ(r.texts[16 + 32 * row + 3], "X");
    ASSERT_EQ(r.marks[16 + 32 * row + 0], 17);
    ASSERT_EQ(r.marks[16 + 32 * row + 4], 17);
  }
}

TEST_F(LteaTmpComp, ReadOutputWrittenBackLeavesTheImageUnchanged) {
  set_image_bands({1, 3, 7, 20});
  const ReadResult r = call_read(SheetLteaTmpCompRd, kReadCells, path);
  call_write(SheetLteaTmpCompWr,
             {RangeTexts{{r.texts.begin(), r.texts.begin() + 16}, 1, 16},
              RangeTexts{{r.texts.begin() + 16, r.texts.end()}, 60, 32}},
             path);
  EXPECT_EQ(log.texts(), Messages({kDone}));
  EXPECT_EQ(image(), before);
}

struct RefusalCase {
  const char* name;
  std::vector<size_t> counts;
  const char* message;
};

class LteaTmpCompRefusal : public LteaTmpComp, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(LteaTmpCompRefusal, LeavesImageUnchanged) {
  set_image_bands({1});
  std::vector<RangeTexts> ranges;
  for (size_t n : GetParam().counts) ranges.push_back(RangeTexts{repeat_text("1", n)});
  call_write(SheetLteaTmpCompWr, ranges, path);
  EXPECT_EQ(log.texts(), Messages({GetParam().message}));
  EXPECT_EQ(image(), before);
}

INSTANTIATE_TEST_SUITE_P(Ltea, LteaTmpCompRefusal,
                         ::testing::Values(RefusalCase{"RangeCount", {16}, "SheetLteaTmpComp参数配置有误，请确认！"},
                                           RefusalCase{"Bands", {15, 1920}, "主载波Band信息获取失败，请确认！"},
                                           RefusalCase{"Table", {16, 1921}, "主载波温度输入数据有误，请确认！"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
