// Definitions of the LTE sheets. Their writes are the layout-neutral
// operations: the layout switch picks the single or the merged NV layout.
#include <array>

#include "lte/lte_ctrl_word.h"
#include "sheet_def.h"

namespace calvex {
namespace {

using namespace lte;  // the NV layouts (lte_nv_map.h)

// ---- NV places the sheet units keep to themselves (spec Parts 4.1-4.4) ----

// Single layout table values.
constexpr uint32_t kSingleFilterOffset = 0x1794;  // 6 x u16
constexpr uint32_t kSingleMprOffset = 0x1750;     // 24 x u16
constexpr uint32_t kSinglePhseFirstOffset = 0x1748;   // cells 0-3, u16 each
constexpr uint32_t kSinglePhseSecondOffset = 0x1784;  // cells 4-7, u16 each
constexpr uint32_t kSingleCapacity0Offset = 0x1780;   // u32
constexpr uint32_t kSingleCapacity1Offset = 0x178C;   // u32
constexpr uint32_t kSingleAntTypeFlagOffset = 0x1790;  // u16: 0 MipiType, 1 GpioType
// Merged layout table values.
constexpr uint32_t kMergedFilterOffset = 0x0184;  // 6 x u16
constexpr uint32_t kMergedMprOffset = 0x0004;     // 24 x u16, then 18 zeros
constexpr uint32_t kMergedMprSize = 42 * 2;
// Merged Phse (cells 0, 1, 4, 5) and Capacity (cells 0, 1, each twice) interleave in 0x2C60-0x2C7F.
constexpr uint32_t kMergedPhseOffsets[] = {0x2C60, 0x2C68, 0x2C70, 0x2C78};
constexpr uint32_t kMergedCapacityOffsets[] = {0x2C64, 0x2C6C, 0x2C74, 0x2C7C};
// PWT and other flags: the same places in both layouts.
constexpr uint32_t kPwt2R1TFlagOffset = 0x1792;  // u16
constexpr uint32_t kPwtTxNvFlagOffset = 0x17A0;  // u32
constexpr uint32_t kPwtFlagsOffset = 0x17A4;     // u16 AptUseJ11PinFlag, u16 PwtEn, two 8-byte PWT words
constexpr uint32_t kPwtFlagsSize = 2 + 2 + 2 * kCtrlEntrySize;
// Merged switch/PA slot: band values 0 and 1 and 32 control word entries
// (slot bytes 0x000-0x107), band values 2 and 3 (0x2F8-0x2FB).
constexpr uint32_t kMergedSwitchPaHeadSize = 0x108;
constexpr uint32_t kMergedBandValues23 = 0x2F8;
constexpr uint32_t kMergedBandValues23Size = 4;
// Merged temperature compensation: band number at slot byte 0, 60 rows of
// two u32 at 0x118-0x2F7.
constexpr uint32_t kMergedTmpCompRows = 0x118;
constexpr uint32_t kMergedTmpCompRowsSize = 60 * 8;

// ---- Cell kinds ----

constexpr std::string_view kOpenWords[] = {"open"};
constexpr CellSpec kSwitchCell = keyword(kOpenWords, true);  // "open" writes; empty leaves the item alone
// PwtEn: "1" enables PWT, "0" (any other text) disables it.
constexpr std::string_view kOneZeroWords[] = {"1", "0"};
// AntType: exactly "MIPI" selects MipiType; any other text (GPIO) GpioType.
constexpr std::string_view kAntTypeWords[] = {"MIPI", "GPIO"};
// A MIPI word "A,D": A goes to bits 20 and up, D to bits 0-19 (both layouts
// keep 20 bits of A).
constexpr int64_t kMipiFieldMax = 0xFFFFF;
constexpr CellSpec kMipiCell = or_x(in_range(mipi_pair(3), 0, kMipiFieldMax));

// The single layout keeps 16 bits of a phase value, so 16 bits in both layouts.
constexpr RangeDef kFilterRanges[] = {{"FilterFlag", 6, 1, &msg::kLteFilterCells, dec(2, false)}};
constexpr RangeDef kMprRanges[] = {{"Mpr", 24, 1, &msg::kLteMprCells, dec(2, true)}};
// Rx/Tx FDD values (cells 0, 1), Rx/Tx TDD (2, 3), then the second pair of each.
constexpr RangeDef kPhseRanges[] = {{"Phse", 8, 1, &msg::kLtePhseCells, hex(2)}};
constexpr RangeDef kCapacityRanges[] = {{"Capacity", 2, 1, &msg::kLteCapacityCells, hex(4)}};
constexpr RangeDef kPwtRanges[] = {
    {"2R1TFlagSwitch", 1, 1, &msg::kLte2R1TFlagSwitchCells, kSwitchCell},
    {"2R1TFlag", 1, 1, &msg::kLte2R1TFlagCells, dec(2, false)},
    {"TxNvFlagSwitch", 1, 1, &msg::kTxNvFlagSwitchCells, kSwitchCell},
    {"TxNvFlag", 1, 1, &msg::kTxNvFlagCells, hex(4)},
    {"AptUseJ11PinFlagSwitch", 1, 1, &msg::kLteAptUseJ11PinFlagSwitchCells, kSwitchCell},
    {"AptUseJ11PinFlag", 1, 1, &msg::kLteAptUseJ11PinFlagCells, hex(2)},
    {"PwtEnSwitch", 1, 1, &msg::kLtePwtEnSwitchCells, kSwitchCell},
    {"PwtEn", 1, 1, &msg::kLtePwtEnCells, keyword(kOneZeroWords)},
    // 11 GPIO lines x PWT words A and B.
    {"PwtTable", 11, 2, &msg::kLtePwtTableCells, line_cell()},
};
// AntType; four band values per slot (12 slots): band value 0 ("X" skips
// the slot), band value 1 (decimal), band values 2 and 3 (16-bit hex); the
// other cells of a skipped slot are not read (empty or X). Truth table cell
// 128 * row + 8 * slot + state laid out 32 to a line: truth row r (11 Group0,
// 4 Group1, 11 Group2 lines, 4 MIPI words) fills lines 4r to 4r + 3, four
// slots of 8 states each; lines 120 to 164 are not used.
constexpr int kTruthLinesPerRow = 4;
constexpr int kMipiFirstLine = 26 * kTruthLinesPerRow;    // 104
constexpr int kUnusedFirstLine = 30 * kTruthLinesPerRow;  // 120
constexpr CellArea kBandInfoAreas[] = {{0, 1, 0, 1, or_blank(or_x(dec(4, true)))},
                                       {0, 2, 0, 2, or_blank(or_x(hex(2)))}};
constexpr CellArea kSwitchPaTruthAreas[] = {{kMipiFirstLine, 0, kUnusedFirstLine - kMipiFirstLine, 0, kMipiCell},
                                            {kUnusedFirstLine, 0, 0, 0, unused()}};
constexpr RangeDef kSwitchPaRanges[] = {
    {"AntType", 1, 1, &msg::kLteAntTypeCells, keyword(kAntTypeWords)},
    {"BandInfo", 12, 4, &msg::kBandInfoCells, or_x(dec(4, true)), kBandInfoAreas},
    {"SwitchPa", 165, 32, &msg::kSwitchPaTruthTableCells, line_cell(), kSwitchPaTruthAreas}};
// Band of each of the 12 slots (X skips it); 60 rows x 32 columns (two
// values per slot). The merged layout widens the first value of a pair
// without sign and the second with its sign; X stands for 0.
constexpr CellArea kTmpCompAreas[] = {{0, 1, 0, 1, or_x(dec(2, true))}, {0, 3, 0, 1, or_x(dec(2, true))},
                                      {0, 5, 0, 1, or_x(dec(2, true))}, {0, 7, 0, 1, or_x(dec(2, true))},
                                      {0, 9, 0, 1, or_x(dec(2, true))}, {0, 11, 0, 1, or_x(dec(2, true))},
                                      {0, 13, 0, 1, or_x(dec(2, true))}, {0, 15, 0, 1, or_x(dec(2, true))},
                                      {0, 17, 0, 1, or_x(dec(2, true))}, {0, 19, 0, 1, or_x(dec(2, true))},
                                      {0, 21, 0, 1, or_x(dec(2, true))}, {0, 23, 0, 1, or_x(dec(2, true))},
                                      {0, 25, 0, 1, or_x(dec(2, true))}, {0, 27, 0, 1, or_x(dec(2, true))},
                                      {0, 29, 0, 1, or_x(dec(2, true))}, {0, 31, 0, 1, or_x(dec(2, true))}};
constexpr RangeDef kTmpCompRanges[] = {
    {"Band", 1, 12, &msg::kLteTmpCompBandCells, or_x(dec(4, true))},
    {"TmpComp", 60, 32, &msg::kTmpCompDataCells, or_x(dec(2, false)), kTmpCompAreas}};

// ---- NV blocks per layout ----

// Every merged write but PWT's ends by clearing the spare block.
constexpr NvSpan kMergedSpare = {kMergedSpareOffset, kMergedSpareSize, NvLayout::Merged};

constexpr NvSpan kFilterBlocks[] = {{kSingleFilterOffset, 6 * 2, NvLayout::Single},
                                    {kMergedFilterOffset, 6 * 2, NvLayout::Merged},
                                    kMergedSpare};
constexpr NvSpan kMprBlocks[] = {{kSingleMprOffset, 24 * 2, NvLayout::Single},
                                 {kMergedMprOffset, kMergedMprSize, NvLayout::Merged},
                                 kMergedSpare};
constexpr NvSpan kPhseBlocks[] = {{kSinglePhseFirstOffset, 4 * 2, NvLayout::Single},
                                  {kSinglePhseSecondOffset, 4 * 2, NvLayout::Single},
                                  {kMergedPhseOffsets[0], 4, NvLayout::Merged},
                                  {kMergedPhseOffsets[1], 4, NvLayout::Merged},
                                  {kMergedPhseOffsets[2], 4, NvLayout::Merged},
                                  {kMergedPhseOffsets[3], 4, NvLayout::Merged},
                                  kMergedSpare};
constexpr NvSpan kCapacityBlocks[] = {{kSingleCapacity0Offset, 4, NvLayout::Single},
                                      {kSingleCapacity1Offset, 4, NvLayout::Single},
                                      {kMergedCapacityOffsets[0], 4, NvLayout::Merged},
                                      {kMergedCapacityOffsets[1], 4, NvLayout::Merged},
                                      {kMergedCapacityOffsets[2], 4, NvLayout::Merged},
                                      {kMergedCapacityOffsets[3], 4, NvLayout::Merged},
                                      kMergedSpare};
constexpr NvSpan kPwtBlocks[] = {{kPwt2R1TFlagOffset, 2}, {kPwtTxNvFlagOffset, 4}, {kPwtFlagsOffset, kPwtFlagsSize}};

// Switch/PA: single layout, the antenna type flag and the 12 records;
// merged layout, per slot 0-13 the band values and entries, then the spare block.
constexpr size_t kSwitchPaSpanCount = 2 + 2 * kMergedLayoutSlots + 1;
constexpr std::array<NvSpan, kSwitchPaSpanCount> switch_pa_blocks() {
  std::array<NvSpan, kSwitchPaSpanCount> spans{};
  size_t n = 0;
  spans[n++] = {kSingleAntTypeFlagOffset, 2, NvLayout::Single};
  spans[n++] = {kSingleSwitchPaBase, kSingleLayoutSlots * kSingleSwitchPaRecordSize, NvLayout::Single};
  for (size_t slot = 0; slot < kMergedLayoutSlots; ++slot) {
    spans[n++] = {merged_slot_offset(slot), kMergedSwitchPaHeadSize, NvLayout::Merged};
    spans[n++] = {merged_slot_offset(slot) + kMergedBandValues23, kMergedBandValues23Size, NvLayout::Merged};
  }
  spans[n++] = kMergedSpare;
  return spans;
}
constexpr auto kSwitchPaBlocks = switch_pa_blocks();

// Temperature compensation: single layout, the 12 records; merged layout,
// per slot 0-13 the band number and the 60 rows, then the spare block.
constexpr size_t kTmpCompSpanCount = 1 + 2 * kMergedLayoutSlots + 1;
constexpr std::array<NvSpan, kTmpCompSpanCount> tmp_comp_blocks() {
  std::array<NvSpan, kTmpCompSpanCount> spans{};
  size_t n = 0;
  spans[n++] = {kSingleTmpCompBase, kSingleLayoutSlots * kSingleTmpCompRecordSize, NvLayout::Single};
  for (size_t slot = 0; slot < kMergedLayoutSlots; ++slot) {
    spans[n++] = {merged_slot_offset(slot), 4, NvLayout::Merged};
    spans[n++] = {merged_slot_offset(slot) + kMergedTmpCompRows, kMergedTmpCompRowsSize, NvLayout::Merged};
  }
  spans[n++] = kMergedSpare;
  return spans;
}
constexpr auto kTmpCompBlocks = tmp_comp_blocks();

constexpr SheetDef kSheets[] = {
    {.name = "LteFilter",
     .family = Family::Lte,
     .summary = "LTE filter flags (6, decimal)",
     .write_export = "SheetLteFilterWr",
     .write = &ops::SheetLteFilterWr,
     .on_range_count = &msg::kLteFilterConfig,
     .ranges = kFilterRanges,
     .blocks = kFilterBlocks,
     .layout = NvLayout::Single},
    {.name = "LteMpr",
     .family = Family::Lte,
     .summary = "LTE MPR table (24, decimal)",
     .write_export = "SheetLteMprWr",
     .write = &ops::SheetLteMprWr,
     .on_range_count = &msg::kLteMprConfig,
     .ranges = kMprRanges,
     .blocks = kMprBlocks,
     .layout = NvLayout::Single},
    {.name = "LtePhse",
     .family = Family::Lte,
     .summary = "LTE phase values (8, hex); merged layout: FDD and TDD texts must match",
     .write_export = "SheetLtePhseWr",
     .write = &ops::SheetLtePhseWr,
     .on_range_count = &msg::kLtePhseConfig,
     .ranges = kPhseRanges,
     .blocks = kPhseBlocks,
     .layout = NvLayout::Single},
    {.name = "LteCapacity",
     .family = Family::Lte,
     .summary = "LTE capacity values (2, hex)",
     .write_export = "SheetLteCapacityWr",
     .write = &ops::SheetLteCapacityWr,
     .on_range_count = &msg::kLteCapacityConfig,
     .ranges = kCapacityRanges,
     .blocks = kCapacityBlocks,
     .layout = NvLayout::Single},
    {.name = "LtePwtAndOtherFlags",
     .family = Family::Lte,
     .summary = "LTE 2R1TFlag, TxNvFlag, AptUseJ11PinFlag and PWT table, each written when its switch is \"open\"",
     .write_export = "SheetLtePwtAndOtherFlags",
     .write = &ops::SheetLtePwtAndOtherFlags,
     .on_range_count = &msg::kLtePwtConfig,
     .ranges = kPwtRanges,
     .blocks = kPwtBlocks},
    {.name = "LteSwitchPaCtrlWord",
     .family = Family::Lte,
     .summary = "LTE switch/PA control words from the truth table (AntType \"MIPI\" or GPIO)",
     .write_export = "SheetLteSwitchPaCtrlWordWr",
     .write = &ops::SheetLteSwitchPaCtrlWordWr,
     .on_range_count = &msg::kLteSwitchPaConfig,
     .ranges = kSwitchPaRanges,
     .blocks = kSwitchPaBlocks,
     .layout = NvLayout::Single,
     .on_range_count_merged = &msg::kLteaSwitchPaConfig},
    {.name = "LteTmpComp",
     .family = Family::Lte,
     .summary = "LTE temperature compensation: band per slot, 60 rows of two values per slot",
     .write_export = "SheetLteTmpCompWr",
     .write = &ops::SheetLteTmpCompWr,
     .on_range_count = &msg::kLteTmpCompConfig,
     .ranges = kTmpCompRanges,
     .blocks = kTmpCompBlocks,
     .layout = NvLayout::Single},
};

}  // namespace

std::span<const SheetDef> lte_sheet_defs() { return kSheets; }

}  // namespace calvex
