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

namespace calvex::ltea {
namespace {

constexpr uint8_t kValue16Size = 2;
constexpr uint8_t kValue32Size = 4;

constexpr TableRange kFilterRanges[] = {{kFilterCount, &msg::kLteaFilterRange, CellParse::Dec}};
constexpr NvSpan kFilterBlocks[] = {{kFilterOffset, kFilterCount * kValue16Size}};
constexpr CellRun kFilterRuns[] = {cell_row(0, 0, kFilterCount, kFilterOffset, kValue16Size)};
constexpr TableSheet kFilter{.on_range_count = &msg::kLteaFilterConfig,
                             .ranges = kFilterRanges,
                             .blocks = kFilterBlocks,
                             .runs = kFilterRuns};

constexpr TableRange kMprRanges[] = {{kMprCount, &msg::kLteaMprRange, CellParse::Dec}};
constexpr NvSpan kMprBlocks[] = {{kMprOffset, kMprCount * kValue16Size}};
constexpr CellRun kMprRuns[] = {cell_row(0, 0, kMprCount, kMprOffset, kValue16Size, ValueFormat::Signed)};
constexpr TableSheet kMpr{
    .on_range_count = &msg::kLteaMprConfig, .ranges = kMprRanges, .blocks = kMprBlocks, .runs = kMprRuns};

// NV offset of sheet cell i's field in its pair.
constexpr uint32_t pair_field(uint16_t cell, uint32_t field_in_pair) {
  return kPairsOffset + kPairSize * static_cast<uint32_t>(kPairOfCell[cell]) + field_in_pair;
}
// One block and one run per cell, in cell order.
constexpr std::array<NvSpan, kPairCount> pair_blocks(uint32_t field_in_pair) {
  std::array<NvSpan, kPairCount> blocks{};
  for (uint16_t i = 0; i < kPairCount; ++i) blocks[i] = {pair_field(i, field_in_pair), kValue32Size};
  return blocks;
}
constexpr std::array<CellRun, kPairCount> pair_runs(uint32_t field_in_pair) {
  std::array<CellRun, kPairCount> runs{};
  for (uint16_t i = 0; i < kPairCount; ++i) {
    runs[i] = cell_row(0, i, 1, pair_field(i, field_in_pair), kValue32Size, ValueFormat::Hex);
  }
  return runs;
}

constexpr TableRange kPhseRanges[] = {{kPairCount, &msg::kLteaPhseRange, CellParse::Hex}};
constexpr auto kPhseBlocks = pair_blocks(kPhaseInPair);
constexpr auto kPhseRuns = pair_runs(kPhaseInPair);
constexpr TableSheet kPhse{
    .on_range_count = &msg::kLteaPhseConfig, .ranges = kPhseRanges, .blocks = kPhseBlocks, .runs = kPhseRuns};

constexpr TableRange kCapacityRanges[] = {{kPairCount, &msg::kLteaCapacityRange, CellParse::Hex}};
constexpr auto kCapacityBlocks = pair_blocks(kCapacityInPair);
constexpr auto kCapacityRuns = pair_runs(kCapacityInPair);
constexpr TableSheet kCapacity{.on_range_count = &msg::kLteaCapacityConfig,
                               .ranges = kCapacityRanges,
                               .blocks = kCapacityBlocks,
                               .runs = kCapacityRuns};

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
