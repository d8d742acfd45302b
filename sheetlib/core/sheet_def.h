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
#include <initializer_list>
#include <limits>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "ctrl_word.h"
#include "messages.h"
#include "ops.h"

namespace calvex {

enum class Family : uint8_t { Common, Gsm, Ltea, Lte, Tdscdma, Wcdma };

// "common", "gsm", "ltea", "lte", "tdscdma", "wcdma".
std::string_view family_name(Family family);

// Which NV layout a fact belongs to. Only the LTE sheets have two layouts
// (chosen by the layout switch); every other fact is Any.
enum class NvLayout : uint8_t { Any, Single, Merged };

// What a cell holds, as the sheet's readers take it. check_cell()
// (cell_check.h) states the exact text each kind accepts.
enum class CellKind : uint8_t {
  Text,      // free text the sheet parses itself; not checked beyond X/blank
  Dec,       // decimal integer of `bytes` stored bytes, signed or unsigned
  Hex,       // hexadecimal ("0x" optional) of at most 2 * `bytes` digits
  Keyword,   // one of `keywords`, compared exactly (case and blanks as given)
  Line,      // a GPIO line: "0", "1" or "X"
  MipiPair,  // a MIPI register write "ADDR,DATA": two hexadecimal numbers of at
             // most `bytes` bytes each ("0x" optional), one comma between them
  Unused,    // a cell the sheet does not use: only "X"/"x" or empty
};

struct CellType {
  CellKind kind = CellKind::Text;
  uint8_t bytes = 0;           // stored width (Dec, Hex; MipiPair: of each number)
  bool is_signed = false;      // Dec: read back as a signed value
  bool x_means_empty = false;  // "X"/"x" is meaningful (an empty slot or value)
  bool blank_ok = false;       // an empty cell is meaningful (an unused slot, a switch left off)
  std::span<const std::string_view> keywords = {};
  // Dec, Hex: the legal values where they are narrower than the stored
  // width (a 13-bit DAC code in 16 bits); the width's own limits otherwise.
  int64_t min = std::numeric_limits<int64_t>::min();
  int64_t max = std::numeric_limits<int64_t>::max();

  constexpr bool has_min() const { return min != std::numeric_limits<int64_t>::min(); }
  constexpr bool has_max() const { return max != std::numeric_limits<int64_t>::max(); }
};

// Shorthands for the definitions.
constexpr CellType dec(uint8_t bytes, bool is_signed) { return {CellKind::Dec, bytes, is_signed}; }
constexpr CellType hex(uint8_t bytes) { return {CellKind::Hex, bytes}; }
constexpr CellType text() { return {CellKind::Text}; }
constexpr CellType line_cell() { return {CellKind::Line, 0, false, true}; }
constexpr CellType keyword(std::span<const std::string_view> words, bool blank_ok = false) {
  return {CellKind::Keyword, 0, false, false, blank_ok, words};
}
// A MIPI register write "ADDR,DATA", each number of at most `bytes` bytes.
constexpr CellType mipi_pair(uint8_t bytes) { return {CellKind::MipiPair, bytes}; }
// A cell the sheet ignores (the read shows "X" there).
constexpr CellType unused() { return {CellKind::Unused, 0, false, true, true}; }
constexpr CellType or_x(CellType cell_type) {
  cell_type.x_means_empty = true;
  return cell_type;
}
constexpr CellType or_blank(CellType cell_type) {
  cell_type.blank_ok = true;
  return cell_type;
}
// Narrows a Dec or Hex cell to [lo, hi].
constexpr CellType in_range(CellType cell_type, int64_t lo, int64_t hi) {
  cell_type.min = lo;
  cell_type.max = hi;
  return cell_type;
}

// A rectangle of a range whose cells have their own kind. rows/cols of 0
// reach to the range's last row/column.
struct CellArea {
  int row;
  int col;
  int rows;
  int cols;
  CellType cells;
};

// What a range's values are, for the host's presentation (charts, labels).
enum class RangeRole : uint8_t {
  Values,     // settings, flags, words, truth tables
  TempAxis,   // the temperature intervals that a sheet's compensation tables share
  TempComp,   // a temperature compensation table
  RampShape,  // PA ramp shape data
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
  CellType cells;
  std::span<const CellArea> areas = {};
  RangeRole role = RangeRole::Values;
  // What one row and one column of the range are ("row", "temperature
  // interval", "state"), for the labels beside and over its cells (numbered
  // from 1); empty: the host's "row" and "column".
  std::string_view rows_label = {};
  std::string_view cols_label = {};
  // The unit of the range's values, where the sheet knows one; empty otherwise.
  std::string_view unit = {};
  // A table whose columns pair up: columns 2k and 2k + 1 hold the first (x)
  // and the second (y) value of slot k in every row (pair_cols 2); 0 when
  // every column is a value of its own.
  uint8_t pair_cols = 0;
  // The range of the same sheet whose cell k names slot k (a band list);
  // kNoRange when the slots have no names but their number.
  uint8_t slot_names_range = kNoRange;
  // What the first and second value of a pair are (axis titles, the labels
  // over the pair's columns); for a table of rows against a temperature axis,
  // x_label is unused and y_label says what the values are.
  std::string_view x_label = {};
  std::string_view y_label = {};

