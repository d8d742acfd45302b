// LTE filter flags: 6 decimal cells, stored as 16-bit values.
#include "boundary.h"
#include "lte_table.h"

namespace calvex::lte {
namespace {

constexpr size_t kFilterCells = 6;
constexpr size_t kFilterWidth = 2;
constexpr uint32_t kSingleFilterOffset = 0x1794;
constexpr uint32_t kMergedFilterOffset = 0x0184;

constexpr TableRun kSingleRuns[] = {{0, kFilterCells, kSingleFilterOffset, kFilterWidth}};
constexpr TableRun kMergedRuns[] = {{0, kFilterCells, kMergedFilterOffset, kFilterWidth}};

constexpr TableSheet kSingle{Layout::Single,         kFilterCells,          CellParse::Dec,
                             &msg::kLteFilterConfig, &msg::kLteFilterCells, kSingleRuns};
constexpr TableSheet kMerged{Layout::Merged,         kFilterCells,          CellParse::Dec,
                             &msg::kLteFilterConfig, &msg::kLteFilterCells, kMergedRuns};

void write_filter_single(const WriteArgs& args, const std::u16string& path) { write_table_sheet(args, path, kSingle); }
void write_filter_merged(const WriteArgs& args, const std::u16string& path) { write_table_sheet(args, path, kMerged); }

}  // namespace
}  // namespace calvex::lte

CALVEX_DEFINE_WRITE(SheetLteFilterWr_Lte, calvex::lte::write_filter_single)
CALVEX_DEFINE_WRITE(SheetLteFilterWr_LteMerge, calvex::lte::write_filter_merged)
