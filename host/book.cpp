#include "book.h"

#include <algorithm>
#include <cstdlib>

namespace calvex_host {
namespace {

constexpr std::string_view kSheetMarker = "#sheet";
constexpr std::string_view kRangeMarker = "#range";
// Rows of a temperature compensation chart at the most (one series each).
constexpr size_t kMaxChartSeries = 64;
// The sheet text a worksheet becomes, at most: empty cells before a cell
// cost a separator each, so a few cells far apart must not grow it unbounded.
constexpr size_t kWorksheetSheetTextMax = size_t{64} << 20;

// A field of the text handed to the sheet-file parser.
std::string field_text(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted.push_back('"');
    quoted.push_back(c);
  }
  quoted.push_back('"');
  return quoted;
}

// A decimal integer text as a number, when it is one.
std::optional<double> integer_value(const std::string& text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  size_t i = text[0] == '-' || text[0] == '+' ? 1 : 0;
  if (i == text.size()) return std::nullopt;
  for (size_t k = i; k < text.size(); ++k) {
    if (text[k] < '0' || text[k] > '9') return std::nullopt;
  }
  // "007" stays text: as a number it would come back as "7".
  if (text.size() - i > 1 && text[i] == '0') return std::nullopt;
  if (text[0] == '+') return std::nullopt;
  return static_cast<double>(std::strtoll(text.c_str(), nullptr, 10));
}

bool ends_with_ci(const std::string& s, std::string_view suffix) {
  return s.size() >= suffix.size() && lower_ascii(s.substr(s.size() - suffix.size())) == suffix;
}

}  // namespace

std::filesystem::path fs_path(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8_path(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

bool is_workbook_path(const std::string& path) { return ends_with_ci(path, ".xlsx"); }

std::string workbook_place(const std::string& book, const std::string& worksheet, size_t row, size_t col) {
  return book + "!" + worksheet + "!" + cell_name({static_cast<uint32_t>(row), static_cast<uint32_t>(col)});
}

void add_sheet_worksheet(XlsxWriter& book, const SheetEntry& sheet, const RangeCells& cells) {
  const auto id = book.add_worksheet(sheet.name);
  uint32_t row = 1;
  book.write_text(id, {row, 1}, kSheetMarker, CellStyle::kBold);
  book.write_text(id, {row, 2}, sheet.name, CellStyle::kBold);
  ++row;
  uint32_t widest = 2;
  // The biggest temperature compensation table of a sheet gets a chart.
  bool charted = false;
  size_t chart_range = 0;
  for (size_t r = 0; r < sheet.ranges.size(); ++r) {
    if (sheet.ranges[r].role != calvex::RangeRole::TempComp) continue;
    if (!charted || sheet.ranges[r].count() > sheet.ranges[chart_range].count()) chart_range = r;
    charted = true;
  }
  size_t axis_range = sheet.ranges.size();
  for (size_t r = 0; r < sheet.ranges.size(); ++r) {
    if (sheet.ranges[r].role == calvex::RangeRole::TempAxis) axis_range = r;
  }
  LineChartSpec chart;
  for (size_t r = 0; r < sheet.ranges.size(); ++r) {
    const calvex::RangeDef& range = sheet.ranges[r];
    book.write_text(id, {row, 1}, kRangeMarker, CellStyle::kBold);
    book.write_text(id, {row, 2}, range.name, CellStyle::kBold);
    ++row;
    if (r == axis_range) chart.category_row = row;
    if (charted && r == chart_range) {
      chart.first_series_row = row;
      chart.last_series_row = row + static_cast<uint32_t>(std::min<size_t>(range.rows, kMaxChartSeries)) - 1;
      chart.first_col = 1;
      chart.last_col = static_cast<uint32_t>(range.cols);
    }
    for (int y = 0; y < range.rows; ++y, ++row) {
      for (int x = 0; x < range.cols; ++x) {
        const size_t i = static_cast<size_t>(y) * static_cast<size_t>(range.cols) + static_cast<size_t>(x);
        const std::string text = r < cells.size() && i < cells[r].size() ? cells[r][i] : std::string();
        if (text.empty()) continue;
        const CellRef at{row, static_cast<uint32_t>(x + 1)};
        const calvex::CellSpec rule = range.spec_at(y, x);
        const auto number = rule.kind == calvex::CellKind::Dec ? integer_value(text) : std::nullopt;
        if (number) {
          book.write_number(id, at, *number);
        } else {
          book.write_text(id, at, text);
        }
      }
    }
    widest = std::max(widest, static_cast<uint32_t>(range.cols));
  }
  book.fit_column_widths(id);
  if (charted) {
    // The temperature intervals (where the sheet has them) are the categories.
    chart.title = std::string(sheet.name) + " " + std::string(sheet.ranges[chart_range].name);
    chart.x_axis_title = "temperature interval";
    chart.y_axis_title = "value";
    chart.anchor = {2, widest + 2};
    book.add_line_chart(id, chart);
  }
}

WorksheetCells worksheet_cells(const SheetEntry& sheet, const WorkbookSheet& worksheet) {
  // The worksheet as sheet-file text, one line per worksheet row, so that a
  // parsed cell's line and column are its worksheet row and column.
  std::string text;
  uint32_t line = 1;
  auto it = worksheet.cells.begin();
  while (it != worksheet.cells.end()) {
    const uint32_t row = it->first.row;
    for (; line < row; ++line) text += "\n";
    std::string fields;
    uint32_t col = 1;
    for (; it != worksheet.cells.end() && it->first.row == row; ++it) {
      if (it->first.col > col) fields.append(it->first.col - col, ',');
      col = std::max(col, it->first.col);
      fields += field_text(it->second);
    }
    text += fields + "\n";
    ++line;
    if (text.size() > kWorksheetSheetTextMax) {
      throw FormatError(row, "the worksheet's cells lie too far apart (more than " +
                                 std::to_string(kWorksheetSheetTextMax >> 20) + " MiB as sheet text)");
    }
  }
  SheetFileCells parsed = parse_sheet_file_at(sheet, text);
  return WorksheetCells{std::move(parsed.cells), std::move(parsed.positions)};
}

}  // namespace calvex_host
