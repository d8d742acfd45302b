// list, describe, template, write and read: one sheet between a sheet file
// and an NV image.
#include <algorithm>
#include <filesystem>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "batch.h"
#include "book.h"
#include "cell_check.h"
#include "cmd_common.h"
#include "commands.h"
#include "csv.h"
#include "identify.h"
#include "json_out.h"
#include "library.h"
#include "platform.h"
#include "sheet_format.h"
#include "safe_file.h"
#include "unicode.h"
#include "worksheet_match.h"

namespace calvex_host {
namespace {

// ---- sheet files ----

// The worksheet of `sheet` in a workbook read as `sheets` (named book in
// messages): the one its '#sheet' row or its name matches, or the only one.
bool load_workbook_sheet(const SheetEntry& sheet, const std::string& book, const std::vector<WorkbookSheet>& sheets,
                         LoadedSheet* loaded) {
  std::vector<const WorkbookSheet*> holding;
  size_t worksheets = 0;
  const WorkbookSheet* only = nullptr;
  for (const WorkbookSheet& ws : sheets) {
    if (ws.kind != SheetKind::kWorksheet) continue;
    ++worksheets;
    only = &ws;
    const WorksheetMatch match = match_worksheet(ws);
    if (match.kind == WorksheetMatch::Kind::kSheet && match.sheet == &sheet) holding.push_back(&ws);
  }
  if (holding.size() > 1) {
    std::string names;
    for (const WorkbookSheet* ws : holding) names += (names.empty() ? "'" : ", '") + ws->name + "'";
    err("calvex: " + book + ": the worksheets " + names + " all hold sheet " + std::string(sheet.name) +
        "; keep one of them; nothing was written");
    return false;
  }
  const WorkbookSheet* chosen = holding.empty() ? nullptr : holding.front();
  if (chosen == nullptr && worksheets == 1) chosen = only;
  if (chosen == nullptr) {
    err("calvex: " + book + " has no worksheet named " + std::string(sheet.name) + " or with a '#sheet," +
        std::string(sheet.name) + "' row");
    return false;
  }
  try {
    WorksheetCells cells = worksheet_cells(sheet, *chosen);
    const std::string note = ignored_note(book + "!" + chosen->name, cells.ignored, [&](const CellPosition& at) {
      return cell_name({static_cast<uint32_t>(at.line), static_cast<uint32_t>(at.column)});
    });
    if (!note.empty()) err(note);
    loaded->cells = std::move(cells.cells);
    loaded->positions = std::move(cells.positions);
    loaded->worksheet = chosen->name;
    loaded->numbers = chosen->numbers;
    return true;
  } catch (const FormatError& e) {
    err(workbook_place(book, chosen->name, std::max<size_t>(e.line(), 1), 1) + ": " + e.what());
  }
  return false;
}

}  // namespace

// The content decides what a sheet file is: a zip archive or a compound
// file is a workbook (read, or named as what it is) whatever its name, and
// anything else is CSV, apart from a file named .xlsx, which is refused as
// no workbook. Standard input and other streams are read whole
// first, then told the same way.
bool load_sheet_file(const SheetEntry& sheet, const std::string& path, const Options& options, LoadedSheet* loaded) {
  const std::string where = path == kStdStreamPath ? "<stdin>" : path;
  const TextEncoding encoding = options.encoding ? encoding_named(*options.encoding) : TextEncoding::kDetect;
  std::error_code ec;
  const bool regular = path != kStdStreamPath && std::filesystem::is_regular_file(fs_path(path), ec);
  try {
    // A name ending in .xlsx is read as a workbook even when it is no regular
    // file: the workbook reader refuses a FIFO without waiting on it.
    if (is_workbook_path(path) || (regular && sniff_sheet_path(path) != SheetFileKind::kText)) {
      return load_workbook_sheet(sheet, utf8_path(fs_path(path).filename()), read_xlsx(fs_path(path)), loaded);
    }
    std::vector<uint8_t> bytes;
    if (!regular) {
      bytes = read_sheet_bytes(path);
      if (sniff_sheet_file(bytes) != SheetFileKind::kText) {
        return load_workbook_sheet(sheet, where, read_xlsx_bytes(bytes, where), loaded);
      }
    }
    SheetFileCells file =
        regular ? read_sheet_file(sheet, path, encoding) : parse_sheet_file_at(sheet, decode_text(bytes, encoding));
    const std::string note = ignored_note(where, file.ignored, [](const CellPosition& at) {
      return std::to_string(at.line) + ":" + std::to_string(at.column);
    });
    if (!note.empty()) err(note);
    loaded->cells = std::move(file.cells);
    loaded->positions = std::move(file.positions);
    return true;
  } catch (const FormatError& e) {
    err(e.line() > 0 ? where + ":" + std::to_string(e.line()) + ": " + e.what() : where + ": " + e.what());
  } catch (const WorkbookError& e) {
    err(std::string("calvex: ") + e.what());
  } catch (const std::exception& e) {
    err("calvex: " + path + ": " + e.what());
  }
  return false;
}

std::string LoadedSheet::place(const std::string& path, size_t r, size_t i) const {
  const std::string where = path == kStdStreamPath ? "<stdin>" : path;
  if (r >= positions.size() || i >= positions[r].size()) return where;
  const CellPosition& at = positions[r][i];
  if (!worksheet.empty()) return workbook_place(utf8_path(fs_path(path).filename()), worksheet, at.line, at.column);
  return where + ":" + std::to_string(at.line) + ":" + std::to_string(at.column);
}

std::string format_write_back(const SheetEntry& sheet, const std::vector<std::u16string>& back) {
  std::vector<std::string> texts;
  for (const std::u16string& t : back) texts.push_back(utf8_from_utf16(t));
  return format_range(std::string(sheet.write_back_name), static_cast<int>(texts.size()), 1, texts);
}

namespace {

// The file an -o of one sheet names: a folder's SHEET.csv, else itself.
std::string sheet_output_path(const SheetEntry& sheet, const std::string& target) {
  if (output_kind(target) != OutputKind::kFolder) return target;
  return utf8_path(fs_path(target) / fs_path(std::string(sheet.name) + ".csv"));
}

// Refuses an -o of template or read that names no sheet output; returns true after printing why.
bool refuse_sheet_output(const std::string& target, const std::string& nothing) {
  if (output_kind(target) != OutputKind::kOther) return false;
  err("calvex: -o '" + target + "': not a sheet file (.csv), a workbook (.xlsx), a folder (DIR/) or - (standard output); " +
      nothing);
  return true;
}

// Writes the sheet's cells where an -o of template or read names: a
// workbook, a folder's SHEET.csv (the folder made as needed), a sheet file
// or standard output. Returns the exit status.
int write_sheet_output(const SheetEntry& sheet, const RangeCells& cells, const std::string& target) {
  const OutputKind kind = output_kind(target);
  std::string error;
  if (kind == OutputKind::kWorkbook) {
    try {
      XlsxWriter book(fs_path(target));
      add_sheet_worksheet(book, sheet, cells);
      book.save();
    } catch (const std::exception& e) {
      err(std::string("calvex: ") + e.what());
      return kExitUsage;
    }
    return kExitOk;
  }
  if (kind == OutputKind::kFolder && !make_output_folder(target)) return kExitUsage;
  if (!write_file_safely(sheet_output_path(sheet, target), format_sheet_file(sheet, cells), &error)) {
    err("calvex: " + error);
    return kExitUsage;
  }
  return kExitOk;
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

bool sheet_outside_family(const SheetEntry& sheet, const Options& options) {
  if (!options.family || sheet.family == *options.family) return false;
  err("calvex: " + std::string(sheet.name) + " is a sheet of the " + std::string(calvex::family_name(sheet.family)) +
      " family, not of " + std::string(calvex::family_name(*options.family)) + " (--family); nothing was read or written");
  return true;
}

int cmd_list() {
  if (json_output()) json_list();
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
  if (json_output()) json_describe(sheet);
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
              std::to_string(a.col + 1) + ".." + std::to_string(a.col + cols) + ": " + calvex::describe_cell(a.cells) +
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
  if (!sheet.has_read()) {
    text += "  read: none\n";
  } else {
    text += "  read: " + std::to_string(sheet.read_count()) + " cells" +
            (!sheet.reads_by_decoder() ? std::string()
             : sheet.has_read_export()
                 ? " (calvex's own decoder; the library's read does not show what a write takes back)"
                 : " (calvex's own decoder; the library exports no read)") +
            "\n";
  }
  if (!sheet.read_note.empty()) text += "  the image cannot tell: " + std::string(sheet.read_note) + "\n";
  out(text);
  return kExitOk;
}

int cmd_template(const SheetEntry& sheet, const Options& options) {
  const std::string target = options.output.value_or(std::string(kStdStreamPath));
  if (refuse_sheet_output(target, "nothing was written")) return kExitUsage;
  return write_sheet_output(sheet, {}, target);
}

namespace {

// Loads the sheet file and, unless --lenient, checks every cell; prints
// every problem. Returns 0 when *loaded is ready to write, else 2.
int load_checked_sheet(const SheetEntry& sheet, const std::string& sheet_file, const Options& options,
                       LoadedSheet* out) {
  LoadedSheet& loaded = *out;
  if (!load_sheet_file(sheet, sheet_file, options, &loaded)) return kExitUsage;
  if (!options.lenient) {
    normalise_decimal_cells(sheet, loaded.cells);
    const auto place = [&](size_t r, size_t i) { return loaded.place(sheet_file, r, i); };
    size_t listed = 0;
    const auto stored = [&](size_t r, size_t i, const calvex::CellType& rule) -> std::optional<std::string> {
      if (loaded.numbers.empty() || r >= loaded.positions.size() || i >= loaded.positions[r].size()) return std::nullopt;
      const CellPosition& at = loaded.positions[r][i];
      const auto number = loaded.numbers.find(CellRef{static_cast<uint32_t>(at.line), static_cast<uint32_t>(at.column)});
      if (number == loaded.numbers.end()) return std::nullopt;
      return number_cell_problem(rule, number->second, loaded.cells[r][i]);
    };
    const size_t problems = check_cells(sheet, loaded.cells, place, &listed, stored);
    print_problem_total(problems);
    if (problems > 0) {
      err("calvex: " + std::to_string(problems) + (problems == 1 ? " cell does" : " cells do") +
          " not fit the sheet; nothing was written (--lenient passes cells as they are)");
      return kExitUsage;
    }
  }
  return kExitOk;
}

}  // namespace

namespace {

// write of one image; *result records what happened to it.
int write_one(const SheetEntry& sheet, const std::string& image, const std::string& sheet_file, const Options& options,
              ImageResult* result) {
  LoadedSheet loaded;
  const int checked = load_checked_sheet(sheet, sheet_file, options, &loaded);
  if (checked != kExitOk) return checked;

  const int32_t layout = layout_value(sheet, options);
  const std::string label = sheet_label(sheet, layout);
  if (options.write_back && *options.write_back != "-" &&
      (same_file(*options.write_back, image) || same_file(*options.write_back, sheet_file) ||
       (options.output && *options.write_back == *options.output))) {
    err("calvex: the write-back file '" + *options.write_back +
        "' is the image, the sheet file or the output; nothing was written");
    return kExitUsage;
  }
  if (output_is_input(options.output.value_or(image), options.output ? "output image" : "image", sheet_file,
                      loaded.worksheet.empty() ? "sheet file" : "workbook")) {
    return kExitUsage;
  }
  if (options.output && names_sheet_output(*options.output)) {
    err("calvex: -o '" + *options.output + "': the output of write is an NV image, not a sheet file, workbook or folder; nothing was written");
    return kExitUsage;
  }
  LockedImage original;
  std::string error;
  if (!original.open(image, &error)) {
    err("error: " + label + ": " + error);
    return kExitRefused;
  }
  if (!image_matches_sheets(image, original.bytes(), {&sheet}, options)) return kExitUsage;
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
  // A change to commit tells its success only once the image is replaced.
  const bool to_commit = outcome.write_succeeded() && !options.dry_run;
  if (!to_commit) print_outcome_uncommitted(sheet, layout, outcome, outcome.write_succeeded());

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
      result->message = first_error(sheet, layout, outcome);
      err("error: " + label + ": the image was left unchanged");
    }
    return kExitRefused;
  }

  // The written bytes, read back once: for the dry run's report and for the
  // JSON document's count (a success records it).
  std::vector<uint8_t> after;
  uint64_t bytes_changed = 0;
  if (options.dry_run || json_output()) {
    if (work.read_back(&after, &error)) {
      bytes_changed = changed_bytes(original.bytes(), after, {});
    } else if (options.dry_run) {
      err("error: " + label + ": " + error);
      return kExitRefused;
    }
  }
  const auto succeeded = [&](const char* status) {
    result->status = status;
    result->sheets_written = 1;
    result->bytes_changed = bytes_changed;
  };
  if (options.dry_run) {
    const int status =
        report_dry_run(label, "error: " + label + ": ", {&sheet}, options, original, work, after, destination);
    if (status == kExitOk) succeeded("dry run");
    return status;
  }
  if (!work.commit_over(original, destination, &error)) {
    print_outcome_failed(sheet, layout, outcome);
    err("error: " + label + ": " + error + "; the image was left unchanged");
    return kExitRefused;
  }
  print_outcome(sheet, layout, outcome);
  succeeded("ok");
  return kExitOk;
}

}  // namespace

int cmd_write(const SheetEntry& sheet, const std::string& image, const std::string& sheet_file,
              const Options& options) {
  ImageResult result;
  result.image = image;
  const int status = write_one(sheet, image, sheet_file, options, &result);
  if (json_output()) {
    // The reason of a refusal that is not the library's: calvex's last line.
    if (status != kExitOk && result.message.empty()) result.message = last_diagnostic();
    json_batch("sheet_file", sheet_file, {result});
  }
  return status;
}

int cmd_write_many(const SheetEntry& sheet, const std::string& sheet_file, const std::vector<std::string>& images,
                   const Options& options) {
  if (sheet.write_with_back != nullptr) {
    err("calvex: " + std::string(sheet.name) +
        " gives write-back cells for its image; write it into one image at a time (calvex write SHEET IMAGE FILE)");
    return kExitUsage;
  }
  if (options.output || options.dry_run) {
    err("calvex: -o and --dry-run take one image (calvex write SHEET IMAGE FILE)");
    return kExitUsage;
  }
  LoadedSheet loaded;
  const int checked = load_checked_sheet(sheet, sheet_file, options, &loaded);
  if (checked != kExitOk) return checked;
  BookPlan plan;
  plan.book_path = sheet_file;
  plan.book_name = sheet_file == "-" ? "<stdin>" : utf8_path(fs_path(sheet_file).filename());
  plan.source_kind = is_workbook_path(sheet_file) ? "workbook" : "sheet file";
  plan.options = options;
  plan.steps.push_back({&sheet, utf16_cells(loaded.cells)});
  return run_plan_on_images("write", plan, images, PlanUse::kApplyQuiet, options);
}

int cmd_read(const SheetEntry& sheet, const std::string& image, const Options& options) {
  if (!sheet.has_read()) {
    err("calvex: sheet " + std::string(sheet.name) + " has no read operation");
    return kExitUsage;
  }
  const int32_t layout = layout_value(sheet, options);
  const std::string label = sheet_label(sheet, layout);
  const std::string target = options.output.value_or(std::string(kStdStreamPath));
  if (target != kStdStreamPath && same_file(sheet_output_path(sheet, target), image)) {
    err("calvex: the output '" + sheet_output_path(sheet, target) + "' is the image itself; nothing was read or written");
    return kExitUsage;
  }
  if (refuse_sheet_output(target, "nothing was read or written")) return kExitUsage;
  std::vector<uint8_t> bytes;
  std::string error;
  TempFile copy;
  if (!snapshot_image(image, &copy, &bytes, &error)) {
    err("error: " + label + ": " + error);
    return kExitRefused;
  }
  if (!image_holds({&sheet}, options, bytes.size(), image)) return kExitRefused;
  SheetCells cells;
  const Outcome outcome = read_sheet(sheet, copy.path(), layout, &cells);
  print_outcome(sheet, layout, outcome);
  if (outcome.has(calvex::MsgClass::Error)) return kExitRefused;
  if (json_output()) json_read(sheet, layout, image, cells);
  // With --format json, the sheet file is written only to an -o that names one.
  if (json_output() && !options.output) return kExitOk;
  return write_sheet_output(sheet, utf8_cells(cells), target);
}

}  // namespace calvex_host
