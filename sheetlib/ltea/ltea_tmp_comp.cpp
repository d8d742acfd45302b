// LTE-A temperature compensation sheet: a table of 60 rows x 2 signed 32-bit
// values in each band record (record offsets 280..759). The band list
// belongs to the switch/PA sheet: the write only checks that the sheet's
// band cells match the image's bands slot by slot before it writes.
#include "boundary.h"
#include "ctrl_word.h"
#include "ltea/ltea_nv_map.h"
#include "sheet_engine.h"
#include "sheets.h"

namespace calvex::ltea {
namespace {

constexpr size_t kBandRange = 0;
constexpr size_t kTableRange = 1;
constexpr size_t kValuesPerRow = 2;
constexpr size_t kTableColumns = kBandSlots * kValuesPerRow;  // 32: columns 2k, 2k + 1 are slot k
constexpr size_t kTableCells = kTmpCompRows * kTableColumns;  // 1920
constexpr size_t kReadCells = kBandSlots + kTableCells;       // 1936
constexpr uint32_t kValueSize = 4;

constexpr size_t table_cell(size_t row, size_t column) { return kTableColumns * row + column; }

// NV offset of the value in a table row and column (column / 2 is the slot).
constexpr uint32_t table_value(size_t row, size_t column) {
  return band_field(column / kValuesPerRow, kRecTmpComp + static_cast<uint32_t>(kTmpCompRowSize * row) +
                                                kValueSize * static_cast<uint32_t>(column % kValuesPerRow));
}

constexpr char16_t kEmptyBandMark = u'X';

bool is_empty_band_cell(std::u16string_view text) { return is_x_mark(text) || text == u"0"; }

// The band number as the sheet writes it: "%d" of the signed 32-bit value,
// so that a cell matching it is read back to the same 32 bits.
std::u16string image_band_text(const NvBlock& head, size_t slot) {
  const int32_t band = head.get32s(band_field(slot, kRecBandNumber));
  return band == 0 ? std::u16string(1, kEmptyBandMark) : dec_text(band);
}

void write_tmp_comp(const WriteArgs& args, const std::u16string& path) {
  auto ranges = take_ranges(args, kLteaTmpCompSheet, NvLayout::Any);
  if (!ranges) return;
  Cells& band_texts = (*ranges)[kBandRange];
  const Cells& table = (*ranges)[kTableRange];

  NvBlock head(0, kHeadSize);
  NvFile check;
  if (!open_nv(check, path, NvFile::Mode::ReadWrite, &msg::kOpenFailedBin)) return;
  load_blocks(check, {&head});

  bool band_order_ok = true;
  for (size_t slot = 0; slot < kBandSlots; ++slot) {
    std::u16string& cell = band_texts[slot];
    if (is_empty_band_cell(cell)) cell.assign(1, kEmptyBandMark);
    const std::u16string image_text = image_band_text(head, slot);
    if (cell != image_text) {
      show(msg::kLteaTmpCompBandMismatch, {cell, image_text});
      band_order_ok = false;
      break;
    }
  }
  check.close();

  const BandList bands = read_band_list(band_texts, kBandSlots);
  for (size_t slot = 0; slot < kBandSlots; ++slot) head.put32(band_field(slot, kRecBandNumber), bands.bands[slot]);
  const size_t band_count = bands.count;
  if (band_count == 0) {
    show(msg::kNoBand);
    return;
  }

  // Only the columns of the first band_count slots are read; the others keep
  // the image's values.
  for (size_t row = 0; row < kTmpCompRows; ++row) {
    for (size_t column = 0; column < kValuesPerRow * band_count; ++column) {
      head.put32(table_value(row, column), static_cast<uint32_t>(ReadDec(table[table_cell(row, column)])));
    }
  }
  if (!band_order_ok) {
    show(msg::kTmpCompBandOrder);
    return;
  }

  std::vector<NvBlock> spans;
  for (size_t slot = 0; slot < kBandSlots; ++slot) {
    spans.push_back(head.slice(band_field(slot, kRecBandNumber), kValueSize));
    spans.push_back(head.slice(band_field(slot, kRecTmpComp), kTmpCompSize));
  }
  if (!store_sheet_blocks(path, kLteaTmpCompSheet, NvLayout::Any, block_refs(spans), msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

// Shows the slots' band cells ("%d", X for band 0); returns the slots that hold a band.
size_t show_bands(const NvBlock& head, ReadTexts& cells, bool (&has_band)[kBandSlots]) {
  size_t count = 0;
  for (size_t slot = 0; slot < kBandSlots; ++slot) {
    const int32_t band = head.get32s(band_field(slot, kRecBandNumber));
    has_band[slot] = band != 0;
    if (band == 0) continue;
    cells.set(slot, dec_text(band), kMarkPlain);
    ++count;
  }
  return count;
}

// Shows every row of a table column ("%d" of the signed 32-bit values).
void show_column(const NvBlock& head, ReadTexts& cells, size_t column) {
  for (size_t row = 0; row < kTmpCompRows; ++row)
    cells.set(kBandSlots + table_cell(row, column), dec_text(head.get32s(table_value(row, column))), kMarkValue);
}

// The export's read: the columns of the slots that hold a band.
void read_tmp_comp(ReadCells& out, const std::u16string& path) {
  NvBlock head(0, kHeadSize);
  load_blocks(path, NvFile::Mode::ReadOnly, {&head}, &msg::kOpenFailedRead);

  ReadTexts cells(kReadCells, u"X", kMarkPlain);
  bool has_band[kBandSlots] = {};
  show_bands(head, cells, has_band);
  for (size_t slot = 0; slot < kBandSlots; ++slot) {
    if (!has_band[slot]) continue;
    for (size_t v = 0; v < kValuesPerRow; ++v) show_column(head, cells, kValuesPerRow * slot + v);
  }
  fill_read(out, cells, msg::kTmpCompReadCount);
}

}  // namespace
}  // namespace calvex::ltea

CALVEX_DEFINE_WRITE(SheetLteaTmpCompWr, calvex::ltea::write_tmp_comp)
CALVEX_DEFINE_READ(SheetLteaTmpCompRd, calvex::ltea::read_tmp_comp)

// ---- Decoder (decoders.h) ----
//
// calvex's read of the sheet (the export above stays as it is). The write
// stores the table columns of the first `count` slots, count being the
// number of non-empty bands, whichever slots are empty; the export shows the
// columns of the non-empty slots instead, which differ where the band list
// has a gap. The decoder shows the band cells as the export does ("%d", X
// for band 0) and the columns of the first `count` slots ("%d" signed), X
// in the others.

#include "decoders.h"

namespace calvex::ltea {
namespace {

void decode_tmp_comp(ReadCells& out, const std::u16string& path) {
  NvBlock head(0, kHeadSize);
  load_blocks(path, NvFile::Mode::ReadOnly, {&head}, &msg::kOpenFailedRead);
  ReadTexts cells(kReadCells, u"X", kMarkPlain);
  bool has_band[kBandSlots] = {};
  const size_t count = show_bands(head, cells, has_band);
  for (size_t column = 0; column < kValuesPerRow * count; ++column) show_column(head, cells, column);
  fill_read(out, cells, msg::kCellCountMismatch);
}

}  // namespace
}  // namespace calvex::ltea

const calvex::ReadBody calvex::decoders::kLteaTmpComp = calvex::ltea::decode_tmp_comp;
