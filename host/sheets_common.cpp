#include "catalogue.h"

namespace calvex_host {
namespace {

constexpr RangeShape kTempDacRanges[] = {{"TempDac", 27, 1}};
// Mode and SIM texts; per MIPI bus 6 device rows: product ID, manufacturer ID, USID register.
constexpr RangeShape kPinMuxRanges[] = {{"PinMux", 1, 2}, {"Mipi0Devices", 6, 3}, {"Mipi1Devices", 6, 3}};
// CA switch; 80 rows: row switch, TX port, PRX port, second RX port.
constexpr RangeShape kPortInfoRanges[] = {{"CaSupport", 1, 1}, {"PortInfo", 80, 4}};

const SheetEntry kSheets[] = {
    {.name = "TempDacTab",
     .family = "common",
     .summary = "temperature DAC table: 27 DAC codes (1..8191)",
     .write = SheetphyCommonTempDacTabWr,
     .read = SheetphyCommonTempDacTabRd,
     .ranges = kTempDacRanges},
    {.name = "PinMuxMipiInit",
     .family = "common",
     .summary = "pin multiplexing of VC1-VC4 (GPIO / MIPI), SIM lines, MIPI device USIDs (write only)",
     .write = nullptr,
     .read = nullptr,
     .ranges = kPinMuxRanges,
     .write_with_back = SheetCommonPinMuxSelAndMipiInitWr,
     .write_back_cells = 12,
     .write_back_name = "MipiUserIds"},
    {.name = "PortInfo",
     .family = "common",
     .summary = "transceiver TX/PRX/second RX port of 80 rows, when CA is \"Support\" (write only)",
     .write = SheetPortInfoWr,
     .read = nullptr,
     .ranges = kPortInfoRanges},
};

}  // namespace

std::span<const SheetEntry> common_sheets() { return kSheets; }

}  // namespace calvex_host
