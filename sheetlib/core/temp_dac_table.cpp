// Common sheet: temperature DAC table. 27 DAC codes of 13 bits, one range of
// 27 cells, stored as unsigned 16-bit values in one block.
#include "boundary.h"

namespace calvex {
namespace {

constexpr uint32_t kTempDacTableOffset = 0x480;
constexpr size_t kTempDacEntries = 27;
constexpr size_t kTempDacEntrySize = 2;
constexpr uint32_t kTempDacMin = 1;
constexpr uint32_t kTempDacLimit = 0x2000;  // exclusive: 13-bit codes

constexpr RangeRule kRanges[] = {{kTempDacEntries, &msg::kTempDacRangeCount}};

void write_temp_dac_table(const WriteArgs& args, const std::u16string& path) {
  auto cells = take_ranges(args, msg::kSheetCommonConfig, kRanges);
  if (!cells) return;

  NvBlock table(kTempDacTableOffset, kTempDacEntries * kTempDacEntrySize);
  for (size_t i = 0; i < kTempDacEntries; ++i) {
    const std::u16string& text = (*cells)[0][i];
    if (is_x_mark(text)) {
      show(msg::kTempDacNotNumber);
      return;
    }
    const uint32_t value = static_cast<uint16_t>(ReadDec(text));
    if (value < kTempDacMin || value >= kTempDacLimit) {
      show(msg::kTempDacOutOfRange);
      return;
    }
    table.put16(i * kTempDacEntrySize, value);
  }

  if (!store_blocks(path, {&table}, msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

void read_temp_dac_table(ReadCells& out, const std::u16string& path) {
  if (out.count() != static_cast<int32_t>(kTempDacEntries)) {
    show(msg::kTempDacReadCount);
    return;
  }
  NvBlock table(kTempDacTableOffset, kTempDacEntries * kTempDacEntrySize);
  // This sheet reads through a read/write open, as it always has.
  load_blocks(path, NvFile::Mode::ReadWrite, {&table}, &msg::kOpenFailedRead);
  constexpr int32_t kMark = 2;
  for (size_t i = 0; i < kTempDacEntries; ++i) {
    out.assign(static_cast<int32_t>(i), dec_text(table.get16(i * kTempDacEntrySize)), kMark);
  }
}

}  // namespace
}  // namespace calvex

CALVEX_DEFINE_WRITE(SheetphyCommonTempDacTabWr, calvex::write_temp_dac_table)
CALVEX_DEFINE_READ(SheetphyCommonTempDacTabRd, calvex::read_temp_dac_table)
