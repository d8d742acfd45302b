// WCDMA switch/PA control words end to end: band list, control word sets
// per band slot, refusals, and the read-back of the truth table.
#include "wcdma_support.h"

using namespace cdma_test;

namespace {

constexpr size_t kColumns = 88;
constexpr size_t kBandList = 6068;
constexpr size_t kBandCount = 6100;
constexpr size_t kStateOffset[11] = {0, 96, 128, 224, 32, 160, 256, 368, 400, 432, 464};
constexpr size_t kReadCells = 1680;

size_t ctrl_area(size_t slot) { return 468 + 720 * slot; }
size_t set_offset(size_t slot, size_t state) { return ctrl_area(slot) + kStateOffset[state]; }

// Every span the write touches: band list and count, 560 bytes per slot.
std::vector<Span> written_spans() {
  std::vector<Span> spans = {{kBandList, 36}};
  for (size_t k = 0; k < 8; ++k) spans.push_back({ctrl_area(k), 560});
  return spans;
}

class WcdmaSwitchPa : public CdmaImageTest {
 protected:
  std::vector<std::string> bands = repeat_text("X", 8);
  TruthTable table{kTruthRows, kColumns};

  void write() { call_write(SheetWcdmaSwitchPaCtrlWordWr, {{bands}, {table.cells}}, path); }
};

TEST_F(WcdmaSwitchPa, PacksTheBandListAndBuildsEachSlotFromItsOwnColumns) {
  bands = {"1", "X", "5", "x", "X", "X", "X", "X"};
  // Slot 0, state 0: group 0 line 0 high, line 1 low, one hexadecimal word.
  table.at(0, 0) = "1";
  table.at(1, 0) = "0";
  table.at(kHexRow, 0) = "0x1234";
  // Slot 1 (band 5, third band cell) takes columns 11..21: state 0 drives group 1 line 3.
  table.at(kGpio1Row + 3, 11) = " 1 ";
  // Slot 1, state 7: group 0 and group 1 and two words fill the set.
  table.at(2, 18) = "1";
  table.at(kGpio1Row, 18) = "0";
  table.at(kHexRow + 1, 18) = "ABCDEF01";
  table.at(kHexRow + 3, 18) = "7";
  write();
  EXPECT_EQ(log.texts(), Messages{kDone});

  const auto after = image();
  EXPECT_EQ(le32(after, kBandList), 1u);
  EXPECT_EQ(le32(after, kBandList + 4), 5u);
  for (size_t i = 2; i < 8; ++i) EXPECT_EQ(le32(after, kBandList + 4 * i), 0u) << "band slot " << i;
  EXPECT_EQ(le32(after, kBandCount), 2u);

  EXPECT_EQ(set_at(after, set_offset(0, 0)), (std::vector<Entry>{{1, 0x000C0004}, {15, 0x1234}, {1, 0}, {1, 0}}));
  EXPECT_EQ(set_at(after, set_offset(1, 0)), (std::vector<Entry>{{2, 0x00080008}, {1, 0}, {1, 0}, {1, 0}}));
  EXPECT_EQ(set_at(after, set_offset(1, 7)),
            (std::vector<Entry>{{1, 0x00100010}, {2, 0x00010000}, {15, 0xABCDEF01}, {15, 7}}));
  const std::vector<Entry> empty_set{{1, 0}, {1, 0}, {1, 0}, {1, 0}};
  for (size_t k = 0; k < 2; ++k) {
    SCOPED_TRACE("slot " + std::to_string(k));
    EXPECT_EQ(set_at(after, set_offset(k, 5)), empty_set);  // a state of "X" only
    EXPECT_EQ(set_at(after, ctrl_area(k) + 64), empty_set);
    EXPECT_EQ(set_at(after, ctrl_area(k) + 192), empty_set);
    EXPECT_TRUE(all_zero(after, ctrl_area(k) + 288, 80));
    EXPECT_TRUE(all_zero(after, ctrl_area(k) + 496, 64));
  }
  for (size_t k = 2; k < 8; ++k) EXPECT_TRUE(all_zero(after, ctrl_area(k), 560)) << "unused slot " << k;
  EXPECT_EQ(changes_outside(before, after, written_spans()), std::vector<size_t>{});
}

TEST_F(WcdmaSwitchPa, AllBandsEmptyStoresCountZeroAndClearsEverySlot) {
  write();
  EXPECT_EQ(log.texts(), Messages{kDone});
  const auto after = image();
  EXPECT_TRUE(all_zero(after, kBandList, 36));
  for (size_t k = 0; k < 8; ++k) EXPECT_TRUE(all_zero(after, ctrl_area(k), 560)) << "slot " << k;
}

TEST_F(WcdmaSwitchPa, RefusalsShowOneMessageAndLeaveTheImage) {
  struct Case {
    const char* rule;
    size_t row, column;
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"empty group 0 cell", 4, 3, "", "GPIO_GROUP0控制逻辑设置有误，请确认值是否为'0'、'1'、'X'！"},
      {"2 in group 0", 10, 12, "2", "GPIO_GROUP0控制逻辑设置有误，请确认值是否为'0'、'1'、'X'！"},
      {"text in group 1", kGpio1Row + 2, 21, "on", "GPIO_GROUP1控制逻辑设置有误，请确认值是否为'0'、'1'、'X'！"},
  };
  bands = {"1", "2", "X", "X", "X", "X", "X", "X"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    TruthTable t{kTruthRows, kColumns};
    t.at(c.row, c.column) = c.text;
    log.clear();
    call_write(SheetWcdmaSwitchPaCtrlWordWr, {{bands}, {t.cells}}, path);
    EXPECT_EQ(log.texts(), Messages{c.message});
    EXPECT_EQ(image(), before);
  }
}

