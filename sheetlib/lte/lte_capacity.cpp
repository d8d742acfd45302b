// LTE capacity: 2 hexadecimal cells stored as 32-bit values; the merged
// layout stores each twice, between the Phse values.
#include "boundary.h"
#include "lte_table.h"

namespace calvex::lte {
namespace {

constexpr size_t kCapacityCells = 2;
constexpr size_t kCapacityWidth = 4;
constexpr uint32_t kSingleCell0Offset = 0x1780;
constexpr uint32_t kSingleCell1Offset = 0x178C;
constexpr uint32_t kMergedCell0Offsets[] = {0x2C64, 0x2C74};
constexpr uint32_t kMergedCell1Offsets[] = {0x2C6C, 0x2C7C};

constexpr TableRun kSingleRuns[] = {{0, 1, kSingleCell0Offset, kCapacityWidth},
                                    {1, 1, kSingleCell1Offset, kCapacityWidth}};
constexpr TableRun kMergedRuns[] = {{0, 1, kMergedCell0Offsets[0], kCapacityWidth},
                                    {0, 1, kMergedCell0Offsets[1], kCapacityWidth},
                                    {1, 1, kMergedCell1Offsets[0], kCapacityWidth},
                                    {1, 1, kMergedCell1Offsets[1], kCapacityWidth}};

constexpr TableSheet kSingle{Layout::Single,           kCapacityCells,          CellParse::Hex,
                             &msg::kLteCapacityConfig, &msg::kLteCapacityCells, kSingleRuns};
constexpr TableSheet kMerged{Layout::Merged,           kCapacityCells,          CellParse::Hex,
                             &msg::kLteCapacityConfig, &msg::kLteCapacityCells, kMergedRuns};

void write_capacity_single(const WriteArgs& args, const std::u16string& path) {
  write_table_sheet(args, path, kSingle);
}
void write_capacity_merged(const WriteArgs& args, const std::u16string& path) {
  write_table_sheet(args, path, kMerged);
}

}  // namespace
}  // namespace calvex::lte

CALVEX_DEFINE_WRITE(SheetLteCapacityWr_Lte, calvex::lte::write_capacity_single)
CALVEX_DEFINE_WRITE(SheetLteCapacityWr_LteMerge, calvex::lte::write_capacity_merged)
