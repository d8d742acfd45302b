// Definitions of the LTE-A sheets.
#include "sheet_def.h"

namespace calvex {
namespace {

constexpr RangeDef kFilterRanges[] = {{"Filter", 6, 1, &msg::kLteaFilterRange, text()}};
constexpr RangeDef kFlagsRanges[] = {{"TxNvFlagSwitch", 1, 1, &msg::kTxNvFlagSwitchCells, text()},
                                     {"TxNvFlag", 1, 1, &msg::kTxNvFlagCells, text()},
                                     {"TxPowerESFSwitch", 1, 1, &msg::kLteaTxPowerEsfSwitchRange, text()},
                                     {"TxPowerESF", 1, 1, &msg::kLteaTxPowerEsfRange, text()}};
// The read gives TxNvFlag and TxPowerESF only; the switches come back empty (off).
constexpr ReadRun kFlagsRead[] = {{1, 0, 1}, {3, 0, 1}};
constexpr RangeDef kMprRanges[] = {{"Mpr", 42, 1, &msg::kLteaMprRange, text()}};
constexpr RangeDef kPcScaleRanges[] = {{"PcScaleSwitch", 1, 1, &msg::kLteaPcScaleRange, text()},
                                       {"PcScale", 17, 1, &msg::kLteaPcScaleRange, text()}};
constexpr RangeDef kPhseRanges[] = {{"Phse", 4, 1, &msg::kLteaPhseRange, text()}};
constexpr RangeDef kCapacityRanges[] = {{"Capacity", 4, 1, &msg::kLteaCapacityRange, text()}};
// MipiSel; band of each slot; truth table 19 rows (11 GPIO_GROUP0 lines, 4
// GPIO_GROUP1 lines, 4 MIPI words) x 128 columns (8 states per slot); PA
// timing offsets 4 rows x 16 slots.
constexpr RangeDef kSwitchPaRanges[] = {{"MipiSel", 1, 1, &msg::kLteaMipiSelRange, text()},
                                        {"BandInfoMain", 1, 16, &msg::kLteaBandInfoMainRange, text()},
                                        {"TruthTable", 19, 128, &msg::kLteaTruthTableRange, text()},
                                        {"PaTimingOffset", 4, 16, &msg::kLteaPaTimingRange, text()}};
// MipiSel is not read back: its cell comes back empty.
constexpr ReadRun kSwitchPaRead[] = {{1, 0, 16}, {2, 0, 19 * 128}, {3, 0, 4 * 16}};
// Band of each slot; 60 rows x 32 columns (two values per slot).
constexpr RangeDef kTmpCompRanges[] = {{"Band", 1, 16, &msg::kLteaTmpCompBandRange, text()},
                                       {"TmpComp", 60, 32, &msg::kLteaTmpCompTableRange, text()}};
// 15 GPIO lines (11 GPIO_GROUP0, 4 GPIO_GROUP1) x main, diversity antenna.
constexpr RangeDef kTxAntSelectRanges[] = {{"TxAntSelect", 15, 2, &msg::kLteaTxAntRange, text()}};

constexpr SheetDef kSheets[] = {
    {.name = "LteaFilter",
     .family = Family::Ltea,
     .summary = "LTE-A primary carrier filter values (6)",
     .write_export = "SheetLteaFilterWr",
     .read_export = "SheetLteaFilterRd",
     .write = &ops::SheetLteaFilterWr,
     .read = &ops::SheetLteaFilterRd,
     .on_range_count = &msg::kLteaFilterConfig,
     .ranges = kFilterRanges},
    {.name = "LteaFlags",
     .family = Family::Ltea,
     .summary = "LTE-A TxNvFlag and TxPowerESF, each written when its switch is \"open\"",
     .write_export = "SheetLteaFlagsWr",
     .read_export = "SheetLteaFlagsRd",
     .write = &ops::SheetLteaFlagsWr,
     .read = &ops::SheetLteaFlagsRd,
     .on_range_count = &msg::kLteaFlagsConfig,
     .ranges = kFlagsRanges,
     .read_cells = 2,
     .read_runs = kFlagsRead},
    {.name = "LteaMpr",
     .family = Family::Ltea,
     .summary = "LTE-A primary carrier MPR table (42)",
     .write_export = "SheetLteaMprWr",
     .read_export = "SheetLteaMprRd",
     .write = &ops::SheetLteaMprWr,
     .read = &ops::SheetLteaMprRd,
     .on_range_count = &msg::kLteaMprConfig,
     .ranges = kMprRanges},
    {.name = "LteaPcScale",
     .family = Family::Ltea,
     .summary = "LTE-A PC scaling switch (1 = on) and 17 scale values",
     .write_export = "SheetLteaPcScaleWr",
     .read_export = "SheetLteaPcScaleRd",
     .write = &ops::SheetLteaPcScaleWr,
     .read = &ops::SheetLteaPcScaleRd,
     .on_range_count = &msg::kLteaPcScaleConfig,
     .ranges = kPcScaleRanges},
    {.name = "LteaPhse",
     .family = Family::Ltea,
     .summary = "LTE-A phase values of the four phase/capacity pairs (hex)",
     .write_export = "SheetLteaPhseWr",
     .read_export = "SheetLteaPhseRd",
     .write = &ops::SheetLteaPhseWr,
     .read = &ops::SheetLteaPhseRd,
     .on_range_count = &msg::kLteaPhseConfig,
     .ranges = kPhseRanges},
    {.name = "LteaCapacity",
     .family = Family::Ltea,
     .summary = "LTE-A capacity values of the four phase/capacity pairs (hex)",
     .write_export = "SheetLteaCapacityWr",
     .read_export = "SheetLteaCapacityRd",
     .write = &ops::SheetLteaCapacityWr,
     .read = &ops::SheetLteaCapacityRd,
     .on_range_count = &msg::kLteaCapacityConfig,
     .ranges = kCapacityRanges},
    {.name = "LteaSwitchPaCtrlWord",
     .family = Family::Ltea,
     .summary = "LTE-A band list, PA/switch truth table (16 slots x 8 states) and PA timing offsets",
     .write_export = "SheetLteaSwitchPaCtrlWordWr",
     .read_export = "SheetLteaSwitchPaCtrlWordRd",
     .write = &ops::SheetLteaSwitchPaCtrlWordWr,
     .read = &ops::SheetLteaSwitchPaCtrlWordRd,
     .on_range_count = &msg::kLteaSwitchPaConfig,
     .ranges = kSwitchPaRanges,
     .read_cells = 16 + 19 * 128 + 4 * 16,
     .read_runs = kSwitchPaRead},
    {.name = "LteaTmpComp",
     .family = Family::Ltea,
     .summary = "LTE-A temperature compensation (60 rows per band; bands must match the image's)",
     .write_export = "SheetLteaTmpCompWr",
     .read_export = "SheetLteaTmpCompRd",
     .write = &ops::SheetLteaTmpCompWr,
     .read = &ops::SheetLteaTmpCompRd,
     .on_range_count = &msg::kLteaTmpCompConfig,
     .ranges = kTmpCompRanges},
    {.name = "LteaTxAntSelect",
     .family = Family::Ltea,
     .summary = "LTE-A TX main/diversity antenna GPIO lines",
     .write_export = "SheetLteaTxAntSelectWr",
     .read_export = "SheetLteaTxAntSelectRd",
     .write = &ops::SheetLteaTxAntSelectWr,
     .read = &ops::SheetLteaTxAntSelectRd,
     .on_range_count = &msg::kLteaTxAntConfig,
     .ranges = kTxAntSelectRanges},
};

}  // namespace

std::span<const SheetDef> ltea_sheet_defs() { return kSheets; }

}  // namespace calvex
