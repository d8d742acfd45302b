// LTE phase: 8 hexadecimal cells, Rx and Tx values for FDD (cells 0, 1, 4, 5)
// and TDD (cells 2, 3, 6, 7). The single layout stores all eight as 16-bit
// values; the merged layout keeps one 32-bit value per FDD/TDD pair, so the
// two texts of a pair must be identical, and interleaves them with Capacity.
#include "boundary.h"
#include "lte_table.h"

namespace calvex::lte {
namespace {

constexpr size_t kPhseCells = 8;
constexpr size_t kSingleWidth = 2;
constexpr size_t kMergedWidth = 4;
constexpr uint32_t kSingleFirstHalfOffset = 0x1748;   // cells 0..3
constexpr uint32_t kSingleSecondHalfOffset = 0x1784;  // cells 4..7
constexpr size_t kHalfCells = 4;
constexpr uint32_t kMergedCell0Offset = 0x2C60;
constexpr uint32_t kMergedCell1Offset = 0x2C70;
constexpr uint32_t kMergedCell4Offset = 0x2C68;
constexpr uint32_t kMergedCell5Offset = 0x2C78;

constexpr TableRun kSingleRuns[] = {{0, kHalfCells, kSingleFirstHalfOffset, kSingleWidth},
                                    {kHalfCells, kHalfCells, kSingleSecondHalfOffset, kSingleWidth}};
constexpr TableRun kMergedRuns[] = {{0, 1, kMergedCell0Offset, kMergedWidth},
                                    {1, 1, kMergedCell1Offset, kMergedWidth},
                                    {4, 1, kMergedCell4Offset, kMergedWidth},
                                    {5, 1, kMergedCell5Offset, kMergedWidth}};
constexpr CellPair kFddTddPairs[] = {{0, 2}, {1, 3}, {4, 6}, {5, 7}};

constexpr TableSheet kSingle{Layout::Single,       kPhseCells,          CellParse::Hex,
                             &msg::kLtePhseConfig, &msg::kLtePhseCells, kSingleRuns};
constexpr TableSheet kMerged{Layout::Merged,      kPhseCells,  CellParse::Hex, &msg::kLtePhseConfig,
                             &msg::kLtePhseCells, kMergedRuns, kFddTddPairs,   &msg::kLtePhseFddTddMismatch};

void write_phse_single(const WriteArgs& args, const std::u16string& path) { write_table_sheet(args, path, kSingle); }
void write_phse_merged(const WriteArgs& args, const std::u16string& path) { write_table_sheet(args, path, kMerged); }

}  // namespace
}  // namespace calvex::lte

CALVEX_DEFINE_WRITE(SheetLtePhseWr_Lte, calvex::lte::write_phse_single)
CALVEX_DEFINE_WRITE(SheetLtePhseWr_LteMerge, calvex::lte::write_phse_merged)
