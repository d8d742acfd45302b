// LTE switch and PA control words. The truth table of 16 band slots x 8
// states (PA states 0..3, switch states 4..7) becomes per band the GPIO group
// words and MIPI words of the front end, placed as each layout lays them out:
// the single layout in a 252-byte record per slot from 0x0004 (plus the
// antenna type flag), the merged layout in the 780-byte band slots from 0x01B8.
#include <array>

#include "boundary.h"
#include "keywords.h"
#include "lte/lte_ctrl_word.h"
#include "lte/lte_nv_map.h"
#include "sheets.h"

namespace calvex::lte {
namespace {

// ---- Ranges ----

enum Range : size_t { kAntTypeRange, kBandInfoRange, kTruthTableRange };

constexpr size_t kBandInfoTexts = 4;  // per band slot
constexpr size_t kBandInfoCells = kSheetBandSlots * kBandInfoTexts;
constexpr size_t kTruthTableCells = 5280;

// ---- Truth table: cell 128 * row + 8 * slot + state; cells from 3840 on unused ----

constexpr size_t kStates = 8;
constexpr size_t kPaStates = 4;  // states 0..3; 4..7 are switch states
constexpr size_t kTruthRowCells = kBandSlots * kStates;
constexpr size_t kGroup0Row = 0;
constexpr size_t kGroup1Row = 11;
constexpr size_t kGroup2Row = 15;
constexpr size_t kMipiRow = 26;
constexpr size_t kMipiRows = 4;
constexpr size_t kTruthRows = kMipiRow + kMipiRows;
constexpr size_t kMaxMipiWords = 2;  // MipiType: one or two per state

static_assert(kGroup0Row + kGroup0Single.bits.lines == kGroup1Row);
static_assert(kGroup1Row + kGroup1.bits.lines == kGroup2Row);
static_assert(kGroup2Row + kGroup2.bits.lines == kMipiRow);
static_assert(kTruthRows * kTruthRowCells <= kTruthTableCells);

constexpr size_t truth_cell(size_t row, size_t slot, size_t state) {
  return row * kTruthRowCells + slot * kStates + state;
}
constexpr bool is_pa_state(size_t state) { return state < kPaStates; }

// ---- Fixed entries ----

constexpr CtrlEntry kEmptyGroup0Word{0, kGroup0Single.code};
constexpr CtrlEntry kEmptyGroup1Word{0, kGroup1.code};
// Switch state markers: states 4 and 6 take the first, states 5 and 7 the second.
constexpr CtrlEntry kSwitchMarkers[] = {{kSecondWordFlag, 0x14}, {kSecondWordFlag, 0x01000014}};
constexpr const CtrlEntry& switch_marker(size_t state) { return kSwitchMarkers[(state - kPaStates) % 2]; }

// ---- Layout facts ----

// Control word entries kept per band slot (single layout 28, merged 32).
constexpr size_t kMaxEntries = kMergedSwitchPaEntries;

struct SwitchPaLayout {
  Layout layout;
  NvLayout nv_layout;
  const GpioGroupWord* group0;
  CtrlEntry missing_mipi_word;
  const Message* mipi_pa_gpio;
  const Message* mipi_switch_group1_only;
};

constexpr SwitchPaLayout kSingle{Layout::Single,   NvLayout::Single,     &kGroup0Single,
                                 kEmptyGroup0Word, &msg::kLteMipiPaGpio, &msg::kLteMipiSwitchGroup1Only};
constexpr SwitchPaLayout kMerged{Layout::Merged,   NvLayout::Merged,          &kGroup0Merged,
                                 kEmptyGroup1Word, &msg::kLteMergeMipiPaGpio, &msg::kLteMergeMipiSwitchGroup1Only};

// Single layout entries.
constexpr size_t kSingleSecondMipiEntry = 8;  // + (state - 4)
constexpr size_t kSingleMarkerEntry = 12;     // entries 12..15: markers 0, 1, 0, 1
constexpr size_t kSingleMarkerEntries = 4;
constexpr size_t kSingleSwitchGroup1Entry = 16;  // + (state - 4), MipiType
constexpr size_t kSingleCopiedPaEntry = 3;       // copied into the second words of
constexpr size_t kSingleState5SecondEntry = 9;   // states 5 and 7 when state 7
constexpr size_t kSingleState7SecondEntry = 11;  // has a single MIPI word
constexpr size_t kSingleGpioPaEntries = 3;       // per PA state, GpioType
constexpr size_t kSingleGpioSwitchEntry[] = {12, 14, 16, 17};
constexpr size_t kSingleGpioFillerEntries[] = {13, 15};

// Merged layout entries: four per state; switch states in the order 5, 4, 6, 7.
constexpr size_t kMergedEntriesPerState = 4;
constexpr size_t kMergedSwitchEntry[] = {20, 16, 24, 28};  // states 4, 5, 6, 7

constexpr size_t kAntTypeFlagSize = 2;

// ---- Building ----

struct BandSlot {
  bool counted = false;
  uint32_t value0 = 0;
  uint32_t value1 = 0;
  uint32_t value2 = 0;
  uint32_t value3 = 0;
  std::array<CtrlEntry, kMaxEntries> entries{};
};
using BandSlots = std::array<BandSlot, kBandSlots>;

struct GroupWords {
  CtrlEntry group0, group1, group2;
  bool group0_set = false, group1_set = false, group2_set = false;
};

CtrlEntry read_group(const Cells& truth, const GpioGroupWord& g, size_t first_row, size_t slot, size_t state,
                     bool& set) {
  uint64_t pattern = 0;
  for (size_t line = 0; line < g.bits.lines; ++line)
    pattern |= gpio_line_bits(g.bits, line, read_gpio_line(truth[truth_cell(first_row + line, slot, state)]));
  set = pattern != 0;
  return gpio_group_entry(g, pattern);
}

GroupWords read_groups(const Cells& truth, const SwitchPaLayout& lay, size_t slot, size_t state) {
  GroupWords g;
  g.group0 = read_group(truth, *lay.group0, kGroup0Row, slot, state, g.group0_set);
  g.group1 = read_group(truth, kGroup1, kGroup1Row, slot, state, g.group1_set);
  g.group2 = read_group(truth, kGroup2, kGroup2Row, slot, state, g.group2_set);
  g.group2.kind |= kSecondWordFlag;
  return g;
}

struct MipiWords {
  std::array<CtrlEntry, kMipiRows> words;  // missing words hold the layout's filler
  size_t count = 0;
};

// Rows 26..29: "X" skips a row; any other text must be "A,D" (two hex
// numbers). A text without a comma gives up on the state with no words.
MipiWords read_mipi_words(const Cells& truth, const SwitchPaLayout& lay, size_t slot, size_t state) {
  MipiWords m;
  m.words.fill(lay.missing_mipi_word);
  for (size_t row = kMipiRow; row < kMipiRow + kMipiRows; ++row) {
    const std::u16string text = remove_spaces(truth[truth_cell(row, slot, state)]);
    if (is_x_mark(text)) continue;
    const size_t comma = text.find(u',');
    if (comma == std::u16string::npos) {
      show(msg::kLteMipiTextFormat);
      m.words.fill(lay.missing_mipi_word);
      m.count = 0;
      return m;
    }
    std::u16string address = text.substr(0, comma);
    std::u16string data = text.substr(comma + 1);
    const uint32_t a = ReadHex(address);
    const uint32_t d = ReadHex(data);
    m.words[m.count++] = mipi_word(lay.layout, a, d);
  }
  return m;
}

// MipiType wants one or two MIPI words per state.
bool mipi_count_ok(const MipiWords& m) {
  if (m.count > kMaxMipiWords) {
    show(msg::kLteMipiTooMany);
    return false;
  }
  if (m.count == 0) {
    show(msg::kLteMipiMissing);
    return false;
  }
  return true;
}

using Entries = std::array<CtrlEntry, kMaxEntries>;

void convert_mipi_single(const Cells& truth, size_t slot, Entries& e) {
  size_t last_state_words = 0;
  for (size_t s = 0; s < kStates; ++s) {
    const GroupWords g = read_groups(truth, kSingle, slot, s);
    if (is_pa_state(s)) {
      if (g.group0_set || g.group1_set || g.group2_set) return show(*kSingle.mipi_pa_gpio);
    } else {
      if (g.group0_set || g.group2_set) return show(*kSingle.mipi_switch_group1_only);
      e[kSingleSwitchGroup1Entry + s - kPaStates] = g.group1;
    }
    const MipiWords m = read_mipi_words(truth, kSingle, slot, s);
    if (!mipi_count_ok(m)) return;
    e[s] = m.words[0];
    if (!is_pa_state(s)) e[kSingleSecondMipiEntry + s - kPaStates] = m.words[1];
    last_state_words = m.count;
  }
  if (last_state_words == 1) {
    e[kSingleState5SecondEntry] = e[kSingleCopiedPaEntry];
    e[kSingleState7SecondEntry] = e[kSingleCopiedPaEntry];
  }
  for (size_t i = 0; i < kSingleMarkerEntries; ++i) e[kSingleMarkerEntry + i] = kSwitchMarkers[i % 2];
}

void convert_gpio_single(const Cells& truth, size_t slot, Entries& e) {
  for (size_t s = 0; s < kStates; ++s) {
    if (read_mipi_words(truth, kSingle, slot, s).count > 0) return show(msg::kLteGpioNoMipi);
    const GroupWords g = read_groups(truth, kSingle, slot, s);
    if (is_pa_state(s)) {
      if (g.group1_set) return show(msg::kLteGpioPaGroups);
      e[kSingleGpioPaEntries * s] = g.group0;
      e[kSingleGpioPaEntries * s + 1] = g.group2;
      e[kSingleGpioPaEntries * s + 2] = CtrlEntry{};
    } else {
      if (g.group0_set || g.group2_set) return show(msg::kLteGpioSwitchGroup1Only);
      e[kSingleGpioSwitchEntry[s - kPaStates]] = g.group1;
    }
  }
  for (size_t entry : kSingleGpioFillerEntries) e[entry] = kEmptyGroup1Word;
}

void convert_mipi_merged(const Cells& truth, size_t slot, Entries& e) {
  for (size_t s = 0; s < kStates; ++s) {
    const GroupWords g = read_groups(truth, kMerged, slot, s);
    if (is_pa_state(s)) {
      if (g.group0_set || g.group1_set || g.group2_set) return show(*kMerged.mipi_pa_gpio);
    } else if (g.group0_set || g.group2_set) {
      return show(*kMerged.mipi_switch_group1_only);
    }
    const MipiWords m = read_mipi_words(truth, kMerged, slot, s);
    if (!mipi_count_ok(m)) return;
    if (is_pa_state(s)) {
      for (size_t i = 0; i < kMergedEntriesPerState; ++i) e[kMergedEntriesPerState * s + i] = m.words[i];
    } else {
      const size_t first = kMergedSwitchEntry[s - kPaStates];
      e[first] = m.words[0];
      e[first + 1] = m.words[1];
      e[first + 2] = switch_marker(s);
      e[first + 3] = g.group1;
    }
  }
}

void convert_gpio_merged(const Cells& truth, size_t slot, Entries& e) {
  for (size_t s = 0; s < kStates; ++s) {
    if (read_mipi_words(truth, kMerged, slot, s).count > 0) return show(msg::kLteGpioNoMipi);
    const GroupWords g = read_groups(truth, kMerged, slot, s);
    if (is_pa_state(s)) {
      if (g.group1_set) return show(msg::kLteGpioPaGroups);
      const size_t first = kMergedEntriesPerState * s;
      e[first] = g.group0;
      e[first + 1] = g.group2;
      e[first + 2] = kEmptyGroup0Word;
      e[first + 3] = kEmptyGroup0Word;
    } else {
      if (g.group0_set || g.group2_set) return show(msg::kLteGpioSwitchGroup1Only);
      const size_t first = kMergedSwitchEntry[s - kPaStates];
      e[first] = g.group1;
      e[first + 1] = kEmptyGroup1Word;
      e[first + 2] = switch_marker(s);
      e[first + 3] = kEmptyGroup1Word;
    }
  }
}

// Parses the band values of all 16 slots; returns the number of counted slots.
// Band value 0 is the band; slots 12 to 15 have no cells and read as empty texts.
size_t parse_band_info(const Cells& band_info, BandSlots& slots) {
  const BandList bands = read_band_list(band_info, kBandSlots, kBandInfoTexts);
  for (size_t b = 0; b < kBandSlots; ++b) {
    if (bands.empty[b]) continue;
    std::array<std::u16string, kBandInfoTexts> t;
    if (b < kSheetBandSlots) {
      for (size_t i = 0; i < kBandInfoTexts; ++i) t[i] = band_info[kBandInfoTexts * b + i];
    }
    BandSlot& slot = slots[b];
    slot.counted = true;
    slot.value0 = bands.bands[b];
    slot.value1 = static_cast<uint32_t>(ReadDec(t[1]));
    slot.value2 = ReadHex(t[2]);
    slot.value3 = ReadHex(t[3]);
  }
  return bands.count;
}

std::vector<NvBlock> stage_single(const BandSlots& slots, bool mipi_type) {
  NvBlock flag(kAntTypeFlagOffset, kAntTypeFlagSize);
  flag.put16(0, mipi_type ? 0 : 1);
  NvBlock records(kSingleSwitchPaBase, kSingleLayoutSlots * kSingleSwitchPaRecordSize);
  for (size_t b = 0; b < kSingleLayoutSlots; ++b) {
    const size_t base = b * kSingleSwitchPaRecordSize;
    for (size_t i = 0; i < kSingleSwitchPaEntries; ++i)
      put_ctrl_entry(records, base + i * kCtrlEntrySize, slots[b].entries[i]);
    records.put32(base + kSingleBandValue0Pos, slots[b].value0);
    records.put32(base + kSingleBandValue1Pos, slots[b].value1);
    records.put16(base + kSingleBandValue2Pos, slots[b].value2);
    records.put16(base + kSingleBandValue3Pos, slots[b].value3);
  }
  std::vector<NvBlock> blocks;
  blocks.push_back(std::move(flag));
  blocks.push_back(std::move(records));
  return blocks;
}

// Slots 0..11 from the built words; slots 12 and 13 as zeros.
std::vector<NvBlock> stage_merged(const BandSlots& slots) {
  std::vector<NvBlock> blocks;
  for (size_t b = 0; b < kMergedLayoutSlots; ++b) {
    NvBlock head(merged_slot_offset(b), kMergedHeadSize);
    NvBlock tail(merged_slot_offset(b) + kMergedTailPos, kMergedTailSize);
    if (b < kSheetBandSlots) {
      const BandSlot& slot = slots[b];
      head.put32(kMergedBandValue0Pos, slot.value0);
      head.put32(kMergedBandValue1Pos, slot.value1);
      for (size_t i = 0; i < kMergedSwitchPaEntries; ++i) {
        put_ctrl_entry(head, kMergedEntriesPos + i * kCtrlEntrySize, slot.entries[i]);
      }
      tail.put16(kMergedBandValue2Pos, slot.value2);
      tail.put16(kMergedBandValue3Pos, slot.value3);
    }
    blocks.push_back(std::move(head));
    blocks.push_back(std::move(tail));
  }
  return blocks;
}

void write_switch_pa(const WriteArgs& args, const std::u16string& path, const SwitchPaLayout& lay) {
  auto ranges = take_ranges(args, kLteSwitchPaCtrlWordSheet, lay.nv_layout);
  if (!ranges) return;
  const std::vector<Cells>& r = *ranges;
  const Cells& truth = r[kTruthTableRange];
  const bool mipi_type = kw::text_is(r[kAntTypeRange][0], kw::kAntTypes[kw::kMipiAntType]);

  BandSlots slots{};
  const size_t counted = parse_band_info(r[kBandInfoRange], slots);
  const bool built = counted > 0;
  if (!built) {
    show(msg::kNoCtrlWordBand);
  } else {
    // The first `counted` slots, whether or not one of them was skipped.
    for (size_t b = 0; b < counted; ++b) {
      Entries& e = slots[b].entries;
      if (lay.layout == Layout::Single) {
        mipi_type ? convert_mipi_single(truth, b, e) : convert_gpio_single(truth, b, e);
      } else {
        mipi_type ? convert_mipi_merged(truth, b, e) : convert_gpio_merged(truth, b, e);
      }
    }
  }
  std::vector<NvBlock> blocks = lay.layout == Layout::Single ? stage_single(slots, mipi_type) : stage_merged(slots);
  if (lay.layout == Layout::Merged) blocks.emplace_back(kMergedSpareOffset, kMergedSpareSize);
  require_in_blocks(kLteSwitchPaCtrlWordSheet, lay.nv_layout, block_refs(blocks));

  NvFile file;
  if (!open_nv(file, path, NvFile::Mode::ReadWrite, &msg::kOpenFailedConfirm)) return;
  if (!built) {
    file.close();
    show(msg::kLteCtrlWordBuildFailed);
    return;
  }
  store_blocks(file, block_refs(blocks));
  file.close();
  show(msg::kDone);
}

void write_switch_pa_single(const WriteArgs& args, const std::u16string& path) { write_switch_pa(args, path, kSingle); }
void write_switch_pa_merged(const WriteArgs& args, const std::u16string& path) { write_switch_pa(args, path, kMerged); }

}  // namespace
}  // namespace calvex::lte

