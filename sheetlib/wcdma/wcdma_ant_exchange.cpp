// WCDMA antenna exchange: two GPIO control word entries of the WCDMA form,
// one for the exchange state and one for the no-exchange state, each built
// from one column of a 15-line truth table. Bad cells and empty columns are
// reported and the write goes on. The entries are not read back.
#include "boundary.h"
#include "sheets.h"
#include "wcdma/wcdma_ctrl_word.h"
#include "wcdma/wcdma_nv_map.h"

namespace calvex::wcdma {
namespace {

constexpr size_t kAntRows = kGpioGroup0Lines + kGpioGroup1Lines;  // 15
constexpr size_t kAntCells = kAntRows * kAntStates;               // cell 2 * row + state
constexpr CtrlEntry kNoLineEntry{0, 0};

struct AntState {
  const Message* no_word;
};
constexpr AntState kAntStateInfo[kAntStates] = {{&msg::kWcdmaAntNoExchangeWord}, {&msg::kWcdmaAntNoStraightWord}};

// Pattern of one group in one column; a bad cell is reported and left undriven.
uint32_t read_ant_group(const Cells& table, size_t column, size_t first_row, const GpioGroupBits& bits,
                        const Message& bad_cell) {
  uint32_t pattern = 0;
  for (size_t r = 0; r < bits.lines; ++r) {
    const GpioLine cell = read_gpio_line(table[(first_row + r) * kAntStates + column]);
    if (cell == GpioLine::Bad) show(bad_cell);
    pattern |= static_cast<uint32_t>(gpio_line_bits(bits, r, cell));
  }
  return pattern;
}

// Group 1 is looked at only when group 0 drives no line.
CtrlEntry build_ant_entry(const Cells& table, size_t column) {
  const uint32_t group0 = read_ant_group(table, column, kTruthGroup0Row, kGroup0Bits, msg::kGpioGroup0Bad);
  if (group0 != 0) return {kWcdmaForm.group0.kind, group0};
  const uint32_t group1 = read_ant_group(table, column, kTruthGroup1Row, kGroup1Bits, msg::kGpioGroup1Bad);
  if (group1 != 0) return {kWcdmaForm.group1.kind, group1};
  show(*kAntStateInfo[column].no_word);
  return kNoLineEntry;
}

void write_ant_exchange(const WriteArgs& args, const std::u16string& path) {
  auto ranges = take_ranges(args, kWcdmaAntExchangeSheet, NvLayout::Any);
  if (!ranges) return;
  const Cells& table = (*ranges)[0];

  NvBlock entries(kAntExchangeOffset, kAntExchangeSize);
  for (size_t column = 0; column < kAntStates; ++column) {
    put_ctrl_entry(entries, column * kCtrlEntrySize, build_ant_entry(table, column));
  }

  if (!store_sheet_blocks(path, kWcdmaAntExchangeSheet, NvLayout::Any, {&entries}, msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

// The entries are not read back: the operation opens nothing, checks no
// count and shows no message; it only empties the text of the first cell,
// leaving its mark as the host set it.
void read_ant_exchange(ReadCells& out, const std::u16string& /*path*/) {
  if (out.count() >= 1) out.set_text(0, u"");
}

}  // namespace
}  // namespace calvex::wcdma

CALVEX_DEFINE_WRITE(SheetWcdmaAntExchangeWr, calvex::wcdma::write_ant_exchange)
CALVEX_DEFINE_READ(SheetWcdmaAntExchangeRd, calvex::wcdma::read_ant_exchange)

// ---- Decoder (decoders.h) ----
//
// Each state's entry shows the lines of the group its kind names, the other
// group's lines "X" (the write looks at GPIO_GROUP1 only when GPIO_GROUP0
// drives no line); a line whose enable bit is clear, and every line of an
// entry of another kind, shows "X".

#include "decoders.h"
#include "marks.h"
#include "sheet_engine.h"

namespace calvex::wcdma {
namespace {

constexpr std::u16string_view kUndrivenLine = u"X";

void show_group_lines(ReadTexts& texts, size_t column, size_t first_row, const GpioGroupBits& bits, uint32_t pattern) {
  for (size_t r = 0; r < bits.lines; ++r) {
    const std::u16string_view text = gpio_line_text(bits, r, pattern);
    if (!text.empty()) texts.set((first_row + r) * kAntStates + column, text, kMarkValue);
  }
}

void decode_ant_exchange(ReadCells& out, const std::u16string& path) {
  NvBlock entries(kAntExchangeOffset, kAntExchangeSize);
  load_blocks(path, NvFile::Mode::ReadOnly, {&entries}, &msg::kOpenFailedRead);
  ReadTexts texts(kAntCells, kUndrivenLine, kMarkValue);
  for (size_t column = 0; column < kAntStates; ++column) {
    const CtrlEntry entry = get_ctrl_entry(entries, column * kCtrlEntrySize);
    if (entry.kind == kWcdmaForm.group0.kind) {
      show_group_lines(texts, column, kTruthGroup0Row, kGroup0Bits, entry.word);
    } else if (entry.kind == kWcdmaForm.group1.kind) {
      show_group_lines(texts, column, kTruthGroup1Row, kGroup1Bits, entry.word);
    }
  }
  fill_read(out, texts, msg::kCellCountMismatch);
}

}  // namespace
}  // namespace calvex::wcdma

const calvex::ReadBody calvex::decoders::kWcdmaAntExchange = calvex::wcdma::decode_ant_exchange;
