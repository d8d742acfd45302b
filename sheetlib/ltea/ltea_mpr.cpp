// LTE-A MPR sheet: 42 signed 16-bit MPR entries at 4, one range of 42
// decimal cells, each entry written on its own.
#include "boundary.h"
#include "ltea/ltea_context.h"

namespace calvex::ltea {
namespace {

constexpr RangeRule kRanges[] = {{kMprCount, &msg::kLteaMprRange}};

constexpr uint32_t mpr_entry(size_t i) { return kMprOffset + 2 * static_cast<uint32_t>(i); }

void write_mpr(const WriteArgs& args, const std::u16string& path) {
  auto ranges = take_ranges(args, msg::kLteaMprConfig, kRanges);
  if (!ranges) return;

  LteaContext ctx;
  const Cells& cells = (*ranges)[0];
  for (size_t i = 0; i < kMprCount; ++i) ctx.head.put16(mpr_entry(i), static_cast<uint32_t>(ReadDec(cells[i])));

  std::vector<NvBlock> entries;
  for (size_t i = 0; i < kMprCount; ++i) entries.push_back(ctx.head.slice(mpr_entry(i), kLe16Size));
  if (!store_blocks(path, block_refs(entries), msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

void read_mpr(ReadCells& out, const std::u16string& path) {
  LteaContext ctx;
  load_nv_head(ctx.head, path, msg::kOpenFailedRead);
  Cells texts(kMprCount);
  for (size_t i = 0; i < kMprCount; ++i) texts[i] = dec_text(ctx.head.get16s(mpr_entry(i)));
  fill_checked(out, texts, kMarkValue, msg::kCellCountMismatch);
}

}  // namespace
}  // namespace calvex::ltea

CALVEX_DEFINE_WRITE(SheetLteaMprWr, calvex::ltea::write_mpr)
CALVEX_DEFINE_READ(SheetLteaMprRd, calvex::ltea::read_mpr)