CALVEX_DEFINE_WRITE(SheetLteSwitchPaCtrlWordWr_Lte, calvex::lte::write_switch_pa_single)
CALVEX_DEFINE_WRITE(SheetLteSwitchPaCtrlWordWr_LteMerge, calvex::lte::write_switch_pa_merged)

// ---- Decoder (decoders.h) ----
//
// AntType from the antenna type flag (single layout) or from the first entry
// of slot 0 (merged layout: a MIPI word there means MipiType). The write
// builds the first `counted` slots (non-X band cells plus the four slots
// without a cell), so the slots whose entries are not all zero are the built
// ones; the band cells show every slot with a band value and, where the
// built slots need more, the first others with band 0 ("X" and "0" store the
// same bytes); the write counts four slots past the sheet's 12 besides, which
// have no record (under MipiType each of their states shows the word 0,0 it
// needs). The truth table of each built slot shows what its entries
// say, as the write of the same type takes it: the GPIO lines of its group
// words ("X" where the enable bit is clear) and its MIPI words as "A,D"; the
// MIPI words a PA state of the single layout does not keep, a slot that was
// not built, and the unused lines show "X". When the single layout's state 7
// holds one MIPI word, state 5 shows one word as well (the write copies
// state 3's word over the second word of both).

#include <algorithm>

