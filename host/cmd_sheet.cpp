// list, describe, template, write and read: one sheet between a sheet file
// and an NV image.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "cell_check.h"
#include "commands.h"
#include "csv.h"
#include "library.h"
#include "platform.h"
#include "safe_file.h"
#include "unicode.h"

namespace calvex_host {
namespace {

using platform::Stream;

// At most this many cell problems are listed; the rest are counted.
constexpr size_t kMaxListedProblems = 50;

void err(const std::string& line) { platform::write_line(Stream::kErr, line); }
void out(const std::string& text) { platform::write_text(Stream::kOut, text); }

std::string lower_ascii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

size_t edit_distance(const std::string& a, const std::string& b) {
  std::vector<size_t> row(b.size() + 1);
  for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    size_t diagonal = row[0];
    row[0] = i;
    for (size_t j = 1; j <= b.size(); ++j) {
      const size_t above = row[j];
      row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
      diagonal = above;
    }
  }
  return row[b.size()];
}

// The candidates closest to `word` (ignoring case), best first.
std::vector<std::string> closest(const std::string& word, const std::vector<std::string>& candidates) {
  const std::string key = lower_ascii(word);
  const size_t limit = std::max<size_t>(2, key.size() / 3);
  std::vector<std::pair<size_t, std::string>> scored;
  for (const std::string& c : candidates) {
    const std::string lc = lower_ascii(c);
    size_t d = edit_distance(key, lc);
    if (!key.empty() && lc.find(key) != std::string::npos) d = std::min<size_t>(d, 1);
    if (d <= limit) scored.emplace_back(d, c);
  }
  std::stable_sort(scored.begin(), scored.end(), [](const auto& x, const auto& y) { return x.first < y.first; });
  std::vector<std::string> best;
  for (size_t i = 0; i < scored.size() && i < 3; ++i) best.push_back(scored[i].second);
  return best;
}

int32_t layout_value(const SheetEntry& sheet, const Options& options) {
  if (options.layout) return *options.layout;
  return sheet.layout == calvex::NvLayout::Merged ? 1 : 0;
}

calvex::NvLayout nv_layout(int32_t value) { return value != 0 ? calvex::NvLayout::Merged : calvex::NvLayout::Single; }

// "GsmTmpComp" or, for an LTE sheet, "LteFilter (merged layout)".
std::string sheet_label(const SheetEntry& sheet, int32_t layout) {
  std::string label(sheet.name);
  if (sheet.family == calvex::Family::Lte) label += layout != 0 ? " (merged layout)" : " (single layout)";
  return label;
}

std::string one_line(std::string text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') continue;
    if (text[i] == '\n') {
      if (i + 1 < text.size()) out += " | ";
      continue;
    }
    out.push_back(text[i]);
  }
  return out;
}

// One line per library message: its class, the sheet, the text and its gloss.
void print_outcome(const SheetEntry& sheet, int32_t layout, const Outcome& outcome) {
  for (const ShownMessage& m : outcome.messages) {
    const calvex::Message& entry = calvex::catalogue()[static_cast<size_t>(m.id)];
    const char* cls = m.cls == calvex::MsgClass::Error ? "error" : m.cls == calvex::MsgClass::Warning ? "warning" : "ok";
    err(std::string(cls) + ": " + sheet_label(sheet, layout) + ": " + one_line(utf8_from_utf16(m.text)) + " (" +
        entry.gloss + ")");
  }
}

// The bytes an image must hold for the sheet's blocks in a layout.
uint64_t required_size(const SheetEntry& sheet, int32_t layout) {
  uint64_t end = 0;
  for (const calvex::NvSpan& b : sheet.blocks) {
    if (b.layout != calvex::NvLayout::Any && b.layout != nv_layout(layout)) continue;
    end = std::max<uint64_t>(end, static_cast<uint64_t>(b.offset) + b.size);
  }
  return end;
}

std::string hex_offset(uint64_t v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
  return buf;
}

// ---- sheet files ----

struct LoadedSheet {
  RangeCells cells;
  std::vector<std::vector<CellPosition>> positions;
};

bool load_sheet_file(const SheetEntry& sheet, const std::string& path, LoadedSheet* loaded) {
  try {
    SheetFileCells file = read_sheet_file(sheet, path);
    loaded->cells = std::move(file.cells);
    loaded->positions = std::move(file.positions);
    return true;
  } catch (const FormatError& e) {
    const std::string where = path == "-" ? "<stdin>" : path;
    err(e.line() > 0 ? where + ":" + std::to_string(e.line()) + ": " + e.what() : where + ": " + e.what());
  } catch (const std::exception& e) {
    err("calvex: " + path + ": " + e.what());
  }
  return false;
}

