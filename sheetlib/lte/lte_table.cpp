#include "lte_table.h"

#include <vector>

namespace calvex::lte {
namespace {

constexpr size_t kWidth32Bytes = 4;

uint32_t parse_cell(std::u16string text, CellParse parse) {
  if (parse == CellParse::Hex) return ReadHex(text);
  return static_cast<uint32_t>(ReadDec(text));
}

NvBlock stage_run(const TableRun& run, const std::vector<uint32_t>& values) {
  NvBlock block(run.offset, run.count * run.width);
  if (run.first_cell == kZeroFill) return block;
  for (size_t k = 0; k < run.count; ++k) {
    const size_t cell = run.first_cell + k;
    const uint32_t value = cell < values.size() ? values[cell] : 0;
    if (run.width == kWidth32Bytes) {
      block.put32(k * run.width, value);
    } else {
      block.put16(k * run.width, value);
    }
  }
  return block;
}

}  // namespace

void write_table_sheet(const WriteArgs& args, const std::u16string& path, const TableSheet& sheet) {
  const RangeRule rules[] = {{static_cast<int64_t>(sheet.cells), sheet.cell_count_message}};
  auto ranges = take_ranges(args, *sheet.config_message, rules);
  if (!ranges) return;
  const Cells& cells = (*ranges)[0];

  for (const CellPair& pair : sheet.equal_pairs) {
    if (cells[pair.first] != cells[pair.second]) {
      show(*sheet.pair_message);
      return;
    }
  }

  std::vector<uint32_t> values;
  values.reserve(cells.size());
  for (const std::u16string& text : cells) values.push_back(parse_cell(text, sheet.parse));

  std::vector<NvBlock> blocks;
  blocks.reserve(sheet.runs.size());
  for (const TableRun& run : sheet.runs) blocks.push_back(stage_run(run, values));
  if (sheet.layout == Layout::Merged) blocks.push_back(merged_spare_block());

  if (!store_blocks(path, block_refs(blocks), msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

}  // namespace calvex::lte