#include "decoders.h"
#include "marks.h"
#include "sheet_engine.h"

namespace calvex::lte {
namespace {

constexpr std::u16string_view kUndriven = u"X";
// The MIPI word a state of a slot without a record shows.
constexpr std::u16string_view kPlaceholderMipiWord = u"0x0,0x0";
constexpr size_t kBandInfoFirstCell = 1;
constexpr size_t kTruthFirstCell = kBandInfoFirstCell + kBandInfoCells;
constexpr size_t kSwitchPaCells = kTruthFirstCell + kTruthTableCells;
// The write counts the slots past the sheet's 12 as well (their empty band texts).
constexpr size_t kUncelledSlots = kBandSlots - kSheetBandSlots;

// MIPI entry fields (lte_ctrl_word.cpp packs them).
constexpr uint32_t kMipiFieldMask = 0xFFFFF;
constexpr unsigned kSingleAddressLowShift = 21;  // A bits 0-10 in L bits 21-31
constexpr unsigned kSingleAddressBit11 = 11;     // A bit 11 in H bit 0
constexpr unsigned kAddressHighShift = 12;       // A bits 12-19 ...
constexpr uint32_t kAddressHighMask = 0xFF;
constexpr unsigned kSingleAddressHighPos = 3;    // ... in H bits 3-10 (single)
constexpr unsigned kMergedAddressHighPos = 2;    // ... in H bits 2-9 (merged)
constexpr unsigned kMergedAddressLowShift = 20;  // A bits 0-11 in L bits 20-31

bool same_entry(CtrlEntry a, CtrlEntry b) { return a.kind == b.kind && a.word == b.word; }

// The register address and data of a MIPI entry, if it is one (it packs back to itself).
bool mipi_fields(Layout layout, CtrlEntry e, uint32_t& a, uint32_t& d) {
  if (layout == Layout::Single) {
    a = (e.word >> kSingleAddressLowShift) | ((e.kind & 1u) << kSingleAddressBit11) |
        (((e.kind >> kSingleAddressHighPos) & kAddressHighMask) << kAddressHighShift);
    d = (e.word >> 1) & kMipiFieldMask;
  } else {
    a = (e.word >> kMergedAddressLowShift) |
        (((e.kind >> kMergedAddressHighPos) & kAddressHighMask) << kAddressHighShift);
    d = e.word & kMipiFieldMask;
  }
  return same_entry(mipi_word(layout, a, d), e);
}

class TruthTexts {
 public:
  TruthTexts(ReadTexts& texts, size_t slot) : texts_(texts), slot_(slot) {}
  void set(size_t row, size_t state, std::u16string_view text) {
    texts_.set(kTruthFirstCell + truth_cell(row, slot_, state), text, truth_cell_mark(text));
  }
  // The lines of a group word; its kind's second word flag is not part of the pattern.
  void group(const GpioGroupWord& g, size_t first_row, size_t state, CtrlEntry e) {
    e.kind &= ~uint32_t{kSecondWordFlag};
    const uint64_t pattern = gpio_group_q(e) >> kGpioWordCodeBits;
    for (size_t line = 0; line < g.bits.lines; ++line) {
      const std::u16string_view text = gpio_line_text(g.bits, line, pattern);
      if (!text.empty()) set(first_row + line, state, text);
    }
  }
  // A MIPI word in the state's next MIPI row; false (nothing shown) for another entry.
  bool mipi(Layout layout, size_t state, CtrlEntry e) {
    uint32_t a = 0;
    uint32_t d = 0;
    if (!mipi_fields(layout, e, a, d) || next_mipi_row_[state] == kMipiRows) return false;
    set(kMipiRow + next_mipi_row_[state]++, state, hex_text(a) + u"," + hex_text(d));
    return true;
  }

