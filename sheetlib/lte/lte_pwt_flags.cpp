// LTE PWT and other flags: four independent items, each written only when its
// switch cell is exactly "open". The offsets are the same whatever the layout
// switch says, and the merged spare block is left alone.
#include "boundary.h"
#include "keywords.h"
#include "lte/lte_ctrl_word.h"
#include "lte/lte_nv_map.h"
#include "sheets.h"

namespace calvex::lte {
namespace {

enum Range : size_t {
  k2R1TFlagSwitch,
  k2R1TFlag,
  kTxNvFlagSwitch,
  kTxNvFlag,
  kAptUseJ11PinFlagSwitch,
  kAptUseJ11PinFlag,
  kPwtEnSwitch,
  kPwtEn,
  kPwtTable,
};

// Two GPIO words of 11 lines, interleaved: line k of word A is cell 2k,
// line k of word B cell 2k + 1. Both are encoded like Group2 words.
constexpr size_t kPwtWords = 2;
constexpr size_t kPwtTableCells = kPwtWords * kGroup2Lines;

constexpr size_t kFlag16Size = 2;
constexpr size_t kFlag32Size = 4;
static_assert(kPwtEnOffset + kFlag16Size + kPwtWords * kCtrlEntrySize == kPwtWordsEnd);

bool switched_on(const Cells& cells) { return kw::text_is(cells[0], kw::kOpen[0]); }

void write_pwt_and_other_flags(const WriteArgs& args, const std::u16string& path) {
  auto ranges = take_ranges(args, kLtePwtAndOtherFlagsSheet, NvLayout::Any);
  if (!ranges) return;
  const std::vector<Cells>& r = *ranges;

  NvBlock flag_2r1t(k2R1TFlagOffset, kFlag16Size);
  flag_2r1t.put16(0, static_cast<uint32_t>(ReadDec(remove_spaces(r[k2R1TFlag][0]))));
  NvBlock tx_nv_flag(kTxNvFlagOffset, kFlag32Size);
  std::u16string tx_nv_text = remove_spaces(r[kTxNvFlag][0]);
  tx_nv_flag.put32(0, ReadHex(tx_nv_text));
  NvBlock apt_flag(kAptUseJ11PinFlagOffset, kFlag16Size);
  std::u16string apt_text = remove_spaces(r[kAptUseJ11PinFlag][0]);
  apt_flag.put16(0, ReadHex(apt_text));

  // PwtEn value and both words; all zero (not even the group code) when off.
  NvBlock pwt(kPwtEnOffset, kFlag16Size + kPwtWords * kCtrlEntrySize);
  if (kw::text_is(remove_spaces(r[kPwtEn][0]), kw::kOneZero[kw::kOneWord])) {
    pwt.put16(0, 1);
    for (size_t word = 0; word < kPwtWords; ++word) {
      uint64_t pattern = 0;
      for (size_t line = 0; line < kGroup2Lines; ++line) {
        pattern |= gpio_line_bits(kGroup2.bits, line, read_gpio_line(r[kPwtTable][kPwtWords * line + word]));
      }
      put_ctrl_entry(pwt, kFlag16Size + word * kCtrlEntrySize, gpio_group_entry(kGroup2, pattern));
    }
  }

  std::vector<const NvBlock*> chosen;
  if (switched_on(r[k2R1TFlagSwitch])) chosen.push_back(&flag_2r1t);
  if (switched_on(r[kTxNvFlagSwitch])) chosen.push_back(&tx_nv_flag);
  if (switched_on(r[kAptUseJ11PinFlagSwitch])) chosen.push_back(&apt_flag);
  if (switched_on(r[kPwtEnSwitch])) chosen.push_back(&pwt);
  if (!store_sheet_blocks(path, kLtePwtAndOtherFlagsSheet, NvLayout::Any, chosen, msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

}  // namespace
}  // namespace calvex::lte

CALVEX_DEFINE_WRITE(SheetLtePwtAndOtherFlags, calvex::lte::write_pwt_and_other_flags)

// ---- Decoder (decoders.h) ----
//
// Every switch shows "open", so that a write of the read puts every value
// back (PwtEnSwitch empty when the stored PWT item is not one a write of the
// shown cells stores: the write then leaves it alone); the values as the ranges hold them; PwtEn "1" when the stored
// value is 1, else "0"; the PWT lines of both words when PwtEn is 1 (a line whose enable bit is clear shows "X"), else
// "X" (a disabled table is stored as zeros).

#include <algorithm>

#include "decoders.h"
#include "marks.h"
#include "sheet_engine.h"

namespace calvex::lte {
namespace {

constexpr std::u16string_view kUndrivenLine = u"X";
constexpr size_t kPwtCellCount = kPwtTable + kPwtTableCells;  // one cell per range before the table

void decode_pwt_and_other_flags(ReadCells& out, const std::u16string& path) {
  NvBlock flag_2r1t(k2R1TFlagOffset, kFlag16Size);
  NvBlock tx_nv_flag(kTxNvFlagOffset, kFlag32Size);
  NvBlock pwt(kAptUseJ11PinFlagOffset, kPwtFlagsBlockSize);
  load_blocks(path, NvFile::Mode::ReadOnly, {&flag_2r1t, &tx_nv_flag, &pwt}, &msg::kOpenFailedRead);

  constexpr size_t kPwtEnPos = kPwtEnOffset - kAptUseJ11PinFlagOffset;
  const bool enabled = pwt.get16(kPwtEnPos) == 1;
  const std::u16string switch_on = widen(kw::kOpen[0]);
  ReadTexts texts(kPwtCellCount, kUndrivenLine, kMarkValue);
  texts.set(k2R1TFlagSwitch, switch_on, kMarkValue);
  texts.set(k2R1TFlag, dec_text(flag_2r1t.get16(0)), kMarkValue);
  texts.set(kTxNvFlagSwitch, switch_on, kMarkValue);
  texts.set(kTxNvFlag, hex_text(tx_nv_flag.get32(0)), kMarkValue);
  texts.set(kAptUseJ11PinFlagSwitch, switch_on, kMarkValue);
  texts.set(kAptUseJ11PinFlag, hex_text(pwt.get16(0)), kMarkValue);
  texts.set(kPwtEn, widen(kw::kOneZero[enabled ? kw::kOneWord : kw::kZeroWord]), kMarkValue);
  // The PWT item as a write of the shown cells would store it.
  NvBlock rebuilt(kPwtEnOffset, kFlag16Size + kPwtWords * kCtrlEntrySize);
  if (enabled) {
    rebuilt.put16(0, 1);
    for (size_t word = 0; word < kPwtWords; ++word) {
      const CtrlEntry entry = get_ctrl_entry(pwt, kPwtEnPos + kFlag16Size + word * kCtrlEntrySize);
      const uint64_t pattern = gpio_group_q(entry) >> kGpioWordCodeBits;
      uint64_t shown_pattern = 0;
      for (size_t line = 0; line < kGroup2Lines; ++line) {
        const std::u16string_view text = gpio_line_text(kGroup2.bits, line, pattern);
        texts.set(kPwtTable + kPwtWords * line + word, text.empty() ? kUndrivenLine : text, kMarkValue);
        shown_pattern |= gpio_line_bits(kGroup2.bits, line, text.empty() ? GpioLine::Undriven : read_gpio_line(text));
      }
      put_ctrl_entry(rebuilt, kFlag16Size + word * kCtrlEntrySize, gpio_group_entry(kGroup2, shown_pattern));
    }
  }
  // A PWT item no write of these cells stores is left alone: its switch shows empty.
  const bool rewritable = std::equal(rebuilt.bytes.begin(), rebuilt.bytes.end(), pwt.bytes.begin() + kPwtEnPos);
  texts.set(kPwtEnSwitch, rewritable ? switch_on : u"", kMarkValue);
  fill_read(out, texts, msg::kCellCountMismatch);
}

}  // namespace
}  // namespace calvex::lte

const calvex::ReadBody calvex::decoders::kLtePwtAndOtherFlags = calvex::lte::decode_pwt_and_other_flags;
