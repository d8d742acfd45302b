// Sheets as worksheets of an .xlsx workbook: a worksheet named after its
// sheet holds the sheet file's layout, one cell per cell: row 1 is
// "#sheet" and the sheet's name, then every range has a marker row "#range"
// and its name (both bold) followed by its rows. Decimal cells are stored as
// numbers, everything else as text (so "0x1A" and "open" show as they are).
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "cmd_common.h"
#include "xlsx_read.h"
#include "xlsx_write.h"

namespace calvex_host {

// A UTF-8 path as a filesystem path (UTF-16 towards Windows), and back.
std::filesystem::path fs_path(const std::string& utf8);
std::string utf8_path(const std::filesystem::path& path);

// True when path names an .xlsx workbook (by its extension, any case).
bool is_workbook_path(const std::string& path);

// Adds a worksheet for sheet holding cells (and a line chart beside the
// main table of a temperature compensation sheet).
void add_sheet_worksheet(XlsxWriter& book, const SheetEntry& sheet, const RangeCells& cells);

// The cells of a worksheet laid out as above. Throws FormatError whose line
// is the worksheet row; cell places (for messages) are
// "BOOK.xlsx!Sheet!B7".
struct WorksheetCells {
  RangeCells cells;
  RangePositions positions;  // line = worksheet row, column = worksheet column
};
WorksheetCells worksheet_cells(const SheetEntry& sheet, const WorkbookSheet& worksheet);

// "book.xlsx!Sheet!B7" for a 1-based row and column.
std::string workbook_place(const std::string& book, const std::string& worksheet, size_t row, size_t col);

}  // namespace calvex_host
