// TD-SCDMA temperature compensation, run by the table engine: two tables
// (A at 420, B at 500) of 20 pairs of 16-bit values, the first read back as
// unsigned, the second as signed. A sheet row holds pair i of table A, then
// pair i of table B.
#include "boundary.h"
#include "sheet_engine.h"
#include "sheets.h"
#include "tdscdma/tdscdma_nv_map.h"

namespace calvex::tdscdma {
namespace {

constexpr TableSheet kTmpComp{.def = &kTdscdmaTmpCompSheet, .on_read_count = &msg::kTmpCompReadCount};

}  // namespace
}  // namespace calvex::tdscdma

CALVEX_DEFINE_WRITE(SheetTdscdmaTmpCompWr, calvex::write_table_op<calvex::tdscdma::kTmpComp>)
CALVEX_DEFINE_READ(SheetTdscdmaTmpCompRd, calvex::read_table_op<calvex::tdscdma::kTmpComp>)
