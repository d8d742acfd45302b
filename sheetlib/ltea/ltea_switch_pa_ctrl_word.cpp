// LTE-A switch/PA control word sheet: the band list, a truth table of 19
// rows x 128 columns (column 8k + s is state s of slot k: states 0..3 PA,
// 4..7 switch) and the PA timing offsets become the 16 band records.
//
// The write reads the whole head first and writes back every record field it
// covers, so fields it does not build come back as they were read.
#include <algorithm>

#include "boundary.h"
#include "ctrl_word.h"
#include "ltea/ltea_nv_map.h"
#include "sheet_engine.h"
#include "sheets.h"

namespace calvex::ltea {
namespace {

// ---- Sheet layout ----
constexpr size_t kBandRange = 1;
constexpr size_t kTruthRange = 2;
constexpr size_t kPaTimingRange = 3;

// Truth table rows (core/ctrl_word.h): GPIO_GROUP0 lines, GPIO_GROUP1 lines,
// then up to four MIPI words.
constexpr size_t kTruthColumns = kBandSlots * kStatesPerSlot;   // 128
constexpr size_t kTruthCells = kTruthRows * kTruthColumns;      // 2432
constexpr size_t kPaTimingCells = kPaTimingCount * kBandSlots;  // 64: cell 16j + k

// Read side: band cells, then the truth table, then the PA timing offsets.
constexpr size_t kReadBandFirst = 0;
constexpr size_t kReadTruthFirst = kReadBandFirst + kBandSlots;       // 16
constexpr size_t kReadPaTimingFirst = kReadTruthFirst + kTruthCells;  // 2448
constexpr size_t kReadCells = kReadPaTimingFirst + kPaTimingCells;    // 2512

constexpr int32_t kPaTimingMin = -1000;
constexpr int32_t kPaTimingMax = 1000;

// ---- GPIO words: bits 0..15 levels, bits 16..31 the matching enables ----
constexpr GpioGroupBits kGroup0Bits{kGpioGroup0Lines, 5, 21};
constexpr GpioGroupBits kGroup1Bits{kGpioGroup1Lines, 0, 16};

constexpr size_t truth_cell(size_t row, size_t column) { return kTruthColumns * row + column; }
constexpr size_t pa_timing_cell(size_t j, size_t slot) { return kBandSlots * j + slot; }

// Reads one GPIO group's lines of a column into a word. Returns false after
// showing on_bad at the first bad cell.
bool read_gpio_group(const Cells& truth, size_t column, size_t first_row, const GpioGroupBits& bits,
                     const Message& on_bad, uint32_t& word, bool& used) {
  word = 0;
  used = false;
  for (size_t r = 0; r < bits.lines; ++r) {
    const GpioLine cell = read_gpio_line(truth[truth_cell(first_row + r, column)]);
    if (cell == GpioLine::Bad) {
      show(on_bad);
      return false;
    }
    if (cell != GpioLine::Undriven) used = true;
    word |= static_cast<uint32_t>(gpio_line_bits(bits, r, cell));
  }
  return true;
}

// Builds the four entries of state s of slot k from column 8k + s. A bad GPIO
// cell abandons the state (its block keeps what was read); more than four
// entries clear it.
void build_state(const Cells& truth, NvBlock& head, size_t slot, size_t state) {
  const size_t column = kStatesPerSlot * slot + state;

  uint32_t group0 = 0, group1 = 0;
  bool group0_used = false, group1_used = false;
  if (!read_gpio_group(truth, column, kTruthGroup0Row, kGroup0Bits, msg::kGpioGroup0Bad, group0, group0_used)) return;
  if (!read_gpio_group(truth, column, kTruthGroup1Row, kGroup1Bits, msg::kGpioGroup1Bad, group1, group1_used)) return;

  std::array<uint32_t, kTruthWordRows> mipi{};
  size_t mipi_count = 0;
  for (size_t row = kTruthWordRow; row < kTruthRows; ++row) {
    std::u16string text = remove_spaces(truth[truth_cell(row, column)]);
    if (is_x_mark(text)) continue;
    mipi[mipi_count++] = ReadHex(text);
  }

  std::array<CtrlEntry, kEntriesPerState> entries{};
  const size_t total = (group0_used ? 1 : 0) + (group1_used ? 1 : 0) + mipi_count;
  if (total > kEntriesPerState) {
    show(msg::kLteaTooManyWords);
  } else if (state < kPaStates) {
    // PA state: MIPI words from entry 0, GPIO words from the last entry down.
    for (size_t i = 0; i < mipi_count; ++i) entries[i] = {kKindMipi, mipi[i]};
    if (group1_used) entries[kEntriesPerState - 1 - (group0_used ? 1 : 0)] = {kKindGpioGroup1, group1};
    if (group0_used) entries[kEntriesPerState - 1] = {kKindGpioGroup0, group0};
  } else {
    // Switch state: group 0, group 1, then the MIPI words, from entry 0.
    size_t next = 0;
    if (group0_used) entries[next++] = {kKindGpioGroup0, group0};
    if (group1_used) entries[next++] = {kKindGpioGroup1, group1};
    for (size_t i = 0; i < mipi_count; ++i) entries[next++] = {kKindMipi, mipi[i]};
  }
  const uint32_t block = state_block(slot, state);
  for (size_t e = 0; e < kEntriesPerState; ++e)
    put_ctrl_entry(head, block + static_cast<uint32_t>(kEntrySize * e), entries[e]);
}

// Record fields the write puts back, in write order: offset and size.
struct RecordField {
  uint32_t offset;
  size_t size;
};
constexpr RecordField kWrittenFields[] = {
    {kRecBandNumber, 4},
    {kRecCarried4, 4},
    {kRecCarried760, 2},
    {kRecCarried762, 2},
    {kRecPaStates, kStateBlocksSize},
    {kRecSwitchStates, kStateBlocksSize},
    {kRecPaTiming, kPaTimingSize},
};

void write_switch_pa(const WriteArgs& args, const std::u16string& path) {
  auto ranges = take_ranges(args, kLteaSwitchPaCtrlWordSheet, NvLayout::Any);
  if (!ranges) return;
  const Cells& band_texts = (*ranges)[kBandRange];
  const Cells& truth_texts = (*ranges)[kTruthRange];
  const Cells& pa_timing_texts = (*ranges)[kPaTimingRange];

  NvBlock head(0, kHeadSize);
  if (!load_blocks(path, NvFile::Mode::ReadOnly, {&head}, &msg::kOpenFailedRead)) return;

  for (size_t slot = 0; slot < kBandSlots; ++slot) {
    for (size_t j = 0; j < kPaTimingCount; ++j) {
      const std::u16string& text = pa_timing_texts[pa_timing_cell(j, slot)];
      const int32_t offset = is_x_mark(text) ? 0 : std::clamp(ReadDec(text), kPaTimingMin, kPaTimingMax);
      head.put16(band_field(slot, kRecPaTiming + 2 * static_cast<uint32_t>(j)), static_cast<uint32_t>(offset));
    }
  }

  const BandList bands = read_band_list(band_texts, kBandSlots);
  for (size_t slot = 0; slot < kBandSlots; ++slot) head.put32(band_field(slot, kRecBandNumber), bands.bands[slot]);
  if (bands.count == 0) {
    show(msg::kNoCtrlWordBand);
    return;
  }

  // Control words go to the first `count` slots, whatever their band cells
  // hold; the other slots keep what was read.
  for (size_t slot = 0; slot < bands.count; ++slot) {
    for (size_t state = 0; state < kStatesPerSlot; ++state) build_state(truth_texts, head, slot, state);
  }

  head.put32(kBandRecordCountOffset, kBandRecordCountValue);
  for (size_t i = 0; i < kClearedFieldCount; ++i) head.put16(kClearedFieldsOffset + 2 * i, 0);
  std::vector<NvBlock> spans = {head.slice(kBandRecordCountOffset, kLe32Size)};
  for (size_t slot = 0; slot < kBandSlots; ++slot) {
    for (const RecordField& field : kWrittenFields)
      spans.push_back(head.slice(band_field(slot, field.offset), field.size));
  }
  for (size_t i = 0; i < kClearedFieldCount; ++i) spans.push_back(head.slice(kClearedFieldsOffset + 2 * i, kLe16Size));
  spans.push_back(value_block(kHeadEndMarkerOffset, kHeadEndMarker, kLe16Size));
  if (!store_sheet_blocks(path, kLteaSwitchPaCtrlWordSheet, NvLayout::Any, block_refs(spans), msg::kOpenFailedConfirm))
    return;
  show(msg::kDone);
}

// Fills rows first_row.. of a column from a GPIO word ("X" where a line's
// enable bit is clear).
void show_gpio_group(Cells& truth, size_t column, size_t first_row, const GpioGroupBits& bits, uint32_t word) {
  for (size_t r = 0; r < bits.lines; ++r) {
    const std::u16string_view line = gpio_line_text(bits, r, word);
    truth[truth_cell(first_row + r, column)] = line.empty() ? u"X" : line;
  }
}

// Fills the truth table columns of the slot's states from its state blocks.
void show_slot_truth(const NvBlock& head, size_t slot, Cells& truth_texts) {
  for (size_t state = 0; state < kStatesPerSlot; ++state) {
    const size_t column = kStatesPerSlot * slot + state;
    const uint32_t block = state_block(slot, state);
    size_t mipi_row = kTruthWordRow;  // at most four entries: never past the last row
    for (size_t e = 0; e < kEntriesPerState; ++e) {
      const CtrlEntry entry = get_ctrl_entry16(head, block + static_cast<uint32_t>(kEntrySize * e));
      if (entry.kind == kKindGpioGroup0) {
        show_gpio_group(truth_texts, column, kTruthGroup0Row, kGroup0Bits, entry.word);
      } else if (entry.kind == kKindGpioGroup1) {
        show_gpio_group(truth_texts, column, kTruthGroup1Row, kGroup1Bits, entry.word);
      } else {
        const bool empty = entry.kind == kKindEmpty && entry.word == 0;
        truth_texts[truth_cell(mipi_row++, column)] = empty ? u"X" : hex_text(entry.word);
      }
    }
  }
}

// The band number of a slot, "%d" of the signed 32-bit value (as the
// write's decimal reader takes it back); 0 for an empty slot.
int32_t slot_band(const NvBlock& head, size_t slot) { return head.get32s(band_field(slot, kRecBandNumber)); }

// Shows the band cells, the truth table (marked by its text) and the PA
// timing offsets of every slot.
void fill_switch_pa_read(ReadCells& out, const NvBlock& head, const Cells& band_texts, const Cells& truth_texts) {
  ReadTexts cells(kReadCells, u"X", kMarkPlain);
  for (size_t k = 0; k < kBandSlots; ++k) cells.set(kReadBandFirst + k, band_texts[k], kMarkPlain);
  for (size_t i = 0; i < kTruthCells; ++i) {
    cells.set(kReadTruthFirst + i, truth_texts[i], truth_cell_mark(truth_texts[i]));
  }
  for (size_t slot = 0; slot < kBandSlots; ++slot) {
    for (size_t j = 0; j < kPaTimingCount; ++j) {
      const int32_t offset = head.get16s(band_field(slot, kRecPaTiming + 2 * static_cast<uint32_t>(j)));
      cells.set(kReadPaTimingFirst + pa_timing_cell(j, slot), dec_text(offset), kMarkPlain);
    }
  }
  fill_read(out, cells, msg::kCellCountMismatch);
}

// The export's read: the truth table of the slots that hold a band.
void read_switch_pa(ReadCells& out, const std::u16string& path) {
  NvBlock head(0, kHeadSize);
  load_blocks(path, NvFile::Mode::ReadOnly, {&head}, &msg::kOpenFailedRead);

  Cells band_texts(kBandSlots, u"X");
  Cells truth_texts(kTruthCells, u"X");
  for (size_t slot = 0; slot < kBandSlots; ++slot) {
    const int32_t band = slot_band(head, slot);
    if (band == 0) continue;
    band_texts[slot] = dec_text(band);
    show_slot_truth(head, slot, truth_texts);
  }
  fill_switch_pa_read(out, head, band_texts, truth_texts);
}

}  // namespace
}  // namespace calvex::ltea

