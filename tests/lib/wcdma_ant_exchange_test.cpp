// WCDMA antenna exchange end to end: one GPIO entry per state, the
// per-cell warnings, and the read operation that reads nothing back.
#include "wcdma_support.h"

using namespace cdma_test;

namespace {

constexpr size_t kEntries = 200;
constexpr const char* kBadGpio0 = "GPIO_GROUP0控制逻辑设置有误，请确认值是否为'0'、'1'、'X'！";
constexpr const char* kNoExchange = "天线交换没有填有效控制字，请检查后重写";
constexpr const char* kNoStraight = "天线不交换没有填有效控制字，请检查后重写";

class WcdmaAntExchange : public CdmaImageTest {
 protected:
  TruthTable table{15, 2};
  void write() { call_write(SheetWcdmaAntExchangeWr, {{table.cells}}, path); }
  std::vector<uint8_t> entries() const {
    const auto img = image();
    return std::vector<uint8_t>(img.begin() + kEntries, img.begin() + kEntries + 16);
  }
};

TEST_F(WcdmaAntExchange, EachColumnBecomesOneEntry) {
  table.at(0, 0) = "1";
  table.at(12, 0) = "bad";  // group 1 is not looked at: group 0 drives a line
  table.at(12, 1) = " 0";
  write();
  EXPECT_EQ(log.texts(), Messages{kDone});
  EXPECT_EQ(entries(), (std::vector<uint8_t>{0x01, 0, 0, 0, 0x04, 0x00, 0x04, 0x00,  //
                                             0x02, 0, 0, 0, 0x00, 0x00, 0x02, 0x00}));
  EXPECT_EQ(changes_outside(before, image(), {{kEntries, 16}}), std::vector<size_t>{});
}

TEST_F(WcdmaAntExchange, BadCellsAndEmptyColumnsWarnAndTheWriteGoesOn) {
  table.at(3, 0) = "2";
  table.at(5, 0) = "";
  table.at(11, 0) = "1";
  write();
  // Column 0: two bad group 0 cells, then group 1 line 0; column 1 drives nothing.
  EXPECT_EQ(log.texts(), (Messages{kBadGpio0, kBadGpio0, kNoStraight, kDone}));
  EXPECT_EQ(entries(), (std::vector<uint8_t>{0x02, 0, 0, 0, 0x01, 0x00, 0x01, 0x00,  //
                                             0, 0, 0, 0, 0, 0, 0, 0}));

  log.clear();
  TruthTable only_straight{15, 2};
  only_straight.at(14, 1) = "0";
  only_straight.at(13, 0) = "?";
  call_write(SheetWcdmaAntExchangeWr, {{only_straight.cells}}, path);
  EXPECT_EQ(log.texts(), (Messages{"GPIO_GROUP1控制逻辑设置有误，请确认值是否为'0'、'1'、'X'！", kNoExchange, kDone}));
  EXPECT_EQ(le32(image(), kEntries + 8), 2u);
  EXPECT_EQ(le32(image(), kEntries + 12), 0x00080000u);
}

TEST_F(WcdmaAntExchange, RefusalsLeaveTheImage) {
  call_write(SheetWcdmaAntExchangeWr, {{table.cells}, {table.cells}}, path);
  call_write(SheetWcdmaAntExchangeWr, {{repeat_text("X", 29)}}, path);
  call_write(SheetWcdmaAntExchangeWr, {{table.cells}}, missing_path());
  EXPECT_EQ(log.texts(), (Messages{"SheetWcdmaAntExchange参数配置有误，请确认！", "Ant数据获取失败，请确认！",
                                   kNoExchange, kNoStraight, kOpenFailedWrite}));
  EXPECT_EQ(image(), before);
}

TEST_F(WcdmaAntExchange, ReadEmptiesTheFirstCellOnly) {
  const ReadResult r = call_read(SheetWcdmaAntExchangeRd, 30, missing_path());
  EXPECT_EQ(log.texts(), Messages{});
  EXPECT_EQ(r.texts[0], "");
  EXPECT_EQ(r.marks[0], -1);
  EXPECT_EQ(std::vector<std::string>(r.texts.begin() + 1, r.texts.end()), repeat_text("?", 29));
  EXPECT_EQ(std::vector<int32_t>(r.marks.begin() + 1, r.marks.end()), std::vector<int32_t>(29, -1));
  const ReadResult none = call_read(SheetWcdmaAntExchangeRd, 0, path);
  EXPECT_TRUE(none.texts.empty());
}

}  // namespace
