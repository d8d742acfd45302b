// Helpers the commands share.
#include "cmd_common.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "cell_check.h"
#include "json_out.h"
#include "platform.h"
#include "unicode.h"

namespace calvex_host {

using platform::Stream;

void err(const std::string& line) {
  record_diagnostic(line);
  platform::write_line(Stream::kErr, line);
}
void out(const std::string& text) {
  // With --format json, standard output holds the document alone.
  if (!json_output()) platform::write_text(Stream::kOut, text);
}

std::string lower_ascii(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

namespace {

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

}  // namespace

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

std::string sheet_label(const SheetEntry& sheet, int32_t layout) {
  std::string label(sheet.name);
  if (sheet.family == calvex::Family::Lte) label += layout != 0 ? " (merged layout)" : " (single layout)";
  return label;
}

namespace {

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

}  // namespace

namespace {

// How a success line is shown: as told (the change was committed), as a dry
// run's (on a scratch copy), as discarded (calvex threw the result away), or
// not at all.
enum class SuccessLines { kTold, kDryRun, kDiscarded, kHidden };

void print_messages(const SheetEntry& sheet, int32_t layout, const Outcome& outcome, SuccessLines success) {
  for (const ShownMessage& m : outcome.messages) {
    const bool is_success = m.cls != calvex::MsgClass::Error && m.cls != calvex::MsgClass::Warning;
    if (is_success && success == SuccessLines::kHidden) continue;
    const calvex::Message& entry = calvex::catalogue()[static_cast<size_t>(m.id)];
    std::string cls = m.cls == calvex::MsgClass::Error ? "error" : m.cls == calvex::MsgClass::Warning ? "warning" : "ok";
    std::string gloss = entry.gloss;
    if (is_success && success == SuccessLines::kDryRun) {
      cls = "dry run";
      gloss += ", the library says, on a scratch copy; nothing written";
    } else if (is_success && success == SuccessLines::kDiscarded) {
      cls = "discarded";
      gloss += ", the library says; calvex discarded them, nothing written";
    }
    record_library_message(sheet, layout, m, cls);
    platform::write_line(Stream::kErr,
                         cls + ": " + sheet_label(sheet, layout) + ": " + one_line(utf8_from_utf16(m.text)) + " (" + gloss + ")");
  }
}

}  // namespace

void print_outcome(const SheetEntry& sheet, int32_t layout, const Outcome& outcome) {
  print_messages(sheet, layout, outcome, SuccessLines::kTold);
}

void print_outcome_failed(const SheetEntry& sheet, int32_t layout, const Outcome& outcome) {
  print_messages(sheet, layout, outcome, SuccessLines::kHidden);
}

void print_outcome_uncommitted(const SheetEntry& sheet, int32_t layout, const Outcome& outcome, bool dry_run) {
  print_messages(sheet, layout, outcome, dry_run ? SuccessLines::kDryRun : SuccessLines::kDiscarded);
}

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


namespace {

// A keyword the text nearly matches (case or blanks aside), or empty.
std::string near_keyword(const calvex::CellType& rule, const std::string& text) {
  std::string squeezed;
  for (char c : text) {
    if (c != ' ' && c != '\t') squeezed.push_back(c);
  }
  std::vector<std::string> words;
  for (std::string_view w : rule.keywords) {
    if (lower_ascii(w) == lower_ascii(squeezed)) return std::string(w);
    words.emplace_back(w);
  }
  const auto best = closest(squeezed, words);
  return best.empty() ? std::string() : best.front();
}

}  // namespace

size_t check_cells(const SheetEntry& sheet, const RangeCells& all_cells, const CellPlace& place, size_t* listed,
                   const CellSourceCheck& source) {
  size_t problems = 0;
  for (size_t r = 0; r < sheet.ranges.size() && r < all_cells.size(); ++r) {
    const calvex::RangeDef& range = sheet.ranges[r];
    const auto& cells = all_cells[r];
    for (size_t i = 0; i < cells.size(); ++i) {
      const int row = static_cast<int>(i) / range.cols;
      const int col = static_cast<int>(i) % range.cols;
      const calvex::CellType rule = range.cell_type_at(row, col);
      const std::optional<std::string> stored = source ? source(r, i, rule) : std::nullopt;
      const auto problem = stored ? stored : calvex::check_cell(rule, utf16_from_utf8(cells[i]));
      if (!problem) continue;
      ++problems;
      if (++*listed > kMaxListedProblems) continue;
      std::string line = place(r, i) + ": range " + std::string(range.name) + ", row " + std::to_string(row + 1) + " col " +
              std::to_string(col + 1) + ": '" + cells[i] + "': " + *problem;
      if (!stored && rule.kind == calvex::CellKind::Keyword && !cells[i].empty()) {
        const std::string near = near_keyword(rule, cells[i]);
        if (!near.empty() && near != cells[i]) line += " (did you mean '" + near + "'?)";
      }
      if (const std::string wide = wide_character_note(cells[i]); !stored && !wide.empty()) line += "; " + wide;
      err(line);
    }
  }
  return problems;
}

namespace {

// The integer an exact "123.000" stands for ("-0.0" is "0"); nullopt for any other text.
std::optional<std::string> integer_of_decimal_point(const std::string& text) {
  const size_t point = text.find('.');
  if (point == std::string::npos || point + 1 == text.size()) return std::nullopt;
  const size_t sign = text[0] == '-' || text[0] == '+' ? 1 : 0;
  if (point == sign) return std::nullopt;
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  if (!std::all_of(text.begin() + static_cast<std::ptrdiff_t>(sign), text.begin() + static_cast<std::ptrdiff_t>(point), digit))
    return std::nullopt;
  if (!std::all_of(text.begin() + static_cast<std::ptrdiff_t>(point) + 1, text.end(), [](char c) { return c == '0'; }))
    return std::nullopt;
  std::string integer = text.substr(0, point);
  if (integer.find_first_not_of("+-0") == std::string::npos) return std::string("0");
  return integer;
}

}  // namespace

void normalise_decimal_cells(const SheetEntry& sheet, RangeCells& all_cells) {
  for (size_t r = 0; r < sheet.ranges.size() && r < all_cells.size(); ++r) {
    const calvex::RangeDef& range = sheet.ranges[r];
    for (size_t i = 0; i < all_cells[r].size(); ++i) {
      const int row = static_cast<int>(i) / range.cols;
      const int col = static_cast<int>(i) % range.cols;
      if (range.cell_type_at(row, col).kind != calvex::CellKind::Dec) continue;
      if (auto integer = integer_of_decimal_point(all_cells[r][i])) all_cells[r][i] = std::move(*integer);
    }
  }
}

std::string ignored_note(const std::string& where, const IgnoredContent& ignored,
                         const std::function<std::string(const CellPosition&)>& place) {
  if (!ignored.any()) return {};
  std::string parts;
  if (ignored.comment_rows > 0) {
    parts += std::to_string(ignored.comment_rows) + (ignored.comment_rows == 1 ? " comment row" : " comment rows") +
             " (the first at " + place(ignored.first_comment) + ")";
  }
  if (ignored.cells > 0) {
    if (!parts.empty()) parts += " and ";
    parts += std::to_string(ignored.cells) + (ignored.cells == 1 ? " cell" : " cells") +
             " outside every range (the first at " + place(ignored.first_cell) + ")";
  }
  return "note: " + where + ": ignored " + parts;
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

Outcome read_sheet(const SheetEntry& sheet, const std::string& path, int32_t layout, SheetCells* cells) {
  std::vector<std::u16string> texts;
  Outcome outcome = call_sheet_read(sheet, texts, utf16_from_utf8(path), layout);
  *cells = cells_from_read(sheet, texts);
  return outcome;
}

size_t print_cell_changes(const SheetEntry& sheet, const SheetCells& before, const SheetCells& after,
                          DiffFindings* findings) {
  size_t changes = 0;
  for (size_t r = 0; r < sheet.ranges.size() && r < before.size() && r < after.size(); ++r) {
    const calvex::RangeDef& range = sheet.ranges[r];
    for (size_t i = 0; i < before[r].size() && i < after[r].size(); ++i) {
      if (before[r][i] == after[r][i]) continue;
      ++changes;
      const size_t row = i / static_cast<size_t>(range.cols) + 1;
      const size_t col = i % static_cast<size_t>(range.cols) + 1;
      const std::string old_text = utf8_from_utf16(before[r][i]);
      const std::string new_text = utf8_from_utf16(after[r][i]);
      if (findings != nullptr) {
        findings->cells.push_back({std::string(sheet.name), std::string(range.name), row, col, old_text, new_text});
      }
      out("  " + std::string(sheet.name) + " " + std::string(range.name) + " row " + std::to_string(row) + " col " +
          std::to_string(col) + ": '" + old_text + "' -> '" + new_text + "'\n");
    }
  }
  return changes;
}

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

// Counts the bytes in which two images differ (a length change counts every
// byte past the shorter end), leaving out the ignored ranges.
uint64_t changed_bytes(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after,
                       const std::vector<ByteRange>& ignored) {
  const size_t n = std::max(before.size(), after.size());
  uint64_t count = 0;
  for (size_t k = 0; k < n; ++k) {
    if (k < before.size() && k < after.size() && before[k] == after[k]) continue;
    if (std::any_of(ignored.begin(), ignored.end(), [k](const ByteRange& r) { return r.holds(k); })) continue;
    ++count;
  }
  return count;
}

// "Sheet: text (gloss)" of the first error-class message of an outcome.
std::string first_error(const SheetEntry& sheet, int32_t layout, const Outcome& outcome) {
  for (const ShownMessage& m : outcome.messages) {
    if (m.cls != calvex::MsgClass::Error) continue;
    return sheet_label(sheet, layout) + ": " + utf8_from_utf16(m.text) + " (" +
           calvex::catalogue()[static_cast<size_t>(m.id)].gloss + ")";
  }
  return sheet_label(sheet, layout) + ": the write did not succeed";
}

namespace {

// The sheets whose blocks (in the layout each is compared in) hold byte k;
// none when no sheet's block does.
std::vector<std::string> block_holders(const std::vector<const SheetEntry*>& sheets, const Options& options, size_t k) {
  std::vector<std::string> names;
  for (const SheetEntry* s : sheets) {
    const calvex::NvLayout layout = layout_value(*s, options) != 0 ? calvex::NvLayout::Merged : calvex::NvLayout::Single;
    for (const calvex::NvSpan& span : s->blocks) {
      const bool in_layout = s->family != calvex::Family::Lte || span.in_layout(layout);
      if (in_layout && k >= span.offset && k - span.offset < span.size) {
        names.emplace_back(s->name);
        break;
      }
    }
  }
  return names;
}

}  // namespace

std::vector<ByteDifference> byte_differences(const std::vector<const SheetEntry*>& sheets, const Options& options,
                                             const std::vector<uint8_t>& before, const std::vector<uint8_t>& after,
                                             const std::function<bool(size_t)>& counted) {
  std::vector<ByteDifference> runs;
  const size_t n = std::max(before.size(), after.size());
  const auto differs = [&](size_t k) {
    return (k >= before.size() || k >= after.size() || before[k] != after[k]) && (!counted || counted(k));
  };
  for (size_t i = 0; i < n;) {
    if (!differs(i)) {
      ++i;
      continue;
    }
    ByteDifference run;
    run.sheets = block_holders(sheets, options, i);
    run.offset = i;
    size_t j = i + 1;
    while (j < n && differs(j) && block_holders(sheets, options, j) == run.sheets) ++j;
    run.length = j - i;
    for (size_t k = i; k < j; ++k) {
      run.old_bytes.push_back(k < before.size() ? before[k] : kPastEnd);
      run.new_bytes.push_back(k < after.size() ? after[k] : kPastEnd);
    }
    runs.push_back(std::move(run));
    i = j;
  }
  return runs;
}

void print_problem_total(size_t problems) {
  if (problems > kMaxListedProblems) {
    err("... and " + std::to_string(problems - kMaxListedProblems) + " more cell problems");
  }
}

bool snapshot_image(const std::string& path, TempFile* copy, std::vector<uint8_t>* bytes, std::string* error) {
  LockedImage image;
  if (!image.open(path, LockMode::kShared, error)) return false;
  *bytes = image.bytes();
  image.unlock();
  return copy->create_private(*bytes, error);
}

bool output_is_input(const std::string& output, const std::string& output_kind, const std::string& input,
                     const std::string& input_kind) {
  if (output == "-" || input == "-" || !same_file(output, input)) return false;
  err("calvex: the " + output_kind + " '" + output + "' is the " + input_kind + " '" + input +
      "' (the same file); nothing was written");
  return true;
}

namespace {

bool ends_with_nocase(const std::string& s, std::string_view suffix) {
  return s.size() >= suffix.size() && lower_ascii(s.substr(s.size() - suffix.size())) == suffix;
}

// Extensions of sheet files and workbooks calvex reads or names, none of them an image's.
constexpr std::string_view kSheetExtensions[] = {".csv", ".xlsx", ".xlsm", ".xls", ".ods"};

}  // namespace

OutputKind output_kind(const std::string& path) {
  if (path == kStdStreamPath) return OutputKind::kStdout;
  std::error_code ec;
  if (!path.empty() && (path.back() == '/' || path.back() == '\\')) return OutputKind::kFolder;
  if (std::filesystem::is_directory(std::filesystem::path(std::u8string(path.begin(), path.end())), ec))
    return OutputKind::kFolder;
  if (ends_with_nocase(path, ".xlsx")) return OutputKind::kWorkbook;
  if (ends_with_nocase(path, ".csv")) return OutputKind::kSheetFile;
  return OutputKind::kOther;
}

bool names_sheet_output(const std::string& path) {
  if (output_kind(path) == OutputKind::kFolder) return true;
  for (const std::string_view extension : kSheetExtensions) {
    if (ends_with_nocase(path, extension)) return true;
  }
  return false;
}

bool make_output_folder(const std::string& folder) {
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(std::u8string(folder.begin(), folder.end())), ec);
  if (!ec) return true;
  err("calvex: cannot create the folder '" + folder + "': " + ec.message());
  return false;
}

bool image_holds(const std::vector<const SheetEntry*>& sheets, const Options& options, uint64_t size,
                 const std::string& image) {
  if (options.allow_short) return true;
  for (const SheetEntry* s : sheets) {
    const int32_t layout = layout_value(*s, options);
    const uint64_t needed = required_size(*s, layout);
    if (needed > size) {
      err("error: " + sheet_label(*s, layout) + ": image '" + image + "' holds " + std::to_string(size) +
          " bytes, the sheet's blocks reach " + std::to_string(needed) +
          " (--allow-short reads it anyway, the missing bytes as 0)");
      return false;
    }
  }
  return true;
}

int report_dry_run(const std::string& what, const std::string& error_prefix,
                   const std::vector<const SheetEntry*>& sheets, const Options& options, const LockedImage& original,
                   const TempFile& work, const std::vector<uint8_t>& after, const std::string& destination) {
  std::string error;
  DiffFindings findings;
  out("dry run: " + what + " on '" + original.path() + "' (nothing written)\n");
  const bool any_read = std::any_of(sheets.begin(), sheets.end(), [](const SheetEntry* s) { return s->has_read(); });
  if (!any_read) {
    out(sheets.size() == 1 ? "cells: the sheet has no read, so old values cannot be shown\n"
                           : "cells: no sheet has a read, so old values cannot be shown\n");
  } else {
    TempFile before;
    if (!before.create(destination, original.bytes(), original.mode(), &error)) {
      err(error_prefix + error);
      return kExitRefused;
    }
    out("cells:\n");
    size_t changes = 0;
    for (const SheetEntry* s : sheets) {
      if (!s->has_read()) continue;
      const int32_t layout = layout_value(*s, options);
      SheetCells old_cells;
      SheetCells new_cells;
      read_sheet(*s, before.path(), layout, &old_cells);
      read_sheet(*s, work.path(), layout, &new_cells);
      changes += print_cell_changes(*s, old_cells, new_cells, &findings);
    }
    if (changes == 0) out("  no cell changes\n");
  }
  out("image:\n");
  print_byte_changes(original.bytes(), after);
  findings.bytes = byte_differences(sheets, options, original.bytes(), after);
  json_dry_run(original.path(), any_read, findings);
  return kExitOk;
}

}  // namespace calvex_host
