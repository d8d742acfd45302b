// The host's catalogue of sheets: for each sheet its exports, the shape of
// every range of its sheet file, and how a read's output cells map back onto
// those ranges (so that the output of `read` is input for `write`).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "calvex.h"

namespace calvex_host {

using WriteFn = void(CALVEX_CALL*)(const CellRange*, int32_t, CalvexText);
using ReadFn = void(CALVEX_CALL*)(SheetCell*, int32_t, CalvexText);
using WriteBackFn = void(CALVEX_CALL*)(const CellRange*, int32_t, CalvexText, SheetCell*, int32_t);

// One range of a sheet file: its name (the `#range,<name>` marker), its rows
// and columns. Cells go to the library row after row.
struct RangeShape {
  const char* name;
  int rows;
  int cols;
};

// A run of the read operation's output cells: `count` consecutive output
// cells go to cells first, first + step, ... of range `range` (an index into
// SheetEntry::ranges). Runs are listed in output order.
struct ReadRun {
  int range;
  int first;
  int count;
  int step = 1;
};

// Which LTE layout switch value a sheet needs set before its exports are called.
enum class Layout { Any, Single, Merged };

struct SheetEntry {
  const char* name;     // the name used on the command line
  const char* family;   // "common", "gsm", "ltea", "lte", "tdscdma", "wcdma"
  const char* summary;  // one line for `calvex list`
  WriteFn write;
  ReadFn read;  // nullptr when the sheet has no read operation
  std::span<const RangeShape> ranges;
  // Read cell count and its mapping onto the ranges; empty when the read's
  // output cells are exactly the ranges' cells in order.
  int read_cells = 0;
  std::span<const ReadRun> read_runs = {};
  Layout layout = Layout::Any;
  // A write that also fills write-back cells (called instead of `write`):
  // the host shows them after the write as the range `write_back_name`.
  WriteBackFn write_with_back = nullptr;
  int write_back_cells = 0;
  const char* write_back_name = "WriteBack";
};

// Each family's sheets (sheets_<family>.cpp).
std::span<const SheetEntry> common_sheets();
std::span<const SheetEntry> gsm_sheets();
std::span<const SheetEntry> ltea_sheets();
std::span<const SheetEntry> lte_sheets();
std::span<const SheetEntry> tdscdma_sheets();
std::span<const SheetEntry> wcdma_sheets();

// Every sheet, family by family.
std::vector<const SheetEntry*> all_sheets();

// Looks a sheet up by name (case-insensitive); nullptr if unknown.
const SheetEntry* find_sheet(std::string_view name);

}  // namespace calvex_host
