#include "wcdma/wcdma_ctrl_word.h"

namespace calvex::wcdma {

namespace {
constexpr uint32_t kWcdmaGroup0Kind = 1;
constexpr uint32_t kWcdmaGroup1Kind = 2;
constexpr uint32_t kWcdmaHexKind = 15;
}  // namespace

const CtrlWordForm kWcdmaForm{
    .group0 = {kGroup0Bits, kWcdmaGroup0Kind, 0, 0, &msg::kGpioGroup0Bad},
    .group1 = {kGroup1Bits, kWcdmaGroup1Kind, 0, 0, &msg::kGpioGroup1Bad},
    .hex_kind = kWcdmaHexKind,
    .empty = {kWcdmaGroup0Kind, 0},
    .too_many = &msg::kWcdmaTooManyWords,
    .limit_check = WordLimitCheck::AfterAllWords,
};

void put_entry(NvBlock& block, size_t pos, const CtrlWordEntry& entry) {
  block.put32(pos + kEntryKindPos, entry.kind);
  block.put32(pos + kEntryWordPos, entry.word);
}

CtrlWordEntry get_entry(const NvBlock& block, size_t pos) {
  return {block.get32(pos + kEntryKindPos), block.get32(pos + kEntryWordPos)};
}

void put_set(NvBlock& block, size_t pos, const CtrlWordSet& set) {
  for (size_t e = 0; e < kEntriesPerSet; ++e) put_entry(block, pos + e * kEntrySize, set[e]);
}

LineCell read_line_cell(std::u16string_view text) {
  const std::u16string cell = remove_spaces(text);
  if (cell == u"1") return LineCell::High;
  if (cell == u"0") return LineCell::Low;
  if (is_x_mark(cell)) return LineCell::Undriven;
  return LineCell::Bad;
}

uint32_t line_bits(const GpioGroupBits& bits, size_t line, LineCell cell) {
  const uint32_t level = 1u << (bits.level_bit + line);
  const uint32_t enable = 1u << (bits.enable_bit + line);
  switch (cell) {
    case LineCell::High:
      return level | enable;
    case LineCell::Low:
      return enable;
    default:
      return 0;
  }
}

std::u16string_view line_text(const GpioGroupBits& bits, size_t line, uint32_t pattern) {
  if ((pattern >> (bits.enable_bit + line) & 1u) == 0) return {};
  return (pattern >> (bits.level_bit + line) & 1u) != 0 ? u"1" : u"0";
}

int32_t truth_cell_mark(std::u16string_view text) {
  constexpr int32_t kMarkHigh = 3;
  constexpr int32_t kMarkLow = 6;
  constexpr int32_t kMarkOther = 2;
  if (text == u"1") return kMarkHigh;
  if (text == u"0") return kMarkLow;
  return kMarkOther;
}

namespace {

// Reads the lines of one group from its rows of the column. Returns false
// after the form's message at the first bad cell.
bool read_group(const GpioEntryForm& form, const Cells& table, size_t columns, size_t column, size_t first_row,
                bool& used, uint32_t& pattern) {
  used = false;
  pattern = 0;
  for (size_t r = 0; r < form.bits.lines; ++r) {
    const LineCell cell = read_line_cell(table[(first_row + r) * columns + column]);
    if (cell == LineCell::Bad) {
      show(*form.bad_cell);
      return false;
    }
    if (cell != LineCell::Undriven) used = true;
    pattern |= line_bits(form.bits, r, cell);
  }
  return true;
}

}  // namespace

bool build_ctrl_word_set(const CtrlWordForm& form, const Cells& table, size_t columns, size_t column,
                         CtrlWordSet& set) {
  bool used0 = false;
  bool used1 = false;
  uint32_t pattern0 = 0;
  uint32_t pattern1 = 0;
  if (!read_group(form.group0, table, columns, column, kGpioGroup0Row, used0, pattern0)) return false;
  if (!read_group(form.group1, table, columns, column, kGpioGroup1Row, used1, pattern1)) return false;

  set.fill(form.empty);
  size_t placed = 0;
  if (used0) set[placed++] = {form.group0.kind, gpio_entry_word(form.group0, pattern0)};
  if (used1) set[placed++] = {form.group1.kind, gpio_entry_word(form.group1, pattern1)};

  // Words beyond the fourth entry are counted (and, when checked after all,
  // still read) but have no place in the set.
  size_t words_total = placed;
  for (size_t r = 0; r < kHexWordRows; ++r) {
    std::u16string text = remove_spaces(table[(kHexWordRow + r) * columns + column]);
    if (is_x_mark(text)) continue;
    if (form.limit_check == WordLimitCheck::BeforeEachWord && words_total == kEntriesPerSet) {
      show(*form.too_many);
      return false;
    }
    const uint32_t word = ReadHex(text);
    if (words_total < kEntriesPerSet) set[words_total] = {form.hex_kind, word};
    ++words_total;
  }
  if (words_total > kEntriesPerSet) {
    show(*form.too_many);
    return false;
  }
  return true;
}

}  // namespace calvex::wcdma