CALVEX_DEFINE_WRITE(SheetLteaSwitchPaCtrlWordWr, calvex::ltea::write_switch_pa)
CALVEX_DEFINE_READ(SheetLteaSwitchPaCtrlWordRd, calvex::ltea::read_switch_pa)

// ---- Decoder (decoders.h) ----
//
// calvex's read of the sheet (the export above stays as it is). The write
// builds the control words of the first `count` slots, count being the
// number of non-empty bands, whichever slots are empty; the export shows the
// words of the non-empty slots instead, which differ where the band list has
// a gap. The decoder shows what the export shows, but the truth table of the
// first `count` slots.

#include "decoders.h"

namespace calvex::ltea {
namespace {

void decode_switch_pa(ReadCells& out, const std::u16string& path) {
  NvBlock head(0, kHeadSize);
  load_blocks(path, NvFile::Mode::ReadOnly, {&head}, &msg::kOpenFailedRead);

  Cells band_texts(kBandSlots, u"X");
  Cells truth_texts(kTruthCells, u"X");
  size_t count = 0;
  for (size_t slot = 0; slot < kBandSlots; ++slot) {
    const int32_t band = slot_band(head, slot);
    if (band == 0) continue;
    band_texts[slot] = dec_text(band);
    ++count;
  }
  for (size_t slot = 0; slot < count; ++slot) show_slot_truth(head, slot, truth_texts);
  fill_switch_pa_read(out, head, band_texts, truth_texts);
}

}  // namespace
}  // namespace calvex::ltea

const calvex::ReadBody calvex::decoders::kLteaSwitchPaCtrlWord = calvex::ltea::decode_switch_pa;
