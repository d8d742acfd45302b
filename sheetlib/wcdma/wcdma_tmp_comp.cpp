// WCDMA temperature compensation: 40 pairs of 16-bit values per band slot,
// at the start of each slot's block. The sheet's band cells must list the
// bands of the image's band list (written by the switch/PA sheet), in the
// same order; the list and the count themselves are never written here.
#include "boundary.h"
#include "wcdma/wcdma_head.h"

namespace calvex::wcdma {
namespace {

constexpr size_t kBandCells = kBandSlots;
constexpr size_t kRows = 40;
constexpr size_t kColumnsPerSlot = 2;                      // first value, second value
constexpr size_t kColumns = kBandSlots * kColumnsPerSlot;  // 16
constexpr size_t kTableCells = kRows * kColumns;           // 640
constexpr size_t kReadCells = kBandCells + kTableCells;    // 648
constexpr size_t kEntrySize = 4;  // low half: first value (unsigned), high half: second value (signed)
constexpr size_t kSecondValuePos = 2;
static_assert(kRows * kEntrySize <= kBandSlotBlockSize);

constexpr int32_t kMarkEmpty = 2;
constexpr int32_t kMarkValue = 17;

constexpr RangeRule kRanges[] = {{kBandCells, &msg::kWcdmaTmpCompBandCells}, {kTableCells, &msg::kTmpCompDataCells}};

constexpr uint32_t entry_offset(size_t slot, size_t row) {
  return band_slot_block(slot) + static_cast<uint32_t>(row * kEntrySize);
}

void write_tmp_comp(const WriteArgs& args, const std::u16string& path) {
  auto ranges = take_ranges(args, msg::kWcdmaTmpCompConfig, kRanges);
  if (!ranges) return;
  const Cells& band_cells = (*ranges)[0];
  const Cells& table = (*ranges)[1];

  // Band numbers by cell position ("X" gives 0); the count check expects the
  // bands in the first cells.
  uint32_t bands[kBandCells] = {};
  size_t slots = 0;
  for (size_t i = 0; i < kBandCells; ++i) {
    if (is_x_mark(band_cells[i])) continue;
    bands[i] = static_cast<uint32_t>(ReadDec(band_cells[i]));
    ++slots;
  }
  if (slots == 0) {
    show(msg::kNoBand);
    return;
  }

  // Entries of slot b, rows ascending, in one staged run per slot.
  std::vector<NvBlock> slot_tables;
  for (size_t b = 0; b < slots; ++b) {
    NvBlock entries(entry_offset(b, 0), kRows * kEntrySize);
    for (size_t r = 0; r < kRows; ++r) {
      const size_t cell = r * kColumns + b * kColumnsPerSlot;
      entries.put16(r * kEntrySize, static_cast<uint32_t>(ReadDec(table[cell])));
      entries.put16(r * kEntrySize + kSecondValuePos, static_cast<uint32_t>(ReadDec(table[cell + 1])));
    }
    slot_tables.push_back(std::move(entries));
  }

  NvFile file;
  if (!open_nv(file, path, NvFile::Mode::ReadWrite, &msg::kOpenFailedWrite)) return;
  NvBlock band_list(kBandListOffset, kBandSlots * kBandListEntrySize + kBandCountSize);
  load_blocks(file, {&band_list});
  bool same_bands = band_list.get32(kBandCountOffset - kBandListOffset) == slots;
  for (size_t i = 0; same_bands && i < slots; ++i) {
    same_bands = band_list.get32(i * kBandListEntrySize) == bands[i];
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
  if (out.count() != static_cast<int32_t>(kReadCells)) {
    show(msg::kTmpCompReadCount);
    return;
  }

  std::vector<std::u16string> texts(kReadCells, u"X");
  std::vector<int32_t> marks(kReadCells, kMarkEmpty);
  for (size_t i = 0; i < kBandCells; ++i) {
    const uint32_t band = stored_band(head, i);
    if (band == 0) continue;
    texts[i] = dec_text(static_cast<int32_t>(band));
    marks[i] = kMarkValue;
  }
  const size_t slots = stored_band_slots(head);
  for (size_t r = 0; r < kRows; ++r) {
    for (size_t b = 0; b < slots; ++b) {
      const size_t cell = kBandCells + r * kColumns + b * kColumnsPerSlot;
      const uint32_t offset = entry_offset(b, r);
      texts[cell] = dec_text(head.get16(offset));
      texts[cell + 1] = dec_text(head.get16s(offset + kSecondValuePos));
      marks[cell] = marks[cell + 1] = kMarkValue;
    }
  }
  for (size_t i = 0; i < kReadCells; ++i) out.assign(static_cast<int32_t>(i), texts[i], marks[i]);
}

}  // namespace
}  // namespace calvex::wcdma

CALVEX_DEFINE_WRITE(SheetWcdmaTmpCompWr, calvex::wcdma::write_tmp_comp)
CALVEX_DEFINE_READ(SheetWcdmaTmpCompRd, calvex::wcdma::read_tmp_comp)
