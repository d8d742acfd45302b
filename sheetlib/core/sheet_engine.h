// The table engine: runs a plain table sheet from its description alone.
// A table sheet's ranges hold values; each value is parsed by its range's
// rule, placed at a fixed offset and width of a staged NV block, and shown
// back by the read in a fixed format. A sheet with one odd rule brings it as
// a hook.
//
// Also the closing step every read shares: check the host's output cell
// count, then fill the cells.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "marks.h"
#include "sheet.h"
#include "sheet_def.h"

namespace calvex {

// ---- Table sheets ----

// A table sheet's operation in one layout: its definition holds the ranges
// (counts, messages, the kind of every cell, which also says how the write
// parses it: ReadDecOrX where "X" means 0, ReadDec, ReadHex), the NV blocks
// and the runs; the operation adds only its hooks and its read's habits.
struct TableSheet {
  const SheetDef* def;
  // The layout whose blocks and runs the operation uses (Any: the sheet has one).
  NvLayout layout = NvLayout::Any;

  // Hooks, each optional.
  // After the count checks, before any cell is parsed: false stops the write
  // (the hook has shown its message).
  bool (*check_cells)(const std::vector<Cells>& ranges) = nullptr;
  // After parsing, with the values of range 0 in cell order: false stops the
  // write before the image is opened (the hook has shown its message).
  bool (*check_values)(const Cells& cells, std::span<const uint32_t> values) = nullptr;

  // The read.
  int32_t read_mark = kMarkValue;
  const Message* on_read_count = &msg::kCellCountMismatch;
  NvFile::Mode read_mode = NvFile::Mode::ReadOnly;
  bool read_count_first = false;  // check the output cell count before opening the image
};

// The write: range count and cell count checks (take_ranges), check_cells,
// every cell of every range parsed in range and cell order, check_values,
// the runs of the layout placed into its staged writable blocks, then store_blocks (a failed open
// shows "文件打开失败！") and "修改完成！".
void write_table(const WriteArgs& args, const std::u16string& path, const TableSheet& sheet);

// The read: the blocks loaded ("获取bin文件失败！" on a failed open, the
// blocks then read as zeros), every run's values formatted into the output
// cells (range after range, cells in range order), then fill_read with
// read_mark. With read_count_first the count is checked before the open.
void read_table(ReadCells& out, const std::u16string& path, const TableSheet& sheet);

// A table sheet's operations, to bind with CALVEX_DEFINE_WRITE/READ.
template <const TableSheet& Sheet>
void write_table_op(const WriteArgs& args, const std::u16string& path) {
  write_table(args, path, Sheet);
}
template <const TableSheet& Sheet>
void read_table_op(ReadCells& out, const std::u16string& path) {
  read_table(out, path, Sheet);
}

// ---- The closing step of a read ----

// Output cells staged before they reach the host: a text and a mark each.
struct ReadTexts {
  Cells texts;
  std::vector<int32_t> marks;

  ReadTexts(size_t count, std::u16string_view text, int32_t mark)
      : texts(count, std::u16string(text)), marks(count, mark) {}
  void set(size_t i, std::u16string_view text, int32_t mark) {
    texts[i] = std::u16string(text);
    marks[i] = mark;
  }
};

// If out.count() differs from the staged cell count, shows on_mismatch,
// fills nothing and returns false; otherwise assigns every staged cell.
bool fill_read(ReadCells& out, const ReadTexts& staged, const Message& on_mismatch);
// The same with one mark for every text.
bool fill_read(ReadCells& out, std::span<const std::u16string> texts, int32_t mark, const Message& on_mismatch);

}  // namespace calvex