// A keyword the text nearly matches (case or blanks aside), or empty.
std::string near_keyword(const calvex::CellSpec& spec, const std::string& text) {
  std::string squeezed;
  for (char c : text) {
    if (c != ' ' && c != '\t') squeezed.push_back(c);
  }
  std::vector<std::string> words;
  for (std::string_view w : spec.keywords) {
    if (lower_ascii(w) == lower_ascii(squeezed)) return std::string(w);
    words.emplace_back(w);
  }
  const auto best = closest(squeezed, words);
  return best.empty() ? std::string() : best.front();
}

// Checks every cell against its kind; prints each problem (up to a limit)
// and returns how many there were.
size_t check_cells(const SheetEntry& sheet, const LoadedSheet& loaded, const std::string& path) {
  size_t problems = 0;
  const std::string where = path == "-" ? "<stdin>" : path;
  for (size_t r = 0; r < sheet.ranges.size() && r < loaded.cells.size(); ++r) {
    const calvex::RangeDef& range = sheet.ranges[r];
    const auto& cells = loaded.cells[r];
    for (size_t i = 0; i < cells.size(); ++i) {
      const int row = static_cast<int>(i) / range.cols;
      const int col = static_cast<int>(i) % range.cols;
      const calvex::CellSpec spec = range.spec_at(row, col);
      const auto problem = calvex::check_cell(spec, utf16_from_utf8(cells[i]));
      if (!problem) continue;
      if (++problems > kMaxListedProblems) continue;
      std::string line = where;
      if (r < loaded.positions.size() && i < loaded.positions[r].size() && loaded.positions[r][i].line > 0) {
        line += ":" + std::to_string(loaded.positions[r][i].line) + ":" + std::to_string(loaded.positions[r][i].column);
      }
      line += ": range " + std::string(range.name) + ", row " + std::to_string(row + 1) + " col " +
              std::to_string(col + 1) + ": '" + cells[i] + "': " + *problem;
      if (spec.kind == calvex::CellKind::Keyword) {
        const std::string near = near_keyword(spec, cells[i]);
        if (!near.empty() && near != cells[i]) line += " (did you mean '" + near + "'?)";
      }
      err(line);
    }
  }
  if (problems > kMaxListedProblems) {
    err("... and " + std::to_string(problems - kMaxListedProblems) + " more cell problems");
  }
  return problems;
}

SheetCells utf16_cells(const RangeCells& cells) {
  SheetCells texts(cells.size());
  for (size_t r = 0; r < cells.size(); ++r) {
    for (const std::string& c : cells[r]) texts[r].push_back(utf16_from_utf8(c));
  }
  return texts;
}

RangeCells utf8_cells(const SheetCells& cells) {
  RangeCells out(cells.size());
  for (size_t r = 0; r < cells.size(); ++r) {
    for (const std::u16string& t : cells[r]) out[r].push_back(utf8_from_utf16(t));
  }
  return out;
}

// The sheet as read from the image at path (cells laid onto the ranges, the
// read's fixed fill-ins applied).
Outcome read_sheet(const SheetEntry& sheet, const std::string& path, int32_t layout, SheetCells* cells) {
  std::vector<std::u16string> texts;
  Outcome outcome = call_sheet_read(sheet, texts, utf16_from_utf8(path), layout);
  *cells = cells_from_read(sheet, texts);
  return outcome;
}

// Prints the cells that differ between two reads of a sheet.
void print_cell_changes(const SheetEntry& sheet, const SheetCells& before, const SheetCells& after) {
  size_t changes = 0;
  for (size_t r = 0; r < sheet.ranges.size() && r < before.size() && r < after.size(); ++r) {
    const calvex::RangeDef& range = sheet.ranges[r];
    for (size_t i = 0; i < before[r].size() && i < after[r].size(); ++i) {
      if (before[r][i] == after[r][i]) continue;
      ++changes;
      out("  " + std::string(range.name) + " row " + std::to_string(i / static_cast<size_t>(range.cols) + 1) +
          " col " + std::to_string(i % static_cast<size_t>(range.cols) + 1) + ": '" + utf8_from_utf16(before[r][i]) +
          "' -> '" + utf8_from_utf16(after[r][i]) + "'\n");
    }
  }
  if (changes == 0) out("  no cell changes\n");
}

// Prints the byte ranges in which two images differ; returns their count.
size_t print_byte_changes(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after) {
  const size_t n = std::max(before.size(), after.size());
  size_t runs = 0;
  for (size_t i = 0; i < n;) {
    const bool differs = i >= before.size() || i >= after.size() || before[i] != after[i];
    if (!differs) {
      ++i;
      continue;
    }
    size_t j = i;
    while (j < n && (j >= before.size() || j >= after.size() || before[j] != after[j])) ++j;
    ++runs;
    out("  bytes " + hex_offset(i) + ".." + hex_offset(j - 1) + " (" + std::to_string(j - i) + " bytes)\n");
    i = j;
  }
  if (before.size() != after.size()) {
    out("  image size " + std::to_string(before.size()) + " -> " + std::to_string(after.size()) + " bytes\n");
  }
  if (runs == 0) out("  no byte changes\n");
  return runs;
}

