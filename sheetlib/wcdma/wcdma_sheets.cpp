// Definitions of the WCDMA sheets.
#include "sheet_def.h"

namespace calvex {
namespace {

// 15 lines (GPIO_GROUP0 0-10, GPIO_GROUP1 0-3) x 2 states (exchange, no exchange).
constexpr RangeDef kAntExchangeRanges[] = {{"AntExchange", 15, 2, &msg::kWcdmaAntCells, text()}};
// Switches and enable words; band numbers (row 0) and maximum powers (row 1) of 8 entries.
constexpr RangeDef kMaxPowRanges[] = {{"HdelFlagSwitch", 1, 1, &msg::kWcdmaHdelSwitchCells, text()},
                                      {"HdelFlag", 1, 1, &msg::kWcdmaHdelEnableCells, text()},
                                      {"BandEnSwitch", 1, 1, &msg::kWcdmaBandEnSwitchCells, text()},
                                      {"BandEn", 1, 1, &msg::kWcdmaBandEnEnableCells, text()},
                                      {"BandMaxPow", 2, 8, &msg::kWcdmaMaxPowTableCells, text()}};
// Number of interference points; 10 points x (first, second parameter).
constexpr RangeDef kNotchRanges[] = {{"NotchCount", 1, 1, &msg::kWcdmaNotchCountCells, text()},
                                     {"NotchParams", 10, 2, &msg::kWcdmaNotchParamCells, text()}};
// Band list; 19 rows x 88 columns (8 band slots x 11 states).
constexpr RangeDef kSwitchPaRanges[] = {{"BandInfo", 1, 8, &msg::kBandInfoCells, text()},
                                        {"TruthTable", 19, 88, &msg::kSwitchPaTruthTableCells, text()}};
// Band list; 40 rows x 16 columns (8 band slots x value pair).
constexpr RangeDef kTmpCompRanges[] = {{"BandInfo", 1, 8, &msg::kWcdmaTmpCompBandCells, text()},
                                       {"TmpComp", 40, 16, &msg::kTmpCompDataCells, text()}};

constexpr SheetDef kSheets[] = {
    // The read operation does not read the entries back (it only empties the
    // first cell), so the host offers no read for this sheet.
    {.name = "WcdmaAntExchange",
     .family = Family::Wcdma,
     .summary = "WCDMA antenna exchange: GPIO words of the exchange and no-exchange states",
     .write_export = "SheetWcdmaAntExchangeWr",
     .write = &ops::SheetWcdmaAntExchangeWr,
     .on_range_count = &msg::kWcdmaAntConfig,
     .ranges = kAntExchangeRanges},
    {.name = "WcdmaMaxPow",
     .family = Family::Wcdma,
     .summary = "WCDMA HdelFlag and BandEn switches and enable words, per-band maximum power",
     .write_export = "SheetWcdmaMaxPowWr",
     .read_export = "SheetWcdmaMaxPowRd",
     .write = &ops::SheetWcdmaMaxPowWr,
     .read = &ops::SheetWcdmaMaxPowRd,
     .on_range_count = &msg::kWcdmaMaxPowConfig,
     .ranges = kMaxPowRanges},
    {.name = "WcdmaNotch",
     .family = Family::Wcdma,
     .summary = "WCDMA notch filter: number of interference points and 10 parameter pairs",
     .write_export = "SheetWcdmaNotchWr",
     .read_export = "SheetWcdmaNotchRd",
     .write = &ops::SheetWcdmaNotchWr,
     .read = &ops::SheetWcdmaNotchRd,
     .on_range_count = &msg::kWcdmaNotchConfig,
     .ranges = kNotchRanges},
    {.name = "WcdmaSwitchPaCtrlWord",
     .family = Family::Wcdma,
     .summary = "WCDMA band list and truth table (19 rows x 8 bands x 11 states) of switch/PA control words",
     .write_export = "SheetWcdmaSwitchPaCtrlWordWr",
     .read_export = "SheetWcdmaSwitchPaCtrlWordRd",
     .write = &ops::SheetWcdmaSwitchPaCtrlWordWr,
     .read = &ops::SheetWcdmaSwitchPaCtrlWordRd,
     .on_range_count = &msg::kWcdmaSwitchPaConfig,
     .ranges = kSwitchPaRanges},
    {.name = "WcdmaTmpComp",
     .family = Family::Wcdma,
     .summary = "WCDMA temperature compensation: 40 value pairs per band of the band list",
     .write_export = "SheetWcdmaTmpCompWr",
     .read_export = "SheetWcdmaTmpCompRd",
     .write = &ops::SheetWcdmaTmpCompWr,
     .read = &ops::SheetWcdmaTmpCompRd,
     .on_range_count = &msg::kWcdmaTmpCompConfig,
     .ranges = kTmpCompRanges},
};

}  // namespace

std::span<const SheetDef> wcdma_sheet_defs() { return kSheets; }

}  // namespace calvex
