// LTE MPR: 24 decimal cells, stored as 16-bit values. The merged layout keeps
// 42 places and fills the 18 behind the sheet's values with zeros.
#include "boundary.h"
#include "lte_table.h"

namespace calvex::lte {
namespace {

constexpr size_t kMprCells = 24;
constexpr size_t kMprWidth = 2;
constexpr uint32_t kSingleMprOffset = 0x1750;
constexpr uint32_t kMergedMprOffset = 0x0004;
constexpr size_t kMergedMprPlaces = 42;
constexpr uint32_t kMergedMprZerosOffset = kMergedMprOffset + kMprCells * kMprWidth;

static_assert(kMergedMprZerosOffset == 0x0034);
static_assert(kMergedMprOffset + kMergedMprPlaces * kMprWidth == 0x0058);

constexpr TableRun kSingleRuns[] = {{0, kMprCells, kSingleMprOffset, kMprWidth}};
constexpr TableRun kMergedRuns[] = {{0, kMprCells, kMergedMprOffset, kMprWidth},
                                    {kZeroFill, kMergedMprPlaces - kMprCells, kMergedMprZerosOffset, kMprWidth}};

constexpr TableSheet kSingle{Layout::Single,      kMprCells,          CellParse::Dec,
                             &msg::kLteMprConfig, &msg::kLteMprCells, kSingleRuns};
constexpr TableSheet kMerged{Layout::Merged,      kMprCells,          CellParse::Dec,
                             &msg::kLteMprConfig, &msg::kLteMprCells, kMergedRuns};

void write_mpr_single(const WriteArgs& args, const std::u16string& path) { write_table_sheet(args, path, kSingle); }
void write_mpr_merged(const WriteArgs& args, const std::u16string& path) { write_table_sheet(args, path, kMerged); }

}  // namespace
}  // namespace calvex::lte

CALVEX_DEFINE_WRITE(SheetLteMprWr_Lte, calvex::lte::write_mpr_single)
CALVEX_DEFINE_WRITE(SheetLteMprWr_LteMerge, calvex::lte::write_mpr_merged)
