#include "worksheet_match.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "cmd_common.h"

namespace calvex_host {
namespace {

constexpr std::string_view kSheetMarker = "#sheet";
constexpr std::string_view kRangeMarker = "#range";
constexpr std::string_view kRetypeHint = "; format the column as Text and type the value again";

std::string trim_blanks(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, last - first + 1));
}

std::string suggestion(const std::string& name) {
  std::vector<std::string> names;
  for (const SheetEntry* s : all_sheets()) names.emplace_back(s->name);
  const auto best = closest(name, names);
  return best.empty() ? std::string() : " (did you mean '" + best.front() + "'?)";
}

}  // namespace

WorksheetMatch match_worksheet(const WorkbookSheet& worksheet) {
  WorksheetMatch match;
  if (worksheet.kind != SheetKind::kWorksheet) return match;
  const SheetEntry* named = find_sheet(worksheet.name);
  const std::pair<const CellRef, std::string>* sheet_cell = nullptr;
  const std::pair<const CellRef, std::string>* range_cell = nullptr;
  for (const auto& cell : worksheet.cells) {
    const std::string text = trim_blanks(cell.second);
    if (text == kSheetMarker && sheet_cell == nullptr) sheet_cell = &cell;
    if (text == kRangeMarker && range_cell == nullptr) range_cell = &cell;
    if (sheet_cell != nullptr) break;
  }
  if (sheet_cell != nullptr) {
    const CellRef name_at{sheet_cell->first.row, sheet_cell->first.col + 1};
    const auto found = worksheet.cells.find(name_at);
    const std::string name = found == worksheet.cells.end() ? std::string() : trim_blanks(found->second);
    const SheetEntry* sheet = find_sheet(name);
    match.at = name_at;
    if (sheet == nullptr) {
      match.kind = WorksheetMatch::Kind::kUnmatched;
      match.why = "its '#sheet' row names '" + name + "', which is not a sheet of calvex" + suggestion(name) +
                  " (see `calvex list`)";
      return match;
    }
    if (named != nullptr && named != sheet) {
      match.kind = WorksheetMatch::Kind::kUnmatched;
      match.why = "the worksheet is named after sheet " + std::string(named->name) + " but its '#sheet' row names " +
                  std::string(sheet->name) + "; rename the worksheet or correct the row";
      return match;
    }
    match.kind = WorksheetMatch::Kind::kSheet;
    match.sheet = sheet;
    return match;
  }
  if (named != nullptr) {
    match.kind = WorksheetMatch::Kind::kSheet;
    match.sheet = named;
    return match;
  }
  if (range_cell != nullptr) {
    match.kind = WorksheetMatch::Kind::kUnmatched;
    match.at = range_cell->first;
    match.why = "it holds '#range' rows but no '#sheet,<name>' row, and '" + worksheet.name +
                "' is not the name of a sheet" + suggestion(worksheet.name) +
                ": add a '#sheet' row above its first range naming the sheet (as `calvex template` writes it)";
  }
  return match;
}

std::optional<std::string> number_cell_problem(const calvex::CellType& rule, NumberCell number,
                                               const std::string& text) {
  if (number == NumberCell::kDate) {
    return "a date or time (the cell's number format shows one, the number is its serial)" + std::string(kRetypeHint);
  }
  switch (rule.kind) {
    case calvex::CellKind::Hex:
      return "a number in a hexadecimal cell (a spreadsheet turns '1E3' into 1000 and drops leading zeros)" +
             std::string(kRetypeHint);
    case calvex::CellKind::MipiPair:
      return "a number in a MIPI pair cell (a spreadsheet turns '12,34' into 1234)" + std::string(kRetypeHint);
    case calvex::CellKind::Keyword:
      if (std::find(rule.keywords.begin(), rule.keywords.end(), text) != rule.keywords.end()) return std::nullopt;
      return "a number in a keyword cell" + std::string(kRetypeHint);
    default:
      return std::nullopt;
  }
}

}  // namespace calvex_host
