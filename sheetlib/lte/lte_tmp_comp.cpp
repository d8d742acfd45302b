// LTE temperature compensation: per band slot a band number and 60 rows of
// two values. The single layout stores 244-byte records from 0x0BD4; the
// merged layout stores the band number at the start of the band slot and the
// rows as pairs of 32-bit values from slot byte 0x118, the first value
// widened without sign and the second with its sign.
#include <array>

#include "boundary.h"
#include "ctrl_word.h"
#include "lte/lte_nv_map.h"
#include "sheets.h"

namespace calvex::lte {
namespace {

enum Range : size_t { kBandsRange, kDataRange };

constexpr size_t kDataColumns = 32;  // two per band slot
constexpr size_t kValuesPerRow = 2;
constexpr size_t kDataCells = kTmpCompRows * kDataColumns;
static_assert(kBandSlots * kValuesPerRow == kDataColumns);

struct TmpRecord {
  uint32_t band = 0;
  std::array<std::array<uint16_t, kValuesPerRow>, kTmpCompRows> rows{};
};
using TmpRecords = std::array<TmpRecord, kBandSlots>;

std::vector<NvBlock> stage_single(const TmpRecords& records) {
  NvBlock block(kSingleTmpCompBase, kSingleLayoutSlots * kSingleTmpCompRecordSize);
  for (size_t b = 0; b < kSingleLayoutSlots; ++b) {
    const size_t base = b * kSingleTmpCompRecordSize;
    block.put32(base + kSingleTmpCompBandPos, records[b].band);
    for (size_t r = 0; r < kTmpCompRows; ++r) {
      block.put16(base + kSingleTmpCompRowsPos + r * kSingleTmpCompRowSize, records[b].rows[r][0]);
      block.put16(base + kSingleTmpCompRowsPos + r * kSingleTmpCompRowSize + 2, records[b].rows[r][1]);
    }
  }
  std::vector<NvBlock> blocks;
  blocks.push_back(std::move(block));
  return blocks;
}

std::vector<NvBlock> stage_merged(const TmpRecords& records) {
  std::vector<NvBlock> blocks;
  for (size_t b = 0; b < kMergedLayoutSlots; ++b) {
    NvBlock band(merged_slot_offset(b) + kMergedTmpCompBandPos, kMergedTmpCompBandSize);
    band.put32(0, records[b].band);
    NvBlock rows(merged_slot_offset(b) + kMergedTmpCompRowsPos, kMergedTmpCompRowsSize);
    for (size_t r = 0; r < kTmpCompRows; ++r) {
      const uint32_t first = records[b].rows[r][0];
      const uint32_t second = static_cast<uint32_t>(static_cast<int32_t>(static_cast<int16_t>(records[b].rows[r][1])));
      rows.put32(r * kMergedTmpCompRowSize, first);
      rows.put32(r * kMergedTmpCompRowSize + 4, second);
    }
    blocks.push_back(std::move(band));
    blocks.push_back(std::move(rows));
  }
  return blocks;
}

void write_tmp_comp(const WriteArgs& args, const std::u16string& path, Layout layout) {
  auto ranges = take_ranges(args, kLteTmpCompSheet, NvLayout::Any);
  if (!ranges) return;
  const std::vector<Cells>& r = *ranges;

  // Slots 12 to 15 have no cell: their empty text counts as band 0.
  const BandList bands = read_band_list(r[kBandsRange], kBandSlots);
  TmpRecords records{};
  for (size_t b = 0; b < kBandSlots; ++b) records[b].band = bands.bands[b];
  const size_t counted = bands.count;
  if (counted == 0) {
    show(msg::kNoBand);
    return;
  }

  // The first `counted` records take the first 2 * counted columns, whichever
  // slots were skipped.
  const Cells& data = r[kDataRange];
  for (size_t row = 0; row < kTmpCompRows; ++row) {
    for (size_t col = 0; col < kValuesPerRow * counted; ++col) {
      const auto value = static_cast<uint16_t>(ReadDec(data[row * kDataColumns + col]));
      records[col / kValuesPerRow].rows[row][col % kValuesPerRow] = value;
    }
  }

  std::vector<NvBlock> blocks = layout == Layout::Single ? stage_single(records) : stage_merged(records);
  if (layout == Layout::Merged) blocks.emplace_back(kMergedSpareOffset, kMergedSpareSize);
  if (!store_sheet_blocks(path, kLteTmpCompSheet, layout == Layout::Merged ? NvLayout::Merged : NvLayout::Single,
                          block_refs(blocks), msg::kOpenFailedWrite))
    return;
  show(msg::kDone);
}

void write_tmp_comp_single(const WriteArgs& args, const std::u16string& path) {
  write_tmp_comp(args, path, Layout::Single);
}
void write_tmp_comp_merged(const WriteArgs& args, const std::u16string& path) {
  write_tmp_comp(args, path, Layout::Merged);
}

}  // namespace
}  // namespace calvex::lte