std::string format_write_back(const SheetEntry& sheet, const std::vector<std::u16string>& back) {
  std::vector<std::string> texts;
  for (const std::u16string& t : back) texts.push_back(utf8_from_utf16(t));
  return format_range(std::string(sheet.write_back_name), static_cast<int>(texts.size()), 1, texts);
}

}  // namespace

const SheetEntry* find_sheet_or_suggest(const std::string& name) {
  const SheetEntry* sheet = find_sheet(name);
  if (sheet != nullptr) return sheet;
  std::vector<std::string> names;
  for (const SheetEntry* s : all_sheets()) names.emplace_back(s->name);
  const auto best = closest(name, names);
  std::string line = "calvex: unknown sheet '" + name + "'";
  if (!best.empty()) {
    line += "; did you mean";
    for (size_t i = 0; i < best.size(); ++i) line += (i == 0 ? " '" : ", '") + best[i] + "'";
    line += "?";
  }
  err(line + " (see `calvex list`)");
  return nullptr;
}

int cmd_list() {
  std::string text;
  for (const SheetEntry* e : all_sheets()) {
    text += std::string(calvex::family_name(e->family)) + "\t" + std::string(e->name) + "\t" +
            (e->has_read() ? "write+read" : "write") + "\t" + std::string(e->summary) + "\n";
    for (const calvex::RangeDef& s : e->ranges) {
      text += "\t\trange " + std::string(s.name) + ": " + std::to_string(s.rows) + " x " + std::to_string(s.cols) +
              " (" + std::to_string(s.count()) + " cells)\n";
    }
    if (e->has_read()) text += "\t\tread: " + std::to_string(e->read_count()) + " cells\n";
  }
  out(text);
  return kExitOk;
}

int cmd_describe(const SheetEntry& sheet) {
  std::string text = std::string(sheet.name) + " (" + std::string(calvex::family_name(sheet.family)) + "): " +
                     std::string(sheet.summary) + "\n";
  text += "  exports: " + std::string(sheet.write_export);
  if (!sheet.read_export.empty()) text += ", " + std::string(sheet.read_export);
  text += "\n";
  for (const calvex::RangeDef& range : sheet.ranges) {
    text += "  range " + std::string(range.name) + ": " + std::to_string(range.rows) + " x " +
            std::to_string(range.cols) + "\n";
    text += "    cells: " + calvex::describe_cell(range.cells) + "\n";
    for (const calvex::CellArea& a : range.areas) {
      const int rows = a.rows == 0 ? range.rows - a.row : a.rows;
      const int cols = a.cols == 0 ? range.cols - a.col : a.cols;
      text += "    rows " + std::to_string(a.row + 1) + ".." + std::to_string(a.row + rows) + ", cols " +
              std::to_string(a.col + 1) + ".." + std::to_string(a.col + cols) + ": " + calvex::describe_cell(a.spec) +
              "\n";
    }
  }
  if (sheet.blocks.empty()) {
    text += "  NV blocks: none listed\n";
  } else {
    text += "  NV blocks:\n";
    for (const calvex::NvSpan& b : sheet.blocks) {
      text += "    " + hex_offset(b.offset) + " .. " + hex_offset(static_cast<uint64_t>(b.offset) + b.size - 1) + " (" +
              std::to_string(b.size) + " bytes)";
      if (b.layout == calvex::NvLayout::Single) text += ", single layout";
      if (b.layout == calvex::NvLayout::Merged) text += ", merged layout";
      if (b.read_only) text += ", read only";
      text += "\n";
    }
  }
  text += sheet.has_read() ? "  read: " + std::to_string(sheet.read_count()) + " cells\n" : "  read: none\n";
  out(text);
  return kExitOk;
}

int cmd_template(const SheetEntry& sheet, const Options& options) {
  std::string error;
  if (!write_file_safely(options.output.value_or("-"), format_sheet_file(sheet, {}), &error)) {
    err("calvex: " + error);
    return kExitUsage;
  }
  return kExitOk;
}

