// LTE-A flags sheet: TxNvFlag (32-bit at 12956) and TxPowerESF (16-bit at
// 12966), each written only when its switch cell reads "open".
#include "boundary.h"
#include "keywords.h"
#include "ltea/ltea_nv_map.h"
#include "sheet_engine.h"
#include "sheets.h"

namespace calvex::ltea {
namespace {

constexpr size_t kTxNvFlagSwitchRange = 0;
constexpr size_t kTxNvFlagRange = 1;
constexpr size_t kTxPowerEsfSwitchRange = 2;
constexpr size_t kTxPowerEsfRange = 3;
constexpr size_t kTxNvFlagSize = 4;
constexpr size_t kTxPowerEsfSize = 2;
constexpr size_t kReadCells = 2;

uint32_t read_flag_hex(const std::u16string& text) {
  std::u16string copy = remove_spaces(text);
  return ReadHex(copy);
}

void write_flags(const WriteArgs& args, const std::u16string& path) {
  auto ranges = take_ranges(args, kLteaFlagsSheet, NvLayout::Any);
  if (!ranges) return;
  const std::vector<Cells>& r = *ranges;

  NvBlock tx_nv_flag(kTxNvFlagOffset, kTxNvFlagSize);
  tx_nv_flag.put32(0, read_flag_hex(r[kTxNvFlagRange][0]));
  NvBlock tx_power_esf(kTxPowerEsfOffset, kTxPowerEsfSize);
  tx_power_esf.put16(0, read_flag_hex(r[kTxPowerEsfRange][0]));

  std::vector<const NvBlock*> chosen;
  if (kw::text_is(r[kTxNvFlagSwitchRange][0], kw::kOpen[0])) chosen.push_back(&tx_nv_flag);
  if (kw::text_is(r[kTxPowerEsfSwitchRange][0], kw::kOpen[0])) chosen.push_back(&tx_power_esf);
  if (!store_sheet_blocks(path, kLteaFlagsSheet, NvLayout::Any, chosen, msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

// The switches are not stored in the image and are not read back.
void read_flags(ReadCells& out, const std::u16string& path) {
  NvBlock tx_nv_flag(kTxNvFlagOffset, kTxNvFlagSize);
  NvBlock tx_power_esf(kTxPowerEsfOffset, kTxPowerEsfSize);
  load_blocks(path, NvFile::Mode::ReadOnly, {&tx_nv_flag, &tx_power_esf}, &msg::kOpenFailedRead);
  const std::u16string texts[kReadCells] = {hex_text(tx_nv_flag.get32(0)), hex_text(tx_power_esf.get16(0))};
  fill_read(out, texts, kMarkValue, msg::kCellCountMismatch);
}

}  // namespace
}  // namespace calvex::ltea

CALVEX_DEFINE_WRITE(SheetLteaFlagsWr, calvex::ltea::write_flags)
CALVEX_DEFINE_READ(SheetLteaFlagsRd, calvex::ltea::read_flags)
