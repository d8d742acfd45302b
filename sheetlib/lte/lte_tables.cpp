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

namespace calvex::lte {
namespace {

constexpr uint8_t kValue16Size = 2;
constexpr uint8_t kValue32Size = 4;
constexpr NvSpan kSpareBlock{kMergedSpareOffset, kMergedSpareSize};

// ---- Filter ----

constexpr TableRange kFilterRanges[] = {{kFilterCells, &msg::kLteFilterCells, CellParse::Dec}};
constexpr NvSpan kSingleFilterBlocks[] = {{kSingleFilterOffset, kFilterCells * kValue16Size}};
constexpr CellRun kSingleFilterRuns[] = {cell_row(0, 0, kFilterCells, kSingleFilterOffset, kValue16Size)};
constexpr NvSpan kMergedFilterBlocks[] = {{kMergedFilterOffset, kFilterCells * kValue16Size}, kSpareBlock};
constexpr CellRun kMergedFilterRuns[] = {cell_row(0, 0, kFilterCells, kMergedFilterOffset, kValue16Size)};

// ---- MPR ----

constexpr TableRange kMprRanges[] = {{kMprCells, &msg::kLteMprCells, CellParse::Dec}};
constexpr NvSpan kSingleMprBlocks[] = {{kSingleMprOffset, kMprCells * kValue16Size}};
constexpr CellRun kSingleMprRuns[] = {cell_row(0, 0, kMprCells, kSingleMprOffset, kValue16Size)};
constexpr NvSpan kMergedMprBlocks[] = {{kMergedMprOffset, kMergedMprPlaces * kValue16Size}, kSpareBlock};
constexpr CellRun kMergedMprRuns[] = {cell_row(0, 0, kMprCells, kMergedMprOffset, kValue16Size)};

// ---- Phase ----

constexpr uint16_t kPhseCells = 2 * kPhseHalfCells;
constexpr TableRange kPhseRanges[] = {{kPhseCells, &msg::kLtePhseCells, CellParse::Hex}};
constexpr NvSpan kSinglePhseBlocks[] = {{kSinglePhseFirstHalfOffset, kPhseHalfCells * kValue16Size},
                                        {kSinglePhseSecondHalfOffset, kPhseHalfCells * kValue16Size}};
constexpr CellRun kSinglePhseRuns[] = {
    cell_row(0, 0, kPhseHalfCells, kSinglePhseFirstHalfOffset, kValue16Size),
    cell_row(0, kPhseHalfCells, kPhseHalfCells, kSinglePhseSecondHalfOffset, kValue16Size)};
constexpr NvSpan kMergedPhseBlocks[] = {{kMergedPhseCell0Offset, kValue32Size},
                                        {kMergedPhseCell1Offset, kValue32Size},
                                        {kMergedPhseCell4Offset, kValue32Size},
                                        {kMergedPhseCell5Offset, kValue32Size},
                                        kSpareBlock};
constexpr CellRun kMergedPhseRuns[] = {cell_row(0, 0, 1, kMergedPhseCell0Offset, kValue32Size),
                                       cell_row(0, 1, 1, kMergedPhseCell1Offset, kValue32Size),
                                       cell_row(0, 4, 1, kMergedPhseCell4Offset, kValue32Size),
                                       cell_row(0, 5, 1, kMergedPhseCell5Offset, kValue32Size)};

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

// ---- Capacity ----

constexpr uint16_t kCapacityCells = 2;
constexpr TableRange kCapacityRanges[] = {{kCapacityCells, &msg::kLteCapacityCells, CellParse::Hex}};
constexpr NvSpan kSingleCapacityBlocks[] = {{kSingleCapacity0Offset, kValue32Size},
                                            {kSingleCapacity1Offset, kValue32Size}};
constexpr CellRun kSingleCapacityRuns[] = {cell_row(0, 0, 1, kSingleCapacity0Offset, kValue32Size),
                                           cell_row(0, 1, 1, kSingleCapacity1Offset, kValue32Size)};
constexpr NvSpan kMergedCapacityBlocks[] = {{kMergedCapacity0Offsets[0], kValue32Size},
                                            {kMergedCapacity0Offsets[1], kValue32Size},
                                            {kMergedCapacity1Offsets[0], kValue32Size},
                                            {kMergedCapacity1Offsets[1], kValue32Size},
                                            kSpareBlock};
constexpr CellRun kMergedCapacityRuns[] = {cell_row(0, 0, 1, kMergedCapacity0Offsets[0], kValue32Size),
                                           cell_row(0, 0, 1, kMergedCapacity0Offsets[1], kValue32Size),
                                           cell_row(0, 1, 1, kMergedCapacity1Offsets[0], kValue32Size),
                                           cell_row(0, 1, 1, kMergedCapacity1Offsets[1], kValue32Size)};

// ---- The sheets per layout ----

constexpr TableSheet kSingleFilter{&msg::kLteFilterConfig, kFilterRanges, kSingleFilterBlocks, kSingleFilterRuns};
constexpr TableSheet kMergedFilter{&msg::kLteFilterConfig, kFilterRanges, kMergedFilterBlocks, kMergedFilterRuns};
constexpr TableSheet kSingleMpr{&msg::kLteMprConfig, kMprRanges, kSingleMprBlocks, kSingleMprRuns};
constexpr TableSheet kMergedMpr{&msg::kLteMprConfig, kMprRanges, kMergedMprBlocks, kMergedMprRuns};
constexpr TableSheet kSinglePhse{&msg::kLtePhseConfig, kPhseRanges, kSinglePhseBlocks, kSinglePhseRuns};
constexpr TableSheet kMergedPhse{.on_range_count = &msg::kLtePhseConfig,
                                 .ranges = kPhseRanges,
                                 .blocks = kMergedPhseBlocks,
                                 .runs = kMergedPhseRuns,
                                 .check_cells = fdd_tdd_pairs_match};
constexpr TableSheet kSingleCapacity{&msg::kLteCapacityConfig, kCapacityRanges, kSingleCapacityBlocks,
                                     kSingleCapacityRuns};
constexpr TableSheet kMergedCapacity{&msg::kLteCapacityConfig, kCapacityRanges, kMergedCapacityBlocks,
                                     kMergedCapacityRuns};

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
//
// The values are shown as the ranges hold them: filter unsigned, MPR signed,
// phase and capacity hexadecimal. The merged layout keeps one phase value per
// FDD/TDD pair (the TDD cells show their FDD partner's) and each capacity
// value twice (the first copy is shown).

#include "decoders.h"

namespace calvex::lte {
namespace {

constexpr CellRun kSingleFilterReadRuns[] = {cell_row(0, 0, kFilterCells, kSingleFilterOffset, kValue16Size)};
constexpr CellRun kMergedFilterReadRuns[] = {cell_row(0, 0, kFilterCells, kMergedFilterOffset, kValue16Size)};
constexpr CellRun kSingleMprReadRuns[] = {
    cell_row(0, 0, kMprCells, kSingleMprOffset, kValue16Size, ValueFormat::Signed)};
constexpr CellRun kMergedMprReadRuns[] = {
    cell_row(0, 0, kMprCells, kMergedMprOffset, kValue16Size, ValueFormat::Signed)};
constexpr CellRun kSinglePhseReadRuns[] = {
    cell_row(0, 0, kPhseHalfCells, kSinglePhseFirstHalfOffset, kValue16Size, ValueFormat::Hex),
    cell_row(0, kPhseHalfCells, kPhseHalfCells, kSinglePhseSecondHalfOffset, kValue16Size, ValueFormat::Hex)};
constexpr CellRun kMergedPhseReadRuns[] = {cell_row(0, 0, 1, kMergedPhseCell0Offset, kValue32Size, ValueFormat::Hex),
                                           cell_row(0, 1, 1, kMergedPhseCell1Offset, kValue32Size, ValueFormat::Hex),
                                           cell_row(0, 2, 1, kMergedPhseCell0Offset, kValue32Size, ValueFormat::Hex),
                                           cell_row(0, 3, 1, kMergedPhseCell1Offset, kValue32Size, ValueFormat::Hex),
                                           cell_row(0, 4, 1, kMergedPhseCell4Offset, kValue32Size, ValueFormat::Hex),
                                           cell_row(0, 5, 1, kMergedPhseCell5Offset, kValue32Size, ValueFormat::Hex),
                                           cell_row(0, 6, 1, kMergedPhseCell4Offset, kValue32Size, ValueFormat::Hex),
                                           cell_row(0, 7, 1, kMergedPhseCell5Offset, kValue32Size, ValueFormat::Hex)};
constexpr CellRun kSingleCapacityReadRuns[] = {
    cell_row(0, 0, 1, kSingleCapacity0Offset, kValue32Size, ValueFormat::Hex),
    cell_row(0, 1, 1, kSingleCapacity1Offset, kValue32Size, ValueFormat::Hex)};
constexpr CellRun kMergedCapacityReadRuns[] = {
    cell_row(0, 0, 1, kMergedCapacity0Offsets[0], kValue32Size, ValueFormat::Hex),
    cell_row(0, 1, 1, kMergedCapacity1Offsets[0], kValue32Size, ValueFormat::Hex)};

// The merged sheets' blocks without the spare block, which a read does not show.
constexpr std::span<const NvSpan> without_spare(std::span<const NvSpan> blocks) {
  return blocks.first(blocks.size() - 1);
}

constexpr TableSheet kSingleFilterRead{&msg::kLteFilterConfig, kFilterRanges, kSingleFilterBlocks, kSingleFilterReadRuns};
constexpr TableSheet kMergedFilterRead{&msg::kLteFilterConfig, kFilterRanges, without_spare(kMergedFilterBlocks),
                                       kMergedFilterReadRuns};
constexpr TableSheet kSingleMprRead{&msg::kLteMprConfig, kMprRanges, kSingleMprBlocks, kSingleMprReadRuns};
constexpr TableSheet kMergedMprRead{&msg::kLteMprConfig, kMprRanges, without_spare(kMergedMprBlocks),
                                    kMergedMprReadRuns};
constexpr TableSheet kSinglePhseRead{&msg::kLtePhseConfig, kPhseRanges, kSinglePhseBlocks, kSinglePhseReadRuns};
constexpr TableSheet kMergedPhseRead{&msg::kLtePhseConfig, kPhseRanges, without_spare(kMergedPhseBlocks),
                                     kMergedPhseReadRuns};
constexpr TableSheet kSingleCapacityRead{&msg::kLteCapacityConfig, kCapacityRanges, kSingleCapacityBlocks,
                                         kSingleCapacityReadRuns};
constexpr TableSheet kMergedCapacityRead{&msg::kLteCapacityConfig, kCapacityRanges,
                                         without_spare(kMergedCapacityBlocks), kMergedCapacityReadRuns};

template <const TableSheet& Single, const TableSheet& Merged>
void decode_table(ReadCells& out, const std::u16string& path) {
  read_table(out, path, lte_layout_switch() != 0 ? Merged : Single);
}

}  // namespace
}  // namespace calvex::lte

const calvex::ReadBody calvex::decoders::kLteFilter =
    calvex::lte::decode_table<calvex::lte::kSingleFilterRead, calvex::lte::kMergedFilterRead>;
const calvex::ReadBody calvex::decoders::kLteMpr =
    calvex::lte::decode_table<calvex::lte::kSingleMprRead, calvex::lte::kMergedMprRead>;
const calvex::ReadBody calvex::decoders::kLtePhse =
    calvex::lte::decode_table<calvex::lte::kSinglePhseRead, calvex::lte::kMergedPhseRead>;
const calvex::ReadBody calvex::decoders::kLteCapacity =
    calvex::lte::decode_table<calvex::lte::kSingleCapacityRead, calvex::lte::kMergedCapacityRead>;
