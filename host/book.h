// Sheets as worksheets of an .xlsx workbook: a worksheet named after its
// sheet holds the sheet file's layout, one cell per cell: row 1 is
// "#sheet" and the sheet's name, then every range has a marker row "#range"
// and its name (both bold) followed by its rows. Decimal cells are stored as
// numbers, everything else as text (so "0x1A" and "open" show as they are).
#pragma once

#include <filesystem>
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
// band of each pair of columns). Every temperature compensation table and
// ramp shape table with cells gets an XY scatter chart under it, over rows
// left empty; the worksheet prints one page wide, a table or a chart kept
// on one page where it fits, the header rows of a table longer than a page
// repeated on every page. The cells guard what is typed into them: hex,
// keyword and MIPI pair cells carry the number format Text (empty ones
// too), keyword cells offer their keywords (and X where it means empty) as
// a drop-down list, and decimal cells take whole numbers within the cell's
// limits (cell_min..cell_max, or X where it means empty), all read from the
// sheet's definition.
void add_sheet_worksheet(XlsxWriter& book, const SheetEntry& sheet, const RangeCells& cells);

// One line of the overview worksheet: a sheet, what its worksheet holds and
// the NV blocks it touches.
struct OverviewSheet {
  std::string name;
  std::string summary;
  std::string blocks;
};

// Adds the overview worksheet `name`: key (column A, bold) and value
// (column B) rows, then a table of the sheets, each name a link to its
// worksheet (added before or after). The keys stay in column A and their
// values in column B, so a reader finds a value by its key.
void add_overview_worksheet(XlsxWriter& book, std::string_view name,
                            const std::vector<std::pair<std::string, std::string>>& facts,
                            const std::vector<OverviewSheet>& sheets);

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
