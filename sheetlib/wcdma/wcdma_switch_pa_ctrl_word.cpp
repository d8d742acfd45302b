// WCDMA switch/PA control words. The band cells become the packed band list
// and the band count; for every band slot in use, each of its 11 truth table
// columns becomes a control word set in the slot's 560-byte control word
// area, which starts 160 bytes into the slot's block (the first 160 bytes
// hold the temperature compensation table).
#include <span>

#include "boundary.h"
#include "sheet_engine.h"
#include "sheets.h"
#include "wcdma/wcdma_ctrl_word.h"
#include "wcdma/wcdma_nv_map.h"

namespace calvex::wcdma {
namespace {

constexpr size_t kBandCells = kBandSlots;
constexpr size_t kStatesPerBand = 11;
constexpr size_t kTableColumns = kBandSlots * kStatesPerBand;  // 88: column 11 * slot + state
constexpr size_t kTableCells = kTruthRows * kTableColumns;     // 1672
constexpr size_t kReadCells = kBandCells + kTableCells;        // 1680

static_assert(std::size(kStateSetPos) == kStatesPerBand);
// The area is written in two pieces: positions 0..367 and 368..559.
constexpr size_t kFirstPieceSize = 368;
constexpr size_t kSecondPieceSize = kCtrlAreaSize - kFirstPieceSize;

constexpr uint32_t ctrl_area(size_t slot) { return band_slot_block(slot) + kCtrlAreaInBlock; }

void write_switch_pa(const WriteArgs& args, const std::u16string& path) {
  auto ranges = take_ranges(args, kWcdmaSwitchPaCtrlWordSheet, NvLayout::Any);
  if (!ranges) return;
  const Cells& band_cells = (*ranges)[0];
  const Cells& table = (*ranges)[1];

  NvBlock head(0, kHeadSize);
  // The bands of the cells that are not "X", packed.
  const BandList bands = read_band_list(band_cells, kBandCells);
  size_t slots = 0;
  for (size_t i = 0; i < kBandCells; ++i) {
    if (!bands.empty[i]) head.put32(kBandListOffset + slots++ * kBandListEntrySize, bands.bands[i]);
  }
  head.put32(kBandCountOffset, static_cast<uint32_t>(slots));

  CtrlSet empty_set;
  empty_set.fill(kWcdmaForm.empty);
  for (size_t k = 0; k < slots; ++k) {
    for (size_t s = 0; s < kStatesPerBand; ++s) {
      CtrlSet set;
      if (!build_ctrl_set(kWcdmaForm, table, kTableColumns, k * kStatesPerBand + s, set)) return;
      put_ctrl_set(head, ctrl_area(k) + kStateSetPos[s], set);
    }
    for (size_t pos : kFixedEmptySetPos) put_ctrl_set(head, ctrl_area(k) + pos, empty_set);
  }

  std::vector<NvBlock> spans = {head.slice(kBandListOffset, kBandSlots * kBandListEntrySize),
                                head.slice(kBandCountOffset, kBandCountSize)};
  for (size_t k = 0; k < kBandSlots; ++k) {
    spans.push_back(head.slice(ctrl_area(k), kFirstPieceSize));
    spans.push_back(head.slice(ctrl_area(k) + kFirstPieceSize, kSecondPieceSize));
  }
  if (!store_sheet_blocks(path, kWcdmaSwitchPaCtrlWordSheet, NvLayout::Any, block_refs(spans), msg::kOpenFailedWrite))
    return;
  show(msg::kDone);
}

constexpr std::u16string_view kNoValue = u"X";

// Fills one state column from the set at pos.
void decode_set(const NvBlock& head, size_t pos, std::span<std::u16string> texts, size_t column) {
  auto set_cell = [&](size_t row, std::u16string_view text) {
    texts[kBandCells + row * kTableColumns + column] = std::u16string(text);
  };
  size_t word_rows = 0;
  for (size_t e = 0; e < kEntriesPerSet; ++e) {
    const CtrlEntry entry = get_ctrl_entry(head, pos + e * kCtrlEntrySize);
    if (entry.kind == kWordKind) {
      if (word_rows < kTruthWordRows) set_cell(kTruthWordRow + word_rows++, hex_text(entry.word));
    } else if (entry.kind == kGroup0Kind || entry.kind == kGroup1Kind) {
      if (entry.word == 0) continue;
      const bool group0 = entry.kind == kGroup0Kind;
      const GpioGroupBits& bits = group0 ? kGroup0Bits : kGroup1Bits;
      const size_t first_row = group0 ? kTruthGroup0Row : kTruthGroup1Row;
      for (size_t r = 0; r < bits.lines; ++r) {
        const std::u16string_view line = gpio_line_text(bits, r, entry.word);
        set_cell(first_row + r, line.empty() ? kNoValue : line);
      }
    } else {
      // An unknown kind blanks the row of its own position.
      set_cell(e, kNoValue);
    }
  }
}

void read_switch_pa(ReadCells& out, const std::u16string& path) {
  NvBlock head(0, kHeadSize);
  load_blocks(path, NvFile::Mode::ReadOnly, {&head}, &msg::kOpenFailedRead);

  std::vector<std::u16string> texts(kReadCells, std::u16string(kNoValue));
  for (size_t i = 0; i < kBandCells; ++i) {
    const uint32_t band = stored_band(head, i);
    if (band != 0) texts[i] = dec_text(static_cast<int32_t>(band));
  }
  const size_t slots = stored_band_slots(head);
  for (size_t k = 0; k < slots; ++k) {
    for (size_t s = 0; s < kStatesPerBand; ++s) {
      decode_set(head, ctrl_area(k) + kStateSetPos[s], texts, k * kStatesPerBand + s);
    }
  }

  // Band cells plain, truth table cells by their text.
  ReadTexts cells(kReadCells, kNoValue, kMarkPlain);
  cells.texts = std::move(texts);
  for (size_t i = kBandCells; i < kReadCells; ++i) cells.marks[i] = truth_cell_mark(cells.texts[i]);
  fill_read(out, cells, msg::kCellCountMismatch);
}

}  // namespace
}  // namespace calvex::wcdma

CALVEX_DEFINE_WRITE(SheetWcdmaSwitchPaCtrlWordWr, calvex::wcdma::write_switch_pa)
CALVEX_DEFINE_READ(SheetWcdmaSwitchPaCtrlWordRd, calvex::wcdma::read_switch_pa)