  static constexpr uint8_t kNoRange = 0xFF;

  constexpr int64_t count() const { return static_cast<int64_t>(rows) * cols; }
  // The kind of cell (row, col).
  constexpr CellType cell_type_at(int row, int col) const {
    CellType cell_type = cells;
    for (const CellArea& a : areas) {
      const int last_row = a.rows == 0 ? rows - 1 : a.row + a.rows - 1;
      const int last_col = a.cols == 0 ? cols - 1 : a.col + a.cols - 1;
      if (row >= a.row && row <= last_row && col >= a.col && col <= last_col) cell_type = a.cells;
    }
    return cell_type;
  }
};

// The range with the given role.
constexpr RangeDef with_role(RangeDef range, RangeRole role) {
  range.role = role;
  return range;
}

// The range with what its rows and columns are (and its unit).
constexpr RangeDef with_labels(RangeDef range, std::string_view rows_label, std::string_view cols_label,
                               std::string_view unit = {}) {
  range.rows_label = rows_label;
  range.cols_label = cols_label;
  range.unit = unit;
  return range;
}

// The range as a table of (x, y) value pairs per slot: columns 2k and 2k + 1
// are slot k's first (x_label) and second (y_label) value, and cell k of
// range slot_names_range (kNoRange: none) names slot k.
constexpr RangeDef with_pairs(RangeDef range, uint8_t slot_names_range, std::string_view x_label,
                              std::string_view y_label) {
  range.pair_cols = 2;
  range.slot_names_range = slot_names_range;
  range.x_label = x_label;
  range.y_label = y_label;
  return range;
}

// The range's values are y_label (a compensation against the temperature axis).
constexpr RangeDef with_values(RangeDef range, std::string_view y_label) {
  range.y_label = y_label;
  return range;
}

// One NV block the sheet's operations may touch: absolute offset and size
// in bytes, in the given layout.
struct NvSpan {
  uint32_t offset;
  uint32_t size;
  NvLayout layout = NvLayout::Any;
  // True for a block that a write only reads (a band list it checks against).
  bool read_only = false;
  // True for a block that another sheet of the family stores too: the only
  // kind of block two sheets of one image may share (the merged LTE layout's
  // spare block, which every merged write clears; a band number that a
  // temperature sheet writes back as it found it in the band record).
  bool shared = false;

  constexpr bool in_layout(NvLayout l) const { return layout == NvLayout::Any || l == NvLayout::Any || layout == l; }
};

// How a table sheet's read shows a stored value: "%d" of it unsigned or
// signed in its width, or "0x%x".
enum class ValueFormat : uint8_t { Unsigned, Signed, Hex };

// A keyword cell's stored value: the word `word` is stored as `value`.
struct StoredWord {
  uint32_t value;
  std::string_view word;
};

// A rectangle of one range's cells placed in the image by a table sheet:
// for r < rows and c < cols, cell first + r * cell_row_step + c holds the
// value of `width` bytes (1, 2 or 4; the low bits of the parsed value) at NV
// offset offset + r * row_step + c * col_step, in the given layout.
struct CellRun {
  uint8_t range = 0;
  uint16_t first = 0;
  uint16_t rows = 1;
  uint16_t cols = 1;
  uint16_t cell_row_step = 0;  // 0: cols
  uint32_t offset = 0;
  uint32_t row_step = 0;
  uint32_t col_step = 0;  // 0: width
  uint8_t width = 2;
  ValueFormat format = ValueFormat::Unsigned;
  NvLayout layout = NvLayout::Any;
  // A run only the read shows: cells the write does not store because they
  // must equal cells another run stores (the merged LTE layout's TDD phase
  // cells, which show their FDD partner's value).
  bool read_only = false;
  // A keyword cell (a run of SheetDef::placed only): the value each word is
  // stored as; the read shows the last word for a value no other word has.
  std::span<const StoredWord> words = {};

