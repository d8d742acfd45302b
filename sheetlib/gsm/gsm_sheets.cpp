// Definitions of the GSM sheets.
#include "sheet_def.h"

namespace calvex {
namespace {

// 4G-PA-off word; configuration numbers c0-c4; 13 states x (11 lines, 2 control words, 2 unused).
constexpr RangeDef kSwitchPaRanges[] = {{"PaOff4G", 1, 1, &msg::kGsmPaOffCells, text()},
                                        {"PaSwitchConfig", 1, 5, &msg::kGsmPaSwitchConfigCells, text()},
                                        {"TruthTable", 13, 15, &msg::kGsmTruthTableCells, text()}};
// Temperature intervals; 8 TX tables of 20 rows x 15 intervals; RX 4 rows x 15 intervals.
constexpr RangeDef kTmpCompRanges[] = {
    {"TempInterval", 1, 15, &msg::kGsmTempIntervalCells, text()}, {"Tx1", 20, 15, &msg::kGsmTxTmpCompCells, text()},
    {"Tx2", 20, 15, &msg::kGsmTxTmpCompCells, text()},           {"Tx3", 20, 15, &msg::kGsmTxTmpCompCells, text()},
    {"Tx4", 20, 15, &msg::kGsmTxTmpCompCells, text()},           {"Tx5", 20, 15, &msg::kGsmTxTmpCompCells, text()},
    {"Tx6", 20, 15, &msg::kGsmTxTmpCompCells, text()},           {"Tx7", 20, 15, &msg::kGsmTxTmpCompCells, text()},
    {"Tx8", 20, 15, &msg::kGsmTxTmpCompCells, text()},           {"Rx", 4, 15, &msg::kGsmRxTmpCompCells, text()},
};
constexpr RangeDef kRampCtrlRanges[] = {{"RampTime", 4, 2, &msg::kGsmRampTimeCells, text()},
                                        {"MultiSlotBackoff", 8, 4, &msg::kGsmBackoffCells, text()},
                                        {"RampData", 18, 16, &msg::kGsmRampDataCells, text()}};

constexpr SheetDef kSheets[] = {
    {.name = "GsmSwitchPaCtrlWord",
     .family = Family::Gsm,
     .summary = "GSM truth table (13 states x 11 lines), control words, 4G PA off word, PA/switch config",
     .write_export = "SheetGsmSwitchPaCtrlWordWr",
     .read_export = "SheetGsmSwitchPaCtrlWordRd",
     .write = &ops::SheetGsmSwitchPaCtrlWordWr,
     .read = &ops::SheetGsmSwitchPaCtrlWordRd,
     .on_range_count = &msg::kGsmSwitchPaConfig,
     .ranges = kSwitchPaRanges},
    {.name = "GsmTmpComp",
     .family = Family::Gsm,
     .summary = "GSM temperature intervals and TX/RX temperature compensation",
     .write_export = "SheetGsmTmpCompWr",
     .read_export = "SheetGsmTmpCompRd",
     .write = &ops::SheetGsmTmpCompWr,
     .read = &ops::SheetGsmTmpCompRd,
     .on_range_count = &msg::kGsmTmpCompConfig,
     .ranges = kTmpCompRanges},
    {.name = "GsmRampCtrl",
     .family = Family::Gsm,
     .summary = "GSM ramp time, multi-slot power backoff and ramp data",
     .write_export = "SheetGsmRampCtrlWr",
     .read_export = "SheetGsmRampCtrlRd",
     .write = &ops::SheetGsmRampCtrlWr,
     .read = &ops::SheetGsmRampCtrlRd,
     .on_range_count = &msg::kGsmRampCtrlConfig,
     .ranges = kRampCtrlRanges},
};

}  // namespace

std::span<const SheetDef> gsm_sheet_defs() { return kSheets; }

}  // namespace calvex
