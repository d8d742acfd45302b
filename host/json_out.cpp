// The JSON document of --format json and --report FILE.json (json_out.h;
// docs/json.md). Members keep the order they are set in.
#include "json_out.h"

#include <charconv>
#include <map>

#include <nlohmann/json.hpp>

#include "cell_check.h"
#include "cmd_common.h"
#include "unicode.h"

namespace calvex_host {
namespace {

using Json = nlohmann::ordered_json;

// Spaces per level of the printed document.
constexpr int kIndent = 2;
constexpr int kHexBase = 16;
constexpr int kDecimalBase = 10;

// What the run recorded, and the command's members. One run prints one document.
struct Document {
  bool json_output = false;
  Json messages = Json::array();
  Json diagnostics = Json::array();
  Json members = Json::object();
};

Document& document() {
  static Document d;
  return d;
}

std::string family_text(calvex::Family family) { return std::string(calvex::family_name(family)); }

// "single" / "merged" for a sheet of the LTE family, null for the others.
Json layout_of(const SheetEntry& sheet, int32_t layout) {
  if (sheet.family != calvex::Family::Lte) return nullptr;
  return layout != 0 ? "merged" : "single";
}

const char* class_text(calvex::MsgClass cls) {
  switch (cls) {
    case calvex::MsgClass::Error:
      return "error";
    case calvex::MsgClass::Warning:
      return "warning";
    case calvex::MsgClass::Success:
      break;
  }
  return "success";
}

const char* kind_text(calvex::CellKind kind) {
  switch (kind) {
    case calvex::CellKind::Dec:
      return "dec";
    case calvex::CellKind::Hex:
      return "hex";
    case calvex::CellKind::Keyword:
      return "keyword";
    case calvex::CellKind::Line:
      return "line";
    case calvex::CellKind::MipiPair:
      return "mipi_pair";
    case calvex::CellKind::Unused:
      return "unused";
    case calvex::CellKind::Text:
      break;
  }
  return "text";
}

const char* block_layout_text(calvex::NvLayout layout) {
  switch (layout) {
    case calvex::NvLayout::Single:
      return "single";
    case calvex::NvLayout::Merged:
      return "merged";
    case calvex::NvLayout::Any:
      break;
  }
  return "any";
}

// A cell's kind as the strict check takes it.
Json cell_kind_json(const calvex::CellType& cell) {
  Json j = Json::object();
  j["kind"] = kind_text(cell.kind);
  j["description"] = calvex::describe_cell(cell);
  if (cell.kind == calvex::CellKind::Dec || cell.kind == calvex::CellKind::Hex ||
      cell.kind == calvex::CellKind::MipiPair) {
    j["bytes"] = cell.bytes;
  }
  if (cell.kind == calvex::CellKind::Dec) j["signed"] = cell.is_signed;
  if (cell.kind == calvex::CellKind::Dec || cell.kind == calvex::CellKind::Hex) {
    j["min"] = calvex::cell_min(cell);
    j["max"] = calvex::cell_max(cell);
  }
  if (cell.kind == calvex::CellKind::Keyword) {
    j["keywords"] = Json::array();
    for (std::string_view w : cell.keywords) j["keywords"].push_back(std::string(w));
  }
  j["x_means_empty"] = cell.x_means_empty;
  j["blank_ok"] = cell.blank_ok;
  return j;
}

// The integer a decimal or hexadecimal cell holds; null for other kinds,
// for X and blanks, and for a text that is no valid cell of its kind.
Json cell_value(const calvex::CellType& cell, const std::string& text) {
  if (cell.kind != calvex::CellKind::Dec && cell.kind != calvex::CellKind::Hex) return nullptr;
  if (text.empty() || text == "X" || text == "x") return nullptr;
  if (calvex::check_cell(cell, utf16_from_utf8(text))) return nullptr;
  std::string_view digits(text);
  if (cell.kind == calvex::CellKind::Hex) {
    if (digits.size() > 2 && digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) digits.remove_prefix(2);
    uint64_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, kHexBase);
    if (ec != std::errc() || end != digits.data() + digits.size()) return nullptr;
    return value;
  }
  if (!digits.empty() && digits[0] == '+') digits.remove_prefix(1);
  int64_t value = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value, kDecimalBase);
  if (ec == std::errc() && end == digits.data() + digits.size()) return value;
  uint64_t large = 0;
  const auto [end2, ec2] = std::from_chars(digits.data(), digits.data() + digits.size(), large, kDecimalBase);
  if (ec2 != std::errc() || end2 != digits.data() + digits.size()) return nullptr;
  return large;
}

Json byte_values(const std::vector<int>& values) {
  Json j = Json::array();
  for (const int v : values) {
    if (v == kPastEnd) {
      j.push_back(nullptr);
    } else {
      j.push_back(v);
    }
  }
  return j;
}