  constexpr bool in_layout(NvLayout l) const { return layout == NvLayout::Any || l == NvLayout::Any || layout == l; }
};

// `count` consecutive cells from `first` of range `range`, stored one after
// the other from `offset`.
constexpr CellRun cell_row(uint8_t range, uint16_t first, uint16_t count, uint32_t offset, uint8_t width,
                           ValueFormat format = ValueFormat::Unsigned, NvLayout layout = NvLayout::Any) {
  return {.range = range,
          .first = first,
          .cols = count,
          .offset = offset,
          .width = width,
          .format = format,
          .layout = layout};
}

// The run as one only the read shows.
constexpr CellRun shown_only(CellRun run) {
  run.read_only = true;
  return run;
}

// Control-word entries (ctrl_word.h: kCtrlEntrySize bytes, a 32-bit kind,
// then a 32-bit word) that a sheet with an operation of its own stores:
// for g < groups, `count` entries one after the other from offset + g *
// group_step, in the given layout. The operation does not run them: they
// tell `calvex map` where the entries are (a type of their own, kind and
// word), and the self-check holds them to the writable blocks.
struct EntryRun {
  std::string_view name = {};  // in CamelCase, as a range's ("StateEntries")
  std::string_view what = {};  // what the entries hold, for the map's doc
  uint32_t offset = 0;
  uint16_t count = 1;
  uint16_t groups = 1;
  uint32_t group_step = 0;
  NvLayout layout = NvLayout::Any;

  constexpr bool in_layout(NvLayout l) const { return layout == NvLayout::Any || l == NvLayout::Any || layout == l; }
  constexpr uint32_t group_offset(uint32_t g) const { return offset + g * group_step; }
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

// A cell the host fills after a read: cell `cell` of range `range` gets text.
struct ReadFill {
  int range;
  int cell;
  std::string_view text;
};

// Binds a definition to an operation of ops.inc: the export's name is the
// operation's identifier, so it is written once and checked by the compiler.
#define CALVEX_SHEET_WRITE(op) .write_export = #op, .write = &::calvex::ops::op
#define CALVEX_SHEET_WRITE_BACK(op) .write_export = #op, .write_with_back = &::calvex::ops::op
#define CALVEX_SHEET_READ(op) .read_export = #op, .read = &::calvex::ops::op
#define CALVEX_SHEET_SHALLOW_READ(op) .shallow_read_export = #op, .shallow_read = &::calvex::ops::op

struct SheetDef {
  std::string_view name = {};  // the name used on the command line
  Family family = Family::Common;
  std::string_view summary = {};  // one line for `calvex list`
  // The write export and its operation; for LTE sheets the layout-neutral
  // operation (the layout switch picks the single or merged layout). Bound
  // with CALVEX_SHEET_WRITE, which states the export's name once.
  std::string_view write_export = {};
  const WriteBody* write = nullptr;
  // A write that also fills write-back cells (called instead of `write`;
  // CALVEX_SHEET_WRITE_BACK).
  const WriteBackBody* write_with_back = nullptr;
  // The read export and its operation; empty and nullptr when the library
  // exports no read of the sheet (CALVEX_SHEET_READ).
  std::string_view read_export = {};
  const ReadBody* read = nullptr;
  // A read export that does not show the sheet back (it fills one cell and
  // leaves the rest): bound here so that every operation has its definition,
  // never run by calvex (CALVEX_SHEET_SHALLOW_READ).
  std::string_view shallow_read_export = {};
  const ReadBody* shallow_read = nullptr;
  // The read calvex runs where the library exports none: a decoder of the
  // static core with the shape of a read operation; nullptr otherwise.
  const ReadBody* decode = nullptr;
  // True where calvex runs `decode` although the library exports a read: the
  // export's read is not the canonical form (writing what it shows back does
  // not give the image's bytes again, e.g. it shows a switch "close" for a
  // value the write stored). The export stays bound as it is.
  bool decode_over_export = false;
  const Message* on_range_count = nullptr;
  std::span<const RangeDef> ranges = {};
  std::span<const NvSpan> blocks = {};
  // A table sheet's cells-to-bytes runs (table engine, sheet_engine.h): the
  // write stages every writable block of the layout zeroed, places the runs
  // in this order (a later run may place a cell a second time) and stores
  // the blocks whole; the read loads them and shows each run's values.
  // Empty for sheets with operations of their own.
  std::span<const CellRun> runs = {};
  // A sheet with an operation of its own: the cells it stores one value each
  // at a fixed place, as runs (the width and the read's format as for `runs`;
  // a keyword cell with its stored words). The operation does not run them:
  // they tell `calvex map` where the cells are, and the self-check holds them
  // to the ranges and writable blocks as it holds `runs`.
  std::span<const CellRun> placed = {};
  // The control-word entries such an operation stores (see EntryRun).
  std::span<const EntryRun> entries = {};
  // Read output cell count and its mapping onto the ranges; 0 and empty
  // when the read's output cells are exactly the ranges' cells in order.
  int read_cells = 0;
  std::span<const ReadRun> read_runs = {};
  // Which layout a sheet's NV image has when the user names none.
  NvLayout layout = NvLayout::Any;
  // the host shows the write-back cells after the write as the range `write_back_name`.
  int write_back_cells = 0;
  std::string_view write_back_name = "WriteBack";
  // Cells a read does not fill but a write needs to take the read's values
  // (a switch that must be "open" for its value to be written).
  std::span<const ReadFill> read_fills = {};
  // Why a write may end without showing any message (nothing written).
  std::string_view silent_reason = {};
  // LTE sheets whose merged layout refuses a wrong range count with a
  // message of its own; nullptr when on_range_count holds in every layout.
  const Message* on_range_count_merged = nullptr;
  // What the read cannot tell from the image (a blank and an X both stored
  // as 0, a switch that leaves no trace): the read shows the canonical form
  // written here, and `calvex describe` prints it. Empty when the read shows
  // every cell as it was written.
  std::string_view read_note = {};

