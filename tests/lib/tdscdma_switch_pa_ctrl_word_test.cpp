// TD-SCDMA switch/PA control words end to end: the TD-SCDMA entry form, the
// build order of the states, the zero gaps and the read-back by group tag.
#include "wcdma_support.h"

using namespace cdma_test;

namespace {

constexpr size_t kArea = 580;
constexpr size_t kAreaSize = 704;
constexpr size_t kColumns = 14;
constexpr const char* kBadGpio = "真值表输入有误，请确认值是否为'0'、'1'、'X'！";
constexpr const char* kTooMany = "控制字个数超过最大个数，请确认！";

size_t set_offset(size_t group, size_t state) {
  return state < 3 ? 580 + 160 * group + 32 * state : 900 + 192 * group + 32 * (state - 3);
}

class TdscdmaSwitchPa : public CdmaImageTest {
 protected:
  TruthTable table{kTruthRows, kColumns};
  void write() { call_write(SheetTdscdmaSwitchPaCtrlWordWr, {{table.cells}}, path); }
};

TEST_F(TdscdmaSwitchPa, EncodesEntriesInTheTdscdmaForm) {
  table.at(0, 0) = "1";              // group 0 state 0
  table.at(kGpio1Row + 3, 8) = "1";  // group 1 state 1
  table.at(10, 13) = "0";            // group 1 state 6: group 0 line 10 low
  table.at(kGpio1Row, 13) = " 1";    // and group 1 line 0 high
  table.at(kHexRow + 2, 13) = "0xBEEF";
  for (size_t r = 0; r < 4; ++r) table.at(kHexRow + r, 3) = std::to_string(r + 1);  // group 0 state 3
  write();
  EXPECT_EQ(log.texts(), Messages{kDone});
  const auto after = image();
  const Entry empty{0, 0x10};
  EXPECT_EQ(set_at(after, set_offset(0, 0)), (std::vector<Entry>{{0, 0x200130}, empty, empty, empty}));
  EXPECT_EQ(set_at(after, set_offset(1, 1)), (std::vector<Entry>{{0, 0x400232}, empty, empty, empty}));
  EXPECT_EQ(set_at(after, set_offset(1, 6)),
            (std::vector<Entry>{{0, (1u << 31) | 0x30}, {0, (1u << 19) | (1u << 6) | 0x32}, {8, 0xBEEF}, empty}));
  EXPECT_EQ(set_at(after, set_offset(0, 3)), (std::vector<Entry>{{8, 1}, {8, 2}, {8, 3}, {8, 4}}));
  EXPECT_EQ(set_at(after, set_offset(0, 6)), (std::vector<Entry>{empty, empty, empty, empty}));
  for (size_t gap : {676, 836, 1028, 1220}) EXPECT_TRUE(all_zero(after, gap, 64)) << "gap at " << gap;
  EXPECT_EQ(changes_outside(before, after, {{kArea, kAreaSize}}), std::vector<size_t>{});

  const ReadResult r = call_read(SheetTdscdmaSwitchPaCtrlWordRd, 266, path);
  TruthTable expected = table;
  expected.at(kGpio1Row, 13) = "1";
  expected.at(kHexRow + 2, 13) = "X";  // words fill the hexadecimal rows from the first
  expected.at(kHexRow, 13) = "0xbeef";
  for (size_t r = 0; r < 4; ++r) expected.at(kHexRow + r, 3) = "0x" + std::to_string(r + 1);
  EXPECT_EQ(r.texts, expected.cells);
  EXPECT_EQ(r.marks[0], 3);
  EXPECT_EQ(r.marks[10 * kColumns + 13], 6);
  EXPECT_EQ(r.marks[1], 2);
}

TEST_F(TdscdmaSwitchPa, StatesAreBuiltGroupByGroupInThreeThenFour) {
  // Group 0 state 3 (column 3) holds five words, group 1 state 0 (column 7) a
  // bad cell: group 1 states 0..2 are built before group 0 states 3..6.
  for (size_t r = 0; r < 4; ++r) table.at(kHexRow + r, 3) = "1";
  table.at(0, 3) = "1";
  table.at(kGpio1Row + 1, 7) = "";
  write();
  EXPECT_EQ(log.texts(), Messages{kBadGpio});
  EXPECT_EQ(image(), before);

  log.clear();
  table.at(kGpio1Row + 1, 7) = "X";
  write();
  EXPECT_EQ(log.texts(), Messages{kTooMany});
  EXPECT_EQ(image(), before);
}

TEST_F(TdscdmaSwitchPa, AWordBeyondTheFourthIsRefusedUnread) {
  table.at(0, 5) = "1";
  table.at(kGpio1Row, 5) = "0";
  table.at(kHexRow, 5) = "1";
  table.at(kHexRow + 1, 5) = "2";
  table.at(kHexRow + 2, 5) = "G";  // not read: four entries are already placed
  write();
  EXPECT_EQ(log.texts(), Messages{kTooMany});
  EXPECT_EQ(image(), before);

  log.clear();
  table.at(kHexRow + 1, 5) = "G";
  table.at(kHexRow + 2, 5) = "X";
  write();
  EXPECT_EQ(log.texts(), (Messages{kNotHex, kDone}));
  EXPECT_EQ(set_at(image(), set_offset(0, 5))[3], (Entry{8, 0}));
}

TEST_F(TdscdmaSwitchPa, RangeChecksAndOpenFailure) {
  call_write(SheetTdscdmaSwitchPaCtrlWordWr, {{table.cells}, {table.cells}}, path);
  call_write(SheetTdscdmaSwitchPaCtrlWordWr, {{repeat_text("X", 267)}}, path);
  call_write(SheetTdscdmaSwitchPaCtrlWordWr, {{table.cells}}, missing_path());
  EXPECT_EQ(log.texts(), (Messages{"SheetTdscdmaSwitchPa参数配置有误，请确认！", "SwitchPa真值表获取失败，请确认！",
                                   kOpenFailedWrite}));
  EXPECT_EQ(image(), before);
}

TEST_F(TdscdmaSwitchPa, ReadDecodesByGroupTag) {
  std::vector<uint8_t> img(kImageSize, 0);
  auto put = [&](size_t offset, uint32_t v) { put_le32(img, offset, v); };
  const size_t s = set_offset(0, 4);
  put(s + 4, (1u << 21) | (1u << 8) | (1u << 22) | 0x30);  // tag 24: line 0 high, line 1 low
  put(s + 8, 1);                                           // kind 1: not a TD-SCDMA kind
  put(s + 12, 0x200130);
  put(s + 20, (1u << 9) | 0x32);  // tag 25, level without enable: nothing
  put(s + 28, 0x34);              // tag 26: nothing
  // Group 1 state 0: a second group 0 entry drives line 1 only; line 0 keeps
  // the "1" of the first entry.
  const size_t t = set_offset(1, 0);
  put(t + 4, 0x200130);
  put(t + 12, (1u << 22) | 0x30);
  write_file(path, img);
  const ReadResult r = call_read(SheetTdscdmaSwitchPaCtrlWordRd, 266, path);
  EXPECT_EQ(log.texts(), Messages{});
  TruthTable expected{kTruthRows, kColumns};
  expected.at(0, 4) = "1";
  expected.at(1, 4) = "0";
  expected.at(0, 7) = "1";
  expected.at(1, 7) = "0";
  EXPECT_EQ(r.texts, expected.cells);

  // An all-zero area reads as "X" only; so does a missing image, after its message.
  write_file(path, std::vector<uint8_t>(kImageSize, 0));
  EXPECT_EQ(call_read(SheetTdscdmaSwitchPaCtrlWordRd, 266, path).texts, repeat_text("X", 266));
  EXPECT_EQ(call_read(SheetTdscdmaSwitchPaCtrlWordRd, 266, missing_path()).texts, repeat_text("X", 266));
  const ReadResult wrong = call_read(SheetTdscdmaSwitchPaCtrlWordRd, 265, path);
  EXPECT_EQ(log.texts(), (Messages{kOpenFailedRead, kCellCountMismatch}));
  EXPECT_EQ(wrong.texts, repeat_text("?", 265));
}

}  // namespace
