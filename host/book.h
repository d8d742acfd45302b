// Sheets as worksheets of an .xlsx workbook: a worksheet named after its
// sheet holds the sheet file's layout, one cell per cell: row 1 is
// "#sheet" and the sheet's name, then every range has a marker row "#range"
// and its name (both bold) followed by its rows. Decimal cells are stored as
// numbers, everything else as text (so "0x1A" and "open" show as they are).
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "cmd_common.h"
#include "xlsx_read.h"
#include "xlsx_write.h"

namespace calvex_host {

// A UTF-8 path as a filesystem path (UTF-16 towards Windows), and back.
std::filesystem::path fs_path(const std::string& utf8);
std::string utf8_path(const std::filesystem::path& path);

// True when path names an .xlsx workbook (by its extension, any case).
bool is_workbook_path(const std::string& path);

// Adds a labelled worksheet for sheet holding cells. The sheet file's cells
// start in column B (B1 "#sheet", each range's "#range" marker in column
// B); column A holds labels (what each row is), and each range's marker row
// is followed by header_rows(range) rows of labels over its columns (the
// band of each pair of columns, then what each value is, turned upwards so
// that a wide table of pairs keeps its columns narrow). Every temperature compensation table and
// ramp shape table with cells gets an XY scatter chart under it, over rows
// left empty; the worksheet prints one page wide, a table or a chart kept
// on one page where it fits, the header rows of a table longer than a page
// repeated on every page. The cells guard what is typed into them: hex,
// keyword and MIPI pair cells carry the number format Text (empty ones
// too), keyword cells offer their keywords (and X where it means empty) as
// a drop-down list, and decimal cells take whole numbers within the cell's
// limits (cell_min..cell_max, or X where it means empty), all read from the
// sheet's definition.
//
// With `changed`, the cells it names (range index, cell index within the
// range, row by row) are filled orange and carry a note with the old value
// ("was: 12", "was empty"), a cell now empty too; the returned place is the
// first of them in the worksheet (row 0 when none). Fill and note are
// formatting only: the cells read back as without them.
using CellChanges = std::map<std::pair<size_t, size_t>, std::string>;  // (range, cell) -> old text
CellRef add_sheet_worksheet(XlsxWriter& book, const SheetEntry& sheet, const RangeCells& cells,
                            const CellChanges* changed = nullptr);

// One line of the overview worksheet: a sheet, what its worksheet holds and
// the NV blocks it touches; in a diff workbook also its changed cells and
// the place of the first (row 0: none).
struct OverviewSheet {
  std::string name;
  std::string summary;
  std::string blocks;
  size_t changed_cells = 0;
  CellRef first_change{};
};

// A run of bytes that differ between two images and that no changed cell
// explains: its offset, length, old and new values ("3c 00 ..."), and the
// sheets whose blocks hold it (empty: outside every sheet's blocks).
struct OverviewBytes {
  uint64_t offset = 0;
  uint64_t length = 0;
  std::string old_values;
  std::string new_values;
  std::string holders;
};

// What the overview worksheet lists. Each fact is a key (column A, bold)
// and its value (column B, running on over the empty cells beside it); a
// reader finds a value by its key. A diff workbook (diff true) adds the
// changed cells of each sheet, linked to the first, and the table of other
// differing bytes.
struct Overview {
  std::vector<std::pair<std::string, std::string>> facts;
  std::vector<OverviewSheet> sheets;
  bool diff = false;
  std::vector<OverviewBytes> bytes;
};

// Writes the overview into worksheet `id` (added first, filled once the
// sheets' worksheets are placed): the facts, then a table of the sheets,
// each name a link to its worksheet: sheet, (changed cells, first change,)
// NV blocks, what it holds; then the other bytes: offset, length, old
// bytes, new bytes, where.
void fill_overview_worksheet(XlsxWriter& book, XlsxWriter::SheetId id, const Overview& overview);

// What diff_images found, for diff's workbook: both images' sizes and
// SHA-256 (as they are, --ignore aside), every readable sheet of the family
// with the second image's cells (read from it as it is) and the cells that
// differ (old texts), and the differing bytes no changed cell explains.
struct DiffSheet {
  const SheetEntry* sheet = nullptr;
  RangeCells cells;
  CellChanges changed;
};
struct DiffDetail {
  uint64_t old_size = 0;
  uint64_t new_size = 0;
  std::string old_sha256;
  std::string new_sha256;
  std::vector<DiffSheet> sheets;
  std::vector<OverviewBytes> bytes;
};

// The label rows that follow a range's marker row in a labelled worksheet:
// 2 for a table of value pairs (slot names, then what each value is), else 1.
uint32_t header_rows(const calvex::RangeDef& range);

// The cells of a worksheet: labelled as above, or unlabelled (markers in
// column A, no label rows, as calvex wrote before labels). The data start in
// the column of the worksheet's first "#sheet"/"#range" cell; cells left of
// it, and in a labelled worksheet the header_rows(range) rows after each
// "#range" row of the sheet's ranges, are labels and never read. Throws
// FormatError whose line is the worksheet row; cell places (for messages)
// are "BOOK.xlsx!Sheet!B7".
struct WorksheetCells {
  RangeCells cells;
  RangePositions positions;  // line = worksheet row, column = worksheet column
  IgnoredContent ignored;    // its places as worksheet row and column too
};
WorksheetCells worksheet_cells(const SheetEntry& sheet, const WorkbookSheet& worksheet);

// "book.xlsx!Sheet!B7" for a 1-based row and column.
std::string workbook_place(const std::string& book, const std::string& worksheet, size_t row, size_t col);

}  // namespace calvex_host
