// The four simple LTE table sheets (Filter, Mpr, Phse, Capacity): one range
// of cells, each cell read by the sheet's rule and stored at fixed offsets
// of the layout. Each sheet describes itself per layout with a TableSheet.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "lte_layout.h"
#include "sheet.h"

namespace calvex::lte {

enum class CellParse {
  Dec,  // ReadDec; the stored width keeps the low bits of the signed value
  Hex,  // ReadHex; a refused text shows its message and stores 0
};

// `count` consecutive values stored from `offset`, `width` bytes each (2 or 4):
// cells first_cell, first_cell + 1, ... or, for kZeroFill, zeros.
struct TableRun {
  size_t first_cell;
  size_t count;
  uint32_t offset;
  size_t width;
};
inline constexpr size_t kZeroFill = static_cast<size_t>(-1);

// Two cells whose texts must be identical (compared before any parsing).
struct CellPair {
  size_t first;
  size_t second;
};

struct TableSheet {
  Layout layout;
  size_t cells;
  CellParse parse;
  const Message* config_message;      // range count is not 1
  const Message* cell_count_message;  // the range's cell count differs
  std::span<const TableRun> runs;     // written in this order
  std::span<const CellPair> equal_pairs = {};
  const Message* pair_message = nullptr;  // first differing pair
};

// Runs a table sheet's write: range and cell count checks, pair check,
// parse, open ("文件打开失败！"), write the runs, close, and in the merged
// layout clear the spare block; "修改完成！" at the end.
void write_table_sheet(const WriteArgs& args, const std::u16string& path, const TableSheet& sheet);

}  // namespace calvex::lte
