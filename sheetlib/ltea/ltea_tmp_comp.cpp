// LTE-A temperature compensation sheet: a table of 60 rows x 2 signed 32-bit
// values in each band record (record offsets 280..759). The band list
// belongs to the switch/PA sheet: the write only checks that the sheet's
// band cells match the image's bands slot by slot before it writes.
#include "boundary.h"
#include "ltea/ltea_context.h"

namespace calvex::ltea {
namespace {

constexpr size_t kBandRange = 0;
constexpr size_t kTableRange = 1;
constexpr size_t kValuesPerRow = 2;
constexpr size_t kTableColumns = kBandSlots * kValuesPerRow;  // 32: columns 2k, 2k + 1 are slot k
constexpr size_t kTableCells = kTmpCompRows * kTableColumns;  // 1920
constexpr size_t kReadCells = kBandSlots + kTableCells;       // 1936
constexpr uint32_t kValueSize = 4;

constexpr RangeRule kRanges[] = {{kBandSlots, &msg::kLteaTmpCompBandRange},
                                 {kTableCells, &msg::kLteaTmpCompTableRange}};

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
  auto ranges = take_ranges(args, msg::kLteaTmpCompConfig, kRanges);
  if (!ranges) return;
  LteaContext ctx;
  ctx.band_texts = std::move((*ranges)[kBandRange]);
  const Cells& table = (*ranges)[kTableRange];

  NvFile check;
  if (!open_nv(check, path, NvFile::Mode::ReadWrite, &msg::kOpenFailedBin)) return;
  load_blocks(check, {&ctx.head});

  bool band_order_ok = true;
  for (size_t slot = 0; slot < kBandSlots; ++slot) {
    std::u16string& cell = ctx.band_texts[slot];
    if (is_empty_band_cell(cell)) cell.assign(1, kEmptyBandMark);
    const std::u16string image_text = image_band_text(ctx.head, slot);
    if (cell != image_text) {
      show(msg::kLteaTmpCompBandMismatch, {cell, image_text});
      band_order_ok = false;
      break;
    }
  }
  check.close();

  size_t band_count = 0;
  for (size_t slot = 0; slot < kBandSlots; ++slot) {
    const std::u16string& cell = ctx.band_texts[slot];
    uint32_t band = 0;
    if (!is_x_mark(cell)) {
      band = static_cast<uint32_t>(ReadDec(cell));
      ++band_count;
    }
    ctx.head.put32(band_field(slot, kRecBandNumber), band);
  }
  if (band_count == 0) {
    show(msg::kNoBand);
    return;
  }

  // Only the columns of the first band_count slots are read; the others keep
  // the image's values.
  for (size_t row = 0; row < kTmpCompRows; ++row) {
    for (size_t column = 0; column < kValuesPerRow * band_count; ++column) {
      ctx.head.put32(table_value(row, column), static_cast<uint32_t>(ReadDec(table[table_cell(row, column)])));
    }
  }
  if (!band_order_ok) {
    show(msg::kTmpCompBandOrder);
    return;
  }

  std::vector<NvBlock> spans;
  for (size_t slot = 0; slot < kBandSlots; ++slot) {
    spans.push_back(ctx.head.slice(band_field(slot, kRecBandNumber), kValueSize));
    spans.push_back(ctx.head.slice(band_field(slot, kRecTmpComp), kTmpCompSize));
  }
  if (!store_blocks(path, block_refs(spans), msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

void read_tmp_comp(ReadCells& out, const std::u16string& path) {
  LteaContext ctx;
  load_nv_head(ctx.head, path, msg::kOpenFailedRead);

  Cells texts(kReadCells, u"X");
  std::vector<int32_t> marks(kReadCells, kMarkPlain);
  if (out.count() != static_cast<int32_t>(kReadCells)) {
    show(msg::kTmpCompReadCount);
    return;
  }
  for (size_t slot = 0; slot < kBandSlots; ++slot) {
    const int32_t band = ctx.head.get32s(band_field(slot, kRecBandNumber));
    if (band == 0) continue;
    texts[slot] = dec_text(band);
    for (size_t row = 0; row < kTmpCompRows; ++row) {
      for (size_t v = 0; v < kValuesPerRow; ++v) {
        const size_t column = kValuesPerRow * slot + v;
        const size_t cell = kBandSlots + table_cell(row, column);
        texts[cell] = dec_text(ctx.head.get32s(table_value(row, column)));
        marks[cell] = kMarkValue;
      }
    }
  }
  for (size_t i = 0; i < kReadCells; ++i) out.assign(static_cast<int32_t>(i), texts[i], marks[i]);
}

}  // namespace
}  // namespace calvex::ltea

CALVEX_DEFINE_WRITE(SheetLteaTmpCompWr, calvex::ltea::write_tmp_comp)
CALVEX_DEFINE_READ(SheetLteaTmpCompRd, calvex::ltea::read_tmp_comp)
