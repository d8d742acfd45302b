#include "catalogue.h"

namespace calvex_host {
namespace {

constexpr RangeShape kFilterRanges[] = {{"Filter", 6, 1}};
constexpr RangeShape kFlagsRanges[] = {
    {"TxNvFlagSwitch", 1, 1}, {"TxNvFlag", 1, 1}, {"TxPowerESFSwitch", 1, 1}, {"TxPowerESF", 1, 1}};
// The read gives TxNvFlag and TxPowerESF only; the switches come back empty (off).
constexpr ReadRun kFlagsRead[] = {{1, 0, 1}, {3, 0, 1}};
constexpr RangeShape kMprRanges[] = {{"Mpr", 42, 1}};
constexpr RangeShape kPcScaleRanges[] = {{"PcScaleSwitch", 1, 1}, {"PcScale", 17, 1}};
constexpr RangeShape kPhseRanges[] = {{"Phse", 4, 1}};
constexpr RangeShape kCapacityRanges[] = {{"Capacity", 4, 1}};
// MipiSel; band of each slot; truth table 19 rows (11 GPIO_GROUP0 lines, 4
// GPIO_GROUP1 lines, 4 MIPI words) x 128 columns (8 states per slot); PA
// timing offsets 4 rows x 16 slots.
constexpr RangeShape kSwitchPaRanges[] = {
    {"MipiSel", 1, 1}, {"BandInfoMain", 1, 16}, {"TruthTable", 19, 128}, {"PaTimingOffset", 4, 16}};
// MipiSel is not read back: its cell comes back empty.
constexpr ReadRun kSwitchPaRead[] = {{1, 0, 16}, {2, 0, 19 * 128}, {3, 0, 4 * 16}};
// Band of each slot; 60 rows x 32 columns (two values per slot).
constexpr RangeShape kTmpCompRanges[] = {{"Band", 1, 16}, {"TmpComp", 60, 32}};
// 15 GPIO lines (11 GPIO_GROUP0, 4 GPIO_GROUP1) x main, diversity antenna.
constexpr RangeShape kTxAntSelectRanges[] = {{"TxAntSelect", 15, 2}};

const SheetEntry kSheets[] = {
    {.name = "LteaFilter",
     .family = "ltea",
     .summary = "LTE-A primary carrier filter values (6)",
     .write = SheetLteaFilterWr,
     .read = SheetLteaFilterRd,
     .ranges = kFilterRanges},
    {.name = "LteaFlags",
     .family = "ltea",
     .summary = "LTE-A TxNvFlag and TxPowerESF, each written when its switch is \"open\"",
     .write = SheetLteaFlagsWr,
     .read = SheetLteaFlagsRd,
     .ranges = kFlagsRanges,
     .read_cells = 2,
     .read_runs = kFlagsRead},
    {.name = "LteaMpr",
     .family = "ltea",
     .summary = "LTE-A primary carrier MPR table (42)",
     .write = SheetLteaMprWr,
     .read = SheetLteaMprRd,
     .ranges = kMprRanges},
    {.name = "LteaPcScale",
     .family = "ltea",
     .summary = "LTE-A PC scaling switch (1 = on) and 17 scale values",
     .write = SheetLteaPcScaleWr,
     .read = SheetLteaPcScaleRd,
     .ranges = kPcScaleRanges},
    {.name = "LteaPhse",
     .family = "ltea",
     .summary = "LTE-A phase values of the four phase/capacity pairs (hex)",
     .write = SheetLteaPhseWr,
     .read = SheetLteaPhseRd,
     .ranges = kPhseRanges},
    {.name = "LteaCapacity",
     .family = "ltea",
     .summary = "LTE-A capacity values of the four phase/capacity pairs (hex)",
     .write = SheetLteaCapacityWr,
     .read = SheetLteaCapacityRd,
     .ranges = kCapacityRanges},
    {.name = "LteaSwitchPaCtrlWord",
     .family = "ltea",
     .summary = "LTE-A band list, PA/switch truth table (16 slots x 8 states) and PA timing offsets",
     .write = SheetLteaSwitchPaCtrlWordWr,
     .read = SheetLteaSwitchPaCtrlWordRd,
     .ranges = kSwitchPaRanges,
     .read_cells = 16 + 19 * 128 + 4 * 16,
     .read_runs = kSwitchPaRead},
    {.name = "LteaTmpComp",
     .family = "ltea",
     .summary = "LTE-A temperature compensation (60 rows per band; bands must match the image's)",
     .write = SheetLteaTmpCompWr,
     .read = SheetLteaTmpCompRd,
     .ranges = kTmpCompRanges},
    {.name = "LteaTxAntSelect",
     .family = "ltea",
     .summary = "LTE-A TX main/diversity antenna GPIO lines",
     .write = SheetLteaTxAntSelectWr,
     .read = SheetLteaTxAntSelectRd,
     .ranges = kTxAntSelectRanges},
};

}  // namespace

std::span<const SheetEntry> ltea_sheets() { return kSheets; }

}  // namespace calvex_host
