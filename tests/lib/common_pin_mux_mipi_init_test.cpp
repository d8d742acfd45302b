// Pin multiplexing and MIPI init sheet through SheetCommonPinMuxSelAndMipiInitWr,
// including its 12 write-back cells.
#include <array>

#include "gsm_support.h"

namespace gsm_test {
namespace {

constexpr size_t kWords = 0x360, kPinMux = 0x3E0, kSim = 0x3E2, kMark = 0x4B8;
constexpr int32_t kBackCells = 12;

constexpr const char* kConfigMessage = "SheetCommon参数配置有误，请确认！";
constexpr const char* kModeMessage = "传入PinMux数据不正确，请确认！";
constexpr const char* kCh0Message = "传入CH0器件信息不正确，请确认！";
constexpr const char* kCh1Message = "传入CH1器件信息不正确，请确认！";
constexpr const char* kTooMany = "初始化控制超过最大个数，请确认！";
constexpr const char* kMipi0Failed = "获取Mipi 0控制字失败，请确认！";
constexpr const char* kMipi1Failed = "获取Mipi 1控制字失败，请确认！";
constexpr const char* kDoneGpio = "修改完成，VC1~VC4复用为GPIO方式！";
constexpr const char* kDoneMipi = "修改完成，VC1~VC4复用为MIPI方式，完成初始化控制字配置！\r\n\r\n";
constexpr const char* kDoneMipi0 = "修改完成，VC1~VC2复用为MIPI方式，完成初始化控制字配置！\r\n\r\n";
constexpr const char* kDoneTail = "请使用器件对应的UserID生成Mipi控制字！";
constexpr const char* kSimFunc = "rfctrl 12/13/14为sim卡功能！";
constexpr const char* kBackCountMessage = "回写表格时cell表格个数不符！";

using Row = std::array<std::string, 3>;
const Row kAbsent = {"X", "", ""};

// 18 device cells of a bus: the given rows, then absent rows.
std::vector<std::string> bus(const std::vector<Row>& rows) {
  std::vector<std::string> cells;
  for (size_t i = 0; i < 6; ++i) {
    const Row& r = i < rows.size() ? rows[i] : kAbsent;
    cells.insert(cells.end(), r.begin(), r.end());
  }
  return cells;
}

std::u16string ascii16(const std::string& s) { return std::u16string(s.begin(), s.end()); }

std::string ascii8(const CalvexChar* t) {
  std::string out;
  for (; t != nullptr && *t != 0; ++t) out.push_back(*t < 0x80 ? static_cast<char>(*t) : '?');
  return out;
}

struct WriteBack {
  std::vector<std::string> texts;
  std::vector<int32_t> marks;
};

// Calls the export with the ranges (each as a column) and back_count
// write-back cells that start as "?" with mark -1.
WriteBack call_pin_mux(const std::vector<std::vector<std::string>>& ranges, const std::string& path,
                       int32_t back_count = kBackCells) {
  std::vector<std::vector<CalvexText>> handles;
  std::vector<CellRange> records;
  for (const auto& r : ranges) {
    handles.emplace_back();
    for (const std::string& c : r) handles.back().push_back(CalvexTextNew(ascii16(c).c_str()));
    records.push_back(CellRange{handles.back().data(), 0, 0, 0, static_cast<int32_t>(r.size()) - 1});
  }
  std::vector<SheetCell> back(static_cast<size_t>(back_count));
  for (SheetCell& c : back) c = SheetCell{CalvexTextNew(u"?"), -1};
  SheetCommonPinMuxSelAndMipiInitWr(records.data(), static_cast<int32_t>(records.size()),
                                    CalvexTextNew(ascii16(path).c_str()), back.data(), back_count);
  WriteBack out;
  for (SheetCell& c : back) {
    out.texts.push_back(ascii8(c.text));
    out.marks.push_back(c.mark);
    CalvexTextRelease(c.text);
  }
  for (auto& r : handles)
    for (CalvexText t : r) CalvexTextRelease(t);
  return out;
}

std::vector<uint32_t> words_of(const std::vector<uint8_t>& img, size_t first, size_t count) {
  std::vector<uint32_t> words;
  for (size_t i = 0; i < count; ++i) words.push_back(le32(img, kWords + 4 * (first + i)));
  return words;
}

// The 16 words of a bus: the given ones, then zeros.
std::vector<uint32_t> padded(std::vector<uint32_t> words) {
  words.resize(16, 0);
  return words;
}

// Write-back cells of a bus: the given USID texts (mark 3), then "X" (mark 2).
void expect_bus_back(const WriteBack& back, size_t bus, const std::vector<std::string>& usids) {
  for (size_t j = 0; j < 6; ++j) {
    SCOPED_TRACE("write-back cell " + std::to_string(bus * 6 + j));
    EXPECT_EQ(back.texts[bus * 6 + j], j < usids.size() ? usids[j] : "X");
    EXPECT_EQ(back.marks[bus * 6 + j], j < usids.size() ? 3 : 2);
  }
}

using CommonPinMux = GsmImageTest;

TEST_F(CommonPinMux, TwoDevicesSharingAUsidOnTheOnlyBus) {
  const WriteBack back =
      call_pin_mux({{"ONLY MIPI0 MODE", "NO SIM"}, bus({{"11", "1A", "07"}, {"22", "1A", "07"}}), {"ignored"}}, path);
  EXPECT_EQ(log.texts(), Messages{std::string(kDoneMipi0) +
                                  "Mipi0共有器件个数2，对应的UserID:\r\n"
                                  "Device0 UserID: 0x7\r\n"
                                  "Device1 UserID: 0xf\r\n"
                                  "\r\n" +
                                  kDoneTail});
  const auto img = image();
  EXPECT_EQ(words_of(img, 0, 16), padded({0x00075D22, 0x00075E1A, 0x00075F0F, 0x00075C38, 0x000F5C38}));
  EXPECT_EQ(words_of(img, 16, 16), padded({}));
  EXPECT_EQ(le16(img, kPinMux), 0xFFFEu);
  EXPECT_EQ(le16(img, kSim), 0u);
  EXPECT_EQ(le32(img, kMark), 0u);
  EXPECT_EQ(changes_outside(before, img, {{kWords, 128 + 4}, {kMark, 4}}), std::vector<size_t>{});
  expect_bus_back(back, 0, {"0x7", "0xf"});
  expect_bus_back(back, 1, {});
}

TEST_F(CommonPinMux, TwoBusesWithSimFunction) {
  const WriteBack back = call_pin_mux(
      {{"MIPI MODE", "SIM FUNC"}, bus({kAbsent, {"5", "3D", "31"}}), bus({{"1", "2", "8"}, {"3", "4", "9"}})}, path);
  EXPECT_EQ(log.texts(), (Messages{std::string(kDoneMipi) +
                                       "Mipi0共有器件个数1，对应的UserID:\r\n"
                                       "Device0 UserID: 0x1\r\n"
                                       "\r\n"
                                       "Mipi1共有器件个数2，对应的UserID:\r\n"
                                       "Device0 UserID: 0x8\r\n"
                                       "Device1 UserID: 0x9\r\n" +
                                       kDoneTail,
                                   kSimFunc}));
  const auto img = image();
  EXPECT_EQ(words_of(img, 0, 16), padded({0x00015C38}));
  EXPECT_EQ(words_of(img, 16, 16), padded({0x00085C38, 0x00095C38}));
  EXPECT_EQ(le16(img, kPinMux), 0xFEFEu);
  EXPECT_EQ(le16(img, kSim), 1u);
  EXPECT_EQ(le32(img, kMark), 0x99887766u);  // manufacturer 0x3D on bus 0
  expect_bus_back(back, 0, {"0x1"});
  expect_bus_back(back, 1, {"0x8", "0x9"});
}

TEST_F(CommonPinMux, SpecialManufacturerCountsOnBusZeroOnly) {
  call_pin_mux({{"MIPI MODE", ""}, bus({{"5", "1", "1"}}), bus({{"5", "3D", "2"}})}, path);
  EXPECT_EQ(le32(image(), kMark), 0u);
}

TEST_F(CommonPinMux, EmptyBusesReportNoDevices) {
  const WriteBack back = call_pin_mux({{"MIPI MODE", ""}, bus({}), bus({})}, path);
  EXPECT_EQ(log.texts(),
            Messages{std::string(kDoneMipi) + "Mipi0共有器件个数0\r\n\r\nMipi1共有器件个数0\r\n" + kDoneTail});
  EXPECT_EQ(words_of(image(), 0, 32), std::vector<uint32_t>(32, 0));
  expect_bus_back(back, 0, {});
  expect_bus_back(back, 1, {});
}

TEST_F(CommonPinMux, ReassignsUsidsInTheOrderOfTheirFirstHolder) {
  struct Case {
    const char* rule;
    std::vector<Row> rows;
    std::vector<uint32_t> words;
    std::vector<std::string> usids;
  };
  const Case cases[] = {
      {"conflicts grouped by first holder: device 3 before device 2",
       {{"A0", "B0", "07"}, {"A1", "B1", "08"}, {"A2", "B2", "08"}, {"A3", "B3", "07"}},
       {0x00075DA3, 0x00075EB3, 0x00075F0F, 0x00085DA2, 0x00085EB2, 0x00085F0E, 0x00075C38, 0x00085C38, 0x000E5C38,
        0x000F5C38},
       {"0x7", "0x8", "0xe", "0xf"}},
      {"a device holding 15 takes it out of the candidates",
       {{"1", "2", "0F"}, {"3", "4", "07"}, {"5", "6", "07"}},
       {0x00075D05, 0x00075E06, 0x00075F0E, 0x000F5C38, 0x00075C38, 0x000E5C38},
       {"0xf", "0x7", "0xe"}},
      {"USID from the low 4 bits; manufacturer bits kept in the new register value",
       {{"1", "2", "27"}, {"3", "4", "17"}},
       {0x00075D03, 0x00075E04, 0x00075F1F, 0x00075C38, 0x000F5C38},
       {"0x7", "0xf"}},
      {"four sharing one USID: 9 words and 4 triggers fit",
       {{"1", "1", "3"}, {"2", "2", "3"}, {"3", "3", "3"}, {"4", "4", "3"}},
       {0x00035D02, 0x00035E02, 0x00035F0F, 0x00035D03, 0x00035E03, 0x00035F0E, 0x00035D04, 0x00035E04, 0x00035F0A,
        0x00035C38, 0x000F5C38, 0x000E5C38, 0x000A5C38},
       {"0x3", "0xf", "0xe", "0xa"}},
      {"six distinct USIDs need no reassignment",
       {{"1", "1", "0"}, {"2", "2", "1"}, {"3", "3", "2"}, {"4", "4", "3"}, {"5", "5", "4"}, {"6", "6", "5"}},
       {0x00005C38, 0x00015C38, 0x00025C38, 0x00035C38, 0x00045C38, 0x00055C38},
       {"0x0", "0x1", "0x2", "0x3", "0x4", "0x5"}},
      {"register values cut to 8 bits, never into the command field",
       {{"1", "2", "3"}, {"1FF", "13D", "3"}},
       {0x00035DFF, 0x00035E3D, 0x00035F0F, 0x00035C38, 0x000F5C38},
       {"0x3", "0xf"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    log.clear();
    const WriteBack back = call_pin_mux({{"ONLY MIPI0 MODE", ""}, bus(c.rows), {}}, path);
    EXPECT_EQ(log.texts().size(), 1u);
    EXPECT_EQ(words_of(image(), 0, 16), padded(c.words));
    expect_bus_back(back, 0, c.usids);
  }
}

TEST_F(CommonPinMux, AbsentAndBlankRows) {
  // A row is absent only when its first cell is X or x; a blank first cell is product ID 0.
  const WriteBack back = call_pin_mux(
      {{"ONLY MIPI0 MODE", ""}, bus({{"X", "1", "5"}, {"", "1", "5"}, {"x", "1", "6"}, {"7", "1", "6"}}), {}}, path);
  EXPECT_EQ(words_of(image(), 0, 16), padded({0x00055C38, 0x00065C38}));
  expect_bus_back(back, 0, {"0x5", "0x6"});
}

TEST_F(CommonPinMux, TooManyWordsRefuseTheWrite) {
  struct Case {
    const char* rule;
    std::vector<std::vector<std::string>> ranges;
    Messages messages;
  };
  const std::vector<Row> five_same(5, Row{"1", "1", "4"});
  const std::vector<Row> six_same(6, Row{"1", "1", "4"});
  const Case cases[] = {
      {"six sharing one USID on bus 0", {{"MIPI MODE", ""}, bus(six_same), bus({})}, {kTooMany, kMipi0Failed}},
      {"five sharing: 15 words and 5 triggers",
       {{"ONLY MIPI0 MODE", ""}, bus(five_same), {}},
       {kTooMany, kMipi0Failed}},
      {"six sharing one USID on bus 1", {{"MIPI MODE", "SIM FUNC"}, bus({}), bus(six_same)}, {kTooMany, kMipi1Failed}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    log.clear();
    const WriteBack back = call_pin_mux(c.ranges, path);
    EXPECT_EQ(log.texts(), c.messages);
    EXPECT_EQ(image(), before);
    EXPECT_EQ(back.texts, repeat_text("?", kBackCells));
  }
}

TEST_F(CommonPinMux, GpioModeWritesThePinMuxAndSimValuesOnly) {
  // Any other mode text selects GPIO, and the device ranges are not looked at.
  const WriteBack back = call_pin_mux({{"mipi mode", "SIM FUNC"}, {"1"}, {}}, path);
  EXPECT_EQ(log.texts(), (Messages{kDoneGpio, kSimFunc}));
  const auto img = image();
  EXPECT_EQ(le16(img, kPinMux), 0u);
  EXPECT_EQ(le16(img, kSim), 1u);
  EXPECT_EQ(changes_outside(before, img, {{kPinMux, 4}}), std::vector<size_t>{});
  EXPECT_EQ(back.texts, repeat_text("X", kBackCells));
  EXPECT_EQ(back.marks, std::vector<int32_t>(kBackCells, 2));
}

TEST_F(CommonPinMux, RefusedWritesLeaveTheImageAndTheCellsAlone) {
  struct Case {
    const char* rule;
    std::vector<std::vector<std::string>> ranges;
    const char* message;
  };
  const Case cases[] = {
      {"two ranges", {{"GPIO", ""}, bus({})}, kConfigMessage},
      {"mode range of three cells", {{"GPIO", "", ""}, bus({}), bus({})}, kModeMessage},
      {"bus 0 one short", {{"MIPI MODE", ""}, repeat_text("X", 17), bus({})}, kCh0Message},
      {"bus 1 one short", {{"MIPI MODE", ""}, bus({}), repeat_text("X", 17)}, kCh1Message},
      {"bus 0 one long in the one-bus mode", {{"ONLY MIPI0 MODE", ""}, repeat_text("X", 19), {}}, kCh0Message},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    log.clear();
    const WriteBack back = call_pin_mux(c.ranges, path);
    EXPECT_EQ(log.texts(), Messages{c.message});
    EXPECT_EQ(image(), before);
    EXPECT_EQ(back.texts, repeat_text("?", kBackCells));
  }
}

TEST_F(CommonPinMux, BadDeviceCellIsReportedAndCountsAsZero) {
  call_pin_mux({{"ONLY MIPI0 MODE", ""}, bus({{"11", "G1", "2"}}), {}}, path);
  ASSERT_EQ(log.texts().size(), 2u);
  EXPECT_EQ(log.texts()[0], kNotHex);
  EXPECT_EQ(words_of(image(), 0, 1), std::vector<uint32_t>{0x00025C38});
}

TEST_F(CommonPinMux, OpenFailureStillWritesBack) {
  const WriteBack back = call_pin_mux({{"ONLY MIPI0 MODE", "SIM FUNC"}, bus({{"1", "2", "3"}}), {}}, missing_path());
  EXPECT_EQ(log.texts(), Messages{kOpenFailedWrite});
  EXPECT_FALSE(std::filesystem::exists(missing_path()));
  expect_bus_back(back, 0, {"0x3"});
}

TEST_F(CommonPinMux, WrongWriteBackCountIsReportedAfterTheWrite) {
  const WriteBack back = call_pin_mux({{"mipi", ""}, {}, {}}, path, kBackCells - 1);
  EXPECT_EQ(log.texts(), (Messages{kDoneGpio, kBackCountMessage}));
  EXPECT_EQ(le16(image(), kPinMux), 0u);
  EXPECT_EQ(back.texts, repeat_text("?", kBackCells - 1));
}

}  // namespace
}  // namespace gsm_test
