// GSM switch/PA control word sheet through SheetGsmSwitchPaCtrlWordWr/Rd.
#include <array>
#include <functional>

#include "gsm_support.h"

namespace gsm_test {
namespace {

constexpr size_t kStates = 13;
constexpr size_t kColumns = 15;
constexpr size_t kTruthA = 0x16E0, kTruthB = 0x1964, kConfig = 0x1944, kWords = 0x1A4C;
constexpr int32_t kReadCells = 201;

constexpr const char* kConfigMessage = "SheetGsmSwitchPa参数配置有误，请确认！";
constexpr const char* kPaOffMessage = "Gsm 4G PA OFF 开关获取失败，请确认！";
constexpr const char* kPaSwitchMessage = "PA、Switch配置获取失败，请确认！";
constexpr const char* kTruthMessage = "Gsm真值表获取失败，请确认！";

struct SwitchPaSheet {
  std::string pa_off = "X";
  std::vector<std::string> config = {"0", "0", "0", "0", "0"};
  std::vector<std::string> truth = std::vector<std::string>(kStates * kColumns, "X");

  std::string& cell(size_t row, size_t col) { return truth[row * kColumns + col]; }
  void write(const std::string& path) const {
    call_write(SheetGsmSwitchPaCtrlWordWr, {{{pa_off}}, {config}, {truth, static_cast<int32_t>(kStates), kColumns}},
               path);
  }
};

// Line masks of a filled sheet, one per state, and its control words.
constexpr std::array<uint16_t, kStates> kMasks = {0x401, 0x002, 0x7FF, 0x000, 0x155, 0x2AA, 0x00F,
                                                  0x0F0, 0x700, 0x081, 0x400, 0x3C3, 0x001};
constexpr uint32_t word1(size_t r) { return 0x1000 + static_cast<uint32_t>(r); }
constexpr uint32_t word2(size_t r) { return 0x2000 + static_cast<uint32_t>(r); }
constexpr uint32_t kPaOff = 0x89ABCDEF;
constexpr uint32_t kFlag = 0x200000;

SwitchPaSheet filled_sheet() {
  SwitchPaSheet s;
  const char* low[] = {"0", "x", "X", " 0 "};
  for (size_t r = 0; r < kStates; ++r) {
    for (size_t i = 0; i < 11; ++i) s.cell(r, i) = (kMasks[r] >> i) & 1 ? (i % 2 ? " 1 " : "1") : low[(r + i) % 4];
    char text[16];
    std::snprintf(text, sizeof text, "%X", word1(r));
    s.cell(r, 11) = text;
    std::snprintf(text, sizeof text, "0x%x", word2(r));
    s.cell(r, 12) = text;
  }
  s.pa_off = "89ABCDEF";
  s.config = {"7", "-2", "1", "0", "300"};
  return s;
}

using GsmSwitchPa = GsmImageTest;

TEST_F(GsmSwitchPa, WritesEveryBlockInItsLayout) {
  filled_sheet().write(path);
  EXPECT_EQ(log.texts(), Messages{kDone});
  const auto img = image();

  // Block A interleaves states 0-3 with zero slots and ends with state 12.
  const std::array<uint32_t, 9> block_a = {kMasks[0], 0, kMasks[1], 0, kMasks[2], 0, kMasks[3], 0, kMasks[12]};
  for (size_t i = 0; i < block_a.size(); ++i) EXPECT_EQ(le16(img, kTruthA + 2 * i), block_a[i]) << "block A " << i;
  for (size_t i = 0; i < 8; ++i) EXPECT_EQ(le16(img, kTruthB + 2 * i), kMasks[4 + i]) << "block B " << i;

  const std::array<uint32_t, 8> config = {0, 0, 0xFFFFFFFE, 7, 1 | (300u << 16), 0, 0, 0};
  for (size_t i = 0; i < config.size(); ++i) EXPECT_EQ(le32(img, kConfig + 4 * i), config[i]) << "config " << i;

  const std::array<uint32_t, 25> words = {word1(0) | kFlag,
                                          word1(1) | kFlag,
                                          word1(2) | kFlag,
                                          word1(3) | kFlag,
                                          word1(4) | kFlag,
                                          word1(5) | kFlag,
                                          word1(6) | kFlag,
                                          word1(7) | kFlag,
                                          word1(12) | kFlag,
                                          word2(4) | kFlag,
                                          word2(5) | kFlag,
                                          word2(6) | kFlag,
                                          word2(7) | kFlag,
                                          word2(8) | kFlag,
                                          word2(9) | kFlag,
                                          word2(10) | kFlag,
                                          word2(11) | kFlag,
                                          word2(12) | kFlag,
                                          0,
                                          kPaOff,
                                          word1(8) | kFlag,
                                          word1(9) | kFlag,
                                          word1(10) | kFlag,
                                          word1(11) | kFlag,
                                          0};
  for (size_t i = 0; i < words.size(); ++i) EXPECT_EQ(le32(img, kWords + 4 * i), words[i]) << "word " << i;

  EXPECT_EQ(changes_outside(before, img, {{kTruthA, 18}, {kTruthB, 16}, {kConfig, 32}, {kWords, 100}}),
            std::vector<size_t>{});
}

TEST_F(GsmSwitchPa, ReadsBackWhatWasWritten) {
  filled_sheet().write(path);
  log.clear();
  const ReadResult r = call_read(SheetGsmSwitchPaCtrlWordRd, kReadCells, path);
  EXPECT_EQ(log.texts(), Messages{});

  std::vector<std::string> expected = {"0x89abcdef", "7", "-2", "1", "0", "300"};
  for (size_t row = 0; row < kStates; ++row) {
    for (size_t i = 0; i < 11; ++i) expected.push_back((kMasks[row] >> i) & 1 ? "1" : "0");
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", word1(row));
    expected.push_back(text);
    std::snprintf(text, sizeof text, "0x%x", word2(row));
    expected.push_back(row < 4 ? "X" : text);  // states 0-3 have no second word
    expected.push_back("X");
    expected.push_back("X");
  }
  EXPECT_EQ(r.texts, expected);
  EXPECT_EQ(r.marks, std::vector<int32_t>(kReadCells, 2));
}

// One cell or two and where the value lands.
struct StoreCase {
  const char* rule;
  std::function<void(SwitchPaSheet&)> fill;
  size_t offset;
  int width;
  uint32_t value;
};

TEST_F(GsmSwitchPa, StoresEachValueAtItsPlace) {
  const StoreCase cases[] = {
      {"lines 0 and 10 of state 0",
       [](SwitchPaSheet& s) {
         s.cell(0, 0) = "1";
         s.cell(0, 10) = "1";
       },
       0x16E0, 2, 0x0401},
      {"state 12 closes block A", [](SwitchPaSheet& s) { s.cell(12, 0) = "1"; }, 0x16F0, 2, 0x0001},
      {"state 4 opens block B", [](SwitchPaSheet& s) { s.cell(4, 1) = "1"; }, 0x1964, 2, 0x0002},
      {"control word gets bit 21", [](SwitchPaSheet& s) { s.cell(0, 11) = "1F"; }, 0x1A4C, 4, 0x0020001F},
      {"X control word is bit 21 alone", [](SwitchPaSheet& s) { s.cell(0, 11) = "X"; }, 0x1A4C, 4, 0x00200000},
      {"state 12 first word at index 8", [](SwitchPaSheet& s) { s.cell(12, 11) = "C"; }, 0x1A6C, 4, 0x0020000C},
      {"state 4 second word at index 9", [](SwitchPaSheet& s) { s.cell(4, 12) = "A"; }, 0x1A70, 4, 0x0020000A},
      {"state 8 first word after PA off", [](SwitchPaSheet& s) { s.cell(8, 11) = "5"; }, 0x1A9C, 4, 0x00200005},
      {"PA off word stored as read", [](SwitchPaSheet& s) { s.pa_off = "FFFFFFFF"; }, 0x1A98, 4, 0xFFFFFFFF},
      {"c0 at index 3", [](SwitchPaSheet& s) { s.config[0] = "12"; }, 0x1950, 4, 12},
      {"c1 at index 2", [](SwitchPaSheet& s) { s.config[1] = "34"; }, 0x194C, 4, 34},
      {"c2, c3, c4 packed",
       [](SwitchPaSheet& s) {
         s.config[2] = "1";
         s.config[3] = "1";
         s.config[4] = "5";
       },
       0x1954, 4, 0x00050003},
      {"c4 4096 beyond the shown bits", [](SwitchPaSheet& s) { s.config[4] = "4096"; }, 0x1954, 4, 0x10000000},
  };
  for (const StoreCase& c : cases) {
    SCOPED_TRACE(c.rule);
    SwitchPaSheet s;
    c.fill(s);
    s.write(path);
    const auto img = image();
    EXPECT_EQ(c.width == 2 ? le16(img, c.offset) : le32(img, c.offset), c.value);
  }
}

TEST_F(GsmSwitchPa, BadCellsAreReportedInOrderAndTheWriteGoesOn) {
  SwitchPaSheet s;
  s.cell(5, 0) = "";            // truth: empty is not a state
  s.cell(1, 3) = "2";           // truth
  s.cell(2, 11) = "G";          // first word
  s.cell(0, 12) = "123456789";  // second word of state 0: read, not stored
  s.cell(6, 12) = "0x1Z";       // second word
  s.pa_off = "0xZZ";
  s.write(path);
  EXPECT_EQ(log.texts(), (Messages{kBadTruthCell, kBadTruthCell, kNotHex, kHexTooLong, kNotHex, kNotHex, kDone}));
  const auto img = image();
  EXPECT_EQ(le32(img, kWords + 4 * 2), kFlag);   // the refused word counts as 0
  EXPECT_EQ(le32(img, kWords + 4 * 11), kFlag);  // state 6, second word
  EXPECT_EQ(le32(img, kWords + 4 * 19), 0u);
  EXPECT_EQ(le32(img, kWords + 4 * 18), 0u);
}

struct RefusalCase {
  const char* rule;
  std::vector<RangeTexts> ranges;
  const char* message;
};

TEST_F(GsmSwitchPa, RefusedWritesLeaveTheImageAlone) {
  const RangeTexts pa{{"X"}}, config{repeat_text("0", 5)}, truth{repeat_text("X", 195)};
  const RefusalCase cases[] = {
      {"two ranges", {pa, config}, kConfigMessage},
      {"four ranges", {pa, config, truth, pa}, kConfigMessage},
      {"PA off with two cells", {{repeat_text("X", 2)}, config, truth}, kPaOffMessage},
      {"four configuration numbers", {pa, {repeat_text("0", 4)}, truth}, kPaSwitchMessage},
      {"truth table one short", {pa, config, {repeat_text("X", 194)}}, kTruthMessage},
      {"first mismatch wins", {pa, {repeat_text("0", 6)}, {repeat_text("X", 1)}}, kPaSwitchMessage},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.rule);
    log.clear();
    call_write(SheetGsmSwitchPaCtrlWordWr, c.ranges, path);
    EXPECT_EQ(log.texts(), Messages{c.message});
    EXPECT_EQ(image(), before);
  }
}

TEST_F(GsmSwitchPa, ReadShowsOnlyTheWordPayloadAndTheConfigurationFields) {
  auto img = before;
  const auto put32 = [&](size_t off, uint32_t v) { put_le32(img, off, v); };
  put32(kWords, 0xFF312345);           // state 0 first word: bits above 19 hidden
  put32(kWords + 4 * 19, 0xFF312345);  // PA off: all 32 bits
  put32(kConfig + 4 * 3, 0xFFFFFFFF);  // c0 as a signed number
  put32(kConfig + 4 * 4, 0xFABC0002);  // c2 = 0, c3 = 1, c4 = bits 16-27
  write_file(path, img);
  const ReadResult r = call_read(SheetGsmSwitchPaCtrlWordRd, kReadCells, path);
  EXPECT_EQ(r.texts[0], "0xff312345");
  EXPECT_EQ(r.texts[1], "-1");
  EXPECT_EQ(r.texts[3], "0");
  EXPECT_EQ(r.texts[4], "1");
  EXPECT_EQ(r.texts[5], std::to_string(0xABC));
  EXPECT_EQ(r.texts[6 + 11], "0x12345");
}

TEST_F(GsmSwitchPa, ReadOfAShortImageShowsTheMissingValuesAsZero) {
  // The image ends inside the control word block, after word 1: the words
  // from index 2 on are not in the file.
  write_file(path, bytes_at(before, 0, kWords + 8));
  const ReadResult r = call_read(SheetGsmSwitchPaCtrlWordRd, kReadCells, path);
  EXPECT_EQ(log.texts(), Messages{});
  char text[16];
  std::snprintf(text, sizeof text, "0x%x", le32(before, kWords + 4) & 0xFFFFF);
  EXPECT_EQ(r.texts[6 + 15 + 11], text);        // state 1, first word: in the file
  EXPECT_EQ(r.texts[6 + 2 * 15 + 11], "0x0");   // state 2, first word: past the end
  EXPECT_EQ(r.texts[6 + 12 * 15 + 12], "0x0");  // state 12, second word: past the end
  EXPECT_EQ(r.texts[0], "0x0");                 // PA off, index 19
}

}  // namespace
}  // namespace gsm_test
