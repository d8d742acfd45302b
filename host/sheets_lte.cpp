#include "catalogue.h"

namespace calvex_host {
namespace {

// The LTE sheets call the layout-neutral exports: the layout switch (set from
// --layout, single by default) picks the single or the merged NV layout.
constexpr RangeShape kFilterRanges[] = {{"FilterFlag", 6, 1}};
constexpr RangeShape kMprRanges[] = {{"Mpr", 24, 1}};
// Rx/Tx FDD values (cells 0, 1), Rx/Tx TDD (2, 3), then the second pair of each.
constexpr RangeShape kPhseRanges[] = {{"Phse", 8, 1}};
constexpr RangeShape kCapacityRanges[] = {{"Capacity", 2, 1}};
constexpr RangeShape kPwtRanges[] = {
    {"2R1TFlagSwitch", 1, 1},
    {"2R1TFlag", 1, 1},
    {"TxNvFlagSwitch", 1, 1},
    {"TxNvFlag", 1, 1},
    {"AptUseJ11PinFlagSwitch", 1, 1},
    {"AptUseJ11PinFlag", 1, 1},
    {"PwtEnSwitch", 1, 1},
    {"PwtEn", 1, 1},
    // 11 GPIO lines x PWT words A and B.
    {"PwtTable", 11, 2},
};
// AntType; four band values per slot (12 slots); truth table cell
// 128 * row + 8 * slot + state laid out 32 to a line: truth row r (11 Group0,
// 4 Group1, 11 Group2 lines, 4 MIPI words) fills lines 4r to 4r + 3, four
// slots of 8 states each; lines 120 to 164 are not used.
constexpr RangeShape kSwitchPaRanges[] = {{"AntType", 1, 1}, {"BandInfo", 12, 4}, {"SwitchPa", 165, 32}};
// Band of each of the 12 slots; 60 rows x 32 columns (two values per slot).
constexpr RangeShape kTmpCompRanges[] = {{"Band", 1, 12}, {"TmpComp", 60, 32}};

const SheetEntry kSheets[] = {
    {.name = "LteFilter",
     .family = "lte",
     .summary = "LTE filter flags (6, decimal)",
     .write = SheetLteFilterWr,
     .read = nullptr,
     .ranges = kFilterRanges},
    {.name = "LteMpr",
     .family = "lte",
     .summary = "LTE MPR table (24, decimal)",
     .write = SheetLteMprWr,
     .read = nullptr,
     .ranges = kMprRanges},
    {.name = "LtePhse",
     .family = "lte",
     .summary = "LTE phase values (8, hex); merged layout: FDD and TDD texts must match",
     .write = SheetLtePhseWr,
     .read = nullptr,
     .ranges = kPhseRanges},
    {.name = "LteCapacity",
     .family = "lte",
     .summary = "LTE capacity values (2, hex)",
     .write = SheetLteCapacityWr,
     .read = nullptr,
     .ranges = kCapacityRanges},
    {.name = "LtePwtAndOtherFlags",
     .family = "lte",
     .summary = "LTE 2R1TFlag, TxNvFlag, AptUseJ11PinFlag and PWT table, each written when its switch is \"open\"",
     .write = SheetLtePwtAndOtherFlags,
     .read = nullptr,
     .ranges = kPwtRanges},
    {.name = "LteSwitchPaCtrlWord",
     .family = "lte",
     .summary = "LTE switch/PA control words from the truth table (AntType \"MIPI\" or GPIO)",
     .write = SheetLteSwitchPaCtrlWordWr,
     .read = nullptr,
     .ranges = kSwitchPaRanges},
    {.name = "LteTmpComp",
     .family = "lte",
     .summary = "LTE temperature compensation: band per slot, 60 rows of two values per slot",
     .write = SheetLteTmpCompWr,
     .read = nullptr,
     .ranges = kTmpCompRanges},
};

}  // namespace

std::span<const SheetEntry> lte_sheets() { return kSheets; }

}  // namespace calvex_host
