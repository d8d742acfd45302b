// Definitions of the TD-SCDMA sheets.
#include "sheet_def.h"

namespace calvex {
namespace {

// 15 control values, in NV order.
constexpr RangeDef kNvCtrlRanges[] = {{"NvCtrl", 15, 1, &msg::kTdNvCtrlCells, text()}};
// 19 rows (GPIO_GROUP0 lines 0-10, GPIO_GROUP1 lines 0-3, words 1-4) x 14 states (group 0: 0-6, group 1: 0-6).
constexpr RangeDef kSwitchPaRanges[] = {{"TruthTable", 19, 14, &msg::kSwitchPaTruthTableCells, text()}};
// 20 rows: table A first value, second value, table B first value, second value.
constexpr RangeDef kTmpCompRanges[] = {{"TmpComp", 20, 4, &msg::kTmpCompDataCells, text()}};

constexpr SheetDef kSheets[] = {
    {.name = "TdscdmaNvCtrl",
     .family = Family::Tdscdma,
     .summary = "TD-SCDMA NV control values, enable word and the two values it guards",
     .write_export = "SheetTdscdmaNvCtrlWr",
     .read_export = "SheetTdscdmaNvCtrlRd",
     .write = &ops::SheetTdscdmaNvCtrlWr,
     .read = &ops::SheetTdscdmaNvCtrlRd,
     .on_range_count = &msg::kTdNvCtrlConfig,
     .ranges = kNvCtrlRanges},
    {.name = "TdscdmaSwitchPaCtrlWord",
     .family = Family::Tdscdma,
     .summary = "TD-SCDMA truth table (19 rows x 14 states) of switch/PA control words",
     .write_export = "SheetTdscdmaSwitchPaCtrlWordWr",
     .read_export = "SheetTdscdmaSwitchPaCtrlWordRd",
     .write = &ops::SheetTdscdmaSwitchPaCtrlWordWr,
     .read = &ops::SheetTdscdmaSwitchPaCtrlWordRd,
     .on_range_count = &msg::kTdSwitchPaConfig,
     .ranges = kSwitchPaRanges},
    {.name = "TdscdmaTmpComp",
     .family = Family::Tdscdma,
     .summary = "TD-SCDMA temperature compensation: two tables of 20 value pairs",
     .write_export = "SheetTdscdmaTmpCompWr",
     .read_export = "SheetTdscdmaTmpCompRd",
     .write = &ops::SheetTdscdmaTmpCompWr,
     .read = &ops::SheetTdscdmaTmpCompRd,
     .on_range_count = &msg::kTdTmpCompConfig,
     .ranges = kTmpCompRanges},
};

}  // namespace

std::span<const SheetDef> tdscdma_sheet_defs() { return kSheets; }

}  // namespace calvex
