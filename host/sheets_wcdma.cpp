#include "catalogue.h"

namespace calvex_host {
namespace {

// 15 lines (GPIO_GROUP0 0-10, GPIO_GROUP1 0-3) x 2 states (exchange, no exchange).
constexpr RangeShape kAntExchangeRanges[] = {{"AntExchange", 15, 2}};
// Switches and enable words; band numbers (row 0) and maximum powers (row 1) of 8 entries.
constexpr RangeShape kMaxPowRanges[] = {
    {"HdelFlagSwitch", 1, 1}, {"HdelFlag", 1, 1}, {"BandEnSwitch", 1, 1}, {"BandEn", 1, 1}, {"BandMaxPow", 2, 8}};
// Number of interference points; 10 points x (first, second parameter).
constexpr RangeShape kNotchRanges[] = {{"NotchCount", 1, 1}, {"NotchParams", 10, 2}};
// Band list; 19 rows x 88 columns (8 band slots x 11 states).
constexpr RangeShape kSwitchPaRanges[] = {{"BandInfo", 1, 8}, {"TruthTable", 19, 88}};
// Band list; 40 rows x 16 columns (8 band slots x value pair).
constexpr RangeShape kTmpCompRanges[] = {{"BandInfo", 1, 8}, {"TmpComp", 40, 16}};

const SheetEntry kSheets[] = {
    // The read operation does not read the entries back (it only empties the
    // first cell), so the host offers no read for this sheet.
    {.name = "WcdmaAntExchange",
     .family = "wcdma",
     .summary = "WCDMA antenna exchange: GPIO words of the exchange and no-exchange states",
     .write = SheetWcdmaAntExchangeWr,
     .read = nullptr,
     .ranges = kAntExchangeRanges},
    {.name = "WcdmaMaxPow",
     .family = "wcdma",
     .summary = "WCDMA HdelFlag and BandEn switches and enable words, per-band maximum power",
     .write = SheetWcdmaMaxPowWr,
     .read = SheetWcdmaMaxPowRd,
     .ranges = kMaxPowRanges},
    {.name = "WcdmaNotch",
     .family = "wcdma",
     .summary = "WCDMA notch filter: number of interference points and 10 parameter pairs",
     .write = SheetWcdmaNotchWr,
     .read = SheetWcdmaNotchRd,
     .ranges = kNotchRanges},
    {.name = "WcdmaSwitchPaCtrlWord",
     .family = "wcdma",
     .summary = "WCDMA band list and truth table (19 rows x 8 bands x 11 states) of switch/PA control words",
     .write = SheetWcdmaSwitchPaCtrlWordWr,
     .read = SheetWcdmaSwitchPaCtrlWordRd,
     .ranges = kSwitchPaRanges},
    {.name = "WcdmaTmpComp",
     .family = "wcdma",
     .summary = "WCDMA temperature compensation: 40 value pairs per band of the band list",
     .write = SheetWcdmaTmpCompWr,
     .read = SheetWcdmaTmpCompRd,
     .ranges = kTmpCompRanges},
};

}  // namespace

std::span<const SheetEntry> wcdma_sheets() { return kSheets; }

}  // namespace calvex_host
