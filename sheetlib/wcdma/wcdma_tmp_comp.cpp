// WCDMA temperature compensation: 40 pairs of 16-bit values per band slot,
// at the start of each slot's block. The sheet's band cells must list the
// bands of the image's band list (written by the switch/PA sheet), in the
// same order; the list and the count themselves are never written here.
#include "boundary.h"
#include "ctrl_word.h"
#include "sheet_engine.h"
#include "sheets.h"
#include "wcdma/wcdma_nv_map.h"

namespace calvex::wcdma {
namespace {

constexpr size_t kBandCells = kBandSlots;
constexpr size_t kColumnsPerSlot = 2;                      // first value, second value
constexpr size_t kColumns = kBandSlots * kColumnsPerSlot;  // 16
constexpr size_t kTableCells = kTmpCompRows * kColumns;    // 640
constexpr size_t kReadCells = kBandCells + kTableCells;    // 648

constexpr uint32_t entry_offset(size_t slot, size_t row) {
  return band_slot_block(slot) + static_cast<uint32_t>(row * kTmpCompEntrySize);
}

void write_tmp_comp(const WriteArgs& args, const std::u16string& path) {
  auto ranges = take_ranges(args, kWcdmaTmpCompSheet, NvLayout::Any);
  if (!ranges) return;
  const Cells& band_cells = (*ranges)[0];
  const Cells& table = (*ranges)[1];

  // Band numbers by cell position ("X" gives 0); the count check expects the
  // bands in the first cells.
  const BandList bands = read_band_list(band_cells, kBandCells);
  const size_t slots = bands.count;
  if (slots == 0) {
    show(msg::kNoBand);
    return;
  }

  // Entries of slot b, rows ascending, in one staged run per slot.
  std::vector<NvBlock> slot_tables;
  for (size_t b = 0; b < slots; ++b) {
    NvBlock entries(entry_offset(b, 0), kTmpCompTableSize);
    for (size_t r = 0; r < kTmpCompRows; ++r) {
      const size_t cell = r * kColumns + b * kColumnsPerSlot;
      entries.put16(r * kTmpCompEntrySize, static_cast<uint32_t>(ReadDec(table[cell])));
      entries.put16(r * kTmpCompEntrySize + kTmpCompSecondValuePos, static_cast<uint32_t>(ReadDec(table[cell + 1])));
    }
    slot_tables.push_back(std::move(entries));
  }
  require_in_blocks(kWcdmaTmpCompSheet, NvLayout::Any, block_refs(slot_tables));

  NvFile file;
  if (!open_nv(file, path, NvFile::Mode::ReadWrite, &msg::kOpenFailedWrite)) return;
  NvBlock band_list(kBandListOffset, kBandListAndCountSize);
  load_blocks(file, {&band_list});
  bool same_bands = band_list.get32(kBandCountOffset - kBandListOffset) == slots;
  for (size_t i = 0; same_bands && i < slots; ++i) {
    same_bands = band_list.get32(i * kBandListEntrySize) == bands.bands[i];
  }
  if (!same_bands) {
    file.close();
    show(msg::kTmpCompBandOrder);
    return;
  }
  store_blocks(file, block_refs(slot_tables));
  file.close();
  show(msg::kDone);
}

void read_tmp_comp(ReadCells& out, const std::u16string& path) {
  NvBlock head(0, kHeadSize);
  load_blocks(path, NvFile::Mode::ReadOnly, {&head}, &msg::kOpenFailedRead);

  ReadTexts cells(kReadCells, u"X", kMarkPlain);
  for (size_t i = 0; i < kBandCells; ++i) {
    const uint32_t band = stored_band(head, i);
    if (band != 0) cells.set(i, dec_text(static_cast<int32_t>(band)), kMarkValue);
  }
  const size_t slots = stored_band_slots(head);
  for (size_t r = 0; r < kTmpCompRows; ++r) {
    for (size_t b = 0; b < slots; ++b) {
      const size_t cell = kBandCells + r * kColumns + b * kColumnsPerSlot;
      const uint32_t offset = entry_offset(b, r);
      cells.set(cell, dec_text(head.get16(offset)), kMarkValue);
      cells.set(cell + 1, dec_text(head.get16s(offset + kTmpCompSecondValuePos)), kMarkValue);
    }
  }
  fill_read(out, cells, msg::kTmpCompReadCount);
}

}  // namespace
}  // namespace calvex::wcdma

CALVEX_DEFINE_WRITE(SheetWcdmaTmpCompWr, calvex::wcdma::write_tmp_comp)
CALVEX_DEFINE_READ(SheetWcdmaTmpCompRd, calvex::wcdma::read_tmp_comp)
