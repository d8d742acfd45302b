// Definitions of the GSM sheets.
#include "gsm/gsm_nv_map.h"
#include "sheets.h"

namespace calvex {
namespace {

using gsm::kGsmBlocks;

// Control words are stored with bit 21 set and read back as bits 19-0.
using gsm::kCtrlWordPayloadMax;
// PA/switch configuration: c2 and c3 are bits 0 and 1 of one word, c4 its bits 16-27.
constexpr int64_t kGsmConfigBitMax = 1;
using gsm::kConfigC4Max;

// 4G-PA-off word (32 bits, X for 0); configuration numbers c0-c4; 13 states x
// (11 lines, 2 control words, 2 unused). The second control word of states
// 0-3 is not stored (the read shows X there).
constexpr CellArea kConfigAreas[] = {
    {0, 2, 1, 2, in_range(dec(1, false), 0, kGsmConfigBitMax)},
    {0, 4, 1, 1, in_range(dec(2, false), 0, kConfigC4Max)},
};
constexpr CellArea kTruthAreas[] = {
    {0, 11, 0, 2, or_x(in_range(hex(4), 0, kCtrlWordPayloadMax))},
    {0, 12, 4, 1, unused()},
    {0, 13, 0, 2, unused()},
};
constexpr RangeDef kSwitchPaRanges[] = {
    {"PaOff4G", 1, 1, &msg::kGsmPaOffCells, or_x(hex(4))},
    {"PaSwitchConfig", 1, 5, &msg::kGsmPaSwitchConfigCells, dec(4, true), kConfigAreas},
    with_labels({"TruthTable", 13, 15, &msg::kGsmTruthTableCells, line_cell(), kTruthAreas}, "state",
                "line / word")};
constexpr NvSpan kSwitchPaBlocks[] = {{kGsmBlocks.truth_a_offset, gsm::kTruthBlockASize},
                                      {kGsmBlocks.pa_config_offset, gsm::kPaConfigSize},
                                      {kGsmBlocks.truth_b_offset, gsm::kTruthBlockBSize},
                                      {kGsmBlocks.ctrl_word_offset, gsm::kCtrlWordSize}};

// Every value is a signed 16-bit number; X stands for 0.
constexpr CellType kTmpCompCell = or_x(dec(2, true));
// Temperature intervals; 8 TX tables of 20 rows x 15 intervals; RX 4 rows x 15 intervals.
constexpr RangeDef tmp_axis(RangeDef range) {
  return with_labels(with_role(range, RangeRole::TempAxis), "temperature", "interval");
}
constexpr RangeDef tmp_table(RangeDef range) {
  return with_values(with_labels(with_role(range, RangeRole::TempComp), "row", "interval"), "compensation");
}
constexpr RangeDef kTmpCompRanges[] = {
    tmp_axis(RangeDef{"TempInterval", 1, 15, &msg::kGsmTempIntervalCells, kTmpCompCell}),
    tmp_table(RangeDef{"Tx1", 20, 15, &msg::kGsmTxTmpCompCells, kTmpCompCell}),
    tmp_table(RangeDef{"Tx2", 20, 15, &msg::kGsmTxTmpCompCells, kTmpCompCell}),
    tmp_table(RangeDef{"Tx3", 20, 15, &msg::kGsmTxTmpCompCells, kTmpCompCell}),
    tmp_table(RangeDef{"Tx4", 20, 15, &msg::kGsmTxTmpCompCells, kTmpCompCell}),
    tmp_table(RangeDef{"Tx5", 20, 15, &msg::kGsmTxTmpCompCells, kTmpCompCell}),
    tmp_table(RangeDef{"Tx6", 20, 15, &msg::kGsmTxTmpCompCells, kTmpCompCell}),
    tmp_table(RangeDef{"Tx7", 20, 15, &msg::kGsmTxTmpCompCells, kTmpCompCell}),
    tmp_table(RangeDef{"Tx8", 20, 15, &msg::kGsmTxTmpCompCells, kTmpCompCell}),
    tmp_table(RangeDef{"Rx", 4, 15, &msg::kGsmRxTmpCompCells, kTmpCompCell}),
};
constexpr NvSpan kTmpCompBlocks[] = {{gsm::kTmpCompHeadOffset, gsm::kTmpCompHeadSize},
                                     {gsm::kTmpCompTxAOffset, gsm::kTmpCompTxTableSize},
                                     {gsm::kTmpCompTxBOffset, gsm::kTmpCompTxTableSize},
                                     {gsm::kTmpCompRxOffset, gsm::kTmpCompRxSize}};

// Ramp time signed 16-bit; backoff the low byte, read back unsigned; ramp
// data unsigned 16-bit. X stands for 0.
constexpr RangeDef kRampCtrlRanges[] = {
    with_labels({"RampTime", 4, 2, &msg::kGsmRampTimeCells, or_x(dec(2, true))}, "row", "column"),
    with_labels({"MultiSlotBackoff", 8, 4, &msg::kGsmBackoffCells, or_x(dec(1, false))}, "group", "slot"),
    with_values(with_labels(with_role(RangeDef{"RampData", 18, 16, &msg::kGsmRampDataCells, or_x(dec(2, false))},
                                      RangeRole::RampShape),
                            "step", "ramp"),
                "ramp value")};
constexpr NvSpan kRampCtrlBlocks[] = {{kGsmBlocks.ramp_time_offset, gsm::kRampTimeSize},
                                      {kGsmBlocks.ramp_data_offset, gsm::kRampDataSize},
                                      {kGsmBlocks.backoff_offset, gsm::kBackoffSize}};

// ---- Cells to bytes of the table sheets ----
//
// Ramp control: PA ramp timing (4 rows x 2), multi-slot power backoff
// (8 rows x 4) and the ramp shape data (18 rows x 16), the ramp timing and
// data stored column after column.
//
// Temperature compensation: 15 temperature intervals, eight TX tables of
// 20 rows x 15 intervals and one RX table of 4 rows x 15 intervals, all
// signed 16-bit. The image holds the TX tables transposed (per interval one
// run of 20 rows), four to each of its two TX blocks.

using namespace gsm;

constexpr uint8_t kValueSize = 2;
constexpr uint8_t kBackoffValueSize = 1;

// ---- Ramp control ----

constexpr uint16_t kRampTimeRows = 4;
constexpr uint16_t kRampTimeCols = 2;
constexpr uint16_t kBackoffCols = 4;
constexpr uint16_t kRampDataRows = 18;
constexpr uint16_t kRampDataCols = kGsmBlocks.ramp_data_count / kRampDataRows;  // 16
// Byte 0 of each backoff group is always 0; the row's cells follow it.
constexpr uint32_t kBackoffFirstValueByte = 1;

static_assert(kRampDataCols * kRampDataRows == kGsmBlocks.ramp_data_count);
static_assert(kRampTimeRows * kRampTimeCols == kRampTimeValues);
static_assert(kBackoffFirstValueByte + kBackoffCols == kBackoffGroupSize);

enum RampRange : uint8_t { kRampTimeRange, kBackoffRange, kRampDataRange };

constexpr CellRun kRampCtrlRuns[] = {
    {.range = kRampTimeRange,
     .rows = kRampTimeRows,
     .cols = kRampTimeCols,
     .offset = kGsmBlocks.ramp_time_offset,
     .row_step = kValueSize,
     .col_step = kRampTimeRows * kValueSize,
     .width = kValueSize,
     .format = ValueFormat::Signed},
    {.range = kBackoffRange,
     .rows = kBackoffGroups,
     .cols = kBackoffCols,
     .offset = kGsmBlocks.backoff_offset + kBackoffFirstValueByte,
     .row_step = kBackoffGroupSize,
     .width = kBackoffValueSize},
    {.range = kRampDataRange,
     .rows = kRampDataRows,
     .cols = kRampDataCols,
     .offset = kGsmBlocks.ramp_data_offset,
     .row_step = kValueSize,
     .col_step = kRampDataRows * kValueSize,
     .width = kValueSize},
};

// ---- Temperature compensation ----

constexpr uint16_t kIntervals = 15;
constexpr uint16_t kTxRanges = 8;
constexpr uint16_t kTxRows = 20;
constexpr uint16_t kTxCells = kTxRows * kIntervals;  // 300 per range
constexpr uint16_t kTxRangesPerBlock = 4;
constexpr uint16_t kRxCells = 4 * kIntervals;
// The head block holds 15 values that are always 0, then the intervals.
constexpr uint32_t kHeadIntervalsOffset = kTmpCompHeadOffset + kIntervals * kValueSize;

static_assert(kTxRangesPerBlock * kTxCells * kValueSize == kTmpCompTxTableSize);
static_assert(kRxCells * kValueSize == kTmpCompRxSize);
static_assert(kHeadIntervalsOffset + kIntervals * kValueSize == kTmpCompHeadOffset + kTmpCompHeadSize);

constexpr uint8_t kIntervalRange = 0;
constexpr uint8_t kFirstTxRange = 1;
constexpr uint8_t kRxRange = kFirstTxRange + kTxRanges;

// TX range t: row m, interval k at (t % 4) * 300 + k * 20 + m values into its block.
constexpr CellRun tx_run(uint8_t t) {
  const uint32_t block = t < kTxRangesPerBlock ? kTmpCompTxAOffset : kTmpCompTxBOffset;
  return {.range = static_cast<uint8_t>(kFirstTxRange + t),
          .rows = kTxRows,
          .cols = kIntervals,
          .offset = block + (t % kTxRangesPerBlock) * kTxCells * kValueSize,
          .row_step = kValueSize,
          .col_step = kTxRows * kValueSize,
          .width = kValueSize,
          .format = ValueFormat::Signed};
}
constexpr CellRun kTmpCompRuns[] = {
    cell_row(kIntervalRange, 0, kIntervals, kHeadIntervalsOffset, kValueSize, ValueFormat::Signed),
    tx_run(0),
    tx_run(1),
    tx_run(2),
    tx_run(3),
    tx_run(4),
    tx_run(5),
    tx_run(6),
    tx_run(7),
    cell_row(kRxRange, 0, kRxCells, kTmpCompRxOffset, kValueSize, ValueFormat::Signed),
};

}  // namespace

constexpr SheetDef kGsmSwitchPaCtrlWordSheet{
    .name = "GsmSwitchPaCtrlWord",
    .family = Family::Gsm,
    .summary = "GSM truth table (13 states x 11 lines), control words, 4G PA off word, PA/switch config",
    CALVEX_SHEET_WRITE(SheetGsmSwitchPaCtrlWordWr),
    CALVEX_SHEET_READ(SheetGsmSwitchPaCtrlWordRd),
    .on_range_count = &msg::kGsmSwitchPaConfig,
    .ranges = kSwitchPaRanges,
    .blocks = kSwitchPaBlocks,
    .read_note = "X and 0 store the same bytes: a line X reads 0, a control word or the 4G PA off word X reads 0x0"};

constexpr SheetDef kGsmTmpCompSheet{.name = "GsmTmpComp",
                                    .family = Family::Gsm,
                                    .summary = "GSM temperature intervals and TX/RX temperature compensation",
                                    CALVEX_SHEET_WRITE(SheetGsmTmpCompWr),
                                    CALVEX_SHEET_READ(SheetGsmTmpCompRd),
                                    .on_range_count = &msg::kGsmTmpCompConfig,
                                    .ranges = kTmpCompRanges,
                                    .blocks = kTmpCompBlocks,
                                    .runs = kTmpCompRuns};

constexpr SheetDef kGsmRampCtrlSheet{.name = "GsmRampCtrl",
                                     .family = Family::Gsm,
                                     .summary = "GSM ramp time, multi-slot power backoff and ramp data",
                                     CALVEX_SHEET_WRITE(SheetGsmRampCtrlWr),
                                     CALVEX_SHEET_READ(SheetGsmRampCtrlRd),
                                     .on_range_count = &msg::kGsmRampCtrlConfig,
                                     .ranges = kRampCtrlRanges,
                                     .blocks = kRampCtrlBlocks,
                                     .runs = kRampCtrlRuns};

std::span<const SheetDef* const> gsm_sheet_defs() {
  static constexpr const SheetDef* kSheets[] = {&kGsmSwitchPaCtrlWordSheet, &kGsmTmpCompSheet, &kGsmRampCtrlSheet};
  return kSheets;
}

}  // namespace calvex
