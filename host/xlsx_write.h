// Writing .xlsx workbooks: worksheets of text and number cells, bold headers,
// labels, column widths, line and XY scatter charts, print settings, links
// between worksheets and a key/value info worksheet.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "xlsx_read.h"

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace calvex_host {

class TempFile;

// A workbook that cannot be written. what() is one English line naming the
// destination and the reason, e.g. "cannot write out/book.xlsx: Permission denied".
class XlsxWriteError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// kTitle: bold, and left out of fit_column_widths (a long name overflows into
// the empty cells beside it instead of widening its column). kLabel: a
// label beside a table (bold on a grey fill). kHeader: a label over a
// column (a kLabel, centred). kHeaderTurned: a kHeader turned to read
// upwards, so that it widens its column by one line only (its row is made
// as tall as the longest). kChanged: a value that differs from another
// image's (plain on an orange fill). kText: the number format Text ("@"),
// so that what is typed stays as typed ("1E5" and "007" are not turned
// into numbers); kChangedText: a kText on kChanged's fill.
enum class CellStyle { kPlain, kBold, kTitle, kLabel, kHeader, kHeaderTurned, kChanged, kText, kChangedText };

// What a range of cells accepts as it is typed; Excel refuses anything else
// with error_message (an empty cell is always accepted).
struct CellValidation {
  enum class Kind {
    kList,         // one of choices, offered as a drop-down list
    kWholeNumber,  // an integer min..max
    kFormula,      // formula is TRUE: written for the area's first cell, relative
  };
  Kind kind = Kind::kList;
  std::vector<std::string> choices;  // kList: together, with a comma between, at most 255 characters
  int64_t min = 0;                   // kWholeNumber
  int64_t max = 0;
  std::string formula;               // kFormula, without the leading '='
  std::string error_message;         // at most 255 characters
};

// The longest choice list a validation holds (all choices with a comma
// between them), and the longest error message: Excel's limits.
inline constexpr size_t kValidationListCharsMax = 255;
inline constexpr size_t kValidationMessageCharsMax = 255;

// A line chart of one worksheet's table: the categories are one row of cells,
// and each row from first_series_row to last_series_row is one series over the
// same columns. All positions are 1-based (see CellRef).
struct LineChartSpec {
  std::string title;         // empty: no title
  std::string x_axis_title;  // empty: none
  std::string y_axis_title;  // empty: none
  uint32_t category_row = 0;  // 0: no category cells (Excel numbers the points 1, 2, ...)
  uint32_t first_col = 0;
  uint32_t last_col = 0;
  uint32_t first_series_row = 0;
  uint32_t last_series_row = 0;
  uint32_t series_name_col = 0;  // column holding each series' name; 0: unnamed series
  CellRef anchor;                // the cell under the chart's top-left corner
};

// A row or a column of cells, both ends included (1-based).
struct CellSpan {
  CellRef first;
  CellRef last;
};

// One series of an XY scatter chart: its name is the text of cell `name`,
// its x and y values the cells of x and y (both needed).
struct ScatterSeries {
  CellRef name;
  CellSpan x;
  CellSpan y;
};

// An XY scatter chart (straight lines with markers) of cells of its own
// worksheet, with a legend on the right. Sizes in pixels.
struct ScatterChartSpec {
  std::string title;
  std::string x_axis_title;
  std::string y_axis_title;
  std::vector<ScatterSeries> series;
  CellRef anchor;  // the cell under the chart's top-left corner
  uint32_t width_px = 0;
  uint32_t height_px = 0;
};

// How a worksheet prints: as wide as one page (as many pages down as it
// takes), landscape or portrait, the rows repeated at the top of every page
// (0: none) and the rows that start a new page.
struct PrintSpec {
  bool landscape = false;
  uint32_t repeat_first_row = 0;
  uint32_t repeat_last_row = 0;
  std::vector<uint32_t> page_breaks_before;
};

// Builds a workbook in memory, then save() writes it to the destination
// atomically: the workbook goes to a temporary file in the destination's
// folder (a TempFile of safe_file.h: links, owners and hard links as there),
// its part files beside it, and is read back before it is flushed and renamed
// over the destination: every zip entry whole and matching its checksum,
// every XML part well-formed and every cell as written (the workbook library
// does not report every failed write of its parts, a full disk among them).
// Until save() succeeds the destination is untouched; a writer destroyed
// without save() (or after a failed one) removes its temporary file.
// Rows and columns are 1-based, as in CellRef; every call throws XlsxWriteError.
class XlsxWriter {
 public:
  using SheetId = size_t;  // the worksheet's index, in the order added

  // Throws when the destination's folder does not take a new file.
  explicit XlsxWriter(const std::filesystem::path& destination);
  ~XlsxWriter();
  XlsxWriter(const XlsxWriter&) = delete;
  XlsxWriter& operator=(const XlsxWriter&) = delete;

  // Names follow Excel: 1 to 31 characters, none of []:*?/\, unique ignoring case.
  SheetId add_worksheet(std::string_view name);
  // text is UTF-8, at most 32767 characters; it is stored as a string, so that
  // "0x1A" or "007" show as they are.
  void write_text(SheetId sheet, CellRef cell, std::string_view text, CellStyle style = CellStyle::kPlain);
  void write_number(SheetId sheet, CellRef cell, double value, CellStyle style = CellStyle::kPlain);
  // An empty cell that carries a style (kText: what is typed there stays text).
  void write_blank(SheetId sheet, CellRef cell, CellStyle style);
  // The cells of area (both corners included) accept only what validation
  // allows; throws for a list beyond kValidationListCharsMax or a choice
  // holding a comma or a quote.
  void add_validation(SheetId sheet, CellSpan area, const CellValidation& validation);
  // width in characters of the default font.
  void set_column_width(SheetId sheet, uint32_t col, double width);
  // Sets every column written so far to the width of its longest cell text
  // (and every row with kHeaderTurned cells to the height of the longest).
  void fit_column_widths(SheetId sheet);
  // fit_column_widths gives column col at least `chars` characters.
  void reserve_column_width(SheetId sheet, uint32_t col, size_t chars);
  // The width of columns first..last as fit_column_widths set them, in
  // pixels of the default font (a column never set counts as Excel's default).
  uint32_t columns_width_px(SheetId sheet, uint32_t first_col, uint32_t last_col);
  // Places the chart on sheet, over the data of that same sheet.
  void add_line_chart(SheetId sheet, const LineChartSpec& chart);
  // Places the chart on sheet, over cells that hold nothing (the caller
  // leaves them empty); every series must have a cell span of sheet.
  void add_scatter_chart(SheetId sheet, const ScatterChartSpec& chart);
  // A text cell that links to cell `target_cell` (A1 unless given) of
  // worksheet `target` (added or to be added).
  void write_link(SheetId sheet, CellRef cell, std::string_view text, std::string_view target,
                  CellRef target_cell = CellRef{1, 1});
  // A note (comment) on a cell, shown when the pointer rests on it; it is
  // no cell text, so a reader of the cells never sees it. UTF-8.
  void write_note(SheetId sheet, CellRef cell, std::string_view text);
  void set_print(SheetId sheet, const PrintSpec& print);
  // A worksheet of key (bold, column A) and value (column B) rows, fitted.
  SheetId add_info_worksheet(std::string_view name, const std::vector<std::pair<std::string, std::string>>& rows);

  // Writes the workbook; call once, as the last call. While it writes, the
  // current directory is the destination's folder (restored before it returns).
  void save();

 private:
  struct Sheet {
    lxw_worksheet* worksheet;
    std::string name;
    std::vector<size_t> text_widths;  // per column (0-based), in characters
    std::vector<double> set_widths;   // per column (0-based) as set, in characters; 0: not set
    std::map<uint32_t, size_t> turned_lengths;  // per row with turned headers: the longest, in characters
    std::map<CellRef, std::string> cells;  // the texts a reader must find
  };
  void verify(const std::vector<uint8_t>& bytes) const;
  std::filesystem::path temporary_path() const;
  Sheet& sheet_at(SheetId sheet);
  [[noreturn]] void fail(const std::string& reason) const;
  void check(int error, const std::string& what) const;
  void note_width(Sheet& sheet, uint32_t col, size_t width);
  void discard();

  std::filesystem::path destination_;
  std::unique_ptr<TempFile> temporary_;
  std::string destination_name_;
  lxw_workbook* workbook_ = nullptr;
  lxw_format* bold_ = nullptr;
  lxw_format* label_ = nullptr;
  lxw_format* link_ = nullptr;
  lxw_format* text_ = nullptr;
  lxw_format* changed_text_ = nullptr;
  lxw_format* changed_ = nullptr;
  lxw_format* header_ = nullptr;
  lxw_format* turned_ = nullptr;
  lxw_format* format_of(CellStyle style) const;
  std::vector<Sheet> sheets_;
};

}  // namespace calvex_host
