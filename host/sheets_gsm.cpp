#include "catalogue.h"

namespace calvex_host {
namespace {

// 4G-PA-off word; configuration numbers c0-c4; 13 states x (11 lines, 2 control words, 2 unused).
constexpr RangeShape kSwitchPaRanges[] = {{"PaOff4G", 1, 1}, {"PaSwitchConfig", 1, 5}, {"TruthTable", 13, 15}};
// Temperature intervals; 8 TX tables of 20 rows x 15 intervals; RX 4 rows x 15 intervals.
constexpr RangeShape kTmpCompRanges[] = {
    {"TempInterval", 1, 15}, {"Tx1", 20, 15}, {"Tx2", 20, 15}, {"Tx3", 20, 15}, {"Tx4", 20, 15},
    {"Tx5", 20, 15},         {"Tx6", 20, 15}, {"Tx7", 20, 15}, {"Tx8", 20, 15}, {"Rx", 4, 15},
};
constexpr RangeShape kRampCtrlRanges[] = {{"RampTime", 4, 2}, {"MultiSlotBackoff", 8, 4}, {"RampData", 18, 16}};

const SheetEntry kSheets[] = {
    {.name = "GsmSwitchPaCtrlWord",
     .family = "gsm",
     .summary = "GSM truth table (13 states x 11 lines), control words, 4G PA off word, PA/switch config",
     .write = SheetGsmSwitchPaCtrlWordWr,
     .read = SheetGsmSwitchPaCtrlWordRd,
     .ranges = kSwitchPaRanges},
    {.name = "GsmTmpComp",
     .family = "gsm",
     .summary = "GSM temperature intervals and TX/RX temperature compensation",
     .write = SheetGsmTmpCompWr,
     .read = SheetGsmTmpCompRd,
     .ranges = kTmpCompRanges},
    {.name = "GsmRampCtrl",
     .family = "gsm",
     .summary = "GSM ramp time, multi-slot power backoff and ramp data",
     .write = SheetGsmRampCtrlWr,
     .read = SheetGsmRampCtrlRd,
     .ranges = kRampCtrlRanges},
};

}  // namespace

std::span<const SheetEntry> gsm_sheets() { return kSheets; }

}  // namespace calvex_host