  // The sheet can be read: by its read export or by a decoder.
  constexpr bool has_read() const { return read != nullptr || decode != nullptr; }
  constexpr bool has_read_export() const { return read != nullptr; }
  // The read calvex runs: the export's operation where there is one, unless
  // decode_over_export prefers the decoder.
  constexpr const ReadBody* reader() const {
    return read != nullptr && !(decode_over_export && decode != nullptr) ? read : decode;
  }
  // calvex reads the sheet with its own decoder.
  constexpr bool reads_by_decoder() const { return decode != nullptr && reader() == decode; }
  // The message of a wrong range count in the given layout.
  constexpr const Message* range_count_message(NvLayout l) const {
    return l == NvLayout::Merged && on_range_count_merged != nullptr ? on_range_count_merged : on_range_count;
  }
  // Output cell count of the read.
  constexpr int read_count() const {
    if (read_cells > 0) return read_cells;
    int64_t n = 0;
    for (const RangeDef& r : ranges) n += r.count();
    return static_cast<int>(n);
  }
};

// The write skeleton's range step, from the sheet's definition: if
// range_count() differs from the number of its ranges shows its range-count
// message (of the layout); otherwise checks each range's cell count in order,
// showing the first mismatching range's message. Returns the copied texts of
// all ranges, or nothing if a check failed.
std::optional<std::vector<Cells>> take_ranges(const WriteArgs& args, const SheetDef& def, NvLayout layout);

// The two steps of take_ranges alone, for a sheet that looks at one range
// before it checks the next: false (the message shown) when the host's range
// count, or range i's cell count, is not the definition's.
bool range_count_ok(const WriteArgs& args, const SheetDef& def, NvLayout layout);
bool cell_count_ok(const WriteArgs& args, const SheetDef& def, size_t range);

// The NV blocks of the definition in the layout that a write stores (not
// those it only reads), staged zeroed, in the definition's order.
std::vector<NvBlock> stage_writable_blocks(const SheetDef& def, NvLayout layout);

// An operation may store only what its definition lists: throws
// std::logic_error (a programming error, reported as a failed operation)
// when a staged block does not lie inside one of the definition's writable
// blocks of the layout. Called before the image is opened.
void require_in_blocks(const SheetDef& def, NvLayout layout, std::span<const NvBlock* const> blocks);

// store_blocks (sheet.h) of blocks that require_in_blocks has accepted.
bool store_sheet_blocks(const std::u16string& path, const SheetDef& def, NvLayout layout,
                        std::span<const NvBlock* const> blocks, const Message& on_fail);
bool store_sheet_blocks(const std::u16string& path, const SheetDef& def, NvLayout layout,
                        std::initializer_list<const NvBlock*> blocks, const Message& on_fail);

// Every definition, family by family (common, GSM, LTE-A, LTE, TD-SCDMA, WCDMA).
std::span<const SheetDef* const> all_sheet_defs();

// Looks a definition up by name, ignoring ASCII case; nullptr if unknown.
const SheetDef* find_sheet_def(std::string_view name);

// Each family's definitions (<family>_sheets.cpp).
std::span<const SheetDef* const> common_sheet_defs();
std::span<const SheetDef* const> gsm_sheet_defs();
std::span<const SheetDef* const> ltea_sheet_defs();
std::span<const SheetDef* const> lte_sheet_defs();
std::span<const SheetDef* const> tdscdma_sheet_defs();
std::span<const SheetDef* const> wcdma_sheet_defs();

}  // namespace calvex