Json findings_json(const DiffFindings& findings) {
  Json cells = Json::array();
  for (const CellDifference& c : findings.cells) {
    cells.push_back(Json{{"sheet", c.sheet}, {"range", c.range}, {"row", c.row}, {"col", c.col},
                         {"old", c.old_text}, {"new", c.new_text}});
  }
  Json bytes = Json::array();
  for (const ByteDifference& b : findings.bytes) {
    bytes.push_back(Json{{"sheets", b.sheets}, {"offset", b.offset}, {"length", b.length},
                         {"old", byte_values(b.old_bytes)}, {"new", byte_values(b.new_bytes)}});
  }
  Json j = Json::object();
  j["differences"] = findings.cells.size() + findings.bytes.size();
  j["cells"] = std::move(cells);
  j["bytes"] = std::move(bytes);
  return j;
}

Json totals(const std::vector<ImageResult>& results) {
  std::map<std::string, size_t> counts;
  for (const ImageResult& r : results) ++counts[r.status];
  Json statuses = Json::object();
  for (const auto& [status, count] : counts) statuses[status] = count;
  return Json{{"images", results.size()}, {"statuses", std::move(statuses)}};
}

}  // namespace

void set_json_output(bool on) { document().json_output = on; }
bool json_output() { return document().json_output; }

bool is_json_path(const std::string& path) {
  constexpr std::string_view kExtension = ".json";
  return path.size() >= kExtension.size() && lower_ascii(path.substr(path.size() - kExtension.size())) == kExtension;
}

void record_library_message(const SheetEntry& sheet, int32_t layout, const ShownMessage& message,
                            const std::string& shown) {
  const calvex::Message& entry = calvex::catalogue()[static_cast<size_t>(message.id)];
  document().messages.push_back(Json{{"class", class_text(message.cls)},
                                     {"shown", shown},
                                     {"sheet", std::string(sheet.name)},
                                     {"layout", layout_of(sheet, layout)},
                                     {"text", utf8_from_utf16(message.text)},
                                     {"gloss", entry.gloss}});
}

void record_diagnostic(const std::string& line) { document().diagnostics.push_back(line); }

std::string last_diagnostic() {
  const Json& lines = document().diagnostics;
  return lines.empty() ? std::string() : lines.back().get<std::string>();
}

void json_list() {
  Json sheets = Json::array();
  for (const SheetEntry* e : all_sheets()) {
    Json ranges = Json::array();
    for (const calvex::RangeDef& r : e->ranges) {
      ranges.push_back(Json{{"name", std::string(r.name)}, {"rows", r.rows}, {"cols", r.cols}, {"cells", r.count()}});
    }
    Json read_cells = nullptr;
    if (e->has_read()) read_cells = e->read_count();
    sheets.push_back(Json{{"name", std::string(e->name)},
                          {"family", family_text(e->family)},
                          {"operations", e->has_read() ? "write+read" : "write"},
                          {"summary", std::string(e->summary)},
                          {"ranges", std::move(ranges)},
                          {"read_cells", std::move(read_cells)}});
  }
  document().members["sheets"] = std::move(sheets);
}

void json_describe(const SheetEntry& sheet) {
  Json ranges = Json::array();
  for (const calvex::RangeDef& range : sheet.ranges) {
    Json areas = Json::array();
    for (const calvex::CellArea& a : range.areas) {
      const int rows = a.rows == 0 ? range.rows - a.row : a.rows;
      const int cols = a.cols == 0 ? range.cols - a.col : a.cols;
      areas.push_back(Json{{"first_row", a.row + 1},
                           {"last_row", a.row + rows},
                           {"first_col", a.col + 1},
                           {"last_col", a.col + cols},
                           {"cells", cell_kind_json(a.cells)}});
    }
    ranges.push_back(Json{{"name", std::string(range.name)},
                          {"rows", range.rows},
                          {"cols", range.cols},
                          {"cells", cell_kind_json(range.cells)},
                          {"areas", std::move(areas)}});
  }
  Json blocks = Json::array();
  for (const calvex::NvSpan& b : sheet.blocks) {
    blocks.push_back(Json{{"offset", b.offset},
                          {"size", b.size},
                          {"layout", block_layout_text(b.layout)},
                          {"read_only", b.read_only}});
  }
  Json read = nullptr;
  if (sheet.has_read()) {
    read = Json{{"cells", sheet.read_count()}, {"by", sheet.reads_by_decoder() ? "decoder" : "library"}};
  }
  Json read_export = nullptr;
  if (!sheet.read_export.empty()) read_export = std::string(sheet.read_export);
  Json note = nullptr;
  if (!sheet.read_note.empty()) note = std::string(sheet.read_note);
  document().members["sheet"] = Json{{"name", std::string(sheet.name)},
                                     {"family", family_text(sheet.family)},
                                     {"summary", std::string(sheet.summary)},
                                     {"exports", Json{{"write", std::string(sheet.write_export)}, {"read", read_export}}},
                                     {"ranges", std::move(ranges)},
                                     {"blocks", std::move(blocks)},
                                     {"read", std::move(read)},
                                     {"read_note", std::move(note)}};
}

