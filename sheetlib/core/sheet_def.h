// Sheet definitions: everything the library, the command-line host and the
// tests know about a sheet, stated once. A definition names the sheet, its
// family and exports, its ranges (shape and the kind of every cell), the NV
// blocks its operations may touch (per LTE layout where they differ), and
// how its read's output cells map back onto its ranges.
//
// All definitions are constant data (sheet_table.cpp lists them); nothing is
// registered at start-up.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "messages.h"
#include "ops.h"

namespace calvex {

enum class Family : uint8_t { Common, Gsm, Ltea, Lte, Tdscdma, Wcdma };

// "common", "gsm", "ltea", "lte", "tdscdma", "wcdma".
std::string_view family_name(Family family);

// Which NV layout a fact belongs to. Only the LTE sheets have two layouts
// (chosen by the layout switch); every other fact is Any.
enum class NvLayout : uint8_t { Any, Single, Merged };

// What a cell holds, as the sheet's readers take it.
enum class CellKind : uint8_t {
  Text,     // free text the sheet parses itself (MIPI word pairs and the like)
  Dec,      // decimal integer of `bytes` stored bytes, signed or unsigned
  Hex,      // hexadecimal ("0x" optional) of at most 2 * `bytes` digits
  Keyword,  // one of `keywords` (compared without blanks, case as given)
  Line,     // a GPIO line: "0", "1" or "X"
};

struct CellSpec {
  CellKind kind = CellKind::Text;
  uint8_t bytes = 0;       // stored width (Dec, Hex)
  bool is_signed = false;  // Dec: read back as a signed value
  bool x_means_empty = false;  // "X"/"x" is meaningful (an empty slot or value)
  bool blank_ok = false;       // an empty cell is meaningful (an unused slot, a switch left off)
  std::span<const std::string_view> keywords = {};
};

// Shorthands for the definitions.
constexpr CellSpec dec(uint8_t bytes, bool is_signed) { return {CellKind::Dec, bytes, is_signed}; }
constexpr CellSpec hex(uint8_t bytes) { return {CellKind::Hex, bytes}; }
constexpr CellSpec text() { return {CellKind::Text}; }
constexpr CellSpec line_cell() { return {CellKind::Line, 0, false, true}; }
constexpr CellSpec keyword(std::span<const std::string_view> words, bool blank_ok = false) {
  return {CellKind::Keyword, 0, false, false, blank_ok, words};
}
constexpr CellSpec or_x(CellSpec spec) {
  spec.x_means_empty = true;
  return spec;
}
constexpr CellSpec or_blank(CellSpec spec) {
  spec.blank_ok = true;
  return spec;
}

// A rectangle of a range whose cells have their own kind. rows/cols of 0
// reach to the range's last row/column.
struct CellArea {
  int row;
  int col;
  int rows;
  int cols;
  CellSpec spec;
};

// One range of a sheet: its name (the "#range,<name>" marker of a sheet
// file), rows and columns (cells go to the library row after row), the
// message of a wrong cell count, and the kinds of its cells: `cells` for
// every cell, then each area in order overrides it.
struct RangeDef {
  std::string_view name;
  int rows;
  int cols;
  const Message* on_cell_count;
  CellSpec cells;
  std::span<const CellArea> areas = {};

  constexpr int64_t count() const { return static_cast<int64_t>(rows) * cols; }
  // The kind of cell (row, col).
  constexpr CellSpec spec_at(int row, int col) const {
    CellSpec spec = cells;
    for (const CellArea& a : areas) {
      const int last_row = a.rows == 0 ? rows - 1 : a.row + a.rows - 1;
      const int last_col = a.cols == 0 ? cols - 1 : a.col + a.cols - 1;
      if (row >= a.row && row <= last_row && col >= a.col && col <= last_col) spec = a.spec;
    }
    return spec;
  }
};

// One NV block the sheet's operations may touch: absolute offset and size
// in bytes, in the given layout.
struct NvSpan {
  uint32_t offset;
  uint32_t size;
  NvLayout layout = NvLayout::Any;
  // True for a block that a write only reads (a band list it checks against).
  bool read_only = false;
};

// A run of a read's output cells: `count` consecutive output cells go to
// cells first, first + step, ... of range `range`. Runs are listed in output
// order; an output cell that no run names is not shown.
struct ReadRun {
  int range;
  int first;
  int count;
  int step = 1;
};

struct SheetDef {
  std::string_view name = {};  // the name used on the command line
  Family family = Family::Common;
  std::string_view summary = {};  // one line for `calvex list`
  std::string_view write_export = {};
  std::string_view read_export = {};  // empty when the host offers no read
  // The write; for LTE sheets the layout-neutral operation (the layout
  // switch picks the single or merged layout).
  const WriteBody* write = nullptr;
  const ReadBody* read = nullptr;
  const Message* on_range_count = nullptr;
  std::span<const RangeDef> ranges = {};
  std::span<const NvSpan> blocks = {};
  // Read output cell count and its mapping onto the ranges; 0 and empty
  // when the read's output cells are exactly the ranges' cells in order.
  int read_cells = 0;
  std::span<const ReadRun> read_runs = {};
  // Which layout a sheet's NV image has when the user names none.
  NvLayout layout = NvLayout::Any;
  // A write that also fills write-back cells (called instead of `write`):
  // the host shows them after the write as the range `write_back_name`.
  const WriteBackBody* write_with_back = nullptr;
  int write_back_cells = 0;
  std::string_view write_back_name = "WriteBack";

  constexpr bool has_read() const { return read != nullptr; }
  // Output cell count of the read.
  constexpr int read_count() const {
    if (read_cells > 0) return read_cells;
    int64_t n = 0;
    for (const RangeDef& r : ranges) n += r.count();
    return static_cast<int>(n);
  }
};

// Every definition, family by family (common, GSM, LTE-A, LTE, TD-SCDMA, WCDMA).
std::span<const SheetDef* const> all_sheet_defs();

// Looks a definition up by name, ignoring ASCII case; nullptr if unknown.
const SheetDef* find_sheet_def(std::string_view name);

// Each family's definitions (<family>_sheets.cpp).
std::span<const SheetDef> common_sheet_defs();
std::span<const SheetDef> gsm_sheet_defs();
std::span<const SheetDef> ltea_sheet_defs();
std::span<const SheetDef> lte_sheet_defs();
std::span<const SheetDef> tdscdma_sheet_defs();
std::span<const SheetDef> wcdma_sheet_defs();

}  // namespace calvex
