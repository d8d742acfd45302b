// Reading .xlsx workbooks (Office Open XML spreadsheets) into plain cell texts.
#pragma once

#include <compare>
#include <cstdint>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace calvex_host {

// A workbook that cannot be read. what() is one English line that starts with
// the file's name, e.g. "book.xls: an encrypted or legacy .xls workbook, not .xlsx".
class WorkbookError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A cell position, 1-based as in Excel: A1 is {1, 1}, B7 is {7, 2}.
struct CellRef {
  uint32_t row = 0;
  uint32_t col = 0;
  auto operator<=>(const CellRef&) const = default;
};

enum class SheetKind {
  kWorksheet,   // a grid of cells
  kChartsheet,  // a sheet holding only a chart: listed, never has cells
  kOther,       // dialog and macro sheets: listed, never have cells
};

// How a number cell's value came about, as far as the workbook tells.
enum class NumberCell : uint8_t {
  kNumber,  // a number shown in a number format (General, decimals, percent)
  kDate,    // a number under a date or time format, or a date cell (t="d")
};

struct WorkbookSheet {
  std::string name;
  SheetKind kind = SheetKind::kWorksheet;
  // The text Excel shows in each cell, in row-major order. Cells that are
  // missing or hold an empty text are absent.
  std::map<CellRef, std::string> cells;
  // The cells of `cells` that hold a number (a text cell, even "12", is
  // absent): a spreadsheet turned what was typed there into a number.
  std::map<CellRef, NumberCell> numbers;
};

// Limits against hostile files; a workbook beyond them is refused.
inline constexpr size_t kWorkbookFileSizeMax = size_t{256} << 20;  // bytes of the .xlsx file
inline constexpr size_t kWorkbookPartSizeMax = size_t{256} << 20;  // decompressed bytes of one part
inline constexpr size_t kWorkbookCellCountMax = size_t{1} << 20;   // cells and shared strings, each
inline constexpr uint32_t kWorksheetRowMax = 1048576;              // Excel's grid: rows 1..1048576
inline constexpr uint32_t kWorksheetColMax = 16384;                //   and columns A..XFD
// All parts read, decompressed, together: many sheets naming one big part,
// or many big parts, are refused as soon as they pass this.
inline constexpr size_t kWorkbookPartBytesTotalMax = size_t{256} << 20;
// The texts of all cells and shared strings together: one long shared
// string referenced by many cells counts once per cell.
inline constexpr size_t kWorkbookTextBytesMax = size_t{64} << 20;
// Elements open at once in one XML part (a worksheet needs 6).
inline constexpr size_t kXmlDepthMax = 64;
// <sheet> entries of the workbook part.
inline constexpr size_t kWorkbookSheetCountMax = 1024;

// Every sheet of the workbook at path, in workbook order (hidden sheets
// included). A cell's text:
//   - strings (shared, inline, rich text runs joined; phonetic runs dropped) as
//     stored, with _xHHHH_ escapes decoded;
//   - numbers as Excel shows them in the General format: format_general_number;
//     number formats of the cell (dates, percentages, decimals) are not applied;
//   - booleans TRUE or FALSE; error values (#DIV/0!) as stored; formulas as
//     their cached value.
// A number cell is kDate in `numbers` when its style's number format is a
// built-in date or time format or a custom one with a date or time part (d,
// m, y, h or s outside quotes, escapes and [colour] sections).
// Relationship targets are resolved through the package's .rels parts, so the
// layouts of every writer are read alike. Throws WorkbookError for a file that
// cannot be read or is not a regular file (a FIFO is refused without waiting
// on it), an .xls, encrypted or OpenDocument workbook (named as such by
// foreign_workbook of sheet_format.h), a
// macro-enabled workbook (.xlsm name or a VBA project part), a file that is
// not a zip archive or not a workbook, malformed XML, two sheets naming one
// part, and anything beyond the limits above. Parts are parsed as they are
// decompressed, so memory follows the cells read, not the parts' sizes.
std::vector<WorkbookSheet> read_xlsx(const std::filesystem::path& path);

// As read_xlsx, for the file's bytes; display_name starts every message and
// decides the .xlsm refusal.
std::vector<WorkbookSheet> read_xlsx_bytes(const std::vector<uint8_t>& bytes, std::string_view display_name);

// Checks a package as a writer must leave it: every zip entry decompresses
// whole and matches its checksum, and every .xml and .rels part is
// well-formed XML. Throws WorkbookError naming the first entry that is not.
void check_xlsx_package(const std::vector<uint8_t>& bytes, std::string_view display_name);

// True when a number format code shows a date or time (rule of read_xlsx).
bool is_date_format_code(std::string_view code);

// A number as Excel's General format shows it: integral values below 1e15 as
// integers ("20", "-3"), others as the shortest text that reads back to the
// same double, in fixed notation from 1e-5 up to 1e15 ("0.001", "1.25") and
// in scientific notation otherwise ("1E-06", "2.5E+15").
std::string format_general_number(double value);

// The A1-style name of a cell ({7, 2} is "B7").
std::string cell_name(CellRef ref);

}  // namespace calvex_host
