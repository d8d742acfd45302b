// GSM ramp control sheet through SheetGsmRampCtrlWr/Rd.
#include "gsm_support.h"

namespace gsm_test {
namespace {

constexpr size_t kRampTime = 0x16F2, kBackoff = 0x1B00, kRampData = 0x1702;
constexpr int32_t kReadCells = 328;

constexpr const char* kConfigMessage = "SheetGsmRampCtrl参数配置有误，请确认！";
constexpr const char* kRampTimeMessage = "Ramp Time配置获取失败，请确认！";
constexpr const char* kBackoffMessage = "多时隙功率回退值获取失败，请确认！";
constexpr const char* kRampDataMessage = "Ramp Data获取失败，请确认！";

struct RampSheet {
  std::vector<std::string> ramp_time = repeat_text("0", 8);
  std::vector<std::string> backoff = repeat_text("0", 32);
  std::vector<std::string> ramp_data = repeat_text("0", 288);

  std::vector<RangeTexts> ranges() const { return {{ramp_time, 4, 2}, {backoff, 8, 4}, {ramp_data, 18, 16}}; }
  void write(const std::string& path) const { call_write(SheetGsmRampCtrlWr, ranges(), path); }
};

RampSheet filled_sheet() {
  RampSheet s;
  s.ramp_time = {"1", "2", "3", "4", "5", "6", "7", "-8"};
  for (size_t i = 0; i < 32; ++i) s.backoff[i] = std::to_string(i * 7);
  for (size_t i = 0; i < 288; ++i) s.ramp_data[i] = std::to_string(i * 211);
  return s;
}

using GsmRampCtrl = GsmImageTest;

TEST_F(GsmRampCtrl, WritesRampTimeByColumnBackoffInGroupsAndRampDataColumnMajor) {
  filled_sheet().write(path);
  EXPECT_EQ(log.texts(), Messages{kDone});
  const auto img = image();

  // First sheet column, then the second.
  const int32_t ramp_time[] = {1, 3, 5, 7, 2, 4, 6, -8};
  for (size_t j = 0; j < 8; ++j) EXPECT_EQ(le16s(img, kRampTime + 2 * j), ramp_time[j]) << "T " << j;

  for (size_t g = 0; g < 8; ++g) {
    EXPECT_EQ(img[kBackoff + 5 * g], 0) << "group " << g;
    for (size_t t = 0; t < 4; ++t) EXPECT_EQ(img[kBackoff + 5 * g + 1 + t], (g * 4 + t) * 7) << "group " << g;
  }

  // Value o*18 + i holds sheet row i, column o.
  for (size_t i = 0; i < 18; ++i) {
    for (size_t o = 0; o < 16; ++o) {
      EXPECT_EQ(le16(img, kRampData + 2 * (o * 18 + i)), ((i * 16 + o) * 211) & 0xFFFF) << "row " << i << " col " << o;
    }
  }
  EXPECT_EQ(changes_outside(before, img, {{kRampTime, 16}, {kBackoff, 40}, {kRampData, 576}}), std::vector<size_t>{});
}

TEST_F(GsmRampCtrl, PlacesSingleCells) {
  struct Case {
    const char* rule;
    int range;
    size_t cell;
    const char* text;
    size_t offset;
    int width;
    uint32_t stored;
  };
  const Case cases[] = {
      {"ramp time row 1 cell 0 is T[1]", 0, 2, "9", kRampTime + 2, 2, 9},
      {"ramp time row 0 cell 1 is T[4]", 0, 1, "-1", kRampTime + 8, 2, 0xFFFF},
      {"backoff cut to 8 bits", 1, 0, "300", kBackoff + 1, 1, 44},
      {"backoff row 1 after a zero byte", 1, 4, "5", kBackoff + 6, 1, 5},
      {"ramp data row 0 column 1", 2, 1, "3", 0x1726, 2, 3},
      {"ramp data row 1 column 0", 2, 16, "4", 0x1704, 2, 4},
      {"ramp data -1", 2, 0, "-1", kRampData, 2, 0xFFFF},
      {"X is 0", 2, 0, "X", kRampData, 2, 0},
      {"spaces removed", 2, 0, "1 0", kRampData, 2, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    RampSheet s = filled_sheet();
    (c.range == 0 ? s.ramp_time : c.range == 1 ? s.backoff : s.ramp_data)[c.cell] = c.text;
    s.write(path);
    const auto img = image();
    EXPECT_EQ(c.width == 1 ? img[c.offset] : le16(img, c.offset), c.stored);
  }
}

TEST_F(GsmRampCtrl, ReadsBackWhatWasWritten) {
  RampSheet s = filled_sheet();
  s.backoff[3] = "300";
  s.ramp_data[5] = "-1";
  s.ramp_time[6] = "x";
  s.write(path);
  log.clear();
  const ReadResult r = call_read(SheetGsmRampCtrlRd, kReadCells, path);
  EXPECT_EQ(log.texts(), Messages{});

  RampSheet expected = filled_sheet();
  expected.backoff[3] = "44";
  expected.ramp_data[5] = "65535";
  expected.ramp_time[6] = "0";
  for (size_t i = 0; i < 288; ++i) expected.ramp_data[i] = std::to_string((std::stoul(expected.ramp_data[i])) & 0xFFFF);
  std::vector<std::string> texts = expected.ramp_time;
  texts.insert(texts.end(), expected.backoff.begin(), expected.backoff.end());
  texts.insert(texts.end(), expected.ramp_data.begin(), expected.ramp_data.end());
  EXPECT_EQ(r.texts, texts);
  EXPECT_EQ(r.marks, std::vector<int32_t>(kReadCells, 2));
}

TEST_F(GsmRampCtrl, RefusedWritesLeaveTheImageAlone) {
  struct Case {
    const char* rule;
    std::vector<RangeTexts> ranges;
    const char* message;
  };
  const RangeTexts t{repeat_text("1", 8)}, b{repeat_text("1", 32)}, d{repeat_text("1", 288)};
  const Case cases[] = {
      {"two ranges", {t, b}, kConfigMessage},
      {"ramp time 7 cells", {{repeat_text("1", 7)}, b, d}, kRampTimeMessage},
      {"backoff 33 cells", {t, {repeat_text("1", 33)}, d}, kBackoffMessage},
      {"ramp data 287 cells", {t, b, {repeat_text("1", 287)}}, kRampDataMessage},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    log.clear();
    call_write(SheetGsmRampCtrlWr, c.ranges, path);
    EXPECT_EQ(log.texts(), Messages{c.message});
    EXPECT_EQ(image(), before);
  }
}

}  // namespace
}  // namespace gsm_test