void json_read(const SheetEntry& sheet, int32_t layout, const std::string& image, const SheetCells& cells) {
  Json ranges = Json::array();
  for (size_t r = 0; r < sheet.ranges.size() && r < cells.size(); ++r) {
    const calvex::RangeDef& range = sheet.ranges[r];
    Json texts = Json::array();
    Json values = Json::array();
    for (int row = 0; row < range.rows; ++row) {
      Json text_row = Json::array();
      Json value_row = Json::array();
      for (int col = 0; col < range.cols; ++col) {
        const size_t i = static_cast<size_t>(row) * static_cast<size_t>(range.cols) + static_cast<size_t>(col);
        const std::string text = i < cells[r].size() ? utf8_from_utf16(cells[r][i]) : std::string();
        value_row.push_back(cell_value(range.cell_type_at(row, col), text));
        text_row.push_back(text);
      }
      texts.push_back(std::move(text_row));
      values.push_back(std::move(value_row));
    }
    ranges.push_back(Json{{"name", std::string(range.name)},
                          {"rows", range.rows},
                          {"cols", range.cols},
                          {"cells", std::move(texts)},
                          {"values", std::move(values)}});
  }
  Json& m = document().members;
  m["sheet"] = std::string(sheet.name);
  m["family"] = family_text(sheet.family);
  m["layout"] = layout_of(sheet, layout);
  m["image"] = image;
  m["ranges"] = std::move(ranges);
}

void json_identify(const std::string& image, uint64_t size, const std::vector<Candidate>& candidates) {
  Json list = Json::array();
  Json consistent = Json::array();
  const Candidate* only = nullptr;
  size_t found = 0;
  for (const Candidate& c : candidates) {
    Json layout = nullptr;
    if (c.layout) layout = *c.layout != 0 ? "merged" : "single";
    list.push_back(Json{{"name", candidate_name(c)},
                        {"family", family_text(c.family)},
                        {"layout", layout},
                        {"fits", c.fits},
                        {"needed", c.needed},
                        {"cells", c.cells},
                        {"valid", c.valid},
                        {"changed", c.changed},
                        {"block_bytes", c.block_bytes},
                        {"failed_writes", c.failed_writes},
                        {"consistent", c.consistent}});
    if (!c.consistent) continue;
    consistent.push_back(candidate_name(c));
    only = &c;
    ++found;
  }
  Json verdict = Json::object();
  verdict["consistent_with"] = std::move(consistent);
  verdict["family"] = nullptr;
  verdict["layout"] = nullptr;
  if (found == 1) {
    verdict["family"] = family_text(only->family);
    if (only->layout) verdict["layout"] = *only->layout != 0 ? "merged" : "single";
  }
  Json& m = document().members;
  m["image"] = image;
  m["size"] = size;
  m["candidates"] = std::move(list);
  m["verdict"] = std::move(verdict);
}

void json_diff(const std::string& a, const std::string& b, calvex::Family family, const DiffFindings& findings) {
  Json& m = document().members;
  m["family"] = family_text(family);
  m["old_image"] = a;
  m["new_image"] = b;
  const Json found = findings_json(findings);
  for (const auto& [key, value] : found.items()) m[key] = value;
}

void json_dry_run(const std::string& image, bool cells_shown, const DiffFindings& findings) {
  Json changes{{"image", image}, {"cells_shown", cells_shown}};
  const Json found = findings_json(findings);
  for (const auto& [key, value] : found.items()) changes[key] = value;
  document().members["dry_run"] = std::move(changes);
}

void json_batch(const std::string& key, const std::string& source, const std::vector<ImageResult>& results) {
  Json images = Json::array();
  for (const ImageResult& r : results) {
    images.push_back(Json{{"image", r.image},
                          {"status", r.status},
                          {"sheets_written", r.sheets_written},
                          {"bytes_changed", r.bytes_changed},
                          {"message", r.message}});
  }
  Json& m = document().members;
  m[key] = source;
  m["images"] = std::move(images);
  m["total"] = totals(results);
}

void json_diff_golden(const std::string& golden, calvex::Family family, const std::vector<ImageResult>& results,
                      const std::vector<DiffFindings>& findings) {
  Json images = Json::array();
  for (size_t i = 0; i < results.size(); ++i) {
    const ImageResult& r = results[i];
    Json entry{{"image", r.image}, {"status", r.status}, {"message", r.message}};
    const Json found = findings_json(i < findings.size() ? findings[i] : DiffFindings{});
    for (const auto& [key, value] : found.items()) entry[key] = value;
    images.push_back(std::move(entry));
  }
  Json& m = document().members;
  m["family"] = family_text(family);
  m["golden"] = golden;
  m["images"] = std::move(images);
  m["total"] = totals(results);
}

std::string json_document(const std::string& command, int status) {
  const Document& d = document();
  Json j = Json::object();
  j["command"] = command;
  j["calvex_version"] = CALVEX_VERSION;
  j["exit_status"] = status;
  j["messages"] = d.messages;
  j["diagnostics"] = d.diagnostics;
  for (const auto& [key, value] : d.members.items()) j[key] = value;
  // Paths and cells that are no valid UTF-8 show U+FFFD rather than stopping the document.
  return j.dump(kIndent, ' ', false, Json::error_handler_t::replace) + "\n";
}

}  // namespace calvex_host
