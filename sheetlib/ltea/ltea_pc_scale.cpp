// LTE-A PC scale sheet: a switch cell and 17 decimal values. The 32-bit
// marker at 324 says whether PC scaling is on; the values follow at 328 and
// are taken from the sheet only when it is on (zeros otherwise).
#include "boundary.h"
#include "keywords.h"
#include "ltea/ltea_nv_map.h"
#include "sheet_engine.h"
#include "sheets.h"

namespace calvex::ltea {
namespace {

constexpr size_t kSwitchRange = 0;
constexpr size_t kValuesRange = 1;
constexpr size_t kMarkerSize = 4;
constexpr size_t kValueSize = 2;
static_assert(kPcScaleMarkerOffset + kMarkerSize == kPcScaleValuesOffset);

// Marker and values, staged as one block from the marker.
constexpr size_t kBlockSize = kMarkerSize + kPcScaleCount * kValueSize;
constexpr size_t value_pos(size_t i) { return kMarkerSize + kValueSize * i; }

void write_pc_scale(const WriteArgs& args, const std::u16string& path) {
  auto ranges = take_ranges(args, kLteaPcScaleSheet, NvLayout::Any);
  if (!ranges) return;

  NvBlock block(kPcScaleMarkerOffset, kBlockSize);
  const bool on = kw::text_is((*ranges)[kSwitchRange][0], kw::kOneZero[kw::kOneWord]);  // " 1" or "01" is off
  block.put32(0, on ? kPcScaleMarkerOn : 0);
  if (on) {
    const Cells& values = (*ranges)[kValuesRange];
    for (size_t i = 0; i < kPcScaleCount; ++i) block.put16(value_pos(i), static_cast<uint32_t>(ReadDec(values[i])));
  }
  if (!store_sheet_blocks(path, kLteaPcScaleSheet, NvLayout::Any, {&block}, msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

void read_pc_scale(ReadCells& out, const std::u16string& path) {
  NvBlock block(kPcScaleMarkerOffset, kBlockSize);
  load_blocks(path, NvFile::Mode::ReadOnly, {&block}, &msg::kOpenFailedRead);
  Cells texts;
  texts.push_back(widen(kw::kOneZero[block.get32(0) == kPcScaleMarkerOn ? kw::kOneWord : kw::kZeroWord]));
  for (size_t i = 0; i < kPcScaleCount; ++i) texts.push_back(dec_text(block.get16(value_pos(i))));
  fill_read(out, texts, kMarkValue, msg::kCellCountMismatch);
}

}  // namespace
}  // namespace calvex::ltea

CALVEX_DEFINE_WRITE(SheetLteaPcScaleWr, calvex::ltea::write_pc_scale)
CALVEX_DEFINE_READ(SheetLteaPcScaleRd, calvex::ltea::read_pc_scale)
