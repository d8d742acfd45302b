// The LTE switch/PA control word sheet in both layouts, end to end.
#include <gtest/gtest.h>

#include <array>
#include <filesystem>

#include "lte_support.h"

using namespace lte_test;

namespace {

// A control word entry as stored: {H, the zero half-word, L}.
using Word = std::array<uint32_t, 3>;
constexpr Word W(uint32_t high, uint32_t low) { return {high, 0, low}; }
Word word_at(const Bytes& image, size_t offset) {
  return {le16(image, offset), le16(image, offset + 2), le32(image, offset + 4)};
}

// Truth table rows.
constexpr size_t kGroup0 = 0, kGroup1 = 11, kGroup2 = 15, kMipi = 26;

constexpr size_t kAntTypeFlag = 0x1790;
constexpr size_t kSingleBase = 0x0004, kSingleRecord = 252, kSingleEnd = 0x0BD4;
size_t single_entry(size_t slot, size_t entry) { return kSingleBase + kSingleRecord * slot + 8 * entry; }
size_t single_record(size_t slot) { return kSingleBase + kSingleRecord * slot; }
constexpr size_t kMergedBase = 0x01B8, kMergedSlot = 780;
size_t merged_slot(size_t slot) { return kMergedBase + kMergedSlot * slot; }
size_t merged_entry(size_t slot, size_t entry) { return merged_slot(slot) + 8 + 8 * entry; }

constexpr Word kEmptyG0 = W(0, 0x16), kEmptyG1 = W(0, 0x18), kEmptyG2Second = W(0x1000, 0x14);
constexpr Word kMarker0 = W(0x1000, 0x14), kMarker1 = W(0x1000, 0x01000014);
// "1C,38" packed by each layout.
constexpr Word kMipi1C38Single = W(0x5806, 0x03800071), kMipi1C38Merged = W(0xEC03, 0x01C00038);

struct SwitchPaSheet {
  std::string ant_type = "GPIO";
  Texts band_info;
  Texts truth = repeat_text("X", kTruthCells);

