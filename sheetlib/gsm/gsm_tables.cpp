// The GSM table sheets, run by the table engine. Every cell is read with
// ReadDecOrX and every read-back cell carries the plain mark.
//
// Ramp control: PA ramp timing (4 rows x 2), multi-slot power backoff
// (8 rows x 4) and the ramp shape data (18 rows x 16), the ramp timing and
// data stored column after column.
//
// Temperature compensation: 15 temperature intervals, eight TX tables of
// 20 rows x 15 intervals and one RX table of 4 rows x 15 intervals, all
// signed 16-bit. The image holds the TX tables transposed (per interval one
// run of 20 rows), four to each of its two TX blocks.
#include "boundary.h"
#include "gsm/gsm_nv_map.h"
#include "sheet_engine.h"

namespace calvex::gsm {
namespace {

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

constexpr TableRange kRampRanges[] = {
    {kRampTimeRows * kRampTimeCols, &msg::kGsmRampTimeCells, CellParse::DecOrX},
    {kBackoffGroups * kBackoffCols, &msg::kGsmBackoffCells, CellParse::DecOrX},
    {kGsmBlocks.ramp_data_count, &msg::kGsmRampDataCells, CellParse::DecOrX},
};
constexpr NvSpan kRampBlocks[] = {{kGsmBlocks.ramp_time_offset, kRampTimeSize},
                                  {kGsmBlocks.backoff_offset, kBackoffSize},
                                  {kGsmBlocks.ramp_data_offset, kRampDataSize}};
constexpr CellRun kRampRuns[] = {
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

constexpr TableSheet kRampCtrl{.on_range_count = &msg::kGsmRampCtrlConfig,
                               .ranges = kRampRanges,
                               .blocks = kRampBlocks,
                               .runs = kRampRuns,
                               .read_mark = kMarkPlain};

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

constexpr TableRange kTxRange{kTxCells, &msg::kGsmTxTmpCompCells, CellParse::DecOrX};
constexpr TableRange kTmpCompRanges[] = {
    {kIntervals, &msg::kGsmTempIntervalCells, CellParse::DecOrX},
    kTxRange, kTxRange, kTxRange, kTxRange, kTxRange, kTxRange, kTxRange, kTxRange,
    {kRxCells, &msg::kGsmRxTmpCompCells, CellParse::DecOrX},
};
constexpr NvSpan kTmpCompBlocks[] = {{kTmpCompHeadOffset, kTmpCompHeadSize},
                                     {kTmpCompTxAOffset, kTmpCompTxTableSize},
                                     {kTmpCompTxBOffset, kTmpCompTxTableSize},
                                     {kTmpCompRxOffset, kTmpCompRxSize}};

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
    tx_run(0), tx_run(1), tx_run(2), tx_run(3), tx_run(4), tx_run(5), tx_run(6), tx_run(7),
    cell_row(kRxRange, 0, kRxCells, kTmpCompRxOffset, kValueSize, ValueFormat::Signed),
};

constexpr TableSheet kTmpComp{.on_range_count = &msg::kGsmTmpCompConfig,
                              .ranges = kTmpCompRanges,
                              .blocks = kTmpCompBlocks,
                              .runs = kTmpCompRuns,
                              .read_mark = kMarkPlain};

}  // namespace
}  // namespace calvex::gsm

CALVEX_DEFINE_WRITE(SheetGsmRampCtrlWr, calvex::write_table_op<calvex::gsm::kRampCtrl>)
CALVEX_DEFINE_READ(SheetGsmRampCtrlRd, calvex::read_table_op<calvex::gsm::kRampCtrl>)
CALVEX_DEFINE_WRITE(SheetGsmTmpCompWr, calvex::write_table_op<calvex::gsm::kTmpComp>)
CALVEX_DEFINE_READ(SheetGsmTmpCompRd, calvex::read_table_op<calvex::gsm::kTmpComp>)
