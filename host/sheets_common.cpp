#include "catalogue.h"

namespace calvex_host {
namespace {

constexpr RangeShape kTempDacRanges[] = {{"TempDac", 27, 1}};

const SheetEntry kSheets[] = {
    {.name = "TempDacTab",
     .family = "common",
     .summary = "temperature DAC table: 27 DAC codes (1..8191)",
     .write = SheetphyCommonTempDacTabWr,
     .read = SheetphyCommonTempDacTabRd,
     .ranges = kTempDacRanges},
};

}  // namespace

std::span<const SheetEntry> common_sheets() { return kSheets; }

}  // namespace calvex_host
