// GSM temperature compensation sheet: 15 temperature intervals, eight TX
// tables of 20 rows x 15 intervals and one RX table of 4 rows x 15 intervals,
// all signed 16-bit. The NV image holds the TX tables transposed: per
// interval one run of 20 rows.
#include "boundary.h"
#include "gsm/gsm_context.h"

namespace calvex {
namespace {

using gsm::kGsmCellMark;

constexpr size_t kIntervals = 15;
constexpr size_t kTxRanges = 8;
constexpr size_t kTxRowsPerRange = 20;
constexpr size_t kTxCellsPerRange = kTxRowsPerRange * kIntervals;  // 300
constexpr size_t kTxRangesPerTable = 4;
constexpr size_t kRxCells = 4 * kIntervals;
constexpr size_t kValueSize = 2;

// Range indexes of the sheet.
constexpr size_t kIntervalRange = 0;
constexpr size_t kFirstTxRange = 1;
constexpr size_t kRxRange = kFirstTxRange + kTxRanges;
constexpr size_t kRangeCount = kRxRange + 1;

// The head block holds 15 values that are always 0, then the intervals.
constexpr size_t kHeadIntervalIndex = 15;

constexpr int32_t kSheetCells = kIntervals + kTxRanges * kTxCellsPerRange + kRxCells;  // 2475

constexpr RangeRule kRanges[kRangeCount] = {
    {kIntervals, &msg::kGsmTempIntervalCells},    {kTxCellsPerRange, &msg::kGsmTxTmpCompCells},
    {kTxCellsPerRange, &msg::kGsmTxTmpCompCells}, {kTxCellsPerRange, &msg::kGsmTxTmpCompCells},
    {kTxCellsPerRange, &msg::kGsmTxTmpCompCells}, {kTxCellsPerRange, &msg::kGsmTxTmpCompCells},
    {kTxCellsPerRange, &msg::kGsmTxTmpCompCells}, {kTxCellsPerRange, &msg::kGsmTxTmpCompCells},
    {kTxCellsPerRange, &msg::kGsmTxTmpCompCells}, {kRxCells, &msg::kGsmRxTmpCompCells},
};

static_assert(kTxRangesPerTable * kTxCellsPerRange * kValueSize == gsm::kTmpCompTxTableSize);
static_assert(kRxCells * kValueSize == gsm::kTmpCompRxSize);
static_assert((kHeadIntervalIndex + kIntervals) * kValueSize == gsm::kTmpCompHeadSize);

struct TmpCompBlocks {
  NvBlock head{gsm::kTmpCompHeadOffset, gsm::kTmpCompHeadSize};
  NvBlock tx_a{gsm::kTmpCompTxAOffset, gsm::kTmpCompTxTableSize};
  NvBlock tx_b{gsm::kTmpCompTxBOffset, gsm::kTmpCompTxTableSize};
  NvBlock rx{gsm::kTmpCompRxOffset, gsm::kTmpCompRxSize};

  // The table of TX range t (0-7) and the byte position of its row m,
  // interval k there.
  NvBlock& tx_table(size_t t) { return t < kTxRangesPerTable ? tx_a : tx_b; }
  const NvBlock& tx_table(size_t t) const { return t < kTxRangesPerTable ? tx_a : tx_b; }
  static size_t tx_pos(size_t t, size_t cell) {
    const size_t group = t % kTxRangesPerTable;
    const size_t row = cell / kIntervals;
    const size_t interval = cell % kIntervals;
    return (group * kTxCellsPerRange + interval * kTxRowsPerRange + row) * kValueSize;
  }
};

void write_tmp_comp(const WriteArgs& args, const std::u16string& path) {
  auto cells = take_ranges(args, msg::kGsmTmpCompConfig, kRanges);
  if (!cells) return;

  TmpCompBlocks blocks;
  for (size_t i = 0; i < kIntervals; ++i) {
    blocks.head.put16((kHeadIntervalIndex + i) * kValueSize,
                      static_cast<uint32_t>(ReadDecOrX((*cells)[kIntervalRange][i])));
  }
  for (size_t t = 0; t < kTxRanges; ++t) {
    const Cells& range = (*cells)[kFirstTxRange + t];
    for (size_t c = 0; c < kTxCellsPerRange; ++c) {
      blocks.tx_table(t).put16(TmpCompBlocks::tx_pos(t, c), static_cast<uint32_t>(ReadDecOrX(range[c])));
    }
  }
  for (size_t i = 0; i < kRxCells; ++i) {
    blocks.rx.put16(i * kValueSize, static_cast<uint32_t>(ReadDecOrX((*cells)[kRxRange][i])));
  }

  if (!store_blocks(path, {&blocks.head, &blocks.tx_a, &blocks.tx_b, &blocks.rx}, msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

void read_tmp_comp(ReadCells& out, const std::u16string& path) {
  TmpCompBlocks blocks;
  load_blocks(path, NvFile::Mode::ReadOnly, {&blocks.head, &blocks.tx_a, &blocks.tx_b, &blocks.rx},
              &msg::kOpenFailedRead);

  std::vector<std::u16string> texts;
  texts.reserve(kSheetCells);
  for (size_t i = 0; i < kIntervals; ++i)
    texts.push_back(dec_text(blocks.head.get16s((kHeadIntervalIndex + i) * kValueSize)));
  for (size_t t = 0; t < kTxRanges; ++t) {
    for (size_t c = 0; c < kTxCellsPerRange; ++c) {
      texts.push_back(dec_text(blocks.tx_table(t).get16s(TmpCompBlocks::tx_pos(t, c))));
    }
  }
  for (size_t i = 0; i < kRxCells; ++i) texts.push_back(dec_text(blocks.rx.get16s(i * kValueSize)));

  gsm::fill_gsm_cells(out, texts);
}

}  // namespace
}  // namespace calvex

CALVEX_DEFINE_WRITE(SheetGsmTmpCompWr, calvex::write_tmp_comp)
CALVEX_DEFINE_READ(SheetGsmTmpCompRd, calvex::read_tmp_comp)
