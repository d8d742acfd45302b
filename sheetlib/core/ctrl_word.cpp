#include "ctrl_word.h"

namespace calvex {

void put_ctrl_entry(NvBlock& block, size_t pos, CtrlEntry entry) {
  block.put32(pos + kCtrlEntryKindPos, entry.kind);
  block.put32(pos + kCtrlEntryWordPos, entry.word);
}

CtrlEntry get_ctrl_entry(const NvBlock& block, size_t pos) {
  return {block.get32(pos + kCtrlEntryKindPos), block.get32(pos + kCtrlEntryWordPos)};
}

CtrlEntry get_ctrl_entry16(const NvBlock& block, size_t pos) {
  return {block.get16(pos + kCtrlEntryKindPos), block.get32(pos + kCtrlEntryWordPos)};
}

GpioLine read_gpio_line(std::u16string_view text) {
  const std::u16string cell = remove_spaces(text);
  if (cell == u"1") return GpioLine::High;
  if (cell == u"0") return GpioLine::Low;
  if (is_x_mark(cell)) return GpioLine::Undriven;
  return GpioLine::Bad;
}

uint64_t gpio_line_bits(const GpioGroupBits& bits, size_t line, GpioLine cell) {
  const uint64_t level = uint64_t{1} << (bits.level_bit + line);
  const uint64_t enable = uint64_t{1} << (bits.enable_bit + line);
  switch (cell) {
    case GpioLine::High:
      return level | enable;
    case GpioLine::Low:
      return enable;
    default:
      return 0;
  }
}

std::u16string_view gpio_line_text(const GpioGroupBits& bits, size_t line, uint64_t pattern) {
  if ((pattern >> (bits.enable_bit + line) & 1u) == 0) return {};
  return (pattern >> (bits.level_bit + line) & 1u) != 0 ? u"1" : u"0";
}

CtrlEntry gpio_group_entry(const GpioGroupWord& group, uint64_t pattern) {
  const uint64_t q = (pattern << kGpioWordCodeBits) | group.code;
  return {static_cast<uint32_t>(q >> 32), static_cast<uint32_t>(q)};
}

BandList read_band_list(std::span<const std::u16string> cells, size_t slots, size_t cells_per_slot) {
  BandList list;
  list.bands.assign(slots, 0);
  list.empty.assign(slots, false);
  for (size_t k = 0; k < slots; ++k) {
    const size_t cell = k * cells_per_slot;
    const std::u16string_view text = cell < cells.size() ? std::u16string_view(cells[cell]) : u"";
    if (is_x_mark(text)) {
      list.empty[k] = true;
      continue;
    }
    list.bands[k] = static_cast<uint32_t>(ReadDec(text));
    ++list.count;
  }
  return list;
}

void put_ctrl_set(NvBlock& block, size_t pos, const CtrlSet& set) {
  for (size_t e = 0; e < kEntriesPerSet; ++e) put_ctrl_entry(block, pos + e * kCtrlEntrySize, set[e]);
}

namespace {

// Reads the lines of one group from its rows of the column. Returns false
// after the form's message at the first bad cell.
bool read_group(const GpioEntryForm& form, const Cells& table, size_t columns, size_t column, size_t first_row,
                bool& used, uint32_t& pattern) {
  used = false;
  pattern = 0;
  for (size_t r = 0; r < form.bits.lines; ++r) {
    const GpioLine cell = read_gpio_line(table[(first_row + r) * columns + column]);
    if (cell == GpioLine::Bad) {
      show(*form.bad_cell);
      return false;
    }
    if (cell != GpioLine::Undriven) used = true;
    pattern |= static_cast<uint32_t>(gpio_line_bits(form.bits, r, cell));
  }
  return true;
}

}  // namespace

bool build_ctrl_set(const CtrlSetForm& form, const Cells& table, size_t columns, size_t column, CtrlSet& set) {
  bool used0 = false;
  bool used1 = false;
  uint32_t pattern0 = 0;
  uint32_t pattern1 = 0;
  if (!read_group(form.group0, table, columns, column, kTruthGroup0Row, used0, pattern0)) return false;
  if (!read_group(form.group1, table, columns, column, kTruthGroup1Row, used1, pattern1)) return false;

  set.fill(form.empty);
  size_t placed = 0;
  if (used0) set[placed++] = {form.group0.kind, gpio_entry_word(form.group0, pattern0)};
  if (used1) set[placed++] = {form.group1.kind, gpio_entry_word(form.group1, pattern1)};

  // Words beyond the fourth entry are counted (and, when checked after all,
  // still read) but have no place in the set.
  size_t words_total = placed;
  for (size_t r = 0; r < kTruthWordRows; ++r) {
    std::u16string text = remove_spaces(table[(kTruthWordRow + r) * columns + column]);
    if (is_x_mark(text)) continue;
    if (form.limit_check == WordLimitCheck::BeforeEachWord && words_total == kEntriesPerSet) {
      show(*form.too_many);
      return false;
    }
    const uint32_t word = ReadHex(text);
    if (words_total < kEntriesPerSet) set[words_total] = {form.word_kind, word};
    ++words_total;
  }
  if (words_total > kEntriesPerSet) {
    show(*form.too_many);
    return false;
  }
  return true;
}

}  // namespace calvex
