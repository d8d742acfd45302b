// Definitions of the LTE sheets. Their writes are the layout-neutral
// operations: the layout switch picks the single or the merged NV layout.
#include "sheet_def.h"

namespace calvex {
namespace {

constexpr RangeDef kFilterRanges[] = {{"FilterFlag", 6, 1, &msg::kLteFilterCells, text()}};
constexpr RangeDef kMprRanges[] = {{"Mpr", 24, 1, &msg::kLteMprCells, text()}};
// Rx/Tx FDD values (cells 0, 1), Rx/Tx TDD (2, 3), then the second pair of each.
constexpr RangeDef kPhseRanges[] = {{"Phse", 8, 1, &msg::kLtePhseCells, text()}};
constexpr RangeDef kCapacityRanges[] = {{"Capacity", 2, 1, &msg::kLteCapacityCells, text()}};
constexpr RangeDef kPwtRanges[] = {
    {"2R1TFlagSwitch", 1, 1, &msg::kLte2R1TFlagSwitchCells, text()},
    {"2R1TFlag", 1, 1, &msg::kLte2R1TFlagCells, text()},
    {"TxNvFlagSwitch", 1, 1, &msg::kTxNvFlagSwitchCells, text()},
    {"TxNvFlag", 1, 1, &msg::kTxNvFlagCells, text()},
    {"AptUseJ11PinFlagSwitch", 1, 1, &msg::kLteAptUseJ11PinFlagSwitchCells, text()},
    {"AptUseJ11PinFlag", 1, 1, &msg::kLteAptUseJ11PinFlagCells, text()},
    {"PwtEnSwitch", 1, 1, &msg::kLtePwtEnSwitchCells, text()},
    {"PwtEn", 1, 1, &msg::kLtePwtEnCells, text()},
    // 11 GPIO lines x PWT words A and B.
    {"PwtTable", 11, 2, &msg::kLtePwtTableCells, text()},
};
// AntType; four band values per slot (12 slots); truth table cell
// 128 * row + 8 * slot + state laid out 32 to a line: truth row r (11 Group0,
// 4 Group1, 11 Group2 lines, 4 MIPI words) fills lines 4r to 4r + 3, four
// slots of 8 states each; lines 120 to 164 are not used.
constexpr RangeDef kSwitchPaRanges[] = {{"AntType", 1, 1, &msg::kLteAntTypeCells, text()},
                                        {"BandInfo", 12, 4, &msg::kBandInfoCells, text()},
                                        {"SwitchPa", 165, 32, &msg::kSwitchPaTruthTableCells, text()}};
// Band of each of the 12 slots; 60 rows x 32 columns (two values per slot).
constexpr RangeDef kTmpCompRanges[] = {{"Band", 1, 12, &msg::kLteTmpCompBandCells, text()},
                                       {"TmpComp", 60, 32, &msg::kTmpCompDataCells, text()}};

constexpr SheetDef kSheets[] = {
    {.name = "LteFilter",
     .family = Family::Lte,
     .summary = "LTE filter flags (6, decimal)",
     .write_export = "SheetLteFilterWr",
     .write = &ops::SheetLteFilterWr,
     .on_range_count = &msg::kLteFilterConfig,
     .ranges = kFilterRanges},
    {.name = "LteMpr",
     .family = Family::Lte,
     .summary = "LTE MPR table (24, decimal)",
     .write_export = "SheetLteMprWr",
     .write = &ops::SheetLteMprWr,
     .on_range_count = &msg::kLteMprConfig,
     .ranges = kMprRanges},
    {.name = "LtePhse",
     .family = Family::Lte,
     .summary = "LTE phase values (8, hex); merged layout: FDD and TDD texts must match",
     .write_export = "SheetLtePhseWr",
     .write = &ops::SheetLtePhseWr,
     .on_range_count = &msg::kLtePhseConfig,
     .ranges = kPhseRanges},
    {.name = "LteCapacity",
     .family = Family::Lte,
     .summary = "LTE capacity values (2, hex)",
     .write_export = "SheetLteCapacityWr",
     .write = &ops::SheetLteCapacityWr,
     .on_range_count = &msg::kLteCapacityConfig,
     .ranges = kCapacityRanges},
    {.name = "LtePwtAndOtherFlags",
     .family = Family::Lte,
     .summary = "LTE 2R1TFlag, TxNvFlag, AptUseJ11PinFlag and PWT table, each written when its switch is \"open\"",
     .write_export = "SheetLtePwtAndOtherFlags",
     .write = &ops::SheetLtePwtAndOtherFlags,
     .on_range_count = &msg::kLtePwtConfig,
     .ranges = kPwtRanges},
    // The range count message is the merged layout's kLteaSwitchPaConfig there.
    {.name = "LteSwitchPaCtrlWord",
     .family = Family::Lte,
     .summary = "LTE switch/PA control words from the truth table (AntType \"MIPI\" or GPIO)",
     .write_export = "SheetLteSwitchPaCtrlWordWr",
     .write = &ops::SheetLteSwitchPaCtrlWordWr,
     .on_range_count = &msg::kLteSwitchPaConfig,
     .ranges = kSwitchPaRanges},
    {.name = "LteTmpComp",
     .family = Family::Lte,
     .summary = "LTE temperature compensation: band per slot, 60 rows of two values per slot",
     .write_export = "SheetLteTmpCompWr",
     .write = &ops::SheetLteTmpCompWr,
     .on_range_count = &msg::kLteTmpCompConfig,
     .ranges = kTmpCompRanges},
};

}  // namespace

std::span<const SheetDef> lte_sheet_defs() { return kSheets; }

}  // namespace calvex
