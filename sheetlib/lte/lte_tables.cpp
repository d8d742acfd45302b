// The four LTE table sheets, run by the table engine in each layout. Every
// merged write also stores the zeroed spare block.
//
// Filter: 6 decimal cells, 16-bit values. MPR: 24 decimal cells, 16-bit
// values; the merged layout keeps 42 places and stores zeros in the 18
// behind the sheet's. Phase: 8 hexadecimal cells, Rx and Tx values for FDD
// (cells 0, 1, 4, 5) and TDD (cells 2, 3, 6, 7); the single layout stores
// all eight as 16-bit values, the merged layout one 32-bit value per
// FDD/TDD pair, so the two texts of a pair must be identical. Capacity: 2
// hexadecimal cells, 32-bit values; the merged layout stores each twice.
#include "boundary.h"
#include "lte/lte_nv_map.h"
#include "sheet_engine.h"
#include "sheets.h"

namespace calvex::lte {
namespace {

// Cells whose texts must be identical in the merged layout (FDD, TDD).
struct CellPair {
  size_t fdd;
  size_t tdd;
};
constexpr CellPair kFddTddPairs[] = {{0, 2}, {1, 3}, {4, 6}, {5, 7}};

// Compares the texts as entered, before any parsing.
bool fdd_tdd_pairs_match(const std::vector<Cells>& ranges) {
  for (const CellPair& pair : kFddTddPairs) {
    if (ranges[0][pair.fdd] != ranges[0][pair.tdd]) {
      show(msg::kLtePhseFddTddMismatch);
      return false;
    }
  }
  return true;
}

// ---- The sheets per layout ----

constexpr TableSheet kSingleFilter{.def = &kLteFilterSheet, .layout = NvLayout::Single};
constexpr TableSheet kMergedFilter{.def = &kLteFilterSheet, .layout = NvLayout::Merged};
constexpr TableSheet kSingleMpr{.def = &kLteMprSheet, .layout = NvLayout::Single};
constexpr TableSheet kMergedMpr{.def = &kLteMprSheet, .layout = NvLayout::Merged};
constexpr TableSheet kSinglePhse{.def = &kLtePhseSheet, .layout = NvLayout::Single};
constexpr TableSheet kMergedPhse{.def = &kLtePhseSheet, .layout = NvLayout::Merged, .check_cells = fdd_tdd_pairs_match};
constexpr TableSheet kSingleCapacity{.def = &kLteCapacitySheet, .layout = NvLayout::Single};
constexpr TableSheet kMergedCapacity{.def = &kLteCapacitySheet, .layout = NvLayout::Merged};

}  // namespace
}  // namespace calvex::lte

CALVEX_DEFINE_WRITE(SheetLteFilterWr_Lte, calvex::write_table_op<calvex::lte::kSingleFilter>)
CALVEX_DEFINE_WRITE(SheetLteFilterWr_LteMerge, calvex::write_table_op<calvex::lte::kMergedFilter>)
CALVEX_DEFINE_WRITE(SheetLteMprWr_Lte, calvex::write_table_op<calvex::lte::kSingleMpr>)
CALVEX_DEFINE_WRITE(SheetLteMprWr_LteMerge, calvex::write_table_op<calvex::lte::kMergedMpr>)
CALVEX_DEFINE_WRITE(SheetLtePhseWr_Lte, calvex::write_table_op<calvex::lte::kSinglePhse>)
CALVEX_DEFINE_WRITE(SheetLtePhseWr_LteMerge, calvex::write_table_op<calvex::lte::kMergedPhse>)
CALVEX_DEFINE_WRITE(SheetLteCapacityWr_Lte, calvex::write_table_op<calvex::lte::kSingleCapacity>)
CALVEX_DEFINE_WRITE(SheetLteCapacityWr_LteMerge, calvex::write_table_op<calvex::lte::kMergedCapacity>)

// ---- Decoders (decoders.h): the four tables read back in the layout the switch names ----

#include "decoders.h"

namespace calvex::lte {
namespace {

template <const TableSheet& Single, const TableSheet& Merged>
void decode_table(ReadCells& out, const std::u16string& path) {
  read_table(out, path, lte_layout_switch() != 0 ? Merged : Single);
}

}  // namespace
}  // namespace calvex::lte

const calvex::ReadBody calvex::decoders::kLteFilter =
    calvex::lte::decode_table<calvex::lte::kSingleFilter, calvex::lte::kMergedFilter>;
const calvex::ReadBody calvex::decoders::kLteMpr =
    calvex::lte::decode_table<calvex::lte::kSingleMpr, calvex::lte::kMergedMpr>;
const calvex::ReadBody calvex::decoders::kLtePhse =
    calvex::lte::decode_table<calvex::lte::kSinglePhse, calvex::lte::kMergedPhse>;
const calvex::ReadBody calvex::decoders::kLteCapacity =
    calvex::lte::decode_table<calvex::lte::kSingleCapacity, calvex::lte::kMergedCapacity>;
