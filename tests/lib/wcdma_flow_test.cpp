// A WCDMA image worked through by several sheets: the switch/PA sheet writes
// the band list, the temperature compensation and maximum power sheets use
// it, and everything reads back.
#include "wcdma_support.h"

using namespace cdma_test;

namespace {

TEST(WcdmaFlow, SwitchPaThenTmpCompAndMaxPowThenReadBack) {
  TempDir dir;
  const std::string path = dir.file("nv.bin");
  write_file(path, std::vector<uint8_t>(kImageSize, 0));
  MessageLog log;

  const std::vector<std::string> bands = {"1", "X", "8", "X", "X", "X", "X", "X"};
  TruthTable table{kTruthRows, 88};
  table.at(0, 0) = "1";
  table.at(kGpio1Row, 11) = "0";
  table.at(kHexRow, 21) = "0x5";
  call_write(SheetWcdmaSwitchPaCtrlWordWr, {{bands}, {table.cells}}, path);

  // The temperature sheet lists the bands packed, as the image holds them.
  std::vector<std::string> tmp = repeat_text("X", 640);
  for (size_t r = 0; r < 40; ++r) {
    tmp[16 * r] = std::to_string(r);
    tmp[16 * r + 1] = "-1";
    tmp[16 * r + 2] = std::to_string(1000 + r);
    tmp[16 * r + 3] = "3";
  }
  const std::vector<std::string> packed = {"1", "8", "X", "X", "X", "X", "X", "X"};
  call_write(SheetWcdmaTmpCompWr, {{bands}, {tmp}}, path);  // sheet order differs from the image
  call_write(SheetWcdmaTmpCompWr, {{packed}, {tmp}}, path);
  std::vector<std::string> pow = {"1", "8", "X", "X", "X", "X", "X", "X", "23", "22", "X", "X", "X", "X", "X", "X"};
  call_write(SheetWcdmaMaxPowWr, {{{"close"}}, {{"0"}}, {{"open"}}, {{"0x13579bdf"}}, {pow}}, path);
  EXPECT_EQ(log.texts(), (Messages{kDone, "温补表格填写的Band顺序与原始NV中不一致，请重新确认！", kDone, kDone}));

  const ReadResult sp = call_read(SheetWcdmaSwitchPaCtrlWordRd, 1680, path);
  EXPECT_EQ(std::vector<std::string>(sp.texts.begin(), sp.texts.begin() + 8), packed);
  EXPECT_EQ(std::vector<std::string>(sp.texts.begin() + 8, sp.texts.end()), table.cells);

  const ReadResult tc = call_read(SheetWcdmaTmpCompRd, 648, path);
  EXPECT_EQ(std::vector<std::string>(tc.texts.begin(), tc.texts.begin() + 8), packed);
  std::vector<std::string> expected_tmp = tmp;
  for (size_t r = 0; r < 40; ++r) expected_tmp[16 * r + 1] = "-1";
  EXPECT_EQ(std::vector<std::string>(tc.texts.begin() + 8, tc.texts.end()), expected_tmp);

  const ReadResult mp = call_read(SheetWcdmaMaxPowRd, 20, path);
  EXPECT_EQ(mp.texts, (std::vector<std::string>{"close", "0x0", "open", "0x13579bdf", "1", "8", "X", "X", "X", "X",
                                                "X",     "X",   "23",   "22",         "X", "X", "X", "X", "X", "X"}));
  // The reads add no message.
  EXPECT_EQ(log.texts(), (Messages{kDone, "温补表格填写的Band顺序与原始NV中不一致，请重新确认！", kDone, kDone}));
}

}  // namespace
