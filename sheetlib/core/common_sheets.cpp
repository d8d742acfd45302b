// Definitions of the sheets common to all radio technologies.
#include "common_nv_map.h"
#include "decoders.h"
#include "keywords.h"
#include "sheets.h"

namespace calvex {
namespace {

using namespace common;  // the NV map (common_nv_map.h)

constexpr RangeDef kTempDacRanges[] = {{"TempDac", kTempDacEntries, 1, &msg::kTempDacRangeCount,
                                        in_range(dec(2, false), kTempDacCodeMin, kTempDacCodeMax)}};
constexpr NvSpan kTempDacBlocks[] = {{kTempDacTableOffset, kTempDacTableSize}};
constexpr CellRun kTempDacRuns[] = {cell_row(0, 0, kTempDacEntries, kTempDacTableOffset, kTempDacEntrySize)};

// Any mode text but the two MIPI modes selects GPIO; "GPIO" (or an empty
// cell) says so. Any SIM text but "SIM FUNC" leaves lines 12-14 as RF control.
constexpr CellArea kPinMuxModeAreas[] = {{0, 1, 1, 1, keyword(kw::kSimFunc, true)}};
// Device rows: product ID, manufacturer ID (one data byte each), USID register
// (manufacturer ID bits 5-4, USID bits 3-0). "X" in the product ID marks an
// absent device; its other cells are not read and are X as well.
constexpr CellArea kDeviceAreas[] = {{0, 2, 0, 1, or_x(in_range(hex(1), 0, 0x3F))}};
constexpr RangeDef kPinMuxRanges[] = {
    {"PinMux", 1, 2, &msg::kPinMuxModeCells, keyword(kw::kPinMuxModes, true), kPinMuxModeAreas},
    {"Mipi0Devices", 6, 3, &msg::kPinMuxCh0Cells, or_x(hex(1)), kDeviceAreas},
    {"Mipi1Devices", 6, 3, &msg::kPinMuxCh1Cells, or_x(hex(1)), kDeviceAreas}};
constexpr NvSpan kPinMuxBlocks[] = {{kRffeInitWordsOffset, kRffeInitWordsSize},
                                    {kPinMuxOffset, kPinMuxAndSimFuncSize},
                                    {kSpecialDeviceMarkOffset, kSpecialDeviceMarkSize}};

// The CA switch and each row switch: "Support" enables; X or empty leaves
// the sheet (the row) off. A row that is off does not read its port cells.
constexpr CellArea kPortInfoAreas[] = {{0, 1, 0, 1, or_x(keyword(kw::kTxPortWords.words, true))},
                                       {0, 2, 0, 2, or_x(keyword(kw::kRxPortWords.words, true))}};
constexpr RangeDef kPortInfoRanges[] = {
    {"CaSupport", 1, 1, &msg::kPortInfoCaCells, or_x(keyword(kw::kSupport, true))},
    {"PortInfo", kPortRows, 4, &msg::kPortInfoTableCells, or_x(keyword(kw::kSupport, true)), kPortInfoAreas}};
constexpr NvSpan kPortInfoBlocks[] = {{kTxPortOffset, kPortTablesSize}, {kPortInfoMarkerOffset, kPortInfoMarkerSize}};

}  // namespace

constexpr SheetDef kTempDacTabSheet{.name = "TempDacTab",
                                    .family = Family::Common,
                                    .summary = "temperature DAC table: 27 DAC codes (1..8191)",
                                    CALVEX_SHEET_WRITE(SheetphyCommonTempDacTabWr),
                                    CALVEX_SHEET_READ(SheetphyCommonTempDacTabRd),
                                    .on_range_count = &msg::kSheetCommonConfig,
                                    .ranges = kTempDacRanges,
                                    .blocks = kTempDacBlocks,
                                    .runs = kTempDacRuns};

constexpr SheetDef kPinMuxMipiInitSheet{
    .name = "PinMuxMipiInit",
    .family = Family::Common,
    .summary = "pin multiplexing of VC1-VC4 (GPIO / MIPI), SIM lines, MIPI device USIDs",
    CALVEX_SHEET_WRITE_BACK(SheetCommonPinMuxSelAndMipiInitWr),
    .decode = &decoders::kPinMuxMipiInit,
    .on_range_count = &msg::kSheetCommonConfig,
    .ranges = kPinMuxRanges,
    .blocks = kPinMuxBlocks,
    .write_back_cells = 12,
    .write_back_name = "MipiUserIds",
    .read_note =
        "the image keeps a device that kept its USID as that USID only: it reads product and manufacturer "
        "ID 0 (0x3D where the special device mark needs it); devices fill the rows from the first, X after "
        "them; a bus the mode does not build reads X; any mode but the MIPI modes reads GPIO"};

constexpr SheetDef kPortInfoSheet{
    .name = "PortInfo",
    .family = Family::Common,
    .summary = "transceiver TX/PRX/second RX port of 80 rows, when CA is \"Support\"",
    CALVEX_SHEET_WRITE(SheetPortInfoWr),
    .decode = &decoders::kPortInfo,
    .on_range_count = &msg::kPortInfoConfig,
    .ranges = kPortInfoRanges,
    .blocks = kPortInfoBlocks,
    .silent_reason = "CaSupport is not \"Support\", so the port table is not written",
    .read_note =
        "rows that are off and their ports read X (off and X store the same zeros), as do rows that name "
        "no port; an empty port reads X; CaSupport reads X when the port table's marker is absent (a write "
        "without \"Support\" stores nothing)"};

std::span<const SheetDef* const> common_sheet_defs() {
  static constexpr const SheetDef* kSheets[] = {&kTempDacTabSheet, &kPinMuxMipiInitSheet, &kPortInfoSheet};
  return kSheets;
}

}  // namespace calvex
