#include "book.h"

#include "cell_check.h"

#include <algorithm>
#include <cstdlib>
#include <set>
#include <utility>
#include <vector>

namespace calvex_host {
namespace {

constexpr std::string_view kSheetMarker = "#sheet";
constexpr std::string_view kRangeMarker = "#range";
// Series of a chart at the most.
constexpr size_t kMaxChartSeries = 64;
// Labels stand in column A; the sheet file's cells start in column B.
constexpr uint32_t kLabelCol = 1;
constexpr uint32_t kDataFirstCol = 2;
// Empty rows between two ranges, and between a table and its chart.
constexpr uint32_t kRangeGapRows = 1;
// A chart under its table: rows it covers, its width; the default row height.
constexpr uint32_t kChartRows = 22;
constexpr uint32_t kChartWidthPx = 760;
// A chart is as wide as its table (with the label column), within these.
constexpr uint32_t kChartWidthMaxPx = 1400;
// A column of a pair, at the least (characters): two of them hold the
// slot's title over the pair ("slot 12 (empty)").
constexpr size_t kPairColWidthMin = 7;
constexpr uint32_t kRowHeightPx = 20;
// Print: wider tables print landscape; rows a page holds (a conservative
// guess at a page one sheet wide; the scale that fits the width only adds rows).
constexpr uint32_t kPortraitColsMax = 16;
constexpr uint32_t kPortraitRowsPerPage = 50;
constexpr uint32_t kLandscapeRowsPerPage = 34;
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

// Kinds whose texts Excel would turn into numbers as they are typed ("1E5",
// "0012", "12,34"): their cells carry the number format Text.
bool typed_as_text(calvex::CellKind kind) {
  return kind == calvex::CellKind::Hex || kind == calvex::CellKind::Keyword || kind == calvex::CellKind::MipiPair;
}

bool same_rule(const calvex::CellType& a, const calvex::CellType& b) {
  return a.kind == b.kind && a.bytes == b.bytes && a.is_signed == b.is_signed && a.x_means_empty == b.x_means_empty &&
         a.blank_ok == b.blank_ok && a.keywords.data() == b.keywords.data() && a.keywords.size() == b.keywords.size() &&
         a.min == b.min && a.max == b.max;
}

// A rectangle of a range's cells (0-based, both ends included) of one rule.
struct RuleArea {
  calvex::CellType rule;
  int first_row = 0;
  int last_row = 0;
  int first_col = 0;
  int last_col = 0;
};

// The range's cells as rectangles of one rule each: runs of a row, each
// joined with the run of the same columns and rule in the row above.
std::vector<RuleArea> rule_areas(const calvex::RangeDef& range) {
  std::vector<RuleArea> done;
  std::vector<RuleArea> open;
  for (int y = 0; y < range.rows; ++y) {
    std::vector<RuleArea> runs;
    for (int x = 0; x < range.cols; ++x) {
      const calvex::CellType rule = range.cell_type_at(y, x);
      if (!runs.empty() && same_rule(runs.back().rule, rule)) {
        runs.back().last_col = x;
      } else {
        runs.push_back({rule, y, y, x, x});
      }
    }
    for (RuleArea& run : runs) {
      for (auto it = open.begin(); it != open.end(); ++it) {
        if (it->first_col == run.first_col && it->last_col == run.last_col && same_rule(it->rule, run.rule)) {
          run.first_row = it->first_row;
          open.erase(it);
          break;
        }
      }
    }
    done.insert(done.end(), open.begin(), open.end());
    open = std::move(runs);
  }
  done.insert(done.end(), open.begin(), open.end());
  return done;
}

// What a cell of `rule` accepts as it is typed, when Excel can check it: a
// keyword from a drop-down list (X too where X means empty), a decimal as a
// whole number within the cell's limits (or X, through a formula). Lists
// Excel cannot hold (too long, a comma or a quote in a keyword) get none.
std::optional<CellValidation> typing_rule(const calvex::CellType& rule, CellRef first) {
  CellValidation v;
  v.error_message = "Expected " + calvex::describe_cell(rule) + ".";
  if (rule.kind == calvex::CellKind::Keyword) {
    v.kind = CellValidation::Kind::kList;
    for (std::string_view word : rule.keywords) {
      if (word.find_first_of(",\"") != std::string_view::npos) return std::nullopt;
      v.choices.emplace_back(word);
    }
    if (rule.x_means_empty) v.choices.emplace_back("X");
    size_t chars = v.choices.empty() ? 0 : v.choices.size() - 1;  // the commas
    for (const std::string& choice : v.choices) chars += choice.size();
    if (v.choices.empty() || chars > kValidationListCharsMax) return std::nullopt;
    return v;
  }
  if (rule.kind != calvex::CellKind::Dec) return std::nullopt;
  if (!rule.x_means_empty) {
    v.kind = CellValidation::Kind::kWholeNumber;
    v.min = calvex::cell_min(rule);
    v.max = calvex::cell_max(rule);
    return v;
  }
  const std::string at = cell_name(first);
  v.kind = CellValidation::Kind::kFormula;
  v.formula = "OR(" + at + "=\"X\",AND(ISNUMBER(" + at + ")," + at + "=INT(" + at + ")," + at +
              ">=" + std::to_string(calvex::cell_min(rule)) + "," + at + "<=" + std::to_string(calvex::cell_max(rule)) +
              "))";
  return v;
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

namespace {

// A sheet's rows and columns of cells, placed; everything 1-based.
struct Placed {
  uint32_t marker_row = 0;  // the range's "#range" row
  uint32_t first_header_row = 0;
  uint32_t first_data_row = 0;  // its row 0
  uint32_t end_row = 0;         // the first row after its rows
};

// "row 3", or "row" for a range of one row.
std::string numbered(std::string_view label, std::string_view fallback, int index, int count) {
  std::string text(label.empty() ? fallback : label);
  if (count > 1) {
    text += ' ';
    text += std::to_string(index + 1);
  }
  return text;
}

std::string with_unit(std::string_view title, std::string_view unit) {
  std::string text(title);
  if (!unit.empty()) {
    text += " (";
    text += unit;
    text += ')';
  }
  return text;
}

const std::string& cell_text(const RangeCells& cells, size_t r, size_t i) {
  static const std::string kEmpty;
  return r < cells.size() && i < cells[r].size() ? cells[r][i] : kEmpty;
}

// A slot whose name cell is empty, X or 0 holds no band.
bool slot_in_use(const std::string& name) { return !name.empty() && name != "X" && name != "x" && name != "0"; }

// The name of pair slot k of `range` as the labels and the legend show it.
std::string slot_title(const SheetEntry& sheet, const calvex::RangeDef& range, const RangeCells& cells, int k) {
  if (range.slot_names_range == calvex::RangeDef::kNoRange) return numbered(range.cols_label, "slot", k, 2);
  const calvex::RangeDef& names = sheet.ranges[range.slot_names_range];
  const std::string& name = cell_text(cells, range.slot_names_range, static_cast<size_t>(k));
  const std::string label(names.rows_label.empty() ? std::string_view("band") : names.rows_label);
  // Short, to stand over the pair's two narrow columns.
  if (k >= names.count()) return numbered("slot", {}, k, 2) + " (no band)";
  if (!slot_in_use(name)) return numbered("slot", {}, k, 2) + " (empty)";
  return label + " " + name;
}

bool slot_charted(const calvex::RangeDef& range, const RangeCells& cells, int k) {
  if (range.slot_names_range == calvex::RangeDef::kNoRange) return true;
  return slot_in_use(cell_text(cells, range.slot_names_range, static_cast<size_t>(k)));
}

bool all_empty(const RangeCells& cells, size_t r) {
  if (r >= cells.size()) return true;
  return std::all_of(cells[r].begin(), cells[r].end(), [](const std::string& t) { return t.empty(); });
}

bool charted_role(calvex::RangeRole role) {
  return role == calvex::RangeRole::TempComp || role == calvex::RangeRole::RampShape;
}

// The series of the chart of range r (placed at `at`); empty when it has none.
std::vector<ScatterSeries> chart_series(const SheetEntry& sheet, size_t r, const std::vector<Placed>& at,
                                        const RangeCells& cells) {
  const calvex::RangeDef& range = sheet.ranges[r];
  const Placed& p = at[r];
  const auto col = [](int c) { return kDataFirstCol + static_cast<uint32_t>(c); };
  const uint32_t last_data_row = p.first_data_row + static_cast<uint32_t>(range.rows) - 1;
  std::vector<ScatterSeries> series;
  if (range.pair_cols != 0) {
    // One series per slot in use: x the slot's first column, y its second.
    for (int k = 0; k < range.cols / range.pair_cols; ++k) {
      if (!slot_charted(range, cells, k)) continue;
      const int x = k * range.pair_cols;
      series.push_back({{p.first_header_row, col(x)},
                        {{p.first_data_row, col(x)}, {last_data_row, col(x)}},
                        {{p.first_data_row, col(x + 1)}, {last_data_row, col(x + 1)}}});
    }
  } else if (range.role == calvex::RangeRole::RampShape) {
    // One series per column: a ramp over its rows, the steps numbered in the label column.
    const CellSpan steps{{p.first_data_row, kLabelCol}, {last_data_row, kLabelCol}};
    for (int c = 0; c < range.cols; ++c) {
      series.push_back({{p.first_header_row, col(c)}, steps, {{p.first_data_row, col(c)}, {last_data_row, col(c)}}});
    }
  } else {
    // One series per row against the sheet's temperature axis.
    CellSpan axis{};
    for (size_t a = 0; a < sheet.ranges.size(); ++a) {
      if (sheet.ranges[a].role != calvex::RangeRole::TempAxis || sheet.ranges[a].cols != range.cols) continue;
      axis = {{at[a].first_data_row, col(0)}, {at[a].first_data_row, col(range.cols - 1)}};
    }
    if (axis.first.row == 0) return series;
    for (int y = 0; y < range.rows && static_cast<size_t>(y) < kMaxChartSeries; ++y) {
      const uint32_t row = p.first_data_row + static_cast<uint32_t>(y);
      series.push_back({{row, kLabelCol}, axis, {{row, col(0)}, {row, col(range.cols - 1)}}});
    }
  }
  return series;
}

std::string x_axis_title(const SheetEntry& sheet, const calvex::RangeDef& range) {
  if (range.pair_cols != 0) return with_unit(range.x_label, {});
  if (range.role == calvex::RangeRole::RampShape)
    return range.rows_label.empty() ? "row" : std::string(range.rows_label);
  for (const calvex::RangeDef& a : sheet.ranges) {
    if (a.role == calvex::RangeRole::TempAxis)
      return with_unit(std::string(a.rows_label) + " " + std::string(a.cols_label), a.unit);
  }
  return "column";
}

uint32_t rows_per_page(bool landscape) { return landscape ? kLandscapeRowsPerPage : kPortraitRowsPerPage; }

PrintSpec print_layout(const SheetEntry& sheet, const std::vector<Placed>& at,
                       const std::vector<std::pair<uint32_t, uint32_t>>& blocks, uint32_t widest) {
  PrintSpec print;
  print.landscape = widest > kPortraitColsMax;
  const uint32_t page = rows_per_page(print.landscape);
  // A block that does not fit in what is left of the page starts a new one.
  uint32_t used = 1;  // the "#sheet" row
  uint32_t last = 1;
  for (const auto& [first, end] : blocks) {
    const uint32_t height = end - first + 1;
    const uint32_t with_gap = used + (first - last - 1) + height;
    if (used > 0 && with_gap > page) {
      print.page_breaks_before.push_back(first);
      used = height % page;
    } else {
      used = with_gap;
    }
    last = end;
  }
  // A table longer than a page repeats its marker and header rows on every page.
  size_t tallest = sheet.ranges.size();
  for (size_t r = 0; r < sheet.ranges.size(); ++r) {
    if (at[r].end_row - at[r].marker_row <= page) continue;
    if (tallest == sheet.ranges.size() || sheet.ranges[r].rows > sheet.ranges[tallest].rows) tallest = r;
  }
  if (tallest < sheet.ranges.size()) {
    print.repeat_first_row = at[tallest].marker_row;
    print.repeat_last_row = at[tallest].first_data_row - 1;
  }
  return print;
}

}  // namespace

uint32_t header_rows(const calvex::RangeDef& range) { return range.pair_cols != 0 ? 2 : 1; }

CellRef add_sheet_worksheet(XlsxWriter& book, const SheetEntry& sheet, const RangeCells& cells,
                            const CellChanges* changed) {
  CellRef first_change{};
  const auto id = book.add_worksheet(sheet.name);
  uint32_t row = 1;
  book.write_text(id, {row, kDataFirstCol}, kSheetMarker, CellStyle::kBold);
  book.write_text(id, {row, kDataFirstCol + 1}, sheet.name, CellStyle::kTitle);
  row += 1 + kRangeGapRows;
  uint32_t widest = 1;
  for (const calvex::RangeDef& range : sheet.ranges) widest = std::max(widest, static_cast<uint32_t>(range.cols));
  const uint32_t page = rows_per_page(widest > kPortraitColsMax);
  // A sheet that prints landscape turns its column labels upwards: its
  // columns then take the width of their values, and the page's scale stays readable.
  const CellStyle column_head = widest > kPortraitColsMax ? CellStyle::kHeaderTurned : CellStyle::kHeader;
  std::vector<Placed> at(sheet.ranges.size());
  std::vector<std::pair<uint32_t, uint32_t>> blocks;  // first and last row of what a page must keep whole
  std::vector<std::pair<size_t, CellRef>> charts;     // range and anchor
  for (size_t r = 0; r < sheet.ranges.size(); ++r) {
    const calvex::RangeDef& range = sheet.ranges[r];
    Placed& p = at[r];
    p.marker_row = row;
    book.write_text(id, {row, kDataFirstCol}, kRangeMarker, CellStyle::kBold);
    book.write_text(id, {row, kDataFirstCol + 1}, range.name, CellStyle::kTitle);
    if (!range.unit.empty())
      book.write_text(id, {row, kLabelCol}, std::string("unit: ").append(range.unit), CellStyle::kLabel);
    ++row;
    p.first_header_row = row;
    const auto col = [](int c) { return kDataFirstCol + static_cast<uint32_t>(c); };
    if (range.pair_cols != 0) {
      book.write_text(id, {row, kLabelCol}, range.cols_label.empty() ? "slot" : std::string(range.cols_label),
                      CellStyle::kLabel);
      book.write_text(id, {row + 1, kLabelCol}, range.rows_label.empty() ? "row" : std::string(range.rows_label),
                      CellStyle::kLabel);
      for (int k = 0; k < range.cols / range.pair_cols; ++k) {
        const int x = k * range.pair_cols;
        book.write_text(id, {row, col(x)}, slot_title(sheet, range, cells, k), CellStyle::kTitle);
        book.write_text(id, {row + 1, col(x)}, range.x_label, CellStyle::kHeaderTurned);
        book.write_text(id, {row + 1, col(x + 1)}, range.y_label, CellStyle::kHeaderTurned);
        book.reserve_column_width(id, col(x), kPairColWidthMin);
        book.reserve_column_width(id, col(x + 1), kPairColWidthMin);
      }
    } else {
      book.write_text(id, {row, kLabelCol}, range.rows_label.empty() ? "row" : std::string(range.rows_label),
                      CellStyle::kLabel);
      for (int x = 0; x < range.cols; ++x) {
        book.write_text(id, {row, col(x)}, numbered(range.cols_label, "column", x, range.cols), column_head);
      }
    }
    row += header_rows(range);
    p.first_data_row = row;
    for (int y = 0; y < range.rows; ++y, ++row) {
      if (range.role == calvex::RangeRole::RampShape) {
        book.write_number(id, {row, kLabelCol}, y + 1, CellStyle::kLabel);
      } else {
        book.write_text(id, {row, kLabelCol}, numbered(range.rows_label, "row", y, range.rows), CellStyle::kLabel);
      }
      for (int x = 0; x < range.cols; ++x) {
        const size_t i = static_cast<size_t>(y) * static_cast<size_t>(range.cols) + static_cast<size_t>(x);
        const std::string& text = cell_text(cells, r, i);
        const auto change = changed != nullptr ? changed->find({r, i}) : CellChanges::const_iterator{};
        const bool is_changed = changed != nullptr && change != changed->end();
        const CellRef cell{row, col(x)};
        const calvex::CellType rule = range.cell_type_at(y, x);
        const bool as_text = typed_as_text(rule.kind);
        const CellStyle style = is_changed ? (as_text ? CellStyle::kChangedText : CellStyle::kChanged)
                                           : (as_text ? CellStyle::kText : CellStyle::kPlain);
        const auto number = rule.kind == calvex::CellKind::Dec ? integer_value(text) : std::nullopt;
        if (text.empty()) {
          if (style != CellStyle::kPlain) book.write_blank(id, cell, style);
        } else if (number) {
          book.write_number(id, cell, *number, style);
        } else {
          book.write_text(id, cell, text, style);
        }
        if (!is_changed) continue;
        book.write_note(id, cell, change->second.empty() ? std::string("was empty") : "was: " + change->second);
        if (first_change.row == 0) first_change = cell;
      }
    }
    for (const RuleArea& area : rule_areas(range)) {
      const CellSpan span{{p.first_data_row + static_cast<uint32_t>(area.first_row), col(area.first_col)},
                          {p.first_data_row + static_cast<uint32_t>(area.last_row), col(area.last_col)}};
      if (const auto validation = typing_rule(area.rule, span.first)) book.add_validation(id, span, *validation);
    }
    p.end_row = row;
    blocks.emplace_back(p.marker_row, row - 1);
    if (charted_role(range.role) && !all_empty(cells, r)) {
      // The chart goes under its table, over rows left empty.
      charts.emplace_back(r, CellRef{row + kRangeGapRows, kLabelCol});
      // A table and its chart stay on one page when they fit on one together.
      const uint32_t chart_end = row + kRangeGapRows + kChartRows - 1;
      if (chart_end - p.marker_row + 1 <= page) {
        blocks.back().second = chart_end;
      } else {
        blocks.emplace_back(row + kRangeGapRows, chart_end);
      }
      row += kRangeGapRows + kChartRows;
    }
    row += kRangeGapRows;
  }
  book.fit_column_widths(id);
  for (const auto& [r, anchor] : charts) {
    const calvex::RangeDef& range = sheet.ranges[r];
    ScatterChartSpec chart;
    chart.series = chart_series(sheet, r, at, cells);
    if (chart.series.empty()) continue;
    chart.title = std::string(sheet.name) + " " + std::string(range.name);
    chart.x_axis_title = x_axis_title(sheet, range);
    chart.y_axis_title = with_unit(range.y_label, range.unit);
    chart.anchor = anchor;
    const uint32_t table_px = book.columns_width_px(id, kLabelCol, kDataFirstCol + static_cast<uint32_t>(range.cols) - 1);
    chart.width_px = std::clamp(table_px, kChartWidthPx, kChartWidthMaxPx);
    chart.height_px = kChartRows * kRowHeightPx;
    book.add_scatter_chart(id, chart);
  }
  book.set_print(id, print_layout(sheet, at, blocks, widest));
  return first_change;
}

void fill_overview_worksheet(XlsxWriter& book, XlsxWriter::SheetId id, const Overview& overview) {
  constexpr uint32_t kKeyCol = 1;
  // The facts come first but are written last, after the columns are fitted
  // to the tables: a long value (a SHA-256) runs on over the empty cells
  // beside it instead of widening a column of the tables.
  uint32_t row = static_cast<uint32_t>(overview.facts.size()) + 1 + kRangeGapRows;
  // The sheets: name (a link), in a diff workbook the changed cells and a
  // link to the first, then the NV blocks and what the sheet holds.
  const uint32_t header_row = row;
  std::vector<std::string> heads = {"sheet"};
  if (overview.diff) heads.insert(heads.end(), {"changed cells", "first change"});
  heads.insert(heads.end(), {"NV blocks", "what it holds"});
  for (size_t k = 0; k < heads.size(); ++k)
    book.write_text(id, {row, kKeyCol + static_cast<uint32_t>(k)}, heads[k], CellStyle::kLabel);
  ++row;
  for (const OverviewSheet& sheet : overview.sheets) {
    uint32_t col = kKeyCol;
    book.write_link(id, {row, col++}, sheet.name, sheet.name);
    if (overview.diff) {
      book.write_number(id, {row, col++}, static_cast<double>(sheet.changed_cells),
                        sheet.changed_cells > 0 ? CellStyle::kChanged : CellStyle::kPlain);
      if (sheet.first_change.row != 0) {
        book.write_link(id, {row, col}, sheet.name + "!" + cell_name(sheet.first_change), sheet.name,
                        sheet.first_change);
      }
      ++col;
    }
    book.write_text(id, {row, col++}, sheet.blocks);
    book.write_text(id, {row, col++}, sheet.summary);
    ++row;
  }
  if (overview.diff) {
    // The differing bytes no changed cell explains.
    row += kRangeGapRows;
    book.write_text(id, {row, kKeyCol}, overview.bytes.empty() ? "other differing bytes: none"
                                                               : "other differing bytes (no changed cell explains them)",
                    CellStyle::kTitle);
    ++row;
    if (!overview.bytes.empty()) {
      const std::vector<std::string> byte_heads = {"offset", "length", "old bytes", "new bytes", "where"};
      for (size_t k = 0; k < byte_heads.size(); ++k)
        book.write_text(id, {row, kKeyCol + static_cast<uint32_t>(k)}, byte_heads[k], CellStyle::kLabel);
      ++row;
    }
    for (const OverviewBytes& run : overview.bytes) {
      uint32_t col = kKeyCol;
      book.write_text(id, {row, col++}, hex_offset(run.offset));
      book.write_number(id, {row, col++}, static_cast<double>(run.length));
      book.write_text(id, {row, col++}, run.old_values, CellStyle::kChanged);
      book.write_text(id, {row, col++}, run.new_values, CellStyle::kChanged);
      book.write_text(id, {row, col++},
                      run.holders.empty() ? "outside every sheet's blocks" : "in the blocks of " + run.holders);
      ++row;
    }
  }
  // The keys' column fits them too.
  size_t widest_key = 0;
  for (const auto& fact : overview.facts) widest_key = std::max(widest_key, fact.first.size());
  book.reserve_column_width(id, kKeyCol, widest_key);
  book.fit_column_widths(id);
  row = 1;
  for (const auto& [key, value] : overview.facts) {
    book.write_text(id, {row, kKeyCol}, key, CellStyle::kBold);
    book.write_text(id, {row, kKeyCol + 1}, value);
    ++row;
  }
  PrintSpec print;
  print.landscape = true;
  print.repeat_first_row = header_row;
  print.repeat_last_row = header_row;
  book.set_print(id, print);
}

WorksheetCells worksheet_cells(const SheetEntry& sheet, const WorkbookSheet& worksheet) {
  // The data's first column: the column of the first marker. Left of it
  // stand labels, and each range's header rows follow its marker row; the
  // reader passes neither on.
  uint32_t origin = 1;
  for (const auto& [at, text] : worksheet.cells) {
    if (text == kSheetMarker || text == kRangeMarker) {
      origin = at.col;
      break;
    }
  }
  std::set<uint32_t> header_row_set;
  if (origin > 1) {
    for (const auto& [at, text] : worksheet.cells) {
      if (at.col != origin || text != kRangeMarker) continue;
      const auto name = worksheet.cells.find(CellRef{at.row, origin + 1});
      if (name == worksheet.cells.end()) continue;
      for (const calvex::RangeDef& range : sheet.ranges) {
        if (range.name != name->second) continue;
        for (uint32_t k = 1; k <= header_rows(range); ++k) header_row_set.insert(at.row + k);
      }
    }
  }
  // The worksheet as sheet-file text, one line per worksheet row that is not
  // a header row; row_of_line maps a parsed line back onto its row.
  std::string text;
  std::vector<uint32_t> row_of_line = {0};
  uint32_t next_row = 1;
  const auto add_line = [&](uint32_t row, const std::string& fields) {
    text += fields + "\n";
    row_of_line.push_back(row);
    if (text.size() > kWorksheetSheetTextMax) {
      throw FormatError(row, "the worksheet's cells lie too far apart (more than " +
                                 std::to_string(kWorksheetSheetTextMax >> 20) + " MiB as sheet text)");
    }
  };
  auto it = worksheet.cells.begin();
  while (it != worksheet.cells.end()) {
    const uint32_t row = it->first.row;
    for (; next_row < row; ++next_row) {
      if (!header_row_set.contains(next_row)) add_line(next_row, "");
    }
    next_row = row + 1;
    std::string fields;
    uint32_t col = origin;
    for (; it != worksheet.cells.end() && it->first.row == row; ++it) {
      if (it->first.col < origin) continue;
      if (it->first.col > col) fields.append(it->first.col - col, ',');
      col = std::max(col, it->first.col);
      fields += field_text(it->second);
    }
    if (!header_row_set.contains(row)) add_line(row, fields);
  }
  const auto row_at = [&](size_t line) -> size_t {
    if (line < row_of_line.size()) return row_of_line[line];
    return (row_of_line.back() + line) - (row_of_line.size() - 1);
  };
  SheetFileCells parsed;
  try {
    parsed = parse_sheet_file_at(sheet, text);
  } catch (const FormatError& e) {
    throw FormatError(e.line() == 0 ? 0 : row_at(e.line()), e.what());
  }
  const auto place = [&](CellPosition& p) {
    p.line = row_at(p.line);
    p.column += origin - 1;
  };
  for (auto& positions : parsed.positions) {
    for (CellPosition& p : positions) place(p);
  }
  if (parsed.ignored.comment_rows > 0) place(parsed.ignored.first_comment);
  if (parsed.ignored.cells > 0) place(parsed.ignored.first_cell);
  return WorksheetCells{std::move(parsed.cells), std::move(parsed.positions), parsed.ignored};
}

}  // namespace calvex_host
