#include "xlsx_write.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "safe_file.h"

namespace calvex_host {
namespace {

// Excel's column width unit is one digit of the default font; a little room
// keeps the longest text off the cell border.
constexpr double kColumnPadding = 2.0;
constexpr double kColumnWidthMax = 60.0;
constexpr uint32_t kNewWorkbookMode = 0644;
// The part files of the workbook library go beside the workbook (the
// current directory while it writes, see InFolder).
constexpr char kPartFolder[] = ".";
constexpr uint32_t kKeyCol = 1;
constexpr uint32_t kValueCol = 2;
constexpr lxw_color_t kLabelFill = 0xE7E6E6;  // light grey
constexpr lxw_color_t kChangedFill = 0xFFC57A;  // light orange
// The author a note names, and its box in pixels (room for an old value and a few words).
constexpr char kNoteAuthor[] = "calvex";
constexpr uint16_t kNoteWidthPx = 200;
constexpr uint16_t kNoteHeightPx = 48;
// libxlsxwriter's default chart size, the base of its scale factors.
constexpr double kDefaultChartWidthPx = 480.0;
constexpr double kDefaultChartHeightPx = 288.0;
constexpr double kLegendFontSize = 8.0;
// Excel's default column width (characters) and the pixels of a width:
// 7 per character of the default font and 5 of margin.
constexpr double kDefaultColumnWidth = 8.43;
constexpr double kColumnPxPerChar = 7.0;
constexpr double kColumnMarginPx = 5.0;
// A turned header: one line of text across, and the row height (points)
// per character of its text along the column, plus a margin.
constexpr size_t kTurnedHeaderWidth = 2;
constexpr int16_t kTurnedAngle = 90;
constexpr double kTurnedPointsPerChar = 7.5;
constexpr double kTurnedMarginPoints = 8.0;
constexpr uint16_t kPagesWide = 1;
constexpr uint16_t kPagesTallAsNeeded = 0;
// The built-in number format Text.
constexpr char kTextNumberFormat[] = "@";
// The title of the box in which Excel refuses a value.
constexpr char kValidationErrorTitle[] = "calvex";

std::string utf8_of(const std::filesystem::path& path) {
  const auto text = path.u8string();
  return std::string(text.begin(), text.end());
}

size_t code_points(std::string_view text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

// libxlsxwriter opens its output with fopen(), which on Windows reads the name
// in the ANSI code page: it gets the temporary's ASCII name and closes the
// workbook with the destination's folder as the current directory.
class InFolder {
 public:
  explicit InFolder(const std::filesystem::path& folder) {
    if (folder.empty()) return;
    saved_ = std::filesystem::current_path(error_);
    if (!error_) std::filesystem::current_path(folder, error_);
    if (error_) saved_.clear();
  }
  ~InFolder() {
    std::error_code ignored;
    if (!saved_.empty()) std::filesystem::current_path(saved_, ignored);
  }
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;
  const std::error_code& error() const { return error_; }

 private:
  std::filesystem::path saved_;
  std::error_code error_;
};

}  // namespace

XlsxWriter::XlsxWriter(const std::filesystem::path& destination)
    : destination_(destination), temporary_(std::make_unique<TempFile>()), destination_name_(utf8_of(destination)) {
  std::error_code ec;
  if (std::filesystem::is_directory(destination, ec)) fail(std::strerror(EISDIR));
  const std::filesystem::path folder = destination.parent_path().empty() ? "." : destination.parent_path();
  if (!std::filesystem::exists(folder, ec)) fail(std::strerror(ENOENT));
  std::string error;
  if (!temporary_->reserve(destination_name_, kNewWorkbookMode, &error)) {
    temporary_.reset();
    throw XlsxWriteError("cannot write " + destination_name_ + ": " + error);
  }
  lxw_workbook_options options{};
  options.tmpdir = const_cast<char*>(kPartFolder);
  const std::string name = utf8_of(temporary_path().filename());
  workbook_ = workbook_new_opt(name.c_str(), &options);
  if (!workbook_) {
    discard();
    fail("out of memory");
  }
  bold_ = workbook_add_format(workbook_);
  label_ = workbook_add_format(workbook_);
  link_ = workbook_add_format(workbook_);
  text_ = workbook_add_format(workbook_);
  changed_text_ = workbook_add_format(workbook_);
  changed_ = workbook_add_format(workbook_);
  header_ = workbook_add_format(workbook_);
  turned_ = workbook_add_format(workbook_);
  if (!bold_ || !label_ || !link_ || !text_ || !changed_text_ || !changed_ || !header_ || !turned_) {
    discard();
    fail("out of memory");
  }
  format_set_bold(bold_);
  format_set_bold(label_);
  format_set_bg_color(label_, kLabelFill);
  format_set_underline(link_, LXW_UNDERLINE_SINGLE);
  format_set_font_color(link_, LXW_COLOR_BLUE);
  format_set_num_format(text_, kTextNumberFormat);
  format_set_num_format(changed_text_, kTextNumberFormat);
  format_set_bg_color(changed_text_, kChangedFill);
  format_set_bg_color(changed_, kChangedFill);
  for (lxw_format* header : {header_, turned_}) {
    format_set_bold(header);
    format_set_bg_color(header, kLabelFill);
    format_set_align(header, LXW_ALIGN_CENTER);
  }
  format_set_rotation(turned_, kTurnedAngle);
  format_set_align(turned_, LXW_ALIGN_VERTICAL_BOTTOM);
}

lxw_format* XlsxWriter::format_of(CellStyle style) const {
  switch (style) {
    case CellStyle::kPlain:
      return nullptr;
    case CellStyle::kBold:
    case CellStyle::kTitle:
      return bold_;
    case CellStyle::kLabel:
      return label_;
    case CellStyle::kText:
      return text_;
    case CellStyle::kChangedText:
      return changed_text_;
    case CellStyle::kHeader:
      return header_;
    case CellStyle::kHeaderTurned:
      return turned_;
    case CellStyle::kChanged:
      return changed_;
  }
  return nullptr;
}

XlsxWriter::~XlsxWriter() { discard(); }

std::filesystem::path XlsxWriter::temporary_path() const {
  const std::string& path = temporary_->path();
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
}

void XlsxWriter::discard() {
  if (workbook_) {
    lxw_workbook_free(workbook_);
    workbook_ = nullptr;
  }
  temporary_.reset();
}

void XlsxWriter::fail(const std::string& reason) const {
  throw XlsxWriteError("cannot write " + destination_name_ + ": " + reason);
}

void XlsxWriter::check(int error, const std::string& what) const {
  if (error != LXW_NO_ERROR) fail(what + ": " + lxw_strerror(static_cast<lxw_error>(error)));
}

XlsxWriter::Sheet& XlsxWriter::sheet_at(SheetId sheet) {
  if (sheet >= sheets_.size()) fail("no worksheet " + std::to_string(sheet));
  return sheets_[sheet];
}

XlsxWriter::SheetId XlsxWriter::add_worksheet(std::string_view name) {
  const std::string text(name);
  check(workbook_validate_sheet_name(workbook_, text.c_str()), "worksheet name '" + text + "'");
  lxw_worksheet* worksheet = workbook_add_worksheet(workbook_, text.c_str());
  if (!worksheet) fail("worksheet '" + text + "' cannot be added");
  sheets_.push_back({worksheet, text, {}, {}, {}, {}});
  return sheets_.size() - 1;
}

void XlsxWriter::note_width(Sheet& sheet, uint32_t col, size_t width) {
  if (sheet.text_widths.size() < col) sheet.text_widths.resize(col);
  sheet.text_widths[col - 1] = std::max(sheet.text_widths[col - 1], width);
}

void XlsxWriter::write_text(SheetId sheet, CellRef cell, std::string_view text, CellStyle style) {
  Sheet& target = sheet_at(sheet);
  const std::string value(text);
  check(worksheet_write_string(target.worksheet, cell.row - 1, static_cast<lxw_col_t>(cell.col - 1), value.c_str(),
                               format_of(style)),
        "worksheet '" + target.name + "' cell " + cell_name(cell));
  if (style == CellStyle::kHeaderTurned) {
    note_width(target, cell.col, kTurnedHeaderWidth);
    size_t& longest = target.turned_lengths[cell.row];
    longest = std::max(longest, code_points(text));
  } else if (style != CellStyle::kTitle) {
    note_width(target, cell.col, code_points(text));
  }
  if (text.empty()) {
    target.cells.erase(cell);
  } else {
    target.cells[cell] = value;
  }
}

void XlsxWriter::write_number(SheetId sheet, CellRef cell, double value, CellStyle style) {
  Sheet& target = sheet_at(sheet);
  check(worksheet_write_number(target.worksheet, cell.row - 1, static_cast<lxw_col_t>(cell.col - 1), value,
                               format_of(style)),
        "worksheet '" + target.name + "' cell " + cell_name(cell));
  note_width(target, cell.col, format_general_number(value).size());
  target.cells[cell] = format_general_number(value);
}

void XlsxWriter::write_blank(SheetId sheet, CellRef cell, CellStyle style) {
  Sheet& target = sheet_at(sheet);
  check(worksheet_write_blank(target.worksheet, cell.row - 1, static_cast<lxw_col_t>(cell.col - 1), format_of(style)),
        "worksheet '" + target.name + "' cell " + cell_name(cell));
  target.cells.erase(cell);
}

void XlsxWriter::add_validation(SheetId sheet, CellSpan area, const CellValidation& validation) {
  Sheet& target = sheet_at(sheet);
  const std::string what = "validation of worksheet '" + target.name + "' cells " + cell_name(area.first) + ":" +
                           cell_name(area.last);
  lxw_data_validation rule{};
  rule.error_type = LXW_VALIDATION_ERROR_TYPE_STOP;
  rule.ignore_blank = LXW_VALIDATION_ON;
  rule.show_error = LXW_VALIDATION_ON;
  std::string title = kValidationErrorTitle;
  std::string message = validation.error_message.substr(0, kValidationMessageCharsMax);
  rule.error_title = title.data();
  if (!message.empty()) rule.error_message = message.data();
  std::vector<std::string> choices = validation.choices;
  std::vector<char*> list;
  std::string formula = validation.formula;
  switch (validation.kind) {
    case CellValidation::Kind::kList: {
      size_t chars = 0;
      for (std::string& choice : choices) {
        if (choice.find_first_of(",\"") != std::string::npos) fail(what + ": the choice '" + choice + "' holds a comma or a quote");
        chars += code_points(choice) + (list.empty() ? 0 : 1);
        list.push_back(choice.data());
      }
      if (list.empty() || chars > kValidationListCharsMax) fail(what + ": a list of 1 to 255 characters is needed");
      list.push_back(nullptr);
      rule.validate = LXW_VALIDATION_TYPE_LIST;
      rule.value_list = list.data();
      rule.dropdown = LXW_VALIDATION_ON;
      break;
    }
    case CellValidation::Kind::kWholeNumber:
      rule.validate = LXW_VALIDATION_TYPE_INTEGER;
      rule.criteria = LXW_VALIDATION_CRITERIA_BETWEEN;
      rule.minimum_number = static_cast<double>(validation.min);
      rule.maximum_number = static_cast<double>(validation.max);
      break;
    case CellValidation::Kind::kFormula:
      rule.validate = LXW_VALIDATION_TYPE_CUSTOM_FORMULA;
      rule.value_formula = formula.data();
      break;
  }
  check(worksheet_data_validation_range(target.worksheet, area.first.row - 1,
                                        static_cast<lxw_col_t>(area.first.col - 1), area.last.row - 1,
                                        static_cast<lxw_col_t>(area.last.col - 1), &rule),
        what);
}

void XlsxWriter::set_column_width(SheetId sheet, uint32_t col, double width) {
  Sheet& target = sheet_at(sheet);
  const auto index = static_cast<lxw_col_t>(col - 1);
  check(worksheet_set_column(target.worksheet, index, index, width, nullptr),
        "worksheet '" + target.name + "' column " + std::to_string(col));
  if (target.set_widths.size() < col) target.set_widths.resize(col);
  target.set_widths[col - 1] = width;
}

void XlsxWriter::fit_column_widths(SheetId sheet) {
  const std::vector<size_t> widths = sheet_at(sheet).text_widths;
  for (size_t i = 0; i < widths.size(); ++i)
    if (widths[i] > 0)
      set_column_width(sheet, static_cast<uint32_t>(i + 1),
                       std::min(static_cast<double>(widths[i]) + kColumnPadding, kColumnWidthMax));
  Sheet& target = sheet_at(sheet);
  for (const auto& [row, longest] : target.turned_lengths) {
    const double height = static_cast<double>(longest) * kTurnedPointsPerChar + kTurnedMarginPoints;
    check(worksheet_set_row(target.worksheet, row - 1, height, nullptr),
          "worksheet '" + target.name + "' row " + std::to_string(row));
  }
}

void XlsxWriter::reserve_column_width(SheetId sheet, uint32_t col, size_t chars) {
  note_width(sheet_at(sheet), col, chars);
}

uint32_t XlsxWriter::columns_width_px(SheetId sheet, uint32_t first_col, uint32_t last_col) {
  const Sheet& target = sheet_at(sheet);
  double px = 0;
  for (uint32_t col = first_col; col <= last_col; ++col) {
    const double set = col <= target.set_widths.size() ? target.set_widths[col - 1] : 0;
    px += (set > 0 ? set : kDefaultColumnWidth) * kColumnPxPerChar + kColumnMarginPx;
  }
  return static_cast<uint32_t>(px);
}

void XlsxWriter::add_line_chart(SheetId sheet, const LineChartSpec& desc) {
  Sheet& target = sheet_at(sheet);
  lxw_chart* chart = workbook_add_chart(workbook_, LXW_CHART_LINE);
  if (!chart) fail("chart on worksheet '" + target.name + "' cannot be added");
  const char* data_sheet = target.name.c_str();
  const lxw_row_t category_row = desc.category_row - 1;
  const auto first_col = static_cast<lxw_col_t>(desc.first_col - 1);
  const auto last_col = static_cast<lxw_col_t>(desc.last_col - 1);
  for (uint32_t row = desc.first_series_row; row <= desc.last_series_row; ++row) {
    lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
    if (!series) fail("chart series of worksheet '" + target.name + "' cannot be added");
    if (desc.category_row > 0)
      chart_series_set_categories(series, data_sheet, category_row, first_col, category_row, last_col);
    chart_series_set_values(series, data_sheet, row - 1, first_col, row - 1, last_col);
    if (desc.series_name_col > 0)
      chart_series_set_name_range(series, data_sheet, row - 1, static_cast<lxw_col_t>(desc.series_name_col - 1));
  }
  if (!desc.title.empty()) chart_title_set_name(chart, desc.title.c_str());
  if (!desc.x_axis_title.empty()) chart_axis_set_name(chart->x_axis, desc.x_axis_title.c_str());
  if (!desc.y_axis_title.empty()) chart_axis_set_name(chart->y_axis, desc.y_axis_title.c_str());
  check(worksheet_insert_chart(target.worksheet, desc.anchor.row - 1, static_cast<lxw_col_t>(desc.anchor.col - 1),
                               chart),
        "chart on worksheet '" + target.name + "'");
}

void XlsxWriter::add_scatter_chart(SheetId sheet, const ScatterChartSpec& desc) {
  Sheet& target = sheet_at(sheet);
  if (desc.series.empty()) fail("chart on worksheet '" + target.name + "' has no series");
  lxw_chart* chart = workbook_add_chart(workbook_, LXW_CHART_SCATTER_STRAIGHT_WITH_MARKERS);
  if (!chart) fail("chart on worksheet '" + target.name + "' cannot be added");
  const char* data_sheet = target.name.c_str();
  for (const ScatterSeries& s : desc.series) {
    lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
    if (!series) fail("chart series of worksheet '" + target.name + "' cannot be added");
    if (s.x.first.row == 0 || s.y.first.row == 0) fail("chart series of worksheet '" + target.name + "' lacks cells");
    chart_series_set_categories(series, data_sheet, s.x.first.row - 1, static_cast<lxw_col_t>(s.x.first.col - 1),
                                s.x.last.row - 1, static_cast<lxw_col_t>(s.x.last.col - 1));
    chart_series_set_values(series, data_sheet, s.y.first.row - 1, static_cast<lxw_col_t>(s.y.first.col - 1),
                            s.y.last.row - 1, static_cast<lxw_col_t>(s.y.last.col - 1));
    chart_series_set_name_range(series, data_sheet, s.name.row - 1, static_cast<lxw_col_t>(s.name.col - 1));
  }
  if (!desc.title.empty()) chart_title_set_name(chart, desc.title.c_str());
  if (!desc.x_axis_title.empty()) chart_axis_set_name(chart->x_axis, desc.x_axis_title.c_str());
  if (!desc.y_axis_title.empty()) chart_axis_set_name(chart->y_axis, desc.y_axis_title.c_str());
  // The axes cross at the lowest values, so that their numbers stand beside
  // the plot, not over the lines (temperatures and compensations run negative).
  chart_axis_set_crossing_min(chart->x_axis);
  chart_axis_set_crossing_min(chart->y_axis);
  chart_legend_set_position(chart, LXW_CHART_LEGEND_RIGHT);
  lxw_chart_font legend_font{};
  legend_font.size = kLegendFontSize;
  chart_legend_set_font(chart, &legend_font);
  lxw_chart_options options{};
  options.x_scale = desc.width_px > 0 ? desc.width_px / kDefaultChartWidthPx : 1.0;
  options.y_scale = desc.height_px > 0 ? desc.height_px / kDefaultChartHeightPx : 1.0;
  options.object_position = LXW_OBJECT_MOVE_DONT_SIZE;
  check(worksheet_insert_chart_opt(target.worksheet, desc.anchor.row - 1,
                                   static_cast<lxw_col_t>(desc.anchor.col - 1), chart, &options),
        "chart on worksheet '" + target.name + "'");
}

void XlsxWriter::write_link(SheetId sheet, CellRef cell, std::string_view text, std::string_view target_sheet,
                            CellRef target_cell) {
  Sheet& target = sheet_at(sheet);
  const std::string value(text);
  // Quoted, so that names with blanks or dashes link too; a quote doubles.
  std::string url = "internal:'";
  for (char c : target_sheet) {
    if (c == '\'') url.push_back(c);
    url.push_back(c);
  }
  url += "'!" + cell_name(target_cell);
  check(worksheet_write_url_opt(target.worksheet, cell.row - 1, static_cast<lxw_col_t>(cell.col - 1), url.c_str(),
                                link_, value.c_str(), nullptr),
        "worksheet '" + target.name + "' cell " + cell_name(cell));
  note_width(target, cell.col, code_points(text));
  target.cells[cell] = value;
}

void XlsxWriter::write_note(SheetId sheet, CellRef cell, std::string_view text) {
  Sheet& target = sheet_at(sheet);
  const std::string value(text);
  lxw_comment_options options{};
  options.author = const_cast<char*>(kNoteAuthor);
  options.width = kNoteWidthPx;
  options.height = kNoteHeightPx;
  check(worksheet_write_comment_opt(target.worksheet, cell.row - 1, static_cast<lxw_col_t>(cell.col - 1),
                                    value.c_str(), &options),
        "note on worksheet '" + target.name + "' cell " + cell_name(cell));
}

void XlsxWriter::set_print(SheetId sheet, const PrintSpec& print) {
  Sheet& target = sheet_at(sheet);
  const std::string what = "print settings of worksheet '" + target.name + "'";
  worksheet_fit_to_pages(target.worksheet, kPagesWide, kPagesTallAsNeeded);
  if (print.landscape) {
    worksheet_set_landscape(target.worksheet);
  } else {
    worksheet_set_portrait(target.worksheet);
  }
  if (print.repeat_first_row > 0) {
    check(worksheet_repeat_rows(target.worksheet, print.repeat_first_row - 1, print.repeat_last_row - 1), what);
  }
  if (!print.page_breaks_before.empty()) {
    // Zero-terminated, 0-based rows (a break before row 1 means nothing).
    std::vector<lxw_row_t> breaks;
    for (uint32_t row : print.page_breaks_before)
      if (row > 1) breaks.push_back(row - 1);
    breaks.push_back(0);
    if (breaks.size() > 1) check(worksheet_set_h_pagebreaks(target.worksheet, breaks.data()), what);
  }
}

XlsxWriter::SheetId XlsxWriter::add_info_worksheet(std::string_view name,
                                                   const std::vector<std::pair<std::string, std::string>>& rows) {
  const SheetId sheet = add_worksheet(name);
  uint32_t row = 1;
  for (const auto& [key, value] : rows) {
    write_text(sheet, {row, kKeyCol}, key, CellStyle::kBold);
    write_text(sheet, {row, kValueCol}, value);
    ++row;
  }
  fit_column_widths(sheet);
  return sheet;
}

void XlsxWriter::verify(const std::vector<uint8_t>& bytes) const {
  const std::string name = destination_name_;
  try {
    check_xlsx_package(bytes, name);
    const std::vector<WorkbookSheet> read = read_xlsx_bytes(bytes, name);
    if (read.size() != sheets_.size()) fail("the written workbook does not read back (worksheets missing)");
    for (size_t i = 0; i < read.size(); ++i) {
      if (read[i].name != sheets_[i].name || read[i].cells != sheets_[i].cells)
        fail("the written workbook does not read back as written (worksheet '" + sheets_[i].name + "')");
    }
  } catch (const WorkbookError& e) {
    fail(std::string("the written workbook does not read back: ") + e.what());
  }
}

void XlsxWriter::save() {
  if (!workbook_) fail("the workbook was already saved");
  std::string reason;
  {
    const InFolder folder(temporary_path().parent_path());
    if (folder.error()) {
      reason = folder.error().message();
    } else {
      const lxw_error error = workbook_close(workbook_);
      workbook_ = nullptr;
      if (error != LXW_NO_ERROR) reason = lxw_strerror(error);
    }
  }
  std::vector<uint8_t> bytes;
  if (reason.empty()) temporary_->read_back(&bytes, &reason);
  if (!reason.empty()) {
    discard();
    fail(reason);
  }
  try {
    verify(bytes);
  } catch (...) {
    discard();
    throw;
  }
  if (!temporary_->commit(destination_name_, &reason)) {
    discard();
    fail(reason);
  }
  temporary_.reset();
}

}  // namespace calvex_host
