// The LTE-A table sheets, run by the table engine; every read-back cell
// carries the value mark.
//
// Filter: six 16-bit filter values at 388, decimal. MPR: 42 signed 16-bit
// entries at 4, decimal. Phase and capacity: the 32-bit phase or capacity
// value of each of the four phase/capacity pairs, hexadecimal, sheet cell i
// at pair kPairOfCell[i].
#include "boundary.h"
#include "ltea/ltea_nv_map.h"
#include "sheet_engine.h"
#include "sheets.h"

namespace calvex::ltea {
namespace {

constexpr TableSheet kFilter{.def = &kLteaFilterSheet};
constexpr TableSheet kMpr{.def = &kLteaMprSheet};
constexpr TableSheet kPhse{.def = &kLteaPhseSheet};
constexpr TableSheet kCapacity{.def = &kLteaCapacitySheet};

}  // namespace
}  // namespace calvex::ltea

CALVEX_DEFINE_WRITE(SheetLteaFilterWr, calvex::write_table_op<calvex::ltea::kFilter>)
CALVEX_DEFINE_READ(SheetLteaFilterRd, calvex::read_table_op<calvex::ltea::kFilter>)
CALVEX_DEFINE_WRITE(SheetLteaMprWr, calvex::write_table_op<calvex::ltea::kMpr>)
CALVEX_DEFINE_READ(SheetLteaMprRd, calvex::read_table_op<calvex::ltea::kMpr>)
CALVEX_DEFINE_WRITE(SheetLteaPhseWr, calvex::write_table_op<calvex::ltea::kPhse>)
CALVEX_DEFINE_READ(SheetLteaPhseRd, calvex::read_table_op<calvex::ltea::kPhse>)
CALVEX_DEFINE_WRITE(SheetLteaCapacityWr, calvex::write_table_op<calvex::ltea::kCapacity>)
CALVEX_DEFINE_READ(SheetLteaCapacityRd, calvex::read_table_op<calvex::ltea::kCapacity>)