  SwitchPaSheet() {
    for (size_t b = 0; b < 12; ++b) {
      for (const std::string& t :
           {std::to_string(b + 1), std::to_string(100 + b), std::string("0x1F"), std::string("2")}) {
        band_info.push_back(t);
      }
    }
  }
  void set(size_t row, size_t slot, size_t state, const std::string& text) {
    truth[truth_cell(row, slot, state)] = text;
  }
  // Row 26 of every state of every slot (the sheet converts slots 12 to 15 too).
  void one_mipi_word_everywhere(const std::string& text) {
    for (size_t b = 0; b < 16; ++b)
      for (size_t s = 0; s < 8; ++s) set(kMipi, b, s, text);
  }
  std::vector<RangeTexts> ranges() const { return {{{ant_type}}, {band_info}, {truth}}; }
};

class LteSwitchPa : public LteTest {};

// ---- Single layout ----

// Entries of a GpioType band whose lines are all undriven.
std::array<Word, 28> empty_gpio_single() {
  std::array<Word, 28> e{};
  for (size_t s = 0; s < 4; ++s) {
    e[3 * s] = kEmptyG0;
    e[3 * s + 1] = kEmptyG2Second;
  }
  for (size_t i : {12, 13, 14, 15, 16, 17}) e[i] = kEmptyG1;
  return e;
}

void expect_single_record(const Bytes& image, size_t slot, const std::array<Word, 28>& entries,
                          std::array<uint32_t, 4> band) {
  SCOPED_TRACE("record " + std::to_string(slot));
  for (size_t i = 0; i < 28; ++i) EXPECT_EQ(word_at(image, single_entry(slot, i)), entries[i]) << "entry " << i;
  const size_t r = single_record(slot);
  EXPECT_EQ((std::array<uint32_t, 4>{le32(image, r + 0xE0), le32(image, r + 0xE4), le16(image, r + 0xE8),
                                     le16(image, r + 0xEA)}),
            band);
  for (size_t i = 0xEC; i < kSingleRecord; ++i) EXPECT_EQ(image[r + i], 0) << "byte " << i;
}

std::array<uint32_t, 4> band_of(size_t slot) {
  return {static_cast<uint32_t>(slot + 1), static_cast<uint32_t>(100 + slot), 0x1F, 2};
}

TEST_F(LteSwitchPa, SingleGpioTypeWordsAndRecords) {
  SwitchPaSheet sheet;
  sheet.set(kGroup0, 0, 0, "1");       // PA state 0, Group0 line 0 high
  sheet.set(kGroup2, 0, 0, " 1 ");     // and Group2 line 0 high (blanks removed)
  sheet.set(kGroup0 + 10, 0, 1, "0");  // PA state 1, Group0 line 10 low
  sheet.set(kGroup1 + 3, 0, 7, "1");   // switch state 7, Group1 line 3 high
  sheet.set(kGroup1, 0, 4, "0");       // switch state 4, Group1 line 0 low
  sheet.set(kGroup1 + 1, 0, 5, "1");   // switch state 5, Group1 line 1 high
  sheet.set(kGroup1 + 2, 0, 6, "0");   // switch state 6, Group1 line 2 low
  EXPECT_EQ(write(SheetLteSwitchPaCtrlWordWr_Lte, sheet.ranges()), done());
  const Bytes after = read_file(image);

  auto slot0 = empty_gpio_single();
  slot0[0] = W(0, 0x08000096);                  // ((1 << 2) | (1 << 22)) << 5 | 22
  slot0[1] = W(0x1000, 0x02000034);             // Group2 word with 0x1000 in H
  slot0[3] = W(0x0020, 0x16);                   // mask bit 32 of W is bit 37 of Q
  slot0[12] = W(0, 0x02000018);                 // mask bit 20 only
  slot0[14] = W(0, 0x04000058);                 // state 5: value bit 1, mask bit 21
  slot0[16] = W(0, 0x08000018);                 // state 6: mask bit 22 only
  slot0[17] = W(0, 0x10000000 | 0x100 | 0x18);  // value bit 3, mask bit 23
  expect_single_record(after, 0, slot0, band_of(0));
  for (size_t b = 1; b < 12; ++b) expect_single_record(after, b, empty_gpio_single(), band_of(b));
  EXPECT_EQ(le16(after, kAntTypeFlag), 1u);
  EXPECT_EQ(changes_outside(before, after, {{kSingleBase, kSingleEnd - kSingleBase}, {kAntTypeFlag, 2}}),
            std::vector<size_t>{});
}

TEST_F(LteSwitchPa, SingleMipiTypeWordsAndRecords) {
  SwitchPaSheet sheet;
  sheet.ant_type = "MIPI";
  sheet.one_mipi_word_everywhere("1C,38");
  // Slot 1: a second word in states 5 and 7, a Group1 line in state 6.
  sheet.set(kMipi + 2, 1, 5, "0x2, 3");
  sheet.set(kMipi + 1, 1, 7, "1FFFF,12");
  sheet.set(kGroup1 + 1, 1, 6, "1");
  EXPECT_EQ(write(SheetLteSwitchPaCtrlWordWr_Lte, sheet.ranges()), done());
  const Bytes after = read_file(image);

  // One word in state 7: the second words of states 5 and 7 copy entry 3.
  std::array<Word, 28> slot0{};
  for (size_t i = 0; i < 8; ++i) slot0[i] = kMipi1C38Single;
  slot0[8] = slot0[10] = W(0, 0x16);
  slot0[9] = slot0[11] = kMipi1C38Single;
  slot0[12] = slot0[14] = kMarker0;
  slot0[13] = slot0[15] = kMarker1;
  for (size_t i = 16; i < 20; ++i) slot0[i] = kEmptyG1;
  expect_single_record(after, 0, slot0, band_of(0));

  auto slot1 = slot0;
  slot1[9] = W(0x5806, 0x00400007);   // A = 2, D = 3: ((2 << 20 | 3) << 1) | 1
  slot1[11] = W(0x58FF, 0xFFE00025);  // A = 0x1FFFF: high bits into H, L modulo 2^32
  slot1[18] = W(0, 0x04000058);       // Group1 line 1 high in state 6
  expect_single_record(after, 1, slot1, band_of(1));
  EXPECT_EQ(le16(after, kAntTypeFlag), 0u);
}

// ---- Merged layout ----

std::array<Word, 32> empty_gpio_merged() {
  std::array<Word, 32> e{};
  for (size_t s = 0; s < 4; ++s) {
    e[4 * s] = kEmptyG0;
    e[4 * s + 1] = kEmptyG2Second;
    e[4 * s + 2] = e[4 * s + 3] = W(0, 0x16);
  }
  // Switch slots in the order 5, 4, 6, 7.
  const Word markers[] = {kMarker1, kMarker0, kMarker0, kMarker1};
  for (size_t k = 0; k < 4; ++k) e[16 + 4 * k] = e[17 + 4 * k] = e[19 + 4 * k] = kEmptyG1, e[18 + 4 * k] = markers[k];
  return e;
}

void expect_merged_slot(const Bytes& image, size_t slot, const std::array<Word, 32>& entries,
                        std::array<uint32_t, 4> band) {
  SCOPED_TRACE("slot " + std::to_string(slot));
  for (size_t i = 0; i < 32; ++i) EXPECT_EQ(word_at(image, merged_entry(slot, i)), entries[i]) << "entry " << i;
  const size_t s = merged_slot(slot);
  EXPECT_EQ(
      (std::array<uint32_t, 4>{le32(image, s), le32(image, s + 4), le16(image, s + 0x2F8), le16(image, s + 0x2FA)}),
      band);
}

// What the merged layout may change besides the spare block: per slot 0..13
// the band values with the entries, and band values 2 and 3.
std::vector<Span> merged_spans() {
  std::vector<Span> spans;
  for (size_t b = 0; b < 14; ++b) {
    spans.push_back({merged_slot(b), 0x108});
    spans.push_back({merged_slot(b) + 0x2F8, 4});
  }
  return spans;
}

void expect_slots_12_13_zero(const Bytes& image) {
  for (size_t b : {12, 13}) {
    for (size_t i = 0; i < 0x108; ++i) ASSERT_EQ(image[merged_slot(b) + i], 0) << "slot " << b << " byte " << i;
    EXPECT_EQ(le32(image, merged_slot(b) + 0x2F8), 0u);
  }
}

TEST_F(LteSwitchPa, MergedGpioTypeWordsAndSlots) {
  SwitchPaSheet sheet;
  sheet.set(kGroup0, 2, 3, "1");       // merged Group0 bits: value 5 + k, mask 25 + k
  sheet.set(kGroup0 + 10, 2, 0, "0");  // mask bit 35 of W is bit 40 of Q
  sheet.set(kGroup1 + 2, 2, 5, "1");
  EXPECT_EQ(write(SheetLteSwitchPaCtrlWordWr_LteMerge, sheet.ranges()), done());
  const Bytes after = read_file(image);

  auto slot2 = empty_gpio_merged();
  slot2[12] = W(0, 0x40000416);
  slot2[0] = W(0x0100, 0x16);
  slot2[16] = W(0, 0x08000098);  // state 5 comes first
  for (size_t b = 0; b < 12; ++b) expect_merged_slot(after, b, b == 2 ? slot2 : empty_gpio_merged(), band_of(b));
  expect_slots_12_13_zero(after);
  EXPECT_EQ(changes_outside(with_spare_block_cleared(before), after, merged_spans()), std::vector<size_t>{});
}

TEST_F(LteSwitchPa, MergedMipiTypeWordsAndSlots) {
  SwitchPaSheet sheet;
  sheet.ant_type = "MIPI";
  sheet.one_mipi_word_everywhere("1C,38");
  sheet.set(kMipi + 3, 0, 2, "1FFFF,12");  // second word of PA state 2
  sheet.set(kMipi + 1, 0, 4, "0x2,3");     // second word of switch state 4
  sheet.set(kGroup1 + 1, 0, 4, "0");       // Group1 line 1 low in state 4
  EXPECT_EQ(write(SheetLteSwitchPaCtrlWordWr_LteMerge, sheet.ranges()), done());
  const Bytes after = read_file(image);

  std::array<Word, 32> plain{};
  for (size_t s = 0; s < 4; ++s) {
    plain[4 * s] = kMipi1C38Merged;
    plain[4 * s + 1] = plain[4 * s + 2] = plain[4 * s + 3] = kEmptyG1;
  }
  const Word markers[] = {kMarker1, kMarker0, kMarker0, kMarker1};
  for (size_t k = 0; k < 4; ++k) {
    plain[16 + 4 * k] = kMipi1C38Merged;
    plain[17 + 4 * k] = plain[19 + 4 * k] = kEmptyG1;
    plain[18 + 4 * k] = markers[k];
  }
  auto slot0 = plain;
  slot0[9] = W(0xEC7F, 0xFFF00012);  // A = 0x1FFFF
  slot0[21] = W(0xEC03, 0x00200003);
  slot0[23] = W(0, 0x04000018);
  expect_merged_slot(after, 0, slot0, band_of(0));
  for (size_t b = 1; b < 12; ++b) expect_merged_slot(after, b, plain, band_of(b));
  expect_slots_12_13_zero(after);
  EXPECT_EQ(changes_outside(with_spare_block_cleared(before), after, merged_spans()), std::vector<size_t>{});
}

// ---- Conversion errors: the band stops, the others go on, the image is written ----

struct ErrorCase {
  const char* name;
  bool mipi_type;
  std::vector<std::tuple<size_t, size_t, std::string>> cells;  // row, state, text in slot 0
  Texts single_messages;
  Texts merged_messages;
};

TEST_F(LteSwitchPa, ConversionErrorsStopTheirBandOnly) {
  const std::string kPaGpioSingle = "MipiType下PA不支持GPIO控制字，可将其并入Switch控制字！";
  const std::string kSwitchGroupSingle = "MipiType下GPIO控制字仅支持GROUP1！";
  const std::string kFormat = "MIPI控制字输入格式有误，输入为两个16进制数，中间以逗号隔开，请确认！";
  const ErrorCase cases[] = {
      {"MipiType: GPIO line in a PA state",
       true,
       {{kGroup2, 1, "0"}},
       {kPaGpioSingle, "修改完成！"},
       {"MipiType下PA不支持GPIO控制字！", "修改完成！"}},
      {"MipiType: Group0 in a switch state",
       true,
       {{kGroup0, 6, "1"}},
       {kSwitchGroupSingle, "修改完成！"},
       {"MipiType下Switch的GPIO控制字仅支持GROUP1！", "修改完成！"}},
      {"MipiType: three words",
       true,
       {{kMipi + 1, 3, "1,2"}, {kMipi + 3, 3, "3,4"}},
       {"MipiType下最多支持2个MIPI控制字！", "修改完成！"},
       {"MipiType下最多支持2个MIPI控制字！", "修改完成！"}},
      {"MipiType: semicolon is no word",
       true,
       {{kMipi, 2, "1C;38"}},
       {kFormat, "MipiType下必须有Mipi控制字！", "修改完成！"},
       {kFormat, "MipiType下必须有Mipi控制字！", "修改完成！"}},
      {"MipiType: format error drops the words read before",
       true,
       {{kMipi + 1, 2, ""}},
       {kFormat, "MipiType下必须有Mipi控制字！", "修改完成！"},
       {kFormat, "MipiType下必须有Mipi控制字！", "修改完成！"}},
      {"MipiType: bad hex in a word",
       true,
       {{kMipi, 0, "1C,G"}},
       {"非16进制数！", "修改完成！"},
       {"非16进制数！", "修改完成！"}},
      {"GpioType: MIPI word",
       false,
       {{kMipi + 2, 5, "1,2"}},
       {"GpioType下不支持mipi控制字！", "修改完成！"},
       {"GpioType下不支持mipi控制字！", "修改完成！"}},
      {"GpioType: Group1 in a PA state",
       false,
       {{kGroup1, 0, "1"}},
       {"GpioType下PA仅支持Group0和Group2！", "修改完成！"},
       {"GpioType下PA仅支持Group0和Group2！", "修改完成！"}},
      {"GpioType: Group2 in a switch state",
       false,
       {{kGroup2 + 10, 7, "0"}},
       {"GpioType下Switch仅支持Group1！", "修改完成！"},
       {"GpioType下Switch仅支持Group1！", "修改完成！"}},
      {"GpioType: a text without comma is no word",
       false,
       {{kMipi, 0, "1C;38"}},
       {kFormat, "修改完成！"},
       {kFormat, "修改完成！"}},
  };
  for (const ErrorCase& c : cases) {
    for (bool merged : {false, true}) {
      SCOPED_TRACE(std::string(c.name) + (merged ? ", merged" : ", single"));
      SwitchPaSheet sheet;
      if (c.mipi_type) {
        sheet.ant_type = "MIPI";
        sheet.one_mipi_word_everywhere("1C,38");
      }
      for (const auto& [row, state, text] : c.cells) sheet.set(row, 0, state, text);
      write_file(image, before);
      EXPECT_EQ(write(merged ? SheetLteSwitchPaCtrlWordWr_LteMerge : SheetLteSwitchPaCtrlWordWr_Lte, sheet.ranges()),
                merged ? c.merged_messages : c.single_messages);
      const Bytes after = read_file(image);
      // Slot 1 is converted as usual.
      if (merged) {
        EXPECT_EQ(word_at(after, merged_entry(1, 0)), c.mipi_type ? kMipi1C38Merged : kEmptyG0);
      } else {
        EXPECT_EQ(word_at(after, single_entry(1, 0)), c.mipi_type ? kMipi1C38Single : kEmptyG0);
      }
    }
  }
}

TEST_F(LteSwitchPa, AStoppedBandKeepsTheWordsBuiltBeforeTheError) {
  SwitchPaSheet sheet;
  sheet.set(kGroup0, 0, 5, "1");  // GpioType: Group0 in switch state 5
  EXPECT_EQ(write(SheetLteSwitchPaCtrlWordWr_Lte, sheet.ranges()),
            (Texts{"GpioType下Switch仅支持Group1！", "修改完成！"}));
  auto slot0 = empty_gpio_single();
  for (size_t i : {13, 14, 15, 16, 17}) slot0[i] = Word{};  // states 5 to 7 and the fillers never came
  expect_single_record(read_file(image), 0, slot0, band_of(0));

  // Single MipiType: a stopped band gets neither the copies nor the markers.
  sheet = SwitchPaSheet{};
  sheet.ant_type = "MIPI";
  sheet.one_mipi_word_everywhere("1C,38");
  sheet.set(kMipi, 0, 7, "X");
  write_file(image, before);
  EXPECT_EQ(write(SheetLteSwitchPaCtrlWordWr_Lte, sheet.ranges()),
            (Texts{"MipiType下必须有Mipi控制字！", "修改完成！"}));
  std::array<Word, 28> mipi0{};
  for (size_t i = 0; i < 7; ++i) mipi0[i] = kMipi1C38Single;
  mipi0[8] = mipi0[9] = mipi0[10] = W(0, 0x16);
  for (size_t i = 16; i < 20; ++i) mipi0[i] = kEmptyG1;
  expect_single_record(read_file(image), 0, mipi0, band_of(0));
}

// ---- Band counting ----

TEST_F(LteSwitchPa, TheFirstNSlotsAreConvertedWhereNCountsTheUnskippedSlots) {
  // Slot 3 skipped: N = 15, so slots 0..14 are converted (slot 3 too) and slot 15 is not.
  SwitchPaSheet sheet;
  sheet.band_info[12] = "x";
  sheet.set(kMipi, 14, 0, "1,2");
  sheet.set(kMipi, 15, 0, "1,2");
  EXPECT_EQ(write(SheetLteSwitchPaCtrlWordWr_Lte, sheet.ranges()),
            (Texts{"GpioType下不支持mipi控制字！", "修改完成！"}));
  expect_single_record(read_file(image), 3, empty_gpio_single(), {0, 0, 0, 0});

  // All twelve skipped: N = 4 (the empty slots 12 to 15), slots 0..3 converted.
  for (size_t b = 0; b < 12; ++b) sheet.band_info[4 * b] = "X";
  write_file(image, before);
  EXPECT_EQ(write(SheetLteSwitchPaCtrlWordWr_Lte, sheet.ranges()), done());
  const Bytes after = read_file(image);
  for (size_t b = 0; b < 4; ++b) expect_single_record(after, b, empty_gpio_single(), {0, 0, 0, 0});
  for (size_t b = 4; b < 12; ++b) expect_single_record(after, b, {}, {0, 0, 0, 0});
}

TEST_F(LteSwitchPa, AntTypeAndBandInfoTexts) {
  SwitchPaSheet sheet;
  sheet.ant_type = "mipi";  // not exactly MIPI: GpioType
  sheet.band_info[0] = "-3";
  sheet.band_info[2] = "0x12345";  // low 16 bits
  sheet.band_info[3] = "G";
  EXPECT_EQ(write(SheetLteSwitchPaCtrlWordWr_Lte, sheet.ranges()), (Texts{"非16进制数！", "修改完成！"}));
  const Bytes after = read_file(image);
  EXPECT_EQ(le16(after, kAntTypeFlag), 1u);
  expect_single_record(after, 0, empty_gpio_single(), {0xFFFFFFFD, 100, 0x2345, 0});
}

TEST_F(LteSwitchPa, RefusalsBeforeTheBuildLeaveTheImage) {
  struct Case {
    const char* name;
    size_t range;
    int extra;  // cells added (+) or removed (-)
    std::string message;
  };
  const Case cases[] = {
      {"AntType 2 cells", 0, +1, "AntType获取失败，请确认！"},
      {"BandInfo 47 cells", 1, -1, "BandInfo获取失败，请确认！"},
      {"truth table 5279 cells", 2, -1, "SwitchPa真值表获取失败，请确认！"},
      {"truth table 5281 cells", 2, +1, "SwitchPa真值表获取失败，请确认！"},
  };
  for (const Case& c : cases) {
    for (WriteFn fn : {SheetLteSwitchPaCtrlWordWr_Lte, SheetLteSwitchPaCtrlWordWr_LteMerge}) {
      SCOPED_TRACE(c.name);
      auto ranges = SwitchPaSheet{}.ranges();
      if (c.extra > 0)
        ranges[c.range].cells.push_back("X");
      else
        ranges[c.range].cells.pop_back();
      EXPECT_EQ(write(fn, ranges), Texts{c.message});
    }
  }
  auto ranges = SwitchPaSheet{}.ranges();
  ranges.pop_back();
  EXPECT_EQ(write(SheetLteSwitchPaCtrlWordWr_Lte, ranges), Texts{"SheetLteSwitchPa参数配置有误，请确认！"});
  EXPECT_EQ(write(SheetLteSwitchPaCtrlWordWr_LteMerge, ranges), Texts{"SheetLteaSwitchPa参数配置有误，请确认！"});
  EXPECT_EQ(read_file(image), before);

  const std::string missing = dir.file("missing.bin");
  MessageLog log;
  call_write(SheetLteSwitchPaCtrlWordWr_LteMerge, SwitchPaSheet{}.ranges(), missing);
  EXPECT_EQ(log.texts(), Texts{"bin文件打开失败，请确认！"});
  EXPECT_FALSE(std::filesystem::exists(missing));
}

}  // namespace
