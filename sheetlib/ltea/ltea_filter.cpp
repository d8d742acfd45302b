// LTE-A filter sheet: six 16-bit filter values at 388, one range of six
// decimal cells, written as one block.
#include "boundary.h"
#include "ltea/ltea_context.h"

namespace calvex::ltea {
namespace {

constexpr size_t kFilterSize = 2 * kFilterCount;
constexpr RangeRule kRanges[] = {{kFilterCount, &msg::kLteaFilterRange}};

void write_filter(const WriteArgs& args, const std::u16string& path) {
  auto ranges = take_ranges(args, msg::kLteaFilterConfig, kRanges);
  if (!ranges) return;

  LteaContext ctx;
  const Cells& cells = (*ranges)[0];
  for (size_t i = 0; i < kFilterCount; ++i) {
    ctx.head.put16(kFilterOffset + 2 * i, static_cast<uint32_t>(ReadDec(cells[i])));
  }

  const NvBlock filters = ctx.head.slice(kFilterOffset, kFilterSize);
  if (!store_blocks(path, {&filters}, msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

void read_filter(ReadCells& out, const std::u16string& path) {
  LteaContext ctx;
  load_nv_head(ctx.head, path, msg::kOpenFailedRead);
  Cells texts(kFilterCount);
  for (size_t i = 0; i < kFilterCount; ++i) texts[i] = dec_text(ctx.head.get16(kFilterOffset + 2 * i));
  fill_checked(out, texts, kMarkValue, msg::kCellCountMismatch);
}

}  // namespace
}  // namespace calvex::ltea

CALVEX_DEFINE_WRITE(SheetLteaFilterWr, calvex::ltea::write_filter)
CALVEX_DEFINE_READ(SheetLteaFilterRd, calvex::ltea::read_filter)
