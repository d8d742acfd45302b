// WCDMA switch/PA control words. The band cells become the packed band list
// and the band count; for every band slot in use, each of its 11 truth table
// columns becomes a control word set in the slot's 560-byte control word
// area, which starts 160 bytes into the slot's block (the first 160 bytes
// hold the temperature compensation table).
#include <span>

#include "boundary.h"
#include "wcdma/wcdma_ctrl_word.h"
#include "wcdma/wcdma_head.h"

namespace calvex::wcdma {
namespace {

constexpr size_t kBandCells = kBandSlots;
constexpr size_t kStatesPerBand = 11;
constexpr size_t kTableColumns = kBandSlots * kStatesPerBand;    // 88: column 11 * slot + state
constexpr size_t kTableCells = kTruthTableRows * kTableColumns;  // 1672
constexpr size_t kReadCells = kBandCells + kTableCells;          // 1680

constexpr uint32_t kCtrlAreaInBlock = 160;  // after the temperature compensation table
constexpr size_t kCtrlAreaSize = 560;
static_assert(kCtrlAreaInBlock + kCtrlAreaSize == kBandSlotBlockSize);

// Position of each state's set within the control word area.
constexpr size_t kStateSetPos[kStatesPerBand] = {0, 96, 128, 224, 32, 160, 256, 368, 400, 432, 464};
// Sets that always hold four empty entries in a slot in use.
constexpr size_t kFixedEmptySetPos[] = {64, 192};
// The area is written in two pieces: positions 0..367 and 368..559.
constexpr size_t kFirstPieceSize = 368;
constexpr size_t kSecondPieceSize = kCtrlAreaSize - kFirstPieceSize;

constexpr int32_t kBandCellMark = 2;

constexpr RangeRule kRanges[] = {{kBandCells, &msg::kBandInfoCells}, {kTableCells, &msg::kSwitchPaTruthTableCells}};

constexpr uint32_t ctrl_area(size_t slot) { return band_slot_block(slot) + kCtrlAreaInBlock; }

void write_switch_pa(const WriteArgs& args, const std::u16string& path) {
  auto ranges = take_ranges(args, msg::kWcdmaSwitchPaConfig, kRanges);
  if (!ranges) return;
  const Cells& band_cells = (*ranges)[0];
  const Cells& table = (*ranges)[1];

  NvBlock head(0, kHeadSize);
  size_t slots = 0;
  for (size_t i = 0; i < kBandCells; ++i) {
    if (is_x_mark(band_cells[i])) continue;
    head.put32(kBandListOffset + slots * kBandListEntrySize, static_cast<uint32_t>(ReadDec(band_cells[i])));
    ++slots;
  }
  head.put32(kBandCountOffset, static_cast<uint32_t>(slots));

  CtrlWordSet empty_set;
  empty_set.fill(kWcdmaForm.empty);
  for (size_t k = 0; k < slots; ++k) {
    for (size_t s = 0; s < kStatesPerBand; ++s) {
      CtrlWordSet set;
      if (!build_ctrl_word_set(kWcdmaForm, table, kTableColumns, k * kStatesPerBand + s, set)) return;
      put_set(head, ctrl_area(k) + kStateSetPos[s], set);
    }
    for (size_t pos : kFixedEmptySetPos) put_set(head, ctrl_area(k) + pos, empty_set);
  }

  std::vector<NvBlock> spans = {head.slice(kBandListOffset, kBandSlots * kBandListEntrySize),
                                head.slice(kBandCountOffset, kBandCountSize)};
  for (size_t k = 0; k < kBandSlots; ++k) {
    spans.push_back(head.slice(ctrl_area(k), kFirstPieceSize));
    spans.push_back(head.slice(ctrl_area(k) + kFirstPieceSize, kSecondPieceSize));
  }
  if (!store_blocks(path, block_refs(spans), msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

constexpr std::u16string_view kNoValue = u"X";

// Fills one state column from the set at pos.
void decode_set(const NvBlock& head, size_t pos, std::span<std::u16string> texts, size_t column) {
  auto set_cell = [&](size_t row, std::u16string_view text) {
    texts[kBandCells + row * kTableColumns + column] = std::u16string(text);
  };
  size_t hex_rows = 0;
  for (size_t e = 0; e < kEntriesPerSet; ++e) {
    const CtrlWordEntry entry = get_entry(head, pos + e * kEntrySize);
    if (entry.kind == kWcdmaForm.hex_kind) {
      if (hex_rows < kHexWordRows) set_cell(kHexWordRow + hex_rows++, hex_text(entry.word));
    } else if (entry.kind == kWcdmaForm.group0.kind || entry.kind == kWcdmaForm.group1.kind) {
      if (entry.word == 0) continue;
      const bool group0 = entry.kind == kWcdmaForm.group0.kind;
      const GpioGroupBits& bits = group0 ? kGroup0Bits : kGroup1Bits;
      const size_t first_row = group0 ? kGpioGroup0Row : kGpioGroup1Row;
      for (size_t r = 0; r < bits.lines; ++r) {
        const std::u16string_view line = line_text(bits, r, entry.word);
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

  if (out.count() != static_cast<int32_t>(kReadCells)) {
    show(msg::kCellCountMismatch);
    return;
  }
  for (size_t i = 0; i < kReadCells; ++i) {
    const int32_t mark = i < kBandCells ? kBandCellMark : truth_cell_mark(texts[i]);
    out.assign(static_cast<int32_t>(i), texts[i], mark);
  }
}

}  // namespace
}  // namespace calvex::wcdma

CALVEX_DEFINE_WRITE(SheetWcdmaSwitchPaCtrlWordWr, calvex::wcdma::write_switch_pa)
CALVEX_DEFINE_READ(SheetWcdmaSwitchPaCtrlWordRd, calvex::wcdma::read_switch_pa)
