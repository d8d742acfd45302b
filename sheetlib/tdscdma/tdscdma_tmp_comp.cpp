// TD-SCDMA temperature compensation: two tables (A at 420, B at 500) of 20
// pairs of 16-bit values, the first read back as unsigned, the second as
// signed. A sheet row holds pair i of table A, then pair i of table B.
#include "boundary.h"

namespace calvex::tdscdma {
namespace {

constexpr uint32_t kTableAOffset = 420;  // 0x1A4
constexpr uint32_t kTableBOffset = 500;  // 0x1F4
constexpr size_t kPairs = 20;
constexpr size_t kPairSize = 4;  // first value, then second value
constexpr size_t kSecondValuePos = 2;
static_assert(kTableAOffset + kPairs * kPairSize == kTableBOffset);
static_assert(kTableBOffset + kPairs * kPairSize == 580);  // the switch/PA area follows

constexpr uint32_t kTableOffsets[] = {kTableAOffset, kTableBOffset};
constexpr size_t kTables = std::size(kTableOffsets);
constexpr size_t kCellsPerRow = kTables * 2;             // A first, A second, B first, B second
constexpr size_t kTmpCompCells = kPairs * kCellsPerRow;  // 80

constexpr int32_t kMarkValue = 17;

constexpr RangeRule kRanges[] = {{kTmpCompCells, &msg::kTmpCompDataCells}};

// Offset of value v (0: first, 1: second) of pair i of table t.
constexpr uint32_t value_offset(size_t t, size_t i, size_t v) {
  return kTableOffsets[t] + static_cast<uint32_t>(i * kPairSize + v * kSecondValuePos);
}

void write_tmp_comp(const WriteArgs& args, const std::u16string& path) {
  auto ranges = take_ranges(args, msg::kTdTmpCompConfig, kRanges);
  if (!ranges) return;
  const Cells& cells = (*ranges)[0];

  uint32_t values[kTmpCompCells];
  for (size_t c = 0; c < kTmpCompCells; ++c) values[c] = static_cast<uint16_t>(ReadDec(cells[c]));

  std::vector<NvBlock> staged;
  for (size_t i = 0; i < kPairs; ++i) {
    for (size_t k = 0; k < kCellsPerRow; ++k) {
      staged.push_back(value_block(value_offset(k / 2, i, k % 2), values[i * kCellsPerRow + k], kLe16Size));
    }
  }
  if (!store_blocks(path, block_refs(staged), msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

void read_tmp_comp(ReadCells& out, const std::u16string& path) {
  NvBlock tables(kTableAOffset, kTables * kPairs * kPairSize);
  load_blocks(path, NvFile::Mode::ReadOnly, {&tables}, &msg::kOpenFailedRead);
  if (out.count() != static_cast<int32_t>(kTmpCompCells)) {
    show(msg::kTmpCompReadCount);
    return;
  }
  for (size_t i = 0; i < kPairs; ++i) {
    for (size_t k = 0; k < kCellsPerRow; ++k) {
      const size_t pos = value_offset(k / 2, i, k % 2) - kTableAOffset;
      const int32_t value = k % 2 == 0 ? static_cast<int32_t>(tables.get16(pos)) : tables.get16s(pos);
      out.assign(static_cast<int32_t>(i * kCellsPerRow + k), dec_text(value), kMarkValue);
    }
  }
}

}  // namespace
}  // namespace calvex::tdscdma

CALVEX_DEFINE_WRITE(SheetTdscdmaTmpCompWr, calvex::tdscdma::write_tmp_comp)
CALVEX_DEFINE_READ(SheetTdscdmaTmpCompRd, calvex::tdscdma::read_tmp_comp)
