#include "sheet_engine.h"

#include <stdexcept>

namespace calvex {
namespace {

// The cell's kind says how the write parses it: where "X" means an empty
// value ReadDecOrX (0), otherwise ReadDec or ReadHex of the text as given.
uint32_t parse_cell(const std::u16string& text, const CellType& cell_type) {
  if (cell_type.kind == CellKind::Hex) {
    std::u16string copy = text;
    return ReadHex(copy);
  }
  return static_cast<uint32_t>(cell_type.x_means_empty ? ReadDecOrX(text) : ReadDec(text));
}

// Every block of the layout, zeroed (the read loads the blocks a write only reads too).
std::vector<NvBlock> stage_all_blocks(const SheetDef& def, NvLayout layout) {
  std::vector<NvBlock> blocks;
  for (const NvSpan& span : def.blocks) {
    if (span.in_layout(layout)) blocks.emplace_back(span.offset, span.size);
  }
  return blocks;
}

// The block holding `width` bytes at NV offset `offset` and the position there.
template <typename Block>
Block& block_at(std::span<Block> blocks, uint32_t offset, size_t width, size_t& pos) {
  for (Block& block : blocks) {
    if (offset >= block.offset && offset - block.offset + width <= block.bytes.size()) {
      pos = offset - block.offset;
      return block;
    }
  }
  throw std::out_of_range("table value outside the sheet's blocks");
}

// Calls place(range, cell, NV offset, run) for every cell of every run of
// the layout, in run order (a write skips the runs only the read shows).
template <typename Place>
void for_each_run_cell(const TableSheet& sheet, bool writing, Place place) {
  for (const CellRun& run : sheet.def->runs) {
    if (!run.in_layout(sheet.layout) || (writing && run.read_only)) continue;
    const uint32_t cell_row_step = run.cell_row_step != 0 ? run.cell_row_step : run.cols;
    const uint32_t col_step = run.col_step != 0 ? run.col_step : run.width;
    for (uint32_t r = 0; r < run.rows; ++r) {
      for (uint32_t c = 0; c < run.cols; ++c) {
        place(run.range, run.first + r * cell_row_step + c, run.offset + r * run.row_step + c * col_step, run);
      }
    }
  }
}

void put_value(NvBlock& block, size_t pos, uint8_t width, uint32_t value) {
  if (width == 1) {
    block.put8(pos, value);
  } else if (width == 2) {
    block.put16(pos, value);
  } else {
    block.put32(pos, value);
  }
}

std::u16string format_value(const NvBlock& block, size_t pos, uint8_t width, ValueFormat format) {
  const uint32_t value = width == 1 ? block.get8(pos) : width == 2 ? block.get16(pos) : block.get32(pos);
  switch (format) {
    case ValueFormat::Unsigned:
      return dec_text(value);
    case ValueFormat::Signed:
      return dec_text(width == 1 ? block.get8s(pos) : width == 2 ? block.get16s(pos) : block.get32s(pos));
    case ValueFormat::Hex:
      return hex_text(value);
  }
  return {};
}

// Stores the blocks in order; a failed open shows "文件打开失败！" and returns false.
bool store_staged(const std::u16string& path, const std::vector<NvBlock>& blocks) {
  return store_blocks(path, block_refs(blocks), msg::kOpenFailedWrite);  // staged from the definition
}

// Loads the blocks; a failed open shows "获取bin文件失败！" and leaves them zero.
void load_staged(const std::u16string& path, NvFile::Mode mode, std::vector<NvBlock>& blocks) {
  NvFile file;
  if (!open_nv(file, path, mode, &msg::kOpenFailedRead)) return;
  load_blocks(file, blocks);
  file.close();
}

bool read_count_ok(const ReadCells& out, size_t cells, const Message& on_mismatch) {
  if (out.count() < 0 || static_cast<size_t>(out.count()) != cells) {
    show(on_mismatch);
    return false;
  }
  return true;
}

}  // namespace

void write_table(const WriteArgs& args, const std::u16string& path, const TableSheet& sheet) {
  const SheetDef& def = *sheet.def;
  auto ranges = take_ranges(args, def, sheet.layout);
  if (!ranges) return;
  if (sheet.check_cells != nullptr && !sheet.check_cells(*ranges)) return;

  std::vector<std::vector<uint32_t>> values(ranges->size());
  for (size_t i = 0; i < ranges->size(); ++i) {
    const RangeDef& range = def.ranges[i];
    const Cells& texts = (*ranges)[i];
    values[i].reserve(texts.size());
    for (size_t k = 0; k < texts.size(); ++k) {
      const int row = static_cast<int>(k) / range.cols;
      const int col = static_cast<int>(k) % range.cols;
      values[i].push_back(parse_cell(texts[k], range.cell_type_at(row, col)));
    }
  }
  if (sheet.check_values != nullptr && !sheet.check_values((*ranges)[0], values[0])) return;

  std::vector<NvBlock> blocks = stage_writable_blocks(def, sheet.layout);
  for_each_run_cell(sheet, true, [&](size_t range, size_t cell, uint32_t offset, const CellRun& run) {
    size_t pos = 0;
    NvBlock& block = block_at(std::span<NvBlock>(blocks), offset, run.width, pos);
    put_value(block, pos, run.width, values[range].at(cell));
  });

  if (!store_staged(path, blocks)) return;
  show(msg::kDone);
}

void read_table(ReadCells& out, const std::u16string& path, const TableSheet& sheet) {
  const SheetDef& def = *sheet.def;
  std::vector<size_t> range_first(def.ranges.size(), 0);
  size_t cells = 0;
  for (size_t i = 0; i < def.ranges.size(); ++i) {
    range_first[i] = cells;
    cells += static_cast<size_t>(def.ranges[i].count());
  }
  if (sheet.read_count_first && !read_count_ok(out, cells, *sheet.on_read_count)) return;

  std::vector<NvBlock> blocks = stage_all_blocks(def, sheet.layout);
  load_staged(path, sheet.read_mode, blocks);

  Cells texts(cells);
  for_each_run_cell(sheet, false, [&](size_t range, size_t cell, uint32_t offset, const CellRun& run) {
    size_t pos = 0;
    const NvBlock& block = block_at(std::span<const NvBlock>(blocks), offset, run.width, pos);
    texts.at(range_first[range] + cell) = format_value(block, pos, run.width, run.format);
  });
  if (sheet.read_count_first) {
    fill_cells(out, texts, sheet.read_mark);
  } else {
    fill_read(out, texts, sheet.read_mark, *sheet.on_read_count);
  }
}

bool fill_read(ReadCells& out, const ReadTexts& staged, const Message& on_mismatch) {
  if (!read_count_ok(out, staged.texts.size(), on_mismatch)) return false;
  for (size_t i = 0; i < staged.texts.size(); ++i)
    out.assign(static_cast<int32_t>(i), staged.texts[i], staged.marks[i]);
  return true;
}

bool fill_read(ReadCells& out, std::span<const std::u16string> texts, int32_t mark, const Message& on_mismatch) {
  if (!read_count_ok(out, texts.size(), on_mismatch)) return false;
  fill_cells(out, texts, mark);
  return true;
}

}  // namespace calvex
