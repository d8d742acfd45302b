// GSM ramp control sheet: PA ramp timing (4 rows x 2), multi-slot power
// backoff (8 rows x 4) and the ramp shape data (18 rows x 16 columns), the
// latter stored column after column.
#include "boundary.h"
#include "gsm/gsm_context.h"

namespace calvex {
namespace {

using gsm::kGsmBlocks;
using gsm::kGsmCellMark;

constexpr size_t kRampTimeRows = 4;
constexpr size_t kRampTimeCols = 2;
constexpr size_t kRampTimeCells = kRampTimeRows * kRampTimeCols;
constexpr size_t kBackoffCols = 4;
constexpr size_t kBackoffCells = gsm::kBackoffGroups * kBackoffCols;
constexpr size_t kRampDataRows = 18;
constexpr size_t kRampDataCols = kGsmBlocks.ramp_data_count / kRampDataRows;
constexpr size_t kRampDataCells = kGsmBlocks.ramp_data_count;
constexpr size_t kValueSize = 2;

// Byte 0 of each backoff group is always 0; the row's cells follow it.
constexpr size_t kBackoffFirstValueByte = 1;

constexpr int32_t kSheetCells = kRampTimeCells + kBackoffCells + kRampDataCells;  // 328

static_assert(kRampDataCols * kRampDataRows == kGsmBlocks.ramp_data_count);
static_assert(kRampTimeCells == gsm::kRampTimeValues);
static_assert(kBackoffFirstValueByte + kBackoffCols == gsm::kBackoffGroupSize);

constexpr RangeRule kRanges[] = {
    {kRampTimeCells, &msg::kGsmRampTimeCells},
    {kBackoffCells, &msg::kGsmBackoffCells},
    {kRampDataCells, &msg::kGsmRampDataCells},
};

// Position of sheet cell `cell` (row after row) in its block.
// Ramp time: the first sheet column is T[0..3], the second T[4..7].
size_t ramp_time_pos(size_t cell) {
  return ((cell % kRampTimeCols) * kRampTimeRows + cell / kRampTimeCols) * kValueSize;
}
size_t backoff_pos(size_t cell) {
  return (cell / kBackoffCols) * gsm::kBackoffGroupSize + kBackoffFirstValueByte + cell % kBackoffCols;
}
size_t ramp_data_pos(size_t cell) {
  return ((cell % kRampDataCols) * kRampDataRows + cell / kRampDataCols) * kValueSize;
}

struct RampBlocks {
  NvBlock ramp_time{kGsmBlocks.ramp_time_offset, gsm::kRampTimeSize};
  NvBlock backoff{kGsmBlocks.backoff_offset, gsm::kBackoffSize};
  NvBlock ramp_data{kGsmBlocks.ramp_data_offset, gsm::kRampDataSize};
};

void write_ramp_ctrl(const WriteArgs& args, const std::u16string& path) {
  auto cells = take_ranges(args, msg::kGsmRampCtrlConfig, kRanges);
  if (!cells) return;

  RampBlocks blocks;
  for (size_t c = 0; c < kRampTimeCells; ++c) {
    blocks.ramp_time.put16(ramp_time_pos(c), static_cast<uint32_t>(ReadDecOrX((*cells)[0][c])));
  }
  for (size_t c = 0; c < kBackoffCells; ++c) {
    blocks.backoff.put8(backoff_pos(c), static_cast<uint32_t>(ReadDecOrX((*cells)[1][c])));
  }
  for (size_t c = 0; c < kRampDataCells; ++c) {
    blocks.ramp_data.put16(ramp_data_pos(c), static_cast<uint32_t>(ReadDecOrX((*cells)[2][c])));
  }

  if (!store_blocks(path, {&blocks.ramp_time, &blocks.backoff, &blocks.ramp_data}, msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

void read_ramp_ctrl(ReadCells& out, const std::u16string& path) {
  RampBlocks blocks;
  load_blocks(path, NvFile::Mode::ReadOnly, {&blocks.ramp_time, &blocks.backoff, &blocks.ramp_data},
              &msg::kOpenFailedRead);

  std::vector<std::u16string> texts;
  texts.reserve(kSheetCells);
  for (size_t c = 0; c < kRampTimeCells; ++c) texts.push_back(dec_text(blocks.ramp_time.get16s(ramp_time_pos(c))));
  for (size_t c = 0; c < kBackoffCells; ++c) texts.push_back(dec_text(blocks.backoff.get8(backoff_pos(c))));
  for (size_t c = 0; c < kRampDataCells; ++c) texts.push_back(dec_text(blocks.ramp_data.get16(ramp_data_pos(c))));

  gsm::fill_gsm_cells(out, texts);
}

}  // namespace
}  // namespace calvex

CALVEX_DEFINE_WRITE(SheetGsmRampCtrlWr, calvex::write_ramp_ctrl)
CALVEX_DEFINE_READ(SheetGsmRampCtrlRd, calvex::read_ramp_ctrl)
