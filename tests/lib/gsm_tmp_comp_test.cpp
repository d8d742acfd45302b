// GSM temperature compensation sheet through SheetGsmTmpCompWr/Rd.
#include "gsm_support.h"

namespace gsm_test {
namespace {

constexpr size_t kHead = 0x3E4, kTxA = 0x420, kTxB = 0xD80, kRx = 0x1B28;
constexpr int32_t kReadCells = 2475;

constexpr const char* kConfigMessage = "SheetGsmTempComp参数配置有误，请确认！";
constexpr const char* kIntervalMessage = "温度区间配置获取失败，请确认！";
constexpr const char* kTxMessage = "TX温补值获取失败，请确认！";
constexpr const char* kRxMessage = "RX温补值获取失败，请确认！";

// Ranges of a sheet: 15 intervals, 8 TX ranges of 300, RX of 60.
std::vector<RangeTexts> sheet_of(const std::vector<std::string>& all) {
  std::vector<RangeTexts> ranges;
  size_t at = 0;
  const auto take = [&](size_t n) {
    ranges.push_back({std::vector<std::string>(all.begin() + at, all.begin() + at + n)});
    at += n;
  };
  take(15);
  for (int r = 0; r < 8; ++r) take(300);
  take(60);
  return ranges;
}

// Distinct values for every cell, negatives included.
int64_t cell_value(size_t i) { return static_cast<int64_t>(i * 13 % 4001) - 2000; }

std::vector<std::string> filled_texts() {
  std::vector<std::string> texts;
  for (size_t i = 0; i < static_cast<size_t>(kReadCells); ++i) texts.push_back(std::to_string(cell_value(i)));
  return texts;
}

using GsmTmpComp = GsmImageTest;

TEST_F(GsmTmpComp, WritesTheTxTablesTransposed) {
  call_write(SheetGsmTmpCompWr, sheet_of(filled_texts()), path);
  EXPECT_EQ(log.texts(), Messages{kDone});
  const auto img = image();

  for (size_t i = 0; i < 15; ++i) {
    EXPECT_EQ(le16s(img, kHead + 2 * i), 0) << "head " << i;
    EXPECT_EQ(le16s(img, kHead + 30 + 2 * i), cell_value(i)) << "interval " << i;
  }
  // Sheet cell (row m, interval k) of TX range r goes to value g*300 + k*20 + m of its table.
  for (size_t r = 1; r <= 8; ++r) {
    const size_t table = r <= 4 ? kTxA : kTxB;
    const size_t g = (r - 1) % 4;
    for (size_t c = 0; c < 300; ++c) {
      const size_t m = c / 15, k = c % 15;
      ASSERT_EQ(le16s(img, table + 2 * (g * 300 + k * 20 + m)), cell_value(15 + 300 * (r - 1) + c))
          << "TX range " << r << " cell " << c;
    }
  }
  for (size_t i = 0; i < 60; ++i) EXPECT_EQ(le16s(img, kRx + 2 * i), cell_value(2415 + i)) << "RX " << i;

  EXPECT_EQ(changes_outside(before, img, {{kHead, 0x16E0 - kHead}, {kRx, 120}}), std::vector<size_t>{});
}

TEST_F(GsmTmpComp, PlacesSingleCells) {
  struct Case {
    const char* rule;
    size_t cell;  // in read order
    const char* text;
    size_t offset;
    uint32_t stored;
  };
  const Case cases[] = {
      {"interval: two's complement", 0, "-10", kHead + 30, 0xFFF6},
      {"interval cut to 16 bits", 14, "40000", kHead + 58, 40000},
      {"TX range 1 row 1 interval 0", 15 + 15, "7", 0x422, 7},
      {"TX range 1 row 0 interval 1", 15 + 1, "8", 0x448, 8},
      {"TX range 2 starts its group", 15 + 300, "9", 0x420 + 600, 9},
      {"TX range 5 starts table B", 15 + 1200, "11", 0xD80, 11},
      {"RX last cell", 2474, "12", kRx + 118, 12},
      {"spaces removed", 0, " 1 2", kHead + 30, 12},
      {"X is 0", 0, "X", kHead + 30, 0},
      {"x is 0", 0, "x", kHead + 30, 0},
      {"blank is 0", 0, "", kHead + 30, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    auto texts = repeat_text("1", kReadCells);
    texts[c.cell] = c.text;
    log.clear();
    call_write(SheetGsmTmpCompWr, sheet_of(texts), path);
    EXPECT_EQ(log.texts(), Messages{kDone});
    EXPECT_EQ(le16(image(), c.offset), c.stored);
  }
}

TEST_F(GsmTmpComp, ReadsBackWhatWasWritten) {
  auto texts = filled_texts();
  texts[3] = "40000";
  texts[20] = "X";
  texts[2000] = " ";
  call_write(SheetGsmTmpCompWr, sheet_of(texts), path);
  log.clear();
  const ReadResult r = call_read(SheetGsmTmpCompRd, kReadCells, path);
  EXPECT_EQ(log.texts(), Messages{});
  auto expected = filled_texts();
  expected[3] = "-25536";
  expected[20] = "0";
  expected[2000] = "0";
  EXPECT_EQ(r.texts, expected);
  EXPECT_EQ(r.marks, std::vector<int32_t>(kReadCells, 2));
}

TEST_F(GsmTmpComp, RefusedWritesLeaveTheImageAlone) {
  struct Case {
    const char* rule;
    size_t range;  // range to change, or 10 to drop the last range
    size_t cells;
    const char* message;
  };
  const Case cases[] = {
      {"nine ranges", 10, 0, kConfigMessage},
      {"14 intervals", 0, 14, kIntervalMessage},
      {"TX range 3 one short", 3, 299, kTxMessage},
      {"TX range 8 one long", 8, 301, kTxMessage},
      {"RX 59 cells after good ranges", 9, 59, kRxMessage},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    auto ranges = sheet_of(filled_texts());
    if (c.range == 10) {
      ranges.pop_back();
    } else {
      ranges[c.range].cells.resize(c.cells, "1");
    }
    log.clear();
    call_write(SheetGsmTmpCompWr, ranges, path);
    EXPECT_EQ(log.texts(), Messages{c.message});
    EXPECT_EQ(image(), before);
  }
}

}  // namespace
}  // namespace gsm_test
