// Definitions of the TD-SCDMA sheets.
#include <array>
#include <cstdint>
#include <iterator>

#include "ctrl_word.h"
#include "decoders.h"
#include "sheets.h"
#include "tdscdma/tdscdma_nv_map.h"

namespace calvex {
namespace {

using namespace tdscdma;  // the NV map (tdscdma_nv_map.h)

// ---- Cell kinds ----

// 15 control values, in NV order: six unsigned 16-bit values; four decimal
// values cut to 16 bits and stored zero-extended in 32 (read back as signed
// 16-bit: -1 and 65535 store the same bytes); the enable word (hex;
// "0x13579BDF" enables the next two); two signed 16-bit values; a 32-bit and
// a 16-bit hexadecimal value.
constexpr CellArea kNvCtrlAreas[] = {
    {6, 0, 4, 1, in_range(dec(4, true), INT16_MIN, UINT16_MAX)},
    {10, 0, 1, 1, hex(4)},
    {11, 0, 2, 1, dec(2, true)},
    {13, 0, 1, 1, hex(4)},
    {14, 0, 1, 1, hex(2)},
};
constexpr RangeDef kNvCtrlRanges[] = {{"NvCtrl", 15, 1, &msg::kTdNvCtrlCells, dec(2, false), kNvCtrlAreas}};
// 19 rows (GPIO_GROUP0 lines 0-10, GPIO_GROUP1 lines 0-3, words 1-4; X for
// none) x 14 states (group 0: 0-6, group 1: 0-6).
constexpr CellArea kSwitchPaAreas[] = {{15, 0, 4, 0, or_x(hex(4))}};
constexpr RangeDef kSwitchPaRanges[] = {
    with_labels({"TruthTable", 19, 14, &msg::kSwitchPaTruthTableCells, line_cell(), kSwitchPaAreas}, "line / word",
                "state")};
// 20 rows: table A first value (unsigned), second value (signed), table B
// first value, second value.
constexpr CellArea kTmpCompAreas[] = {{0, 1, 0, 1, dec(2, true)}, {0, 3, 0, 1, dec(2, true)}};
constexpr RangeDef kTmpCompRanges[] = {
    with_pairs(with_labels(with_role(RangeDef{"TmpComp", 20, 4, &msg::kTmpCompDataCells, dec(2, false), kTmpCompAreas},
                                     RangeRole::TempComp),
                           "pair", "table"),
               RangeDef::kNoRange, "first value", "compensation")};

constexpr NvSpan kNvCtrlBlocks[] = {{kNvCtrlOffset, kNvCtrlSize}};
// The NV control cells, one value each at its place: the width and the
// read's format of each (the enable word and the last two values hex; the
// four values kept in 32 bits read as their low 16 bits, signed, as the
// decoder shows them; the two guarded values signed).
constexpr uint8_t kNvCtrlWidths[] = {2, 2, 2, 2, 2, 2, 2, 2, 2, 2, 4, 2, 2, 4, 2};
constexpr ValueFormat kNvCtrlFormats[] = {
    ValueFormat::Unsigned, ValueFormat::Unsigned, ValueFormat::Unsigned, ValueFormat::Unsigned,
    ValueFormat::Unsigned, ValueFormat::Unsigned, ValueFormat::Signed,   ValueFormat::Signed,
    ValueFormat::Signed,   ValueFormat::Signed,   ValueFormat::Hex,      ValueFormat::Signed,
    ValueFormat::Signed,   ValueFormat::Hex,      ValueFormat::Hex};
static_assert(std::size(kNvCtrlWidths) == kNvCtrlCellCount && std::size(kNvCtrlFormats) == kNvCtrlCellCount);
constexpr std::array<CellRun, kNvCtrlCellCount> nv_ctrl_placed() {
  std::array<CellRun, kNvCtrlCellCount> runs{};
  for (uint16_t i = 0; i < kNvCtrlCellCount; ++i) {
    runs[i] = cell_row(0, i, 1, kNvCtrlOffset + kNvCtrlCellPos[i], kNvCtrlWidths[i], kNvCtrlFormats[i]);
  }
  return runs;
}
constexpr auto kNvCtrlPlaced = nv_ctrl_placed();
constexpr NvSpan kSwitchPaBlocks[] = {{kSwitchPaAreaOffset, kSwitchPaAreaSize}};
constexpr NvSpan kTmpCompBlocks[] = {{kTmpCompAOffset, kTmpCompBothTablesSize}};

// Cells to bytes: a sheet row holds pair i of table A, then pair i of table B.
constexpr uint16_t kCellsPerRow = 4;  // A first, A second, B first, B second
constexpr uint8_t kValueSize = 2;

// Column c of the sheet: value c % 2 of the pairs of table c / 2.
constexpr CellRun column_run(uint16_t c, uint32_t table, ValueFormat format) {
  return {.first = c,
          .rows = kTmpCompPairs,
          .cell_row_step = kCellsPerRow,
          .offset = table + static_cast<uint32_t>((c % 2) * kTmpCompSecondValuePos),
          .row_step = kTmpCompPairSize,
          .width = kValueSize,
          .format = format};
}
constexpr CellRun kTmpCompRuns[] = {
    column_run(0, kTmpCompAOffset, ValueFormat::Unsigned), column_run(1, kTmpCompAOffset, ValueFormat::Signed),
    column_run(2, kTmpCompBOffset, ValueFormat::Unsigned), column_run(3, kTmpCompBOffset, ValueFormat::Signed)};

// ---- Control-word entries ----

constexpr uint16_t kSetEntries = static_cast<uint16_t>(kEntriesPerSet);
constexpr EntryRun kSwitchPaEntries[] = {
    {.name = "LowStateSets",
     .what = "a group's sets of states 0 to 2, four entries each",
     .offset = kLowStatesOffset,
     .count = kLowStates * kSetEntries,
     .groups = kSwitchPaGroups,
     .group_step = kLowGroupStride},
    {.name = "HighStateSets",
     .what = "a group's sets of states 3 to 6, four entries each",
     .offset = kHighStatesOffset,
     .count = (kSwitchPaStatesPerGroup - kLowStates) * kSetEntries,
     .groups = kSwitchPaGroups,
     .group_step = kHighGroupStride}};

}  // namespace

constexpr SheetDef kTdscdmaNvCtrlSheet{
    .name = "TdscdmaNvCtrl",
    .family = Family::Tdscdma,
    .summary = "TD-SCDMA NV control values, enable word and the two values it guards",
    CALVEX_SHEET_WRITE(SheetTdscdmaNvCtrlWr),
    CALVEX_SHEET_READ(SheetTdscdmaNvCtrlRd),
    // The export shows the values kept in 32 bits as unsigned 16-bit ones
    // (-1 as 65535); the sheet file writes them signed.
    .decode = &decoders::kTdscdmaNvCtrl,
    .decode_over_export = true,
    .on_range_count = &msg::kTdNvCtrlConfig,
    .ranges = kNvCtrlRanges,
    .blocks = kNvCtrlBlocks,
    .placed = kNvCtrlPlaced,
    .read_note =
        "the four values kept in 32 bits read as signed 16-bit values (32768 reads -32768); the two values "
        "behind the enable word read 0 unless the word is the enable marker, which reads 0x13579bdf"};

constexpr SheetDef kTdscdmaSwitchPaCtrlWordSheet{
    .name = "TdscdmaSwitchPaCtrlWord",
    .family = Family::Tdscdma,
    .summary = "TD-SCDMA truth table (19 rows x 14 states) of switch/PA control words",
    CALVEX_SHEET_WRITE(SheetTdscdmaSwitchPaCtrlWordWr),
    CALVEX_SHEET_READ(SheetTdscdmaSwitchPaCtrlWordRd),
    .on_range_count = &msg::kTdSwitchPaConfig,
    .ranges = kSwitchPaRanges,
    .blocks = kSwitchPaBlocks,
    .entries = kSwitchPaEntries,
    .read_note = "a state's words are stored one after the other: they read from the first word row on, X after them"};

constexpr SheetDef kTdscdmaTmpCompSheet{.name = "TdscdmaTmpComp",
                                        .family = Family::Tdscdma,
                                        .summary = "TD-SCDMA temperature compensation: two tables of 20 value pairs",
                                        CALVEX_SHEET_WRITE(SheetTdscdmaTmpCompWr),
                                        CALVEX_SHEET_READ(SheetTdscdmaTmpCompRd),
                                        .on_range_count = &msg::kTdTmpCompConfig,
                                        .ranges = kTmpCompRanges,
                                        .blocks = kTmpCompBlocks,
                                        .runs = kTmpCompRuns};

std::span<const SheetDef* const> tdscdma_sheet_defs() {
  static constexpr const SheetDef* kSheets[] = {&kTdscdmaNvCtrlSheet, &kTdscdmaSwitchPaCtrlWordSheet,
                                                &kTdscdmaTmpCompSheet};
  return kSheets;
}

}  // namespace calvex
