// Common sheet: temperature DAC table. 27 DAC codes of 13 bits, one range of
// 27 cells, stored as unsigned 16-bit values in one block. An "X" cell or a
// code outside 1..0x1FFF refuses the write.
#include "boundary.h"
#include "common_nv_map.h"
#include "sheet_engine.h"
#include "sheets.h"

namespace calvex::common {
namespace {

// Cells in order: the first "X" or code out of range stops the write.
bool codes_ok(const Cells& cells, std::span<const uint32_t> values) {
  for (size_t i = 0; i < cells.size(); ++i) {
    if (is_x_mark(cells[i])) {
      show(msg::kTempDacNotNumber);
      return false;
    }
    const uint32_t code = static_cast<uint16_t>(values[i]);
    if (code < kTempDacCodeMin || code > kTempDacCodeMax) {
      show(msg::kTempDacOutOfRange);
      return false;
    }
  }
  return true;
}

// This sheet checks the output cells before it opens the image, and reads
// through a read/write open, as it always has.
constexpr TableSheet kTempDacTable{.def = &kTempDacTabSheet,
                                   .check_values = codes_ok,
                                   .read_mark = kMarkPlain,
                                   .on_read_count = &msg::kTempDacReadCount,
                                   .read_mode = NvFile::Mode::ReadWrite,
                                   .read_count_first = true};

}  // namespace
}  // namespace calvex::common

CALVEX_DEFINE_WRITE(SheetphyCommonTempDacTabWr, calvex::write_table_op<calvex::common::kTempDacTable>)
CALVEX_DEFINE_READ(SheetphyCommonTempDacTabRd, calvex::read_table_op<calvex::common::kTempDacTable>)