TEST_F(WcdmaSwitchPa, FiveControlWordsInAStateEndTheWriteAfterReadingEveryWord) {
  bands[0] = "1";
  table.at(0, 4) = "1";
  table.at(kGpio1Row, 4) = "1";
  table.at(kHexRow, 4) = "1";
  table.at(kHexRow + 1, 4) = "G";  // refused by the reader, still a word
  table.at(kHexRow + 2, 4) = "3";
  write();
  EXPECT_EQ(log.texts(), (Messages{kNotHex, "有效控制字超过最大个数！"}));
  EXPECT_EQ(image(), before);
}

TEST_F(WcdmaSwitchPa, ColumnsOfUnusedSlotsAreNotExamined) {
  bands[0] = "3";
  table.at(0, 11) = "bad";  // slot 1 is not in use
  write();
  EXPECT_EQ(log.texts(), Messages{kDone});
}

TEST_F(WcdmaSwitchPa, RangeChecksComeBeforeAnything) {
  struct Case {
    const char* rule;
    std::vector<RangeTexts> ranges;
    std::string message;
  };
  const Case cases[] = {
      {"one range", {{bands}}, "SheetWcdmaSwitchPa参数配置有误，请确认！"},
      {"seven band cells", {{repeat_text("X", 7)}, {table.cells}}, "BandInfo获取失败，请确认！"},
      {"short table", {{bands}, {repeat_text("X", 1671)}}, "SwitchPa真值表获取失败，请确认！"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    log.clear();
    call_write(SheetWcdmaSwitchPaCtrlWordWr, c.ranges, path);
    EXPECT_EQ(log.texts(), Messages{c.message});
    EXPECT_EQ(image(), before);
  }
  log.clear();
  call_write(SheetWcdmaSwitchPaCtrlWordWr, {{bands}, {table.cells}}, missing_path());
  EXPECT_EQ(log.texts(), Messages{kOpenFailedWrite});
}

TEST_F(WcdmaSwitchPa, ReadsBackWhatItWrote) {
  bands = {"1", "8", "X", "X", "X", "X", "X", "X"};
  table.at(0, 0) = "1";
  table.at(1, 0) = "0";
  table.at(kHexRow, 0) = "0x1234";
  table.at(kGpio1Row + 3, 13) = "0";
  table.at(10, 21) = "1";
  table.at(kHexRow, 21) = "0xdeadbeef";
  table.at(kHexRow + 1, 21) = "0";
  write();
  const ReadResult r = call_read(SheetWcdmaSwitchPaCtrlWordRd, kReadCells, path);
  EXPECT_EQ(log.texts(), Messages{kDone});
  ASSERT_EQ(r.texts.size(), kReadCells);
  EXPECT_EQ(std::vector<std::string>(r.texts.begin(), r.texts.begin() + 8),
            (std::vector<std::string>{"1", "8", "X", "X", "X", "X", "X", "X"}));
  TruthTable expected = table;
  expected.at(kHexRow + 1, 21) = "0x0";
  for (size_t row = 0; row < kTruthRows; ++row) {
    for (size_t col = 0; col < kColumns; ++col) {
      const size_t i = 8 + row * kColumns + col;
      EXPECT_EQ(r.texts[i], expected.at(row, col)) << "row " << row << " column " << col;
      const int32_t mark = expected.at(row, col) == "1" ? 3 : expected.at(row, col) == "0" ? 6 : 2;
      EXPECT_EQ(r.marks[i], mark) << "row " << row << " column " << col;
    }
  }
  for (size_t i = 0; i < 8; ++i) EXPECT_EQ(r.marks[i], 2);
}

TEST_F(WcdmaSwitchPa, ReadDecodesByKindAndTheStoredCount) {
  std::vector<uint8_t> img(kImageSize, 0);
  auto put = [&](size_t offset, uint32_t v) { put_le32(img, offset, v); };
  put(kBandList, 1);
  put(kBandCount, 1000);  // more than the 8 slots: the read stops at slot 7
  // Slot 0 state 0: a group 0 entry (line 0 high, 1 high, 2 low), a word,
  // then an unknown kind at position 2, which blanks row 2, and {1, 0}.
  put(set_offset(0, 0), 1);
  put(set_offset(0, 0) + 4, 0x00040004 | 0x00080008 | 0x00100000);
  put(set_offset(0, 0) + 8, 15);
  put(set_offset(0, 0) + 12, 0xAB);
  put(set_offset(0, 0) + 16, 7);
  put(set_offset(0, 0) + 24, 1);
  // Slot 0 state 1: a second group 0 entry shows every line of the group
  // again, so line 0 driven by the first entry becomes "X".
  put(set_offset(0, 1), 1);
  put(set_offset(0, 1) + 4, 0x00040004);
  put(set_offset(0, 1) + 8, 1);
  put(set_offset(0, 1) + 12, 0x00080000);
  // Slot 7 state 10: a level bit without its enable bit shows "X".
  put(set_offset(7, 10), 2);
  put(set_offset(7, 10) + 4, 0x00010001 | 0x00000002);
  write_file(path, img);

  const ReadResult r = call_read(SheetWcdmaSwitchPaCtrlWordRd, kReadCells, path);
  EXPECT_EQ(log.texts(), Messages{});
  auto cell = [&](size_t row, size_t col) { return r.texts[8 + row * kColumns + col]; };
  EXPECT_EQ(cell(0, 0), "1");
  EXPECT_EQ(cell(1, 0), "1");
  EXPECT_EQ(cell(2, 0), "X");
  EXPECT_EQ(cell(kHexRow, 0), "0xab");
  EXPECT_EQ(cell(kHexRow + 1, 0), "X");
  EXPECT_EQ(cell(0, 1), "X");
  EXPECT_EQ(cell(1, 1), "0");
  EXPECT_EQ(cell(kGpio1Row, 87), "1");
  EXPECT_EQ(cell(kGpio1Row + 1, 87), "X");
}

}  // namespace