 private:
  ReadTexts& texts_;
  size_t slot_;
  std::array<size_t, kStates> next_mipi_row_{};
};

void show_single_slot(TruthTexts& t, const Entries& e, bool mipi_type) {
  if (!mipi_type) {
    for (size_t s = 0; s < kPaStates; ++s) {
      t.group(kGroup0Single, kGroup0Row, s, e[kSingleGpioPaEntries * s]);
      t.group(kGroup2, kGroup2Row, s, e[kSingleGpioPaEntries * s + 1]);
    }
    for (size_t s = kPaStates; s < kStates; ++s)
      t.group(kGroup1, kGroup1Row, s, e[kSingleGpioSwitchEntry[s - kPaStates]]);
    return;
  }
  constexpr size_t kState5 = 5;
  constexpr size_t kState7 = 7;
  const bool one_word_last = same_entry(e[kSingleState7SecondEntry], e[kSingleCopiedPaEntry]) &&
                             same_entry(e[kSingleState5SecondEntry], e[kSingleCopiedPaEntry]);
  for (size_t s = 0; s < kStates; ++s) {
    t.mipi(Layout::Single, s, e[s]);
    if (is_pa_state(s)) continue;
    t.group(kGroup1, kGroup1Row, s, e[kSingleSwitchGroup1Entry + s - kPaStates]);
    if (one_word_last && (s == kState5 || s == kState7)) continue;
    t.mipi(Layout::Single, s, e[kSingleSecondMipiEntry + s - kPaStates]);
  }
}

void show_merged_slot(TruthTexts& t, const Entries& e, bool mipi_type) {
  for (size_t s = 0; s < kPaStates; ++s) {
    const size_t first = kMergedEntriesPerState * s;
    if (mipi_type) {
      for (size_t i = 0; i < kMergedEntriesPerState; ++i) t.mipi(Layout::Merged, s, e[first + i]);
    } else {
      t.group(kGroup0Merged, kGroup0Row, s, e[first]);
      t.group(kGroup2, kGroup2Row, s, e[first + 1]);
    }
  }
  for (size_t s = kPaStates; s < kStates; ++s) {
    const size_t first = kMergedSwitchEntry[s - kPaStates];
    if (mipi_type) {
      t.mipi(Layout::Merged, s, e[first]);
      t.mipi(Layout::Merged, s, e[first + 1]);
      t.group(kGroup1, kGroup1Row, s, e[first + 3]);
    } else {
      t.group(kGroup1, kGroup1Row, s, e[first]);
    }
  }
}

void decode_switch_pa(ReadCells& out, const std::u16string& path) {
  const Layout layout = lte_layout_switch() != 0 ? Layout::Merged : Layout::Single;
  NvBlock flag(kAntTypeFlagOffset, kAntTypeFlagSize);
  NvBlock records(kSingleSwitchPaBase, kSingleLayoutSlots * kSingleSwitchPaRecordSize);
  std::vector<NvBlock> merged;
  for (size_t b = 0; layout == Layout::Merged && b < kSheetBandSlots; ++b) {
    merged.emplace_back(merged_slot_offset(b), kMergedHeadSize);
    merged.emplace_back(merged_slot_offset(b) + kMergedTailPos, kMergedTailSize);
  }
  NvFile file;
  if (open_nv(file, path, NvFile::Mode::ReadOnly, &msg::kOpenFailedRead)) {
    if (layout == Layout::Single) {
      load_blocks(file, {&flag, &records});
    } else {
      load_blocks(file, merged);
    }
    file.close();
  }

  BandSlots slots{};
  for (size_t b = 0; b < kSheetBandSlots; ++b) {
    BandSlot& slot = slots[b];
    if (layout == Layout::Single) {
      const size_t base = b * kSingleSwitchPaRecordSize;
      for (size_t i = 0; i < kSingleSwitchPaEntries; ++i)
        slot.entries[i] = get_ctrl_entry(records, base + i * kCtrlEntrySize);
      slot.value0 = records.get32(base + kSingleBandValue0Pos);
      slot.value1 = records.get32(base + kSingleBandValue1Pos);
      slot.value2 = records.get16(base + kSingleBandValue2Pos);
      slot.value3 = records.get16(base + kSingleBandValue3Pos);
    } else {
      const NvBlock& head = merged[2 * b];
      const NvBlock& tail = merged[2 * b + 1];
      for (size_t i = 0; i < kMergedSwitchPaEntries; ++i)
        slot.entries[i] = get_ctrl_entry(head, kMergedEntriesPos + i * kCtrlEntrySize);
      slot.value0 = head.get32(kMergedBandValue0Pos);
      slot.value1 = head.get32(kMergedBandValue1Pos);
      slot.value2 = tail.get16(kMergedBandValue2Pos);
      slot.value3 = tail.get16(kMergedBandValue3Pos);
    }
  }
  const auto built = [](const BandSlot& s) {
    return std::any_of(s.entries.begin(), s.entries.end(), [](CtrlEntry e) { return e.kind != 0 || e.word != 0; });
  };
  size_t built_slots = 0;
  while (built_slots < kSheetBandSlots && built(slots[built_slots])) ++built_slots;
  // Non-X band cells the write must count: the built slots less the four it
  // counts without a cell. When every slot was built the write may have
  // counted more (up to all 12 cells): the slots holding a band value show,
  // and at least that many.
  const size_t needed = built_slots > kUncelledSlots ? built_slots - kUncelledSlots : 0;
  size_t counted = 0;
  for (BandSlot& s : slots) {
    s.counted = s.value0 != 0 || s.value1 != 0 || s.value2 != 0 || s.value3 != 0;
    counted += s.counted ? 1 : 0;
  }
  for (size_t b = 0; b < kSheetBandSlots && counted < needed; ++b) {
    if (!slots[b].counted) {
      slots[b].counted = true;
      ++counted;
    }
  }

  bool mipi_type = false;
  uint32_t a = 0;
  uint32_t d = 0;
  if (layout == Layout::Single) {
    mipi_type = flag.get16(0) == 0;
  } else {
    mipi_type = mipi_fields(Layout::Merged, slots[0].entries[0], a, d);
  }

  ReadTexts texts(kSwitchPaCells, kUndriven, kMarkPlain);
  texts.set(0, widen(kw::kAntTypes[mipi_type ? kw::kMipiAntType : kw::kGpioAntType]), kMarkValue);
  for (size_t b = 0; b < kSheetBandSlots; ++b) {
    if (!slots[b].counted) continue;
    const size_t cell = kBandInfoFirstCell + b * kBandInfoTexts;
    texts.set(cell, dec_text(static_cast<int32_t>(slots[b].value0)), kMarkValue);
    texts.set(cell + 1, dec_text(static_cast<int32_t>(slots[b].value1)), kMarkValue);
    texts.set(cell + 2, hex_text(slots[b].value2), kMarkValue);
    texts.set(cell + 3, hex_text(slots[b].value3), kMarkValue);
  }
  for (size_t b = 0; b < built_slots; ++b) {
    TruthTexts t(texts, b);
    if (layout == Layout::Single) {
      show_single_slot(t, slots[b].entries, mipi_type);
    } else {
      show_merged_slot(t, slots[b].entries, mipi_type);
    }
  }
  // The slots past the sheet's 12 that the write counts (all four when the
  // band cells count 12 slots) have no record: their states show no line,
  // and under MipiType the one MIPI word each state needs, 0,0.
  const size_t converted = std::min(counted + kUncelledSlots, kBandSlots);
  for (size_t b = kSheetBandSlots; mipi_type && b < converted; ++b) {
    TruthTexts t(texts, b);
    for (size_t s = 0; s < kStates; ++s) t.set(kMipiRow, s, kPlaceholderMipiWord);
  }
  fill_read(out, texts, msg::kCellCountMismatch);
}

}  // namespace
}  // namespace calvex::lte

const calvex::ReadBody calvex::decoders::kLteSwitchPaCtrlWord = calvex::lte::decode_switch_pa;
