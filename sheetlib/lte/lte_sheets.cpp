// Definitions of the LTE sheets. Their writes are the layout-neutral
// operations: the layout switch picks the single or the merged NV layout.
#include <array>

#include "decoders.h"
#include "keywords.h"
#include "lte/lte_ctrl_word.h"
#include "sheets.h"

namespace calvex {
namespace {

using namespace lte;  // the NV layouts (lte_nv_map.h)

// ---- Cell kinds ----

constexpr CellType kSwitchCell = keyword(kw::kOpen, true);  // "open" writes; empty leaves the item alone
// PwtEn: "1" enables PWT, "0" (any other text) disables it.
// AntType: exactly "MIPI" selects MipiType; any other text (GPIO) GpioType.
// A MIPI word "A,D": A goes to bits 20 and up, D to bits 0-19 (both layouts
// keep 20 bits of A).
constexpr int64_t kMipiFieldMax = 0xFFFFF;
constexpr CellType kMipiCell = or_x(in_range(mipi_pair(3), 0, kMipiFieldMax));

// The single layout keeps 16 bits of a phase value, so 16 bits in both layouts.
constexpr RangeDef kFilterRanges[] = {{"FilterFlag", 6, 1, &msg::kLteFilterCells, dec(2, false)}};
constexpr RangeDef kMprRanges[] = {{"Mpr", 24, 1, &msg::kLteMprCells, dec(2, true)}};
// Rx/Tx FDD values (cells 0, 1), Rx/Tx TDD (2, 3), then the second pair of each.
constexpr RangeDef kPhseRanges[] = {{"Phse", 8, 1, &msg::kLtePhseCells, hex(2)}};
constexpr RangeDef kCapacityRanges[] = {{"Capacity", 2, 1, &msg::kLteCapacityCells, hex(4)}};
constexpr RangeDef kPwtRanges[] = {
    {"2R1TFlagSwitch", 1, 1, &msg::kLte2R1TFlagSwitchCells, kSwitchCell},
    {"2R1TFlag", 1, 1, &msg::kLte2R1TFlagCells, dec(2, false)},
    {"TxNvFlagSwitch", 1, 1, &msg::kTxNvFlagSwitchCells, kSwitchCell},
    {"TxNvFlag", 1, 1, &msg::kTxNvFlagCells, hex(4)},
    {"AptUseJ11PinFlagSwitch", 1, 1, &msg::kLteAptUseJ11PinFlagSwitchCells, kSwitchCell},
    {"AptUseJ11PinFlag", 1, 1, &msg::kLteAptUseJ11PinFlagCells, hex(2)},
    {"PwtEnSwitch", 1, 1, &msg::kLtePwtEnSwitchCells, kSwitchCell},
    {"PwtEn", 1, 1, &msg::kLtePwtEnCells, keyword(kw::kOneZero)},
    // 11 GPIO lines x PWT words A and B.
    {"PwtTable", 11, 2, &msg::kLtePwtTableCells, line_cell()},
};
// AntType; four band values per slot (12 slots): band value 0 ("X" skips
// the slot), band value 1 (decimal), band values 2 and 3 (16-bit hex); the
// other cells of a skipped slot are not read (empty or X). Truth table cell
// 128 * row + 8 * slot + state laid out 32 to a line: truth row r (11 Group0,
// 4 Group1, 11 Group2 lines, 4 MIPI words) fills lines 4r to 4r + 3, four
// slots of 8 states each; lines 120 to 164 are not used.
constexpr int kTruthLinesPerRow = 4;
constexpr int kMipiFirstLine = 26 * kTruthLinesPerRow;    // 104
constexpr int kUnusedFirstLine = 30 * kTruthLinesPerRow;  // 120
constexpr CellArea kBandInfoAreas[] = {{0, 1, 0, 1, or_blank(or_x(dec(4, true)))},
                                       {0, 2, 0, 2, or_blank(or_x(hex(2)))}};
constexpr CellArea kSwitchPaTruthAreas[] = {{kMipiFirstLine, 0, kUnusedFirstLine - kMipiFirstLine, 0, kMipiCell},
                                            {kUnusedFirstLine, 0, 0, 0, unused()}};
constexpr RangeDef kSwitchPaRanges[] = {
    {"AntType", 1, 1, &msg::kLteAntTypeCells, keyword(kw::kAntTypes)},
    with_labels({"BandInfo", 12, 4, &msg::kBandInfoCells, or_x(dec(4, true)), kBandInfoAreas}, "band slot",
                "band value"),
    with_labels({"SwitchPa", 165, 32, &msg::kSwitchPaTruthTableCells, line_cell(), kSwitchPaTruthAreas}, "line",
                "slot state")};
// Band of each of the 12 slots (X skips it); 60 rows x 32 columns (two
// values per slot). The merged layout widens the first value of a pair
// without sign and the second with its sign; X stands for 0.
constexpr CellArea kTmpCompAreas[] = {
    {0, 1, 0, 1, or_x(dec(2, true))},  {0, 3, 0, 1, or_x(dec(2, true))},  {0, 5, 0, 1, or_x(dec(2, true))},
    {0, 7, 0, 1, or_x(dec(2, true))},  {0, 9, 0, 1, or_x(dec(2, true))},  {0, 11, 0, 1, or_x(dec(2, true))},
    {0, 13, 0, 1, or_x(dec(2, true))}, {0, 15, 0, 1, or_x(dec(2, true))}, {0, 17, 0, 1, or_x(dec(2, true))},
    {0, 19, 0, 1, or_x(dec(2, true))}, {0, 21, 0, 1, or_x(dec(2, true))}, {0, 23, 0, 1, or_x(dec(2, true))},
    {0, 25, 0, 1, or_x(dec(2, true))}, {0, 27, 0, 1, or_x(dec(2, true))}, {0, 29, 0, 1, or_x(dec(2, true))},
    {0, 31, 0, 1, or_x(dec(2, true))}};
constexpr RangeDef kTmpCompRanges[] = {
    with_labels({"Band", 1, 12, &msg::kLteTmpCompBandCells, or_x(dec(4, true))}, "band", "band slot"),
    with_pairs(with_labels(with_role(RangeDef{"TmpComp", 60, 32, &msg::kTmpCompDataCells, or_x(dec(2, false)),
                                              kTmpCompAreas},
                                     RangeRole::TempComp),
                           "row", "band slot"),
               0, "first value", "compensation")};

// ---- NV blocks per layout ----

// Every merged write but PWT's ends by clearing the spare block.
constexpr NvSpan kMergedSpare = {kMergedSpareOffset, kMergedSpareSize, NvLayout::Merged, false, true};

constexpr NvSpan kFilterBlocks[] = {{kSingleFilterOffset, kFilterCells* kLe16Size, NvLayout::Single},
                                    {kMergedFilterOffset, kFilterCells* kLe16Size, NvLayout::Merged},
                                    kMergedSpare};
constexpr NvSpan kMprBlocks[] = {{kSingleMprOffset, kMprCells* kLe16Size, NvLayout::Single},
                                 {kMergedMprOffset, kMergedMprPlaces* kLe16Size, NvLayout::Merged},
                                 kMergedSpare};
constexpr NvSpan kPhseBlocks[] = {{kSinglePhseFirstHalfOffset, kPhseHalfCells* kLe16Size, NvLayout::Single},
                                  {kSinglePhseSecondHalfOffset, kPhseHalfCells* kLe16Size, NvLayout::Single},
                                  {kMergedPhseCell0Offset, kLe32Size, NvLayout::Merged},
                                  {kMergedPhseCell4Offset, kLe32Size, NvLayout::Merged},
                                  {kMergedPhseCell1Offset, kLe32Size, NvLayout::Merged},
                                  {kMergedPhseCell5Offset, kLe32Size, NvLayout::Merged},
                                  kMergedSpare};
constexpr NvSpan kCapacityBlocks[] = {{kSingleCapacity0Offset, kLe32Size, NvLayout::Single},
                                      {kSingleCapacity1Offset, kLe32Size, NvLayout::Single},
                                      {kMergedCapacity0Offsets[0], kLe32Size, NvLayout::Merged},
                                      {kMergedCapacity1Offsets[0], kLe32Size, NvLayout::Merged},
                                      {kMergedCapacity0Offsets[1], kLe32Size, NvLayout::Merged},
                                      {kMergedCapacity1Offsets[1], kLe32Size, NvLayout::Merged},
                                      kMergedSpare};
// The same offsets in both layouts. In the merged layout they lie inside band
// slot 7's switch/PA record: of the two sheets, the one written last decides
// these bytes.
constexpr NvSpan kPwtBlocks[] = {{k2R1TFlagOffset, kLe16Size, NvLayout::Any, false, true},
                                 {kTxNvFlagOffset, kLe32Size, NvLayout::Any, false, true},
                                 {kAptUseJ11PinFlagOffset, kPwtFlagsBlockSize, NvLayout::Any, false, true}};

// Switch/PA: single layout, the antenna type flag and the 12 records;
// merged layout, per slot 0-13 the band values and entries, then the spare block.
constexpr size_t kSwitchPaSpanCount = 2 + 2 * kMergedLayoutSlots + 1;
constexpr std::array<NvSpan, kSwitchPaSpanCount> switch_pa_blocks() {
  std::array<NvSpan, kSwitchPaSpanCount> spans{};
  size_t n = 0;
  spans[n++] = {kAntTypeFlagOffset, kLe16Size, NvLayout::Single};
  spans[n++] = {kSingleSwitchPaBase, kSingleLayoutSlots * kSingleSwitchPaRecordSize, NvLayout::Single};
  for (size_t slot = 0; slot < kMergedLayoutSlots; ++slot) {
    spans[n++] = {merged_slot_offset(slot), kMergedHeadSize, NvLayout::Merged};
    spans[n++] = {merged_slot_offset(slot) + kMergedTailPos, kMergedTailSize, NvLayout::Merged};
  }
  spans[n++] = kMergedSpare;
  return spans;
}
constexpr auto kSwitchPaBlocks = switch_pa_blocks();

// Temperature compensation: single layout, the 12 records; merged layout,
// per slot 0-13 the band number and the 60 rows, then the spare block.
constexpr size_t kTmpCompSpanCount = 1 + 2 * kMergedLayoutSlots + 1;
constexpr std::array<NvSpan, kTmpCompSpanCount> tmp_comp_blocks() {
  std::array<NvSpan, kTmpCompSpanCount> spans{};
  size_t n = 0;
  spans[n++] = {kSingleTmpCompBase, kSingleLayoutSlots * kSingleTmpCompRecordSize, NvLayout::Single};
  for (size_t slot = 0; slot < kMergedLayoutSlots; ++slot) {
    const uint32_t band = merged_slot_offset(slot) + static_cast<uint32_t>(kMergedTmpCompBandPos);
    // The slot's band number, which the switch/PA sheet writes too.
    spans[n++] = {band, kMergedTmpCompBandSize, NvLayout::Merged, false, true};
    spans[n++] = {merged_slot_offset(slot) + kMergedTmpCompRowsPos, kMergedTmpCompRowsSize, NvLayout::Merged};
  }
  spans[n++] = kMergedSpare;
  return spans;
}
constexpr auto kTmpCompBlocks = tmp_comp_blocks();

// ---- Cells to bytes of the table sheets, per layout ----

constexpr uint8_t kValue16Size = 2;
constexpr uint8_t kValue32Size = 4;
constexpr NvLayout kSingle = NvLayout::Single;
constexpr NvLayout kMerged = NvLayout::Merged;
constexpr ValueFormat kUnsigned = ValueFormat::Unsigned;

constexpr CellRun kFilterRuns[] = {cell_row(0, 0, kFilterCells, kSingleFilterOffset, kValue16Size, kUnsigned, kSingle),
                                   cell_row(0, 0, kFilterCells, kMergedFilterOffset, kValue16Size, kUnsigned, kMerged)};
constexpr CellRun kMprRuns[] = {
    cell_row(0, 0, kMprCells, kSingleMprOffset, kValue16Size, ValueFormat::Signed, kSingle),
    cell_row(0, 0, kMprCells, kMergedMprOffset, kValue16Size, ValueFormat::Signed, kMerged)};
// The single layout stores all eight as 16-bit values, the merged layout one
// 32-bit value per FDD/TDD pair (cells 0, 1, 4, 5), which the TDD cells show.
constexpr CellRun kPhseRuns[] = {
    cell_row(0, 0, kPhseHalfCells, kSinglePhseFirstHalfOffset, kValue16Size, ValueFormat::Hex, kSingle),
    cell_row(0, kPhseHalfCells, kPhseHalfCells, kSinglePhseSecondHalfOffset, kValue16Size, ValueFormat::Hex, kSingle),
    cell_row(0, 0, 1, kMergedPhseCell0Offset, kValue32Size, ValueFormat::Hex, kMerged),
    cell_row(0, 1, 1, kMergedPhseCell1Offset, kValue32Size, ValueFormat::Hex, kMerged),
    cell_row(0, 4, 1, kMergedPhseCell4Offset, kValue32Size, ValueFormat::Hex, kMerged),
    cell_row(0, 5, 1, kMergedPhseCell5Offset, kValue32Size, ValueFormat::Hex, kMerged),
    shown_only(cell_row(0, 2, 1, kMergedPhseCell0Offset, kValue32Size, ValueFormat::Hex, kMerged)),
    shown_only(cell_row(0, 3, 1, kMergedPhseCell1Offset, kValue32Size, ValueFormat::Hex, kMerged)),
    shown_only(cell_row(0, 6, 1, kMergedPhseCell4Offset, kValue32Size, ValueFormat::Hex, kMerged)),
    shown_only(cell_row(0, 7, 1, kMergedPhseCell5Offset, kValue32Size, ValueFormat::Hex, kMerged))};
// The merged layout stores each capacity value twice; the read shows the
// first copy (the one placed last).
constexpr CellRun kCapacityRuns[] = {
    cell_row(0, 0, 1, kSingleCapacity0Offset, kValue32Size, ValueFormat::Hex, kSingle),
    cell_row(0, 1, 1, kSingleCapacity1Offset, kValue32Size, ValueFormat::Hex, kSingle),
    cell_row(0, 0, 1, kMergedCapacity0Offsets[1], kValue32Size, ValueFormat::Hex, kMerged),
    cell_row(0, 0, 1, kMergedCapacity0Offsets[0], kValue32Size, ValueFormat::Hex, kMerged),
    cell_row(0, 1, 1, kMergedCapacity1Offsets[1], kValue32Size, ValueFormat::Hex, kMerged),
    cell_row(0, 1, 1, kMergedCapacity1Offsets[0], kValue32Size, ValueFormat::Hex, kMerged)};

// The flags the PWT sheet stores one value each (both layouts); PwtEn "1"
// stores 1, "0" stores 0 (the read shows "0" for any other value).
constexpr StoredWord kPwtEnWords[] = {{1, kw::kOneZero[kw::kOneWord]}, {0, kw::kOneZero[kw::kZeroWord]}};
constexpr CellRun pwt_en_run() {
  CellRun run = cell_row(7, 0, 1, kPwtEnOffset, kValue16Size);
  run.words = kPwtEnWords;
  return run;
}
constexpr CellRun kPwtPlaced[] = {cell_row(1, 0, 1, k2R1TFlagOffset, kValue16Size),
                                  cell_row(3, 0, 1, kTxNvFlagOffset, kValue32Size, ValueFormat::Hex),
                                  cell_row(5, 0, 1, kAptUseJ11PinFlagOffset, kValue16Size, ValueFormat::Hex),
                                  pwt_en_run()};

// ---- Control-word entries ----

constexpr uint16_t kPwtEntries = (kPwtWordsEnd - kPwtWordsOffset) / kCtrlEntrySize;
constexpr EntryRun kPwtEntryRuns[] = {
    {.name = "PwtEntries",
     .what = "the PWT table's GPIO_GROUP2 entries, word A then word B (zero unless PwtEn is 1)",
     .offset = kPwtWordsOffset,
     .count = kPwtEntries}};

// The built slots' entries; the merged layout's slots past the sheet's
// band slots are stored as zeros.
constexpr EntryRun kSwitchPaEntries[] = {
    {.name = "SlotEntries",
     .what = "a band slot's control-word entries",
     .offset = kSingleSwitchPaBase,
     .count = kSingleSwitchPaEntries,
     .groups = kSingleLayoutSlots,
     .group_step = kSingleSwitchPaRecordSize,
     .layout = NvLayout::Single},
    {.name = "SlotEntries",
     .what = "a band slot's control-word entries",
     .offset = merged_slot_offset(0) + kMergedEntriesPos,
     .count = kMergedSwitchPaEntries,
     .groups = kSheetBandSlots,
     .group_step = kMergedSlotSize,
     .layout = NvLayout::Merged}};

}  // namespace

constexpr SheetDef kLteFilterSheet{.name = "LteFilter",
                                   .family = Family::Lte,
                                   .summary = "LTE filter flags (6, decimal)",
                                   CALVEX_SHEET_WRITE(SheetLteFilterWr),
                                   .decode = &decoders::kLteFilter,
                                   .on_range_count = &msg::kLteFilterConfig,
                                   .ranges = kFilterRanges,
                                   .blocks = kFilterBlocks,
                                   .runs = kFilterRuns,
                                   .layout = NvLayout::Single};

constexpr SheetDef kLteMprSheet{.name = "LteMpr",
                                .family = Family::Lte,
                                .summary = "LTE MPR table (24, decimal)",
                                CALVEX_SHEET_WRITE(SheetLteMprWr),
                                .decode = &decoders::kLteMpr,
                                .on_range_count = &msg::kLteMprConfig,
                                .ranges = kMprRanges,
                                .blocks = kMprBlocks,
                                .runs = kMprRuns,
                                .layout = NvLayout::Single};

constexpr SheetDef kLtePhseSheet{
    .name = "LtePhse",
    .family = Family::Lte,
    .summary = "LTE phase values (8, hex); merged layout: FDD and TDD texts must match",
    CALVEX_SHEET_WRITE(SheetLtePhseWr),
    .decode = &decoders::kLtePhse,
    .on_range_count = &msg::kLtePhseConfig,
    .ranges = kPhseRanges,
    .blocks = kPhseBlocks,
    .runs = kPhseRuns,
    .layout = NvLayout::Single,
    .read_note = "merged layout: one value is stored per FDD/TDD pair, so each TDD cell reads its FDD cell's value"};

constexpr SheetDef kLteCapacitySheet{
    .name = "LteCapacity",
    .family = Family::Lte,
    .summary = "LTE capacity values (2, hex)",
    CALVEX_SHEET_WRITE(SheetLteCapacityWr),
    .decode = &decoders::kLteCapacity,
    .on_range_count = &msg::kLteCapacityConfig,
    .ranges = kCapacityRanges,
    .blocks = kCapacityBlocks,
    .runs = kCapacityRuns,
    .layout = NvLayout::Single,
    .read_note = "merged layout: each value is stored twice; the read shows the first copy"};

constexpr SheetDef kLtePwtAndOtherFlagsSheet{
    .name = "LtePwtAndOtherFlags",
    .family = Family::Lte,
    .summary = "LTE 2R1TFlag, TxNvFlag, AptUseJ11PinFlag and PWT table, each written when its switch is \"open\"",
    CALVEX_SHEET_WRITE(SheetLtePwtAndOtherFlags),
    .decode = &decoders::kLtePwtAndOtherFlags,
    .on_range_count = &msg::kLtePwtConfig,
    .ranges = kPwtRanges,
    .blocks = kPwtBlocks,
    .placed = kPwtPlaced,
    .entries = kPwtEntryRuns,
    .read_note =
        "a switch leaves no trace in the image: every switch reads \"open\", so that writing the read puts "
        "every value back (PwtEnSwitch reads empty when the stored PWT item is not one a write stores); a value "
        "whose switch was off keeps what the image held; with PwtEn other than 1 the PWT table is stored as "
        "zeros: PwtEn reads 0 and its lines X"};

constexpr SheetDef kLteSwitchPaCtrlWordSheet{
    .name = "LteSwitchPaCtrlWord",
    .family = Family::Lte,
    .summary = "LTE switch/PA control words from the truth table (AntType \"MIPI\" or GPIO)",
    CALVEX_SHEET_WRITE(SheetLteSwitchPaCtrlWordWr),
    .decode = &decoders::kLteSwitchPaCtrlWord,
    .on_range_count = &msg::kLteSwitchPaConfig,
    .ranges = kSwitchPaRanges,
    .blocks = kSwitchPaBlocks,
    .entries = kSwitchPaEntries,
    .layout = NvLayout::Single,
    .on_range_count_merged = &msg::kLteaSwitchPaConfig,
    .read_note =
        "an empty slot (X) and band 0 store the same bytes: the band cells show the slots that hold a band "
        "value and as many more (band 0) as the built slots need; a single-layout PA state keeps one MIPI "
        "word, and with one word in state 7 state 5 reads one word too; a state's words read one after "
        "the other; the four slots without band cells keep nothing (under MipiType their states read 0x0,0x0); "
        "cells of slots that were not built, undriven lines and unused cells read X"};

constexpr SheetDef kLteTmpCompSheet{
    .name = "LteTmpComp",
    .family = Family::Lte,
    .summary = "LTE temperature compensation: band per slot, 60 rows of two values per slot",
    CALVEX_SHEET_WRITE(SheetLteTmpCompWr),
    .decode = &decoders::kLteTmpComp,
    .on_range_count = &msg::kLteTmpCompConfig,
    .ranges = kTmpCompRanges,
    .blocks = kTmpCompBlocks,
    .layout = NvLayout::Single,
    .read_note =
        "X and 0 store the same bytes: X values and empty slots (band X) read 0, which counts every slot; "
        "the write fills the records of the first slots, as many as it counts (each band cell not X and the four "
        "slots without a cell), so the columns after them, and of slots the layout has no record of, read 0"};

std::span<const SheetDef* const> lte_sheet_defs() {
  static constexpr const SheetDef* kSheets[] = {
      &kLteFilterSheet,           &kLteMprSheet,    &kLtePhseSheet, &kLteCapacitySheet, &kLtePwtAndOtherFlagsSheet,
      &kLteSwitchPaCtrlWordSheet, &kLteTmpCompSheet};
  return kSheets;
}

}  // namespace calvex
