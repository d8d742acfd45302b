// TD-SCDMA temperature compensation, run by the table engine: two tables
// (A at 420, B at 500) of 20 pairs of 16-bit values, the first read back as
// unsigned, the second as signed. A sheet row holds pair i of table A, then
// pair i of table B.
#include "boundary.h"
#include "sheet_engine.h"
#include "tdscdma/tdscdma_nv_map.h"

namespace calvex::tdscdma {
namespace {

constexpr uint16_t kCellsPerRow = 4;  // A first, A second, B first, B second
constexpr uint8_t kValueSize = 2;

constexpr TableRange kRanges[] = {{kTmpCompPairs * kCellsPerRow, &msg::kTmpCompDataCells, CellParse::Dec}};
constexpr NvSpan kBlocks[] = {{kTmpCompAOffset, kTmpCompBothTablesSize}};

// Column c of the sheet: value c % 2 of the pairs of table c / 2.
constexpr CellRun column_run(uint16_t c, uint32_t table, ValueFormat format) {
  return {.first = c,
          .rows = kTmpCompPairs,
          .cell_row_step = kCellsPerRow,
          .offset = table + static_cast<uint32_t>((c % 2) * kTmpCompSecondValuePos),
          .row_step = kTmpCompPairSize,
          .width = kValueSize,
          .format = format};
}
constexpr CellRun kRuns[] = {column_run(0, kTmpCompAOffset, ValueFormat::Unsigned),
                             column_run(1, kTmpCompAOffset, ValueFormat::Signed),
                             column_run(2, kTmpCompBOffset, ValueFormat::Unsigned),
                             column_run(3, kTmpCompBOffset, ValueFormat::Signed)};

constexpr TableSheet kTmpComp{.on_range_count = &msg::kTdTmpCompConfig,
                              .ranges = kRanges,
                              .blocks = kBlocks,
                              .runs = kRuns,
                              .on_read_count = &msg::kTmpCompReadCount};

}  // namespace
}  // namespace calvex::tdscdma

CALVEX_DEFINE_WRITE(SheetTdscdmaTmpCompWr, calvex::write_table_op<calvex::tdscdma::kTmpComp>)
CALVEX_DEFINE_READ(SheetTdscdmaTmpCompRd, calvex::read_table_op<calvex::tdscdma::kTmpComp>)
