// Definitions of the LTE-A sheets.
#include <array>
#include <climits>

#include "decoders.h"
#include "keywords.h"
#include "ltea/ltea_nv_map.h"
#include "sheets.h"

namespace calvex {
namespace {

using namespace ltea;  // the NV head map (ltea_nv_map.h)

// ---- Cell kinds ----

// "open" (exactly) writes the switched value; empty leaves it off (the read
// shows the switches empty).
constexpr CellType kSwitchCell = keyword(kw::kOpen, true);
// PC scaling is on exactly when its switch is "1"; the read shows "1" or "0".
// PA timing offsets are clamped to -1000..1000; X stands for 0.
constexpr int64_t kPaTimingLimit = 1000;
// A band number in the switch/PA band list: X marks an empty slot, and a
// band 0 would read back as an empty slot.
constexpr int64_t kBandMin = 1;
constexpr int64_t kBandMax = INT32_MAX;

constexpr RangeDef kFilterRanges[] = {{"Filter", 6, 1, &msg::kLteaFilterRange, dec(2, false)}};
constexpr RangeDef kFlagsRanges[] = {{"TxNvFlagSwitch", 1, 1, &msg::kTxNvFlagSwitchCells, kSwitchCell},
                                     {"TxNvFlag", 1, 1, &msg::kTxNvFlagCells, hex(4)},
                                     {"TxPowerESFSwitch", 1, 1, &msg::kLteaTxPowerEsfSwitchRange, kSwitchCell},
                                     {"TxPowerESF", 1, 1, &msg::kLteaTxPowerEsfRange, hex(2)}};
// The read gives TxNvFlag and TxPowerESF only; the switches come back empty (off).
constexpr ReadRun kFlagsRead[] = {{1, 0, 1}, {3, 0, 1}};
// A read shows the switches "open", so that the values it shows are written back.
constexpr ReadFill kFlagsReadFills[] = {{0, 0, kw::kOpen[0]}, {2, 0, kw::kOpen[0]}};
constexpr RangeDef kMprRanges[] = {{"Mpr", 42, 1, &msg::kLteaMprRange, dec(2, true)}};
constexpr RangeDef kPcScaleRanges[] = {{"PcScaleSwitch", 1, 1, &msg::kLteaPcScaleRange, keyword(kw::kOneZero)},
                                       {"PcScale", 17, 1, &msg::kLteaPcScaleRange, dec(2, false)}};
constexpr RangeDef kPhseRanges[] = {{"Phse", 4, 1, &msg::kLteaPhseRange, hex(4)}};
constexpr RangeDef kCapacityRanges[] = {{"Capacity", 4, 1, &msg::kLteaCapacityRange, hex(4)}};
// MipiSel (copied, not used: any text); band of each slot; truth table 19
// rows (11 GPIO_GROUP0 lines, 4 GPIO_GROUP1 lines, 4 MIPI words) x 128
// columns (8 states per slot); PA timing offsets 4 rows x 16 slots.
constexpr CellArea kSwitchPaTruthAreas[] = {{15, 0, 4, 0, or_x(hex(4))}};
constexpr RangeDef kSwitchPaRanges[] = {
    {"MipiSel", 1, 1, &msg::kLteaMipiSelRange, or_blank(text())},
    {"BandInfoMain", 1, 16, &msg::kLteaBandInfoMainRange, or_x(in_range(dec(4, true), kBandMin, kBandMax))},
    with_labels({"TruthTable", 19, 128, &msg::kLteaTruthTableRange, line_cell(), kSwitchPaTruthAreas}, "line / word",
                "slot state"),
    with_labels({"PaTimingOffset", 4, 16, &msg::kLteaPaTimingRange,
                 or_x(in_range(dec(2, true), -kPaTimingLimit, kPaTimingLimit))},
                "offset", "band slot")};
// MipiSel is not read back: its cell comes back empty.
constexpr ReadRun kSwitchPaRead[] = {{1, 0, 16}, {2, 0, 19 * 128}, {3, 0, 4 * 16}};
// Band of each slot ("X", "x" or "0" for an empty slot; it must match the
// image's); 60 rows x 32 columns (two signed 32-bit values per slot; X in the
// columns of empty slots, which are not read).
constexpr RangeDef kTmpCompRanges[] = {
    with_labels({"Band", 1, 16, &msg::kLteaTmpCompBandRange, or_x(in_range(dec(4, true), 0, kBandMax))}, "band",
                "band slot"),
    with_pairs(with_labels(with_role(RangeDef{"TmpComp", 60, 32, &msg::kLteaTmpCompTableRange, or_x(dec(4, true))},
                                     RangeRole::TempComp),
                           "row", "band slot"),
               0, "first value", "compensation")};
// 15 GPIO lines (11 GPIO_GROUP0, 4 GPIO_GROUP1) x main, diversity antenna.
constexpr RangeDef kTxAntSelectRanges[] = {{"TxAntSelect", 15, 2, &msg::kLteaTxAntRange, line_cell()}};

// ---- NV blocks ----

constexpr NvSpan kFilterBlocks[] = {{kFilterOffset, kFilterCount* kLe16Size}};
constexpr NvSpan kFlagsBlocks[] = {{kTxNvFlagOffset, kLe32Size}, {kTxPowerEsfOffset, kLe16Size}};
constexpr NvSpan kMprBlocks[] = {{kMprOffset, kMprCount* kLe16Size}};
constexpr NvSpan kPcScaleBlocks[] = {{kPcScaleMarkerOffset, kLe32Size},
                                     {kPcScaleValuesOffset, kPcScaleCount* kLe16Size}};
constexpr NvSpan kPhseBlocks[] = {{kPairsOffset + 0 * kPairSize + kPhaseInPair, kLe32Size},
                                  {kPairsOffset + 1 * kPairSize + kPhaseInPair, kLe32Size},
                                  {kPairsOffset + 2 * kPairSize + kPhaseInPair, kLe32Size},
                                  {kPairsOffset + 3 * kPairSize + kPhaseInPair, kLe32Size}};
constexpr NvSpan kCapacityBlocks[] = {{kPairsOffset + 0 * kPairSize + kCapacityInPair, kLe32Size},
                                      {kPairsOffset + 1 * kPairSize + kCapacityInPair, kLe32Size},
                                      {kPairsOffset + 2 * kPairSize + kCapacityInPair, kLe32Size},
                                      {kPairsOffset + 3 * kPairSize + kCapacityInPair, kLe32Size}};
constexpr NvSpan kTxAntSelectBlocks[] = {{kAntMainEntryOffset, kEntrySize}, {kAntDiversityEntryOffset, kEntrySize}};

// ---- Cells to bytes of the table sheets ----

constexpr uint8_t kValue16Size = 2;
constexpr uint8_t kValue32Size = 4;

constexpr CellRun kFilterRuns[] = {cell_row(0, 0, kFilterCount, kFilterOffset, kValue16Size)};

// The cells the flags and PC scaling operations store one value each.
constexpr CellRun kFlagsPlaced[] = {cell_row(1, 0, 1, kTxNvFlagOffset, kValue32Size, ValueFormat::Hex),
                                    cell_row(3, 0, 1, kTxPowerEsfOffset, kValue16Size, ValueFormat::Hex)};
// PcScaleSwitch "1" stores the marker word, "0" a zero word (the read shows
// "0" for any other word).
constexpr StoredWord kPcScaleSwitchWords[] = {{kPcScaleMarkerOn, kw::kOneZero[kw::kOneWord]},
                                              {0, kw::kOneZero[kw::kZeroWord]}};
constexpr CellRun pc_scale_switch_run() {
  CellRun run = cell_row(0, 0, 1, kPcScaleMarkerOffset, kValue32Size);
  run.words = kPcScaleSwitchWords;
  return run;
}
constexpr CellRun kPcScalePlaced[] = {pc_scale_switch_run(),
                                      cell_row(1, 0, kPcScaleCount, kPcScaleValuesOffset, kValue16Size)};

constexpr CellRun kMprRuns[] = {cell_row(0, 0, kMprCount, kMprOffset, kValue16Size, ValueFormat::Signed)};

// NV offset of sheet cell i's field in its pair.
constexpr uint32_t pair_field(uint16_t cell, uint32_t field_in_pair) {
  return kPairsOffset + kPairSize * static_cast<uint32_t>(kPairOfCell[cell]) + field_in_pair;
}
// One run per cell, in cell order.
constexpr std::array<CellRun, kPairCount> pair_runs(uint32_t field_in_pair) {
  std::array<CellRun, kPairCount> runs{};
  for (uint16_t i = 0; i < kPairCount; ++i) {
    runs[i] = cell_row(0, i, 1, pair_field(i, field_in_pair), kValue32Size, ValueFormat::Hex);
  }
  return runs;
}

constexpr auto kPhseRuns = pair_runs(kPhaseInPair);

constexpr auto kCapacityRuns = pair_runs(kCapacityInPair);

// The switch/PA write reads the head, then writes in every band record the
// band number and the carried field (record offsets 0-7), the state blocks
// (8-263), the carried fields at 760-763 and the PA timing offsets (764-771),
// besides the record count, the five cleared fields and the end marker.
constexpr uint32_t kRecStateBlocksEnd = kRecSwitchStates + kStateBlocksSize;  // 264
constexpr uint32_t kRecPaTimingEnd = kRecPaTiming + kPaTimingSize;            // 772
constexpr size_t kSwitchPaSpanCount = 1 + 1 + 2 * kBandSlots + 2;
constexpr std::array<NvSpan, kSwitchPaSpanCount> switch_pa_blocks() {
  std::array<NvSpan, kSwitchPaSpanCount> spans{};
  size_t n = 0;
  spans[n++] = {0, kHeadSize, NvLayout::Any, true};
  spans[n++] = {kBandRecordCountOffset, kLe32Size};
  for (size_t k = 0; k < kBandSlots; ++k) {
    spans[n++] = {band_field(k, kRecBandNumber), kRecStateBlocksEnd};
    spans[n++] = {band_field(k, kRecCarried760), kRecPaTimingEnd - kRecCarried760};
  }
  spans[n++] = {kClearedFieldsOffset, kClearedFieldCount * kLe16Size};
  spans[n++] = {kHeadEndMarkerOffset, kLe16Size};
  return spans;
}
constexpr auto kSwitchPaBlocks = switch_pa_blocks();

// Every band record's state blocks: four entries per state, the PA states'
// blocks followed by the switch states'.
static_assert(state_block(0, kPaStates) == state_block(0, kPaStates - 1) + kStateBlockSize);
static_assert(state_block(0, kStatesPerSlot - 1) + kStateBlockSize == state_block(0, 0) + kStatesPerSlot * kStateBlockSize);
constexpr EntryRun kSwitchPaEntries[] = {
    {.name = "StateEntries",
     .what = "a band slot's entries, four per state: PA states 0 to 3, then switch states 4 to 7",
     .offset = state_block(0, 0),
     .count = kStatesPerSlot * kEntriesPerState,
     .groups = kBandSlots,
     .group_step = kBandRecordSize}};

constexpr EntryRun kTxAntSelectEntries[] = {
    {.name = "MainEntry",
     .what = "the main antenna's GPIO entry (its kind is 16-bit; bit 14 set: not configured)",
     .offset = kAntMainEntryOffset},
    {.name = "DiversityEntry",
     .what = "the diversity antenna's GPIO entry (its kind is 16-bit; bit 14 set: not configured)",
     .offset = kAntDiversityEntryOffset}};

// The temperature compensation write reads the head (the band check), then
// writes each record's band number (as read) and table.
constexpr size_t kTmpCompSpanCount = 1 + 2 * kBandSlots;
constexpr std::array<NvSpan, kTmpCompSpanCount> tmp_comp_blocks() {
  std::array<NvSpan, kTmpCompSpanCount> spans{};
  size_t n = 0;
  spans[n++] = {0, kHeadSize, NvLayout::Any, true};
  for (size_t k = 0; k < kBandSlots; ++k) {
    // The band number, written back as the image holds it (the switch/PA sheet writes it too).
    spans[n++] = {band_field(k, kRecBandNumber), kLe32Size, NvLayout::Any, false, true};
    spans[n++] = {band_field(k, kRecTmpComp), kTmpCompSize};
  }
  return spans;
}
constexpr auto kTmpCompBlocks = tmp_comp_blocks();

}  // namespace

constexpr SheetDef kLteaFilterSheet{.name = "LteaFilter",
                                    .family = Family::Ltea,
                                    .summary = "LTE-A primary carrier filter values (6)",
                                    CALVEX_SHEET_WRITE(SheetLteaFilterWr),
                                    CALVEX_SHEET_READ(SheetLteaFilterRd),
                                    .on_range_count = &msg::kLteaFilterConfig,
                                    .ranges = kFilterRanges,
                                    .blocks = kFilterBlocks,
                                    .runs = kFilterRuns};

constexpr SheetDef kLteaFlagsSheet{.name = "LteaFlags",
                                   .family = Family::Ltea,
                                   .summary = "LTE-A TxNvFlag and TxPowerESF, each written when its switch is \"open\"",
                                   CALVEX_SHEET_WRITE(SheetLteaFlagsWr),
                                   CALVEX_SHEET_READ(SheetLteaFlagsRd),
                                   .on_range_count = &msg::kLteaFlagsConfig,
                                   .ranges = kFlagsRanges,
                                   .blocks = kFlagsBlocks,
                                   .placed = kFlagsPlaced,
                                   .read_cells = 2,
                                   .read_runs = kFlagsRead,
                                   .read_fills = kFlagsReadFills,
                                   .read_note = "a switch leaves no trace in the image: both switches read \"open\" and "
                                                "each value as stored (a value whose switch was off keeps what the "
                                                "image held)"};

constexpr SheetDef kLteaMprSheet{.name = "LteaMpr",
                                 .family = Family::Ltea,
                                 .summary = "LTE-A primary carrier MPR table (42)",
                                 CALVEX_SHEET_WRITE(SheetLteaMprWr),
                                 CALVEX_SHEET_READ(SheetLteaMprRd),
                                 .on_range_count = &msg::kLteaMprConfig,
                                 .ranges = kMprRanges,
                                 .blocks = kMprBlocks,
                                 .runs = kMprRuns};

constexpr SheetDef kLteaPcScaleSheet{.name = "LteaPcScale",
                                     .family = Family::Ltea,
                                     .summary = "LTE-A PC scaling switch (1 = on) and 17 scale values",
                                     CALVEX_SHEET_WRITE(SheetLteaPcScaleWr),
                                     CALVEX_SHEET_READ(SheetLteaPcScaleRd),
                                     .on_range_count = &msg::kLteaPcScaleConfig,
                                     .ranges = kPcScaleRanges,
                                     .blocks = kPcScaleBlocks,
                                     .placed = kPcScalePlaced,
                                     .read_note = "the values are stored only when the switch is \"1\" (zeros "
                                                  "otherwise): with any other switch the switch reads \"0\" and "
                                                  "every value 0"};

constexpr SheetDef kLteaPhseSheet{.name = "LteaPhse",
                                  .family = Family::Ltea,
                                  .summary = "LTE-A phase values of the four phase/capacity pairs (hex)",
                                  CALVEX_SHEET_WRITE(SheetLteaPhseWr),
                                  CALVEX_SHEET_READ(SheetLteaPhseRd),
                                  .on_range_count = &msg::kLteaPhseConfig,
                                  .ranges = kPhseRanges,
                                  .blocks = kPhseBlocks,
                                  .runs = kPhseRuns};

constexpr SheetDef kLteaCapacitySheet{.name = "LteaCapacity",
                                      .family = Family::Ltea,
                                      .summary = "LTE-A capacity values of the four phase/capacity pairs (hex)",
                                      CALVEX_SHEET_WRITE(SheetLteaCapacityWr),
                                      CALVEX_SHEET_READ(SheetLteaCapacityRd),
                                      .on_range_count = &msg::kLteaCapacityConfig,
                                      .ranges = kCapacityRanges,
                                      .blocks = kCapacityBlocks,
                                      .runs = kCapacityRuns};

constexpr SheetDef kLteaSwitchPaCtrlWordSheet{
    .name = "LteaSwitchPaCtrlWord",
    .family = Family::Ltea,
    .summary = "LTE-A band list, PA/switch truth table (16 slots x 8 states) and PA timing offsets",
    CALVEX_SHEET_WRITE(SheetLteaSwitchPaCtrlWordWr),
    CALVEX_SHEET_READ(SheetLteaSwitchPaCtrlWordRd),
    // The export shows the words of the non-empty slots; the write builds
    // those of the first slots, as many as there are bands.
    .decode = &decoders::kLteaSwitchPaCtrlWord,
    .decode_over_export = true,
    .on_range_count = &msg::kLteaSwitchPaConfig,
    .ranges = kSwitchPaRanges,
    .blocks = kSwitchPaBlocks,
    .entries = kSwitchPaEntries,
    .read_cells = 16 + 19 * 128 + 4 * 16,
    .read_runs = kSwitchPaRead,
    .read_note =
        "MipiSel is not stored and reads empty; the truth table shows the first slots, as many as the image "
        "has bands (the write builds those, whichever slots are empty), X in the others; a GPIO group drives "
        "a line or reads X; a state's MIPI words read one after the other, X after them; PA timing offsets "
        "read as stored (X reads 0)"};

constexpr SheetDef kLteaTmpCompSheet{
    .name = "LteaTmpComp",
    .family = Family::Ltea,
    .summary = "LTE-A temperature compensation (60 rows per band; bands must match the image's)",
    CALVEX_SHEET_WRITE(SheetLteaTmpCompWr),
    CALVEX_SHEET_READ(SheetLteaTmpCompRd),
    // The export shows the columns of the non-empty slots; the write stores
    // those of the first slots, as many as there are bands.
    .decode = &decoders::kLteaTmpComp,
    .decode_over_export = true,
    .on_range_count = &msg::kLteaTmpCompConfig,
    .ranges = kTmpCompRanges,
    .blocks = kTmpCompBlocks,
    .read_note =
        "X and 0 store the same bytes: X values read 0; the table shows the columns of the first slots, as "
        "many as the image has bands (the write stores those, whichever slots are empty), X in the others"};

constexpr SheetDef kLteaTxAntSelectSheet{.name = "LteaTxAntSelect",
                                         .family = Family::Ltea,
                                         .summary = "LTE-A TX main/diversity antenna GPIO lines",
                                         CALVEX_SHEET_WRITE(SheetLteaTxAntSelectWr),
                                         CALVEX_SHEET_READ(SheetLteaTxAntSelectRd),
                                         .on_range_count = &msg::kLteaTxAntConfig,
                                         .ranges = kTxAntSelectRanges,
                                         .blocks = kTxAntSelectBlocks,
                                         .entries = kTxAntSelectEntries,
                                         .read_note = "an antenna's entry holds GPIO_GROUP0 where it drives a line, "
                                                      "else GPIO_GROUP1: GPIO_GROUP1's lines read X where "
                                                      "GPIO_GROUP0 drives a line (the write ignores them)"};

std::span<const SheetDef* const> ltea_sheet_defs() {
  static constexpr const SheetDef* kSheets[] = {
      &kLteaFilterSheet,           &kLteaFlagsSheet,   &kLteaMprSheet,
      &kLteaPcScaleSheet,          &kLteaPhseSheet,    &kLteaCapacitySheet,
      &kLteaSwitchPaCtrlWordSheet, &kLteaTmpCompSheet, &kLteaTxAntSelectSheet};
  return kSheets;
}

}  // namespace calvex