CALVEX_DEFINE_WRITE(SheetLteTmpCompWr_Lte, calvex::lte::write_tmp_comp_single)
CALVEX_DEFINE_WRITE(SheetLteTmpCompWr_LteMerge, calvex::lte::write_tmp_comp_merged)

// ---- Decoder (decoders.h) ----
//
// Every band cell shows its stored band as a number ("0" for an empty slot:
// the write counts a slot with band 0 and puts the values of the first
// counted slots into the first records, so a read that shows every slot
// counted writes every record back as it is). Each record's rows go to the
// two columns of its slot; the columns of slots the layout has no record of
// show 0. The merged layout shows the low 16 bits of each 32-bit value.

#include "decoders.h"
#include "marks.h"
#include "sheet_engine.h"

namespace calvex::lte {
namespace {

void decode_tmp_comp(ReadCells& out, const std::u16string& path) {
  const Layout layout = lte_layout_switch() != 0 ? Layout::Merged : Layout::Single;
  std::vector<NvBlock> blocks;
  if (layout == Layout::Single) {
    blocks.emplace_back(kSingleTmpCompBase, kSingleLayoutSlots * kSingleTmpCompRecordSize);
  } else {
    for (size_t b = 0; b < kMergedLayoutSlots; ++b) blocks.emplace_back(merged_slot_offset(b), kMergedSlotSize);
  }
  NvFile file;
  if (open_nv(file, path, NvFile::Mode::ReadOnly, &msg::kOpenFailedRead)) {
    load_blocks(file, blocks);
    file.close();
  }

  const size_t slots = layout == Layout::Single ? kSingleLayoutSlots : kMergedLayoutSlots;
  TmpRecords records{};
  for (size_t b = 0; b < slots; ++b) {
    const NvBlock& block = layout == Layout::Single ? blocks[0] : blocks[b];
    const size_t base = layout == Layout::Single ? b * kSingleTmpCompRecordSize : 0;
    if (layout == Layout::Single) {
      records[b].band = block.get32(base + kSingleTmpCompBandPos);
    } else {
      records[b].band = block.get32(kMergedTmpCompBandPos);
    }
    for (size_t r = 0; r < kTmpCompRows; ++r) {
      for (size_t v = 0; v < kValuesPerRow; ++v) {
        records[b].rows[r][v] = static_cast<uint16_t>(
            layout == Layout::Single ? block.get16(base + kSingleTmpCompRowsPos + r * kSingleTmpCompRowSize + 2 * v)
                                     : block.get32(kMergedTmpCompRowsPos + r * kMergedTmpCompRowSize + 4 * v));
      }
    }
  }

  ReadTexts texts(kSheetBandSlots + kDataCells, u"0", kMarkValue);
  for (size_t b = 0; b < kSheetBandSlots; ++b) {
    texts.set(b, dec_text(static_cast<int32_t>(records[b].band)), kMarkValue);
  }
  for (size_t b = 0; b < slots; ++b) {
    for (size_t r = 0; r < kTmpCompRows; ++r) {
      const size_t cell = kSheetBandSlots + r * kDataColumns + b * kValuesPerRow;
      texts.set(cell, dec_text(records[b].rows[r][0]), kMarkValue);
      texts.set(cell + 1, dec_text(static_cast<int16_t>(records[b].rows[r][1])), kMarkValue);
    }
  }
  fill_read(out, texts, msg::kCellCountMismatch);
}

}  // namespace
}  // namespace calvex::lte

const calvex::ReadBody calvex::decoders::kLteTmpComp = calvex::lte::decode_tmp_comp;
