#include "catalogue.h"

namespace calvex_host {
namespace {

// 15 control values, in NV order.
constexpr RangeShape kNvCtrlRanges[] = {{"NvCtrl", 15, 1}};
// 19 rows (GPIO_GROUP0 lines 0-10, GPIO_GROUP1 lines 0-3, words 1-4) x 14 states (group 0: 0-6, group 1: 0-6).
constexpr RangeShape kSwitchPaRanges[] = {{"TruthTable", 19, 14}};
// 20 rows: table A first value, second value, table B first value, second value.
constexpr RangeShape kTmpCompRanges[] = {{"TmpComp", 20, 4}};

const SheetEntry kSheets[] = {
    {.name = "TdscdmaNvCtrl",
     .family = "tdscdma",
     .summary = "TD-SCDMA NV control values, enable word and the two values it guards",
     .write = SheetTdscdmaNvCtrlWr,
     .read = SheetTdscdmaNvCtrlRd,
     .ranges = kNvCtrlRanges},
    {.name = "TdscdmaSwitchPaCtrlWord",
     .family = "tdscdma",
     .summary = "TD-SCDMA truth table (19 rows x 14 states) of switch/PA control words",
     .write = SheetTdscdmaSwitchPaCtrlWordWr,
     .read = SheetTdscdmaSwitchPaCtrlWordRd,
     .ranges = kSwitchPaRanges},
    {.name = "TdscdmaTmpComp",
     .family = "tdscdma",
     .summary = "TD-SCDMA temperature compensation: two tables of 20 value pairs",
     .write = SheetTdscdmaTmpCompWr,
     .read = SheetTdscdmaTmpCompRd,
     .ranges = kTmpCompRanges},
};

}  // namespace

std::span<const SheetEntry> tdscdma_sheets() { return kSheets; }

}  // namespace calvex_host
