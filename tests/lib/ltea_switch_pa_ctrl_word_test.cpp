// LTE-A switch/PA control words.
#include "ltea_support.h"

using namespace ltea_test;

namespace {

constexpr const char* kGroup0Bad = "GPIO_GROUP0控制逻辑设置有误，请确认值是否为'0'、'1'、'X'！";
constexpr const char* kGroup1Bad = "GPIO_GROUP1控制逻辑设置有误，请确认值是否为'0'、'1'、'X'！";
constexpr const char* kTooMany = "Merge_LTE有效控制字超过最大个数！";
constexpr const char* kNoBand = "获取控制字失败，请确认Band输入！";
constexpr int32_t kReadCells = 2512;

struct Sheet {
  std::vector<std::string> bands = repeat_text("X", 16);
  std::vector<std::string> truth = repeat_text("X", 2432);
  std::vector<std::string> timing = repeat_text("0", 64);

  std::string& cell(size_t row, size_t slot, size_t state) { return truth[128 * row + 8 * slot + state]; }
  std::vector<RangeTexts> ranges() const {
    return {RangeTexts{{"1"}}, RangeTexts{bands, 1, 16}, RangeTexts{truth, 19, 128}, RangeTexts{timing, 4, 16}};
  }
};

size_t state_block(size_t slot, size_t state) {
  return state < 4 ? band_field(slot, 8 + 32 * state) : band_field(slot, 136 + 32 * (state - 4));
}

struct Entry {
  uint32_t kind, zero, word;
  bool operator==(const Entry&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Entry& e) {
  return os << "{kind " << e.kind << ", " << e.zero << ", word 0x" << std::hex << e.word << std::dec << "}";
}

std::vector<Entry> entries(const std::vector<uint8_t>& image, size_t slot, size_t state) {
  std::vector<Entry> out;
  for (size_t e = 0; e < 4; ++e) {
    const size_t at = state_block(slot, state) + 8 * e;
    out.push_back({le16(image, at), le16(image, at + 2), le32(image, at + 4)});
  }
  return out;
}

constexpr Entry kEmpty{0, 0, 0};

// Read-side text and mark of truth table row, slot, state.
size_t read_cell(size_t row, size_t slot, size_t state) { return 16 + 128 * row + 8 * slot + state; }

using LteaSwitchPa = LteaImageTest;

TEST_F(LteaSwitchPa, PaAndSwitchStatesPlaceMipiAndGpioEntriesDifferently) {
  Sheet s;
  s.bands[0] = "1";
  for (size_t state : {0u, 4u}) {
    s.cell(0, 0, state) = "1";
    s.cell(1, 0, state) = "0";
    s.cell(15, 0, state) = "0x1234";
  }
  call_write(SheetLteaSwitchPaCtrlWordWr, s.ranges(), path);
  EXPECT_EQ(log.texts(), Messages({kDone}));
  const auto after = image();
  EXPECT_EQ(entries(after, 0, 0), std::vector<Entry>({{8, 0, 0x1234}, kEmpty, kEmpty, {2, 0, 0x600020}}));
  EXPECT_EQ(entries(after, 0, 4), std::vector<Entry>({{2, 0, 0x600020}, {8, 0, 0x1234}, kEmpty, kEmpty}));
  for (size_t state : {1u, 2u, 3u, 5u, 6u, 7u}) {
    EXPECT_EQ(entries(after, 0, state), std::vector<Entry>(4, kEmpty)) << "state " << state;
  }

  const ReadResult r = call_read(SheetLteaSwitchPaCtrlWordRd, kReadCells, path);
  EXPECT_EQ(r.texts[0], "1");
  for (size_t state : {0u, 4u}) {
    SCOPED_TRACE("state " + std::to_string(state));
    EXPECT_EQ(r.texts[read_cell(0, 0, state)], "1");
    EXPECT_EQ(r.marks[read_cell(0, 0, state)], 3);
    EXPECT_EQ(r.texts[read_cell(1, 0, state)], "0");
    EXPECT_EQ(r.marks[read_cell(1, 0, state)], 6);
    EXPECT_EQ(r.texts[read_cell(2, 0, state)], "X");
    EXPECT_EQ(r.texts[read_cell(15, 0, state)], "0x1234");
    EXPECT_EQ(r.marks[read_cell(15, 0, state)], 2);
    for (size_t row : {16u, 17u, 18u}) EXPECT_EQ(r.texts[read_cell(row, 0, state)], "X") << "row " << row;
  }
}

struct PlacementCase {
  const char* name;
  size_t state;
  bool group0, group1;
  size_t mipi;
  std::vector<uint32_t> kinds;  // expected kind of entries 0..3
};

class LteaSwitchPaPlacement : public LteaImageTest, public ::testing::WithParamInterface<PlacementCase> {};

TEST_P(LteaSwitchPaPlacement, EntriesGoToTheirSlots) {
  const PlacementCase& c = GetParam();
  Sheet s;
  s.bands[0] = "7";
  if (c.group0) s.cell(10, 0, c.state) = "1";  // group 0 line 10: level bit 15, enable bit 31
  if (c.group1) s.cell(14, 0, c.state) = "1";  // group 1 line 3: level bit 3, enable bit 19
  for (size_t i = 0; i < c.mipi; ++i) s.cell(15 + i, 0, c.state) = std::to_string(i + 1);
  call_write(SheetLteaSwitchPaCtrlWordWr, s.ranges(), path);
  EXPECT_EQ(log.texts(), Messages({kDone}));

  std::vector<Entry> expected;
  uint32_t next_mipi = 1;
  for (uint32_t kind : c.kinds) {
    if (kind == 2) expected.push_back({2, 0, 0x80008000});
    if (kind == 3) expected.push_back({3, 0, 0x80008});
    if (kind == 8) expected.push_back({8, 0, next_mipi++});
    if (kind == 0) expected.push_back(kEmpty);
  }
  EXPECT_EQ(entries(image(), 0, c.state), expected);
}

INSTANTIATE_TEST_SUITE_P(Ltea, LteaSwitchPaPlacement,
                         ::testing::Values(PlacementCase{"PaGroup1Alone", 1, false, true, 0, {0, 0, 0, 3}},
                                           PlacementCase{"PaBothGroups", 2, true, true, 2, {8, 8, 3, 2}},
                                           PlacementCase{"PaGroup0AndThreeMipi", 3, true, false, 3, {8, 8, 8, 2}},
                                           PlacementCase{"PaFourMipi", 0, false, false, 4, {8, 8, 8, 8}},
                                           PlacementCase{"SwitchBothGroups", 5, true, true, 2, {2, 3, 8, 8}},
                                           PlacementCase{"SwitchGroup1AndMipi", 6, false, true, 1, {3, 8, 0, 0}},
                                           PlacementCase{"SwitchNothing", 7, false, false, 0, {0, 0, 0, 0}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LteaSwitchPa, GpioBitPositionsOfBothGroups) {
  Sheet s;
  s.bands[0] = "1";
  // State 0: group 0 lines 0..10 alternate 1, 0, ...; state 1: group 1 lines 0..3 as 0, 1, X, 1.
  for (size_t r = 0; r < 11; ++r) s.cell(r, 0, 0) = r % 2 == 0 ? " 1 " : "0";
  s.cell(11, 0, 1) = "0";
  s.cell(12, 0, 1) = "1";
  s.cell(14, 0, 1) = "1";
  call_write(SheetLteaSwitchPaCtrlWordWr, s.ranges(), path);
  const auto after = image();
  // Group 0: levels at bits 5, 7, ..., 15; enables at bits 21..31.
  EXPECT_EQ(entries(after, 0, 0)[3], (Entry{2, 0, 0xFFE0AAA0}));
  // Group 1: levels at bits 1 and 3; enables at bits 16, 17 and 19.
  EXPECT_EQ(entries(after, 0, 1)[3], (Entry{3, 0, 0xB000A}));

  const ReadResult r = call_read(SheetLteaSwitchPaCtrlWordRd, kReadCells, path);
  for (size_t row = 0; row < 11; ++row) EXPECT_EQ(r.texts[read_cell(row, 0, 0)], row % 2 == 0 ? "1" : "0");
  EXPECT_EQ(r.texts[read_cell(11, 0, 1)], "0");
  EXPECT_EQ(r.texts[read_cell(12, 0, 1)], "1");
  EXPECT_EQ(r.texts[read_cell(13, 0, 1)], "X");
  EXPECT_EQ(r.texts[read_cell(14, 0, 1)], "1");
}

TEST_F(LteaSwitchPa, BadGpioCellAbandonsOnlyItsStateBeforeItsMipiWordsAreRead) {
  Sheet s;
  s.bands[0] = "1";
  s.cell(3, 0, 2) = "2";     // group 0: state 2 abandoned
  s.cell(15, 0, 2) = "G";    // never read: no hexadecimal message
  s.cell(12, 0, 5) = "";     // group 1: state 5 abandoned
  s.cell(15, 0, 6) = "0x5";  // a normal state between them
  call_write(SheetLteaSwitchPaCtrlWordWr, s.ranges(), path);
  EXPECT_EQ(log.texts(), Messages({kGroup0Bad, kGroup1Bad, kDone}));
  const auto after = image();
  EXPECT_EQ(bytes_at(after, state_block(0, 2), 32), bytes_at(before, state_block(0, 2), 32));
  EXPECT_EQ(bytes_at(after, state_block(0, 5), 32), bytes_at(before, state_block(0, 5), 32));
  EXPECT_EQ(entries(after, 0, 6), std::vector<Entry>({{8, 0, 5}, kEmpty, kEmpty, kEmpty}));
  EXPECT_EQ(entries(after, 0, 1), std::vector<Entry>(4, kEmpty));
}

TEST_F(LteaSwitchPa, MoreThanFourEntriesClearTheStateAndTheWriteGoesOn) {
  Sheet s;
  s.bands[0] = "1";
  s.cell(0, 0, 3) = "1";
  s.cell(11, 0, 3) = "1";
  s.cell(15, 0, 3) = "1";
  s.cell(16, 0, 3) = "2";
  s.cell(17, 0, 3) = "3";
  call_write(SheetLteaSwitchPaCtrlWordWr, s.ranges(), path);
  EXPECT_EQ(log.texts(), Messages({kTooMany, kDone}));
  EXPECT_EQ(bytes_at(image(), state_block(0, 3), 32), std::vector<uint8_t>(32, 0));

  const ReadResult r = call_read(SheetLteaSwitchPaCtrlWordRd, kReadCells, path);
  for (size_t row = 0; row < 19; ++row) EXPECT_EQ(r.texts[read_cell(row, 0, 3)], "X") << "row " << row;
}

TEST_F(LteaSwitchPa, EmptyMipiCellIsAWordZeroAndRefusedHexIsZeroToo) {
  Sheet s;
  s.bands[0] = "1";
  s.cell(15, 0, 0) = "";
  s.cell(16, 0, 0) = "0x12345678 9";
  call_write(SheetLteaSwitchPaCtrlWordWr, s.ranges(), path);
  EXPECT_EQ(log.texts(), Messages({"字符长度超过8！", kDone}));
  EXPECT_EQ(entries(image(), 0, 0), std::vector<Entry>({{8, 0, 0}, {8, 0, 0}, kEmpty, kEmpty}));
  const ReadResult r = call_read(SheetLteaSwitchPaCtrlWordRd, kReadCells, path);
  EXPECT_EQ(r.texts[read_cell(15, 0, 0)], "0x0");
  EXPECT_EQ(r.texts[read_cell(16, 0, 0)], "0x0");
  EXPECT_EQ(r.texts[read_cell(17, 0, 0)], "X");
}

TEST_F(LteaSwitchPa, PaTimingOffsetsAreClampedAndPlacedPerSlot) {
  Sheet s;
  s.bands[0] = "1";
  s.timing[16 * 0 + 0] = "1500";
  s.timing[16 * 1 + 0] = "-2000";
  s.timing[16 * 2 + 0] = "x";
  s.timing[16 * 3 + 0] = "-7";
  s.timing[16 * 2 + 15] = "999";  // offset 2 of slot 15
  call_write(SheetLteaSwitchPaCtrlWordWr, s.ranges(), path);
  const auto after = image();
  EXPECT_EQ(le16s(after, band_field(0, 764)), 1000);
  EXPECT_EQ(le16s(after, band_field(0, 766)), -1000);
  EXPECT_EQ(le16s(after, band_field(0, 768)), 0);
  EXPECT_EQ(le16s(after, band_field(0, 770)), -7);
  EXPECT_EQ(le16s(after, band_field(15, 768)), 999);

  const ReadResult r = call_read(SheetLteaSwitchPaCtrlWordRd, kReadCells, path);
  EXPECT_EQ(r.texts[2448 + 0], "1000");
  EXPECT_EQ(r.texts[2448 + 16], "-1000");
  EXPECT_EQ(r.texts[2448 + 48], "-7");
  EXPECT_EQ(r.texts[2448 + 32 + 15], "999");
  EXPECT_EQ(r.marks[2448], 2);
}

TEST_F(LteaSwitchPa, ControlWordsGoToTheFirstNSlotsWhateverTheirBandCells) {
  Sheet s;
  s.bands[0] = "1";
  s.bands[2] = "3";
  for (size_t slot : {0u, 1u, 2u}) s.cell(15, slot, 0) = "0xA" + std::to_string(slot);
  call_write(SheetLteaSwitchPaCtrlWordWr, s.ranges(), path);
  EXPECT_EQ(log.texts(), Messages({kDone}));
  const auto after = image();
  EXPECT_EQ(le32(after, band_field(0, 0)), 1u);
  EXPECT_EQ(le32(after, band_field(1, 0)), 0u);
  EXPECT_EQ(le32(after, band_field(2, 0)), 3u);
  EXPECT_EQ(entries(after, 1, 0)[0], (Entry{8, 0, 0xA1}));
  EXPECT_EQ(bytes_at(after, band_field(2, 8), 256), bytes_at(before, band_field(2, 8), 256));

  const ReadResult r = call_read(SheetLteaSwitchPaCtrlWordRd, kReadCells, path);
  EXPECT_EQ(r.texts[1], "X");
  for (size_t row = 0; row < 19; ++row) {
    for (size_t state = 0; state < 8; ++state) ASSERT_EQ(r.texts[read_cell(row, 1, state)], "X");
  }
  EXPECT_EQ(r.texts[2], "3");
}

TEST_F(LteaSwitchPa, BandNumbersReadBackSignedSoThatTheyWriteBackToTheSameBits) {
  Sheet s;
  s.bands[0] = "-1";
  s.bands[1] = "2147483647";
  call_write(SheetLteaSwitchPaCtrlWordWr, s.ranges(), path);
  EXPECT_EQ(log.texts(), Messages({kDone}));
  const auto after = image();
  EXPECT_EQ(le32(after, band_field(0, 0)), 0xFFFFFFFFu);
  EXPECT_EQ(le32(after, band_field(1, 0)), 0x7FFFFFFFu);

  const ReadResult r = call_read(SheetLteaSwitchPaCtrlWordRd, kReadCells, path);
  EXPECT_EQ(std::vector<std::string>(r.texts.begin(), r.texts.begin() + 3),
            std::vector<std::string>({"-1", "2147483647", "X"}));
}

TEST_F(LteaSwitchPa, WritesOnlyItsFieldsAndTheFixedValues) {
  Sheet s;
  s.bands = texts_of({1, 3, 7, 20, 38, 40, 41, 5, 8, 28, 66, 71, 2, 4, 12, 13});
  call_write(SheetLteaSwitchPaCtrlWordWr, s.ranges(), path);
  EXPECT_EQ(log.texts(), Messages({kDone}));
  const auto after = image();
  EXPECT_EQ(le32(after, 436), 16u);
  EXPECT_EQ(bytes_at(after, 13000, 10), std::vector<uint8_t>(10, 0));
  EXPECT_EQ(bytes_at(after, 13076, 2), std::vector<uint8_t>({0x48, 0x52}));
  std::vector<Span> spans = {{436, 4}, {13000, 10}, {13076, 2}};
  for (size_t slot = 0; slot < 16; ++slot) {
    spans.push_back({band_field(slot, 0), 4});
    spans.push_back({band_field(slot, 8), 256});
    spans.push_back({band_field(slot, 764), 8});
  }
  // Record offsets 4, 760 and 762 are rewritten with what was read: unchanged.
  EXPECT_TRUE(changes_outside(before, after, spans).empty());
}

TEST_F(LteaSwitchPa, ShortImageIsExtendedByTheEndMarker) {
  write_file(path, std::vector<uint8_t>(500, 0xEE));
  Sheet s;
  s.bands[0] = "1";
  call_write(SheetLteaSwitchPaCtrlWordWr, s.ranges(), path);
  EXPECT_EQ(log.texts(), Messages({kDone}));
  const auto after = image();
  ASSERT_EQ(after.size(), 13078u);
  EXPECT_EQ(le32(after, band_field(0, 4)), 0xEEEEEEEEu);
  EXPECT_EQ(le32(after, band_field(1, 4)), 0u);  // read as zero past the short image's end
  EXPECT_EQ(le16(after, 13076), 0x5248u);
  EXPECT_EQ(bytes_at(after, 0, 436), std::vector<uint8_t>(436, 0xEE));
}

TEST_F(LteaSwitchPa, ReadOutputWrittenBackLeavesTheImageUnchanged) {
  Sheet s;
  s.bands = texts_of({1, 3, 7, 20, 38, 40, 41, 5, 8, 28, 66, 71, 2, 4, 12, 13});
  for (size_t slot = 0; slot < 16; ++slot) {
    for (size_t state = 0; state < 8; ++state) {
      s.cell(slot % 11, slot, state) = state % 2 == 0 ? "1" : "0";
      s.cell(11 + state % 4, slot, state) = "1";
      s.cell(15, slot, state) = "0x" + std::to_string(100 * slot + state);
    }
    s.timing[slot] = std::to_string(static_cast<int>(slot) * 10 - 50);
  }
  call_write(SheetLteaSwitchPaCtrlWordWr, s.ranges(), path);
  const auto first = image();
  const ReadResult r = call_read(SheetLteaSwitchPaCtrlWordRd, kReadCells, path);

  Sheet back;
  back.bands.assign(r.texts.begin(), r.texts.begin() + 16);
  back.truth.assign(r.texts.begin() + 16, r.texts.begin() + 2448);
  back.timing.assign(r.texts.begin() + 2448, r.texts.end());
  log.clear();
  call_write(SheetLteaSwitchPaCtrlWordWr, back.ranges(), path);
  EXPECT_EQ(log.texts(), Messages({kDone}));
  EXPECT_EQ(image(), first);
}

struct RefusalCase {
  const char* name;
  std::vector<size_t> counts;
  const char* message;
};

class LteaSwitchPaRefusal : public LteaImageTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(LteaSwitchPaRefusal, LeavesImageUnchanged) {
  const RefusalCase& c = GetParam();
  std::vector<RangeTexts> ranges;
  for (size_t i = 0; i < c.counts.size(); ++i)
    ranges.push_back(RangeTexts{repeat_text(i == 1 ? "1" : "X", c.counts[i])});
  call_write(SheetLteaSwitchPaCtrlWordWr, ranges, path);
  EXPECT_EQ(log.texts(), Messages({c.message}));
  EXPECT_EQ(image(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Ltea, LteaSwitchPaRefusal,
    ::testing::Values(RefusalCase{"RangeCount3", {1, 16, 2432}, "SheetLteaSwitchPa参数配置有误，请确认！"},
                      RefusalCase{"MipiSel", {2, 16, 2432, 64}, "MipiSel获取失败，请确认！"},
                      RefusalCase{"Bands", {1, 15, 2432, 64}, "BandInfoMain获取失败，请确认！"},
                      RefusalCase{"TruthTable", {1, 16, 2431, 64}, "主载波SwitchPa真值表获取失败，请确认！"},
                      RefusalCase{"PaTiming", {1, 16, 2432, 65}, "主载波Pa时刻点偏移表获取失败，请确认！"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LteaSwitchPa, AllBandCellsEmptyIsRefused) {
  Sheet s;
  s.bands[3] = "x";
  call_write(SheetLteaSwitchPaCtrlWordWr, s.ranges(), path);
  EXPECT_EQ(log.texts(), Messages({kNoBand}));
  EXPECT_EQ(image(), before);
}

TEST_F(LteaSwitchPa, ReadShowsEveryEntryButAnEmptyOneInTheNextMipiRow) {
  put_le32(before, band_field(0, 0), 5);
  const size_t block = state_block(0, 6);
  const uint32_t kinds[4] = {0, 5, 0, 8};
  const uint32_t words[4] = {0x7, 0, 0, 0x9};
  for (size_t e = 0; e < 4; ++e) {
    put_le16(before, block + 8 * e, kinds[e]);
    put_le16(before, block + 8 * e + 2, 0);
    put_le32(before, block + 8 * e + 4, words[e]);
  }
  write_file(path, before);
  const ReadResult r = call_read(SheetLteaSwitchPaCtrlWordRd, kReadCells, path);
  EXPECT_TRUE(log.texts().empty());
  const char* expected[4] = {"0x7", "0x0", "X", "0x9"};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(r.texts[read_cell(15 + i, 0, 6)], expected[i]) << "row " << 15 + i;
    EXPECT_EQ(r.marks[read_cell(15 + i, 0, 6)], 2) << "row " << 15 + i;
  }
}

}  // namespace
