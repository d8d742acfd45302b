// LTE-A TX antenna select.
#include <map>

#include "ltea_support.h"

using namespace ltea_test;

namespace {

constexpr const char* kGroup0Bad = "GPIO_GROUP0控制逻辑设置有误，请确认值是否为'0'、'1'、'X'！";
constexpr const char* kGroup1Bad = "GPIO_GROUP1控制逻辑设置有误，请确认值是否为'0'、'1'、'X'！";
constexpr const char* kMainEmpty = "主天线选择没有填GPIO控制字！";
constexpr const char* kDivEmpty = "辅天线选择没有填GPIO控制字！";
constexpr const char* kSame = "主辅天线控制字不能相同，请检查后重写！";

using Bytes = std::vector<uint8_t>;

// 30 cells, "X" except the given ones (cell 2i main, 2i + 1 diversity).
std::vector<std::string> sheet(const std::map<size_t, std::string>& set) {
  std::vector<std::string> cells = repeat_text("X", 30);
  for (const auto& [i, text] : set) cells[i] = text;
  return cells;
}

struct WriteCase {
  const char* name;
  std::map<size_t, std::string> cells;
  Bytes main_entry;
  Bytes diversity_entry;
  Messages messages;
  std::map<size_t, std::string> read_back;  // cells that read back other than "X"
};

class LteaTxAntSelect : public LteaImageTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(LteaTxAntSelect, BuildsEntriesAndReadsThemBack) {
  const WriteCase& c = GetParam();
  call_write(SheetLteaTxAntSelectWr, {RangeTexts{sheet(c.cells), 15, 2}}, path);
  EXPECT_EQ(log.texts(), c.messages);
  const auto after = image();
  EXPECT_EQ(bytes_at(after, 400, 8), c.main_entry);
  EXPECT_EQ(bytes_at(after, 408, 8), c.diversity_entry);
  EXPECT_TRUE(changes_outside(before, after, {{400, 16}}).empty());

  const ReadResult r = call_read(SheetLteaTxAntSelectRd, 30, path);
  EXPECT_EQ(r.texts, sheet(c.read_back));
  for (size_t i = 0; i < 30; ++i) {
    const int32_t mark = r.texts[i] == "1" ? 3 : r.texts[i] == "0" ? 6 : 2;
    EXPECT_EQ(r.marks[i], mark) << "cell " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Ltea, LteaTxAntSelect,
                         ::testing::Values(
                             // Code 0x40000416: group code 22, level bit 10, enable bit 30.
                             WriteCase{"Group0Line0",
                                       {{0, "1"}, {1, "0"}},
                                       {0, 0, 0, 0, 0x16, 0x04, 0x00, 0x40},
                                       {0, 0, 0, 0, 0x16, 0x00, 0x00, 0x40},
                                       {kDone},
                                       {{0, "1"}, {1, "0"}}},
                             // Group 0 line 10: enable bit 40 lands in the first 16-bit field.
                             WriteCase{"Group0Line10AndGroup1Line0",
                                       {{20, " 1 "}, {23, "0"}},
                                       {0x00, 0x01, 0, 0, 0x16, 0x00, 0x10, 0x00},
                                       {0, 0, 0, 0, 0x18, 0x00, 0x00, 0x02},
                                       {kDone},
                                       {{20, "1"}, {23, "0"}}},
                             // Group 1 is not examined when group 0 drives a line (no message for its bad cell).
                             WriteCase{"Group0WinsOverGroup1",
                                       {{0, "0"}, {22, "1"}, {24, "bad"}, {3, "1"}},
                                       {0, 0, 0, 0, 0x16, 0x00, 0x00, 0x40},
                                       {0, 0, 0, 0, 0x16, 0x08, 0x00, 0x80},
                                       {kDone},
                                       {{0, "0"}, {3, "1"}}},
                             WriteCase{
                                 "BothEmpty", {}, Bytes(8, 0), Bytes(8, 0), {kMainEmpty, kDivEmpty, kSame, kDone}, {}},
                             WriteCase{"Identical",
                                       {{0, "1"}, {1, "1"}},
                                       {0, 0, 0, 0, 0x16, 0x04, 0x00, 0x40},
                                       {0, 0, 0, 0, 0x16, 0x04, 0x00, 0x40},
                                       {kSame, kDone},
                                       {{0, "1"}, {1, "1"}}},
                             // A bad cell is reported and the line left undriven; the loop goes on.
                             WriteCase{"BadGroup0Cell",
                                       {{0, "2"}, {2, "1"}},
                                       {0, 0, 0, 0, 0x16, 0x08, 0x00, 0x80},
                                       Bytes(8, 0),
                                       {kGroup0Bad, kDivEmpty, kDone},
                                       {{2, "1"}}},
                             // Group 1 line 1: position 1, level bit 6, enable bit 26.
                             WriteCase{"BadGroup1Cell",
                                       {{22, "a"}, {24, "1"}, {29, ""}},
                                       {0, 0, 0, 0, 0x58, 0x00, 0x00, 0x04},
                                       Bytes(8, 0),
                                       {kGroup1Bad, kGroup1Bad, kDivEmpty, kDone},
                                       {{24, "1"}}}),
                         [](const auto& info) { return std::string(info.param.name); });

using LteaTxAntSelectRead = LteaImageTest;

TEST_F(LteaTxAntSelectRead, Bit14OfTheFirstFieldMarksAnAntennaNotConfigured) {
  call_write(SheetLteaTxAntSelectWr, {RangeTexts{sheet({{0, "1"}, {1, "1"}, {3, "0"}})}}, path);
  auto img = image();
  put_le16(img, 400, 0x4000);
  write_file(path, img);
  const ReadResult r = call_read(SheetLteaTxAntSelectRd, 30, path);
  EXPECT_EQ(r.texts, sheet({{1, "1"}, {3, "0"}}));
}

TEST_F(LteaTxAntSelectRead, UnknownGroupCodeReadsAsNotConfigured) {
  put_le32(before, 404, 0xFFFFFFF7);  // group code 23
  put_le16(before, 400, 0);
  write_file(path, before);
  const ReadResult r = call_read(SheetLteaTxAntSelectRd, 30, path);
  for (size_t i = 0; i < 30; i += 2) EXPECT_EQ(r.texts[i], "X") << "cell " << i;
}

using LteaTxAntSelectRefusal = LteaImageTest;

TEST_F(LteaTxAntSelectRefusal, WrongRangesLeaveImageUnchanged) {
  call_write(SheetLteaTxAntSelectWr, {RangeTexts{sheet({})}, RangeTexts{{"1"}}}, path);
  call_write(SheetLteaTxAntSelectWr, {RangeTexts{repeat_text("1", 29)}}, path);
  EXPECT_EQ(log.texts(), Messages({"SheetLteaTxAntSelect参数配置有误，请确认！", "TxAntSelect获取失败，请确认！"}));
  EXPECT_EQ(image(), before);
}

TEST_F(LteaTxAntSelectRefusal, MissingImageIsReportedAfterTheCellMessages) {
  const std::string missing = dir.file("missing.bin");
  call_write(SheetLteaTxAntSelectWr, {RangeTexts{sheet({{0, "1"}})}}, missing);
  EXPECT_EQ(log.texts(), Messages({kDivEmpty, kOpenFailedWrite}));
  EXPECT_FALSE(std::filesystem::exists(missing));
}

}  // namespace
