// Definitions of the sheets common to all radio technologies.
#include "sheet_def.h"

namespace calvex {
namespace {

constexpr RangeDef kTempDacRanges[] = {{"TempDac", 27, 1, &msg::kTempDacRangeCount, text()}};
// Mode and SIM texts; per MIPI bus 6 device rows: product ID, manufacturer ID, USID register.
constexpr RangeDef kPinMuxRanges[] = {{"PinMux", 1, 2, &msg::kPinMuxModeCells, text()},
                                      {"Mipi0Devices", 6, 3, &msg::kPinMuxCh0Cells, text()},
                                      {"Mipi1Devices", 6, 3, &msg::kPinMuxCh1Cells, text()}};
// CA switch; 80 rows: row switch, TX port, PRX port, second RX port.
constexpr RangeDef kPortInfoRanges[] = {{"CaSupport", 1, 1, &msg::kPortInfoCaCells, text()},
                                        {"PortInfo", 80, 4, &msg::kPortInfoTableCells, text()}};

constexpr SheetDef kSheets[] = {
    {.name = "TempDacTab",
     .family = Family::Common,
     .summary = "temperature DAC table: 27 DAC codes (1..8191)",
     .write_export = "SheetphyCommonTempDacTabWr",
     .read_export = "SheetphyCommonTempDacTabRd",
     .write = &ops::SheetphyCommonTempDacTabWr,
     .read = &ops::SheetphyCommonTempDacTabRd,
     .on_range_count = &msg::kSheetCommonConfig,
     .ranges = kTempDacRanges},
    {.name = "PinMuxMipiInit",
     .family = Family::Common,
     .summary = "pin multiplexing of VC1-VC4 (GPIO / MIPI), SIM lines, MIPI device USIDs (write only)",
     .write_export = "SheetCommonPinMuxSelAndMipiInitWr",
     .on_range_count = &msg::kSheetCommonConfig,
     .ranges = kPinMuxRanges,
     .write_with_back = &ops::SheetCommonPinMuxSelAndMipiInitWr,
     .write_back_cells = 12,
     .write_back_name = "MipiUserIds"},
    {.name = "PortInfo",
     .family = Family::Common,
     .summary = "transceiver TX/PRX/second RX port of 80 rows, when CA is \"Support\" (write only)",
     .write_export = "SheetPortInfoWr",
     .write = &ops::SheetPortInfoWr,
     .on_range_count = &msg::kPortInfoConfig,
     .ranges = kPortInfoRanges},
};

}  // namespace

std::span<const SheetDef> common_sheet_defs() { return kSheets; }

}  // namespace calvex
