#include "ltea/ltea_context.h"

#include <algorithm>
#include <stdexcept>

namespace calvex::ltea {

namespace {
constexpr size_t kEntryKindPos = 0;
constexpr size_t kEntryZeroPos = 2;
constexpr size_t kEntryWordPos = 4;
}  // namespace

void put_entry(NvBlock& head, uint32_t offset, ControlWordEntry entry) {
  head.put16(offset + kEntryKindPos, entry.kind);
  head.put16(offset + kEntryZeroPos, 0);
  head.put32(offset + kEntryWordPos, entry.word);
}

ControlWordEntry get_entry(const NvBlock& head, uint32_t offset) {
  return {head.get16(offset + kEntryKindPos), head.get32(offset + kEntryWordPos)};
}

GpioCell parse_gpio_cell(std::u16string_view text) {
  const std::u16string cell = remove_spaces(text);
  if (is_x_mark(cell)) return GpioCell::Undriven;
  if (cell == u"1") return GpioCell::High;
  if (cell == u"0") return GpioCell::Low;
  return GpioCell::Invalid;
}

bool load_nv_head(NvBlock& head, const std::u16string& path, const Message& on_fail) {
  std::fill(head.bytes.begin(), head.bytes.end(), uint8_t{0});
  NvFile file;
  if (!open_nv(file, path, NvFile::Mode::ReadOnly, &on_fail)) return false;
  load_blocks(file, {&head});
  file.close();
  return true;
}

bool fill_checked(ReadCells& out, std::span<const std::u16string> texts, int32_t mark, const Message& on_mismatch) {
  if (out.count() < 0 || static_cast<size_t>(out.count()) != texts.size()) {
    show(on_mismatch);
    return false;
  }
  fill_cells(out, texts, mark);
  return true;
}

namespace {
constexpr uint32_t pair_field(size_t cell, uint32_t field_in_pair) {
  return kPairsOffset + kPairSize * static_cast<uint32_t>(kPairOfCell[cell]) + field_in_pair;
}
}  // namespace

void write_pair_sheet(const WriteArgs& args, const std::u16string& path, const PairSheet& sheet) {
  const RangeRule rules[] = {{kPairCount, sheet.range}};
  auto ranges = take_ranges(args, *sheet.config, rules);
  if (!ranges) return;

  LteaContext ctx;
  Cells& cells = (*ranges)[0];
  for (size_t i = 0; i < kPairCount; ++i) ctx.head.put32(pair_field(i, sheet.field_in_pair), ReadHex(cells[i]));

  std::vector<NvBlock> fields;
  for (size_t i = 0; i < kPairCount; ++i)
    fields.push_back(ctx.head.slice(pair_field(i, sheet.field_in_pair), kLe32Size));
  if (!store_blocks(path, block_refs(fields), msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

void read_pair_sheet(ReadCells& out, const std::u16string& path, const PairSheet& sheet) {
  LteaContext ctx;
  load_nv_head(ctx.head, path, msg::kOpenFailedRead);
  Cells texts(kPairCount);
  for (size_t i = 0; i < kPairCount; ++i) texts[i] = hex_text(ctx.head.get32(pair_field(i, sheet.field_in_pair)));
  fill_checked(out, texts, kMarkValue, msg::kCellCountMismatch);
}

}  // namespace calvex::ltea
