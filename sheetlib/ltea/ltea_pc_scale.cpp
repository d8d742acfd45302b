// LTE-A PC scale sheet: a switch cell and 17 decimal values. The 32-bit
// marker at 324 says whether PC scaling is on; the values follow at 328.
#include "boundary.h"
#include "ltea/ltea_context.h"

namespace calvex::ltea {
namespace {

constexpr size_t kSwitchRange = 0;
constexpr size_t kValuesRange = 1;
constexpr RangeRule kRanges[] = {{1, &msg::kLteaPcScaleRange}, {kPcScaleCount, &msg::kLteaPcScaleRange}};
constexpr std::u16string_view kSwitchOn = u"1";  // exact text; " 1" or "01" is off

constexpr uint32_t scale_value(size_t i) { return kPcScaleValuesOffset + 2 * static_cast<uint32_t>(i); }

void write_pc_scale(const WriteArgs& args, const std::u16string& path) {
  auto ranges = take_ranges(args, msg::kLteaPcScaleConfig, kRanges);
  if (!ranges) return;

  LteaContext ctx;
  const bool on = (*ranges)[kSwitchRange][0] == kSwitchOn;
  ctx.head.put32(kPcScaleMarkerOffset, on ? kPcScaleMarkerOn : 0);
  if (on) {
    const Cells& values = (*ranges)[kValuesRange];
    for (size_t i = 0; i < kPcScaleCount; ++i)
      ctx.head.put16(scale_value(i), static_cast<uint32_t>(ReadDec(values[i])));
  }

  std::vector<NvBlock> values = {ctx.head.slice(kPcScaleMarkerOffset, kLe32Size)};
  for (size_t i = 0; i < kPcScaleCount; ++i) values.push_back(ctx.head.slice(scale_value(i), kLe16Size));
  if (!store_blocks(path, block_refs(values), msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

void read_pc_scale(ReadCells& out, const std::u16string& path) {
  LteaContext ctx;
  load_nv_head(ctx.head, path, msg::kOpenFailedRead);
  Cells texts;
  texts.push_back(ctx.head.get32(kPcScaleMarkerOffset) == kPcScaleMarkerOn ? u"1" : u"0");
  for (size_t i = 0; i < kPcScaleCount; ++i) texts.push_back(dec_text(ctx.head.get16(scale_value(i))));
  fill_checked(out, texts, kMarkValue, msg::kCellCountMismatch);
}

}  // namespace
}  // namespace calvex::ltea

CALVEX_DEFINE_WRITE(SheetLteaPcScaleWr, calvex::ltea::write_pc_scale)
CALVEX_DEFINE_READ(SheetLteaPcScaleRd, calvex::ltea::read_pc_scale)