int cmd_write(const SheetEntry& sheet, const std::string& image, const std::string& sheet_file,
              const Options& options) {
  LoadedSheet loaded;
  if (!load_sheet_file(sheet, sheet_file, &loaded)) return kExitUsage;
  if (!options.lenient) {
    const size_t problems = check_cells(sheet, loaded, sheet_file);
    if (problems > 0) {
      err("calvex: " + std::to_string(problems) + " cell" + (problems == 1 ? "" : "s") +
          " do not fit the sheet; nothing was written (--lenient passes cells as they are)");
      return kExitUsage;
    }
  }

  const int32_t layout = layout_value(sheet, options);
  const std::string label = sheet_label(sheet, layout);
  LockedImage original;
  std::string error;
  if (!original.open(image, &error)) {
    err("error: " + label + ": " + error);
    return kExitRefused;
  }
  const uint64_t needed = required_size(sheet, layout);
  if (needed > original.bytes().size() && !options.grow) {
    err("error: " + label + ": image '" + image + "' holds " + std::to_string(original.bytes().size()) +
        " bytes, the sheet's blocks reach " + std::to_string(needed) + "; nothing was written (--grow extends it)");
    return kExitRefused;
  }
  const std::string destination = options.output.value_or(image);
  if (options.output && *options.output == "-") {
    err("calvex: -o - is not possible for an image");
    return kExitUsage;
  }

  TempFile work;
  if (!work.create(destination, original.bytes(), original.mode(), &error)) {
    err("error: " + label + ": " + error);
    return kExitRefused;
  }
  std::vector<std::u16string> back;
  const Outcome outcome = call_sheet_write(sheet, utf16_cells(loaded.cells), utf16_from_utf8(work.path()), layout, &back);
  print_outcome(sheet, layout, outcome);

  if (sheet.write_with_back != nullptr) {
    if (!write_file_safely(options.write_back.value_or("-"), format_write_back(sheet, back), &error)) {
      err("calvex: " + error);
      return kExitUsage;
    }
  }

  if (!outcome.write_succeeded()) {
    if (outcome.messages.empty()) {
      err("error: " + label + ": nothing was written: the sheet's write showed no message" +
          (sheet.silent_reason.empty() ? std::string() : " (" + std::string(sheet.silent_reason) + ")"));
    } else {
      err("error: " + label + ": the image was left unchanged");
    }
    return kExitRefused;
  }

  if (options.dry_run) {
    std::vector<uint8_t> after;
    if (!work.read_back(&after, &error)) {
      err("error: " + label + ": " + error);
      return kExitRefused;
    }
    out("dry run: " + label + " on '" + image + "' (nothing written)\n");
    if (sheet.has_read()) {
      // The image stays locked: its old cells are read from a copy.
      TempFile before;
      SheetCells before_cells;
      SheetCells after_cells;
      if (!before.create(destination, original.bytes(), original.mode(), &error)) {
        err("error: " + label + ": " + error);
        return kExitRefused;
      }
      read_sheet(sheet, before.path(), layout, &before_cells);
      read_sheet(sheet, work.path(), layout, &after_cells);
      out("cells:\n");
      print_cell_changes(sheet, before_cells, after_cells);
    } else {
      out("cells: the sheet has no read, so old values cannot be shown\n");
    }
    out("image:\n");
    print_byte_changes(original.bytes(), after);
    return kExitOk;
  }
  if (!work.commit(destination, &error)) {
    err("error: " + label + ": " + error + "; the image was left unchanged");
    return kExitRefused;
  }
  return kExitOk;
}

int cmd_read(const SheetEntry& sheet, const std::string& image, const Options& options) {
  if (!sheet.has_read()) {
    err("calvex: sheet " + std::string(sheet.name) + " has no read operation");
    return kExitUsage;
  }
  const int32_t layout = layout_value(sheet, options);
  const std::string label = sheet_label(sheet, layout);
  if (options.output && *options.output != "-" && same_file(*options.output, image)) {
    err("calvex: the output '" + *options.output + "' is the image itself; nothing was read or written");
    return kExitUsage;
  }
  // Opened (and checked to be a regular file) before the library sees it;
  // the lock is dropped again so that the library's own open succeeds.
  uint64_t size = 0;
  {
    LockedImage probe;
    std::string error;
    if (!probe.open(image, &error)) {
      err("error: " + label + ": " + error);
      return kExitRefused;
    }
    size = probe.bytes().size();
  }
  const uint64_t needed = required_size(sheet, layout);
  if (needed > size && !options.allow_short) {
    err("error: " + label + ": image '" + image + "' holds " + std::to_string(size) + " bytes, the sheet's blocks reach " +
        std::to_string(needed) + " (--allow-short reads it anyway, the missing bytes as 0)");
    return kExitRefused;
  }
  SheetCells cells;
  const Outcome outcome = read_sheet(sheet, image, layout, &cells);
  print_outcome(sheet, layout, outcome);
  if (outcome.has(calvex::MsgClass::Error)) return kExitRefused;
  std::string error;
  if (!write_file_safely(options.output.value_or("-"), format_sheet_file(sheet, utf8_cells(cells)), &error)) {
    err("calvex: " + error);
    return kExitUsage;
  }
  return kExitOk;
}

}  // namespace calvex_host
