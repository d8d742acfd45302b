// dump, apply and diff: every sheet of a family at once, as one workbook.
#include <algorithm>
#include <ctime>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "batch.h"
#include "book.h"
#include "cmd_common.h"
#include "commands.h"
#include "nvfile.h"
#include "identify.h"
#include "json_out.h"
#include "safe_file.h"
#include "sha256.h"
#include "unicode.h"
#include "worksheet_match.h"

namespace calvex_host {
namespace {

namespace fs = std::filesystem;

constexpr const char* kInfoSheet = "Info";
// The Info row naming the LTE layout of a dump; apply follows it unless --layout says otherwise.
constexpr const char* kInfoLayoutKey = "LTE layout";
// Permission bits of the scratch copy diff writes a sheet into.
constexpr uint32_t kScratchMode = 0600;

std::vector<const SheetEntry*> readable_sheets(calvex::Family family) {
  std::vector<const SheetEntry*> out;
  for (const SheetEntry* s : all_sheets()) {
    if (s->family == family && s->has_read()) out.push_back(s);
  }
  return out;
}

std::string utc_now() {
  const std::time_t now = std::time(nullptr);
  std::tm tm{};
#if defined(_WIN32)
  gmtime_s(&tm, &now);
#else
  gmtime_r(&now, &tm);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

std::string blocks_text(const SheetEntry& sheet) {
  std::string text;
  for (const calvex::NvSpan& b : sheet.blocks) {
    if (!text.empty()) text += "; ";
    text += hex_offset(b.offset) + "+" + std::to_string(b.size);
    if (b.layout == calvex::NvLayout::Single) text += " (single)";
    if (b.layout == calvex::NvLayout::Merged) text += " (merged)";
    if (b.read_only) text += " (read only)";
  }
  return text.empty() ? "none listed" : text;
}

std::string size_text(uint64_t size) { return std::to_string(size) + " bytes"; }

// The facts after the image's: family, LTE layout (which apply follows), date, calvex version.
void add_closing_facts(calvex::Family family, const Options& options, Overview* overview) {
  overview->facts.push_back({"family", std::string(calvex::family_name(family))});
  overview->facts.push_back({kInfoLayoutKey, options.layout && *options.layout != 0 ? "merged" : "single"});
  overview->facts.push_back({"date", utc_now()});
  overview->facts.push_back({"written by", std::string("calvex ") + CALVEX_VERSION});
}

}  // namespace

int cmd_dump(const std::string& image, calvex::Family family, const Options& options) {
  if (!options.output) {
    err("calvex: dump needs -o BOOK.xlsx (or -o DIR/ for one sheet file per sheet)");
    return kExitUsage;
  }
  const std::string& target = *options.output;
  const bool to_folder = output_kind(target) == OutputKind::kFolder;
  if (!to_folder && output_is_input(target, "output workbook", image, "image")) return kExitUsage;
  if (!to_folder && output_kind(target) != OutputKind::kWorkbook) {
    err("calvex: -o '" + target + "': a dump is a workbook (.xlsx) or a folder of sheet files (DIR/); nothing was written");
    return kExitUsage;
  }
  if (to_folder) {
    std::vector<std::string> names = {kInfoSheet};
    for (const SheetEntry* s : readable_sheets(family)) names.emplace_back(s->name);
    for (const std::string& name : names) {
      const std::string file = utf8_path(fs_path(target) / fs_path(name + ".csv"));
      if (output_is_input(file, "output sheet file", image, "image")) return kExitUsage;
    }
  }
  std::vector<uint8_t> bytes;
  std::string error;
  TempFile copy;
  if (!snapshot_image(image, &copy, &bytes, &error)) {
    err("error: " + error);
    return kExitRefused;
  }
  const auto sheets = readable_sheets(family);
  if (sheets.empty()) {
    err("calvex: the " + std::string(calvex::family_name(family)) + " family has no readable sheets");
    return kExitUsage;
  }
  if (!image_holds(sheets, options, bytes.size(), image)) return kExitRefused;

  std::vector<std::pair<const SheetEntry*, RangeCells>> read;
  for (const SheetEntry* s : sheets) {
    const int32_t layout = layout_value(*s, options);
    SheetCells cells;
    const Outcome outcome = read_sheet(*s, copy.path(), layout, &cells);
    print_outcome(*s, layout, outcome);
    if (outcome.has(calvex::MsgClass::Error)) return kExitRefused;
    read.emplace_back(s, utf8_cells(cells));
  }

  Overview overview;
  overview.facts = {
      {"image", image},
      {"size", size_text(bytes.size())},
      {"SHA-256", sha256_hex(bytes)},
  };
  add_closing_facts(family, options, &overview);
  if (to_folder) {
    if (!make_output_folder(target)) return kExitRefused;
    // The Info sheet's rows as a CSV file of key,value rows, which apply DIR/ reads.
    std::string info_text;
    for (const auto& [key, value] : overview.facts) info_text += csv_field(key) + "," + csv_field(value) + "\r\n";
    if (!write_file_safely(utf8_path(fs_path(target) / fs_path(std::string(kInfoSheet) + ".csv")), info_text, &error)) {
      err("calvex: " + error);
      return kExitRefused;
    }
    for (const auto& [sheet, cells] : read) {
      const std::string file = utf8_path(fs_path(target) / fs_path(std::string(sheet->name) + ".csv"));
      if (!write_file_safely(file, format_sheet_file(*sheet, cells), &error)) {
        err("calvex: " + error);
        return kExitRefused;
      }
    }
    return kExitOk;
  }
  try {
    XlsxWriter book(fs_path(target));
    for (const auto& [sheet, cells] : read)
      overview.sheets.push_back({std::string(sheet->name), std::string(sheet->summary), blocks_text(*sheet)});
    const auto info = book.add_worksheet(kInfoSheet);
    for (const auto& [sheet, cells] : read) add_sheet_worksheet(book, *sheet, cells);
    fill_overview_worksheet(book, info, overview);
    book.save();
  } catch (const std::exception& e) {
    err(std::string("calvex: ") + e.what());
    return kExitRefused;
  }
  return kExitOk;
}

namespace {

// The last checks of a plan: no sheet unusable, no bad cell, at least one
// sheet, one family. Returns the exit status.
int finish_plan(const BookPlan& plan, bool unusable, size_t problems, const std::set<calvex::Family>& families) {
  const std::string& book_name = plan.book_name;
  print_problem_total(problems);
  if (unusable || problems > 0) {
    err("calvex: " + book_name + " does not fit its sheets; nothing was written");
    return kExitUsage;
  }
  if (plan.steps.empty()) {
    err(plan.folder ? "calvex: no file of " + book_name + " is named after a sheet (see `calvex list`); nothing was written"
                    : "calvex: no worksheet of " + book_name +
                          " holds a sheet (one named after a sheet, or with a '#sheet,<name>' row; see `calvex list`); "
                          "nothing was written");
    return kExitUsage;
  }
  if (families.size() > 1) {
    err("calvex: " + book_name + " holds sheets of several families; one image holds one family's sheets");
    return kExitUsage;
  }
  return kExitOk;
}

// The Info file of a dumped folder (key,value rows) as an Info worksheet;
// false after printing why when it cannot be read.
bool read_info_file(const std::string& path, WorkbookSheet* info) {
  try {
    const std::string text = decode_text(read_sheet_bytes(path));
    const std::vector<CsvRow> rows = parse_csv(text, detect_separator(text));
    info->name = kInfoSheet;
    for (const CsvRow& row : rows) {
      for (size_t k = 0; k < row.fields.size(); ++k) {
        if (!row.fields[k].empty()) info->cells[CellRef{static_cast<uint32_t>(row.line), static_cast<uint32_t>(k + 1)}] = row.fields[k];
      }
    }
    return true;
  } catch (const FormatError& e) {
    err(path + (e.line() > 0 ? ":" + std::to_string(e.line()) : std::string()) + ": " + e.what());
  }
  return false;
}

// A folder as dump -o DIR/ writes it: SHEET.csv for every sheet (any file
// whose name without its extension is a sheet's, told by its content) and
// Info.csv; other files are noted and ignored.
int plan_folder(const std::string& folder, const Options& given_options, BookPlan* plan) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (fs::directory_iterator it(fs_path(folder), ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code type_error;
    if (it->is_regular_file(type_error)) files.push_back(it->path());
  }
  if (ec) {
    err("calvex: cannot read the folder '" + folder + "': " + ec.message());
    return kExitUsage;
  }
  std::sort(files.begin(), files.end());
  plan->folder = true;
  plan->source_kind = "folder";
  plan->book_path = folder;
  plan->book_name = folder;
  std::vector<WorkbookSheet> info_sheets;
  std::vector<std::pair<const SheetEntry*, std::string>> sources;
  for (const fs::path& file : files) {
    const std::string name = utf8_path(file.filename());
    const std::string stem = utf8_path(file.stem());
    if (lower_ascii(stem) == lower_ascii(kInfoSheet)) {
      WorkbookSheet info;
      if (!read_info_file(utf8_path(file), &info)) return kExitUsage;
      info_sheets.push_back(std::move(info));
      continue;
    }
    const SheetEntry* sheet = find_sheet(stem);
    if (sheet == nullptr) {
      err("note: " + folder + ": '" + name + "' is not named after a sheet of calvex; ignored");
      continue;
    }
    sources.emplace_back(sheet, utf8_path(file));
  }
  Options& options = plan->options;
  options = given_options;
  plan->info = book_info(info_sheets);
  if (!options.layout) options.layout = plan->info.layout;
  std::set<calvex::Family> families;
  size_t problems = 0;
  size_t listed = 0;
  bool unusable = false;
  for (const auto& [sheet, path] : sources) {
    if (sheet_outside_family(*sheet, options)) return kExitUsage;
    LoadedSheet loaded;
    if (!load_sheet_file(*sheet, path, options, &loaded)) {
      unusable = true;
      continue;
    }
    families.insert(sheet->family);
    if (!options.lenient) {
      normalise_decimal_cells(*sheet, loaded.cells);
      const auto place = [&, &file = path](size_t r, size_t i) { return loaded.place(file, r, i); };
      problems += check_cells(*sheet, loaded.cells, place, &listed);
    }
    plan->steps.push_back({sheet, utf16_cells(loaded.cells)});
  }
  return finish_plan(*plan, unusable, problems, families);
}

}  // namespace

int plan_workbook(const std::string& book_path, const Options& given_options, BookPlan* plan) {
  std::error_code ec;
  if (fs::is_directory(fs_path(book_path), ec)) return plan_folder(book_path, given_options, plan);
  std::vector<WorkbookSheet> book;
  try {
    book = read_xlsx(fs_path(book_path));
  } catch (const std::exception& e) {
    err(std::string("calvex: ") + e.what());
    return kExitUsage;
  }
  // Without --layout, the LTE layout the dump recorded in its Info sheet.
  const BookInfo info = book_info(book);
  Options& options = plan->options;
  options = given_options;
  if (!options.layout) options.layout = info.layout;
  plan->info = info;
  plan->book_path = book_path;
  plan->book_name = utf8_path(fs_path(book_path).filename());
  const std::string& book_name = plan->book_name;
  std::set<calvex::Family> families;
  size_t problems = 0;
  size_t listed = 0;
  bool unusable = false;
  std::map<const SheetEntry*, std::string> worksheet_of;  // the worksheet each sheet came from
  for (const WorkbookSheet& ws : book) {
    const WorksheetMatch match = match_worksheet(ws);
    if (match.kind == WorksheetMatch::Kind::kNotASheet) {
      // The Info worksheet was read above (family, layout, image size): no note for it.
      if (is_info_worksheet(ws)) continue;
      err("note: " + book_name + ": worksheet '" + ws.name + "' is not a sheet of calvex; ignored");
      continue;
    }
    if (match.kind == WorksheetMatch::Kind::kUnmatched) {
      err(workbook_place(book_name, ws.name, match.at.row, match.at.col) + ": " + match.why);
      unusable = true;
      continue;
    }
    const SheetEntry* sheet = match.sheet;
    if (const auto [first, added] = worksheet_of.emplace(sheet, ws.name); !added) {
      err("calvex: " + book_name + ": the worksheets '" + first->second + "' and '" + ws.name + "' both hold sheet " +
          std::string(sheet->name) + "; keep one of them");
      unusable = true;
      continue;
    }
    if (sheet_outside_family(*sheet, options)) return kExitUsage;
    WorksheetCells cells;
    try {
      cells = worksheet_cells(*sheet, ws);
    } catch (const FormatError& e) {
      err(workbook_place(book_name, ws.name, std::max<size_t>(e.line(), 1), 1) + ": " + e.what());
      unusable = true;
      continue;
    }
    const std::string note = ignored_note(book_name + "!" + ws.name, cells.ignored, [](const CellPosition& at) {
      return cell_name({static_cast<uint32_t>(at.line), static_cast<uint32_t>(at.column)});
    });
    if (!note.empty()) err(note);
    families.insert(sheet->family);
    if (!options.lenient) {
      normalise_decimal_cells(*sheet, cells.cells);
      const auto place = [&](size_t r, size_t i) {
        return workbook_place(book_name, ws.name, cells.positions[r][i].line, cells.positions[r][i].column);
      };
      const auto stored = [&](size_t r, size_t i, const calvex::CellType& rule) -> std::optional<std::string> {
        const CellPosition& at = cells.positions[r][i];
        const auto number = ws.numbers.find(CellRef{static_cast<uint32_t>(at.line), static_cast<uint32_t>(at.column)});
        if (number == ws.numbers.end()) return std::nullopt;
        return number_cell_problem(rule, number->second, cells.cells[r][i]);
      };
      problems += check_cells(*sheet, cells.cells, place, &listed, stored);
    }
    plan->steps.push_back({sheet, utf16_cells(cells.cells)});
  }
  return finish_plan(*plan, unusable, problems, families);
}

int apply_plan(const BookPlan& plan, const std::string& image, PlanUse use, ImageResult* result) {
  const Options& options = plan.options;
  const bool tell = use == PlanUse::kApplyTelling;
  const bool write = use != PlanUse::kVerify;
  result->image = image;
  result->status = "failed";
  const auto fail = [&](int status, const std::string& line, const std::string& reason) {
    err(line);
    result->message = reason;
    return status;
  };
  if (write && output_is_input(options.output.value_or(image), options.output ? "output image" : "image",
                               plan.book_path, plan.source_kind)) {
    result->message = "the image is the workbook";
    return kExitUsage;
  }
  const bool writes_back = tell && (options.write_back || !options.report);
  if (writes_back && options.write_back && *options.write_back != kStdStreamPath &&
      (same_file(*options.write_back, image) || same_file(*options.write_back, plan.book_path) ||
       (options.output && *options.write_back == *options.output))) {
    err("calvex: the write-back file '" + *options.write_back +
        "' is the image, the workbook or the output; nothing was written");
    result->message = "the write-back file is an input or the output";
    return kExitUsage;
  }
  if (write && options.output && names_sheet_output(*options.output)) {
    err("calvex: -o '" + *options.output +
        "': the output of apply is an NV image, not a sheet file, workbook or folder; nothing was written");
    result->message = "-o names no image";
    return kExitUsage;
  }
  LockedImage original;
  std::string error;
  if (!original.open(image, write ? LockMode::kExclusive : LockMode::kShared, &error)) {
    return fail(kExitRefused, "error: " + error, error);
  }
  {
    std::vector<const SheetEntry*> sheets;
    for (const PlanStep& p : plan.steps) sheets.push_back(p.sheet);
    if (!book_matches_image(plan.book_name, plan.info, image, original.bytes(), sheets, options)) {
      result->message = "the workbook does not belong to the image";
      return kExitUsage;
    }
  }
  uint64_t needed = 0;
  for (const PlanStep& p : plan.steps) needed = std::max(needed, required_size(*p.sheet, layout_value(*p.sheet, options)));
  if (needed > original.bytes().size() && !options.grow) {
    const std::string why = "image '" + image + "' holds " + std::to_string(original.bytes().size()) +
                            " bytes, the sheets' blocks reach " + std::to_string(needed);
    return fail(kExitRefused, "error: " + why + "; nothing was written (--grow extends it)", why);
  }
  const std::string destination = options.output.value_or(image);
  // Every sheet runs on one copy of the image in memory, reached by a path
  // that names no file; the result is written once.
  calvex::MemoryImage memory(utf16_from_utf8(destination + ".calvex-memory"), original.bytes());
  if (!memory.registered()) return fail(kExitRefused, "calvex: internal error: a second image in memory", "internal error");
  // Successes are told once the image is replaced; anything else at once.
  std::vector<std::pair<const SheetEntry*, Outcome>> done;
  std::string write_back;  // the write-back blocks of the sheets that return cells, in order
  for (const PlanStep& p : plan.steps) {
    const int32_t layout = layout_value(*p.sheet, options);
    std::vector<std::u16string> back;
    const Outcome outcome = call_sheet_write(*p.sheet, p.cells, memory.path(), layout, &back);
    if (p.sheet->write_with_back != nullptr && outcome.write_succeeded()) write_back += format_write_back(*p.sheet, back);
    if (tell && (!outcome.write_succeeded() || options.dry_run)) {
      // Nothing is committed: a dry run's successes, or all of them discarded.
      const bool dry = outcome.write_succeeded();
      for (const auto& [sheet, told] : done) print_outcome_uncommitted(*sheet, layout_value(*sheet, options), told, dry);
      done.clear();
      print_outcome_uncommitted(*p.sheet, layout, outcome, dry);
    } else if (!tell && !outcome.write_succeeded()) {
      print_outcome_failed(*p.sheet, layout, outcome);
    } else {
      done.emplace_back(p.sheet, outcome);
    }
    if (!outcome.write_succeeded()) {
      result->message = first_error(*p.sheet, layout, outcome);
      return fail(kExitRefused,
                  "error: " + sheet_label(*p.sheet, layout) + ": the write did not succeed; the image was left unchanged",
                  result->message);
    }
  }
  result->sheets_written = plan.steps.size();
  result->bytes_changed = changed_bytes(original.bytes(), memory.bytes(), options.ignore);
  if (!write) {
    result->status = result->bytes_changed == 0 ? "equal" : "would change";
    return result->bytes_changed == 0 ? kExitOk : kExitRefused;
  }
  TempFile work;
  if (options.dry_run) {
    if (!work.create(destination, memory.bytes(), original.mode(), &error)) {
      return fail(kExitRefused, "error: " + error, error);
    }
    std::vector<const SheetEntry*> sheets;
    for (const PlanStep& p : plan.steps) sheets.push_back(p.sheet);
    result->status = "dry run";
    const int status =
        report_dry_run(plan.book_name, "error: ", sheets, options, original, work, memory.bytes(), destination);
    if (status == kExitOk && writes_back && !write_back.empty() &&
        !write_file_safely(options.write_back.value_or(std::string(kStdStreamPath)), write_back, &error)) {
      return fail(kExitUsage, "calvex: " + error, error);
    }
    return status;
  }
  if (!work.create_complete(destination, memory.bytes(), original.mode(), &error)) {
    return fail(kExitRefused, "error: " + error, error);
  }
  if (!work.commit_over(original, destination, &error)) {
    for (const auto& [sheet, told] : done) print_outcome_failed(*sheet, layout_value(*sheet, options), told);
    return fail(kExitRefused, "error: " + error + "; the image was left unchanged", error);
  }
  if (tell) {
    for (const auto& [sheet, told] : done) print_outcome(*sheet, layout_value(*sheet, options), told);
  }
  result->status = "ok";
  if (writes_back && !write_back.empty() &&
      !write_file_safely(options.write_back.value_or(std::string(kStdStreamPath)), write_back, &error)) {
    return fail(kExitUsage, "calvex: " + error, error);
  }
  return kExitOk;
}

int cmd_apply(const std::string& image, const std::string& book_path, const Options& given_options) {
  BookPlan plan;
  const int status = plan_workbook(book_path, given_options, &plan);
  if (status != kExitOk) return status;
  ImageResult result;
  return apply_plan(plan, image, PlanUse::kApplyTelling, &result);
}

namespace {

// Byte values of [first, last] of an image as "3c 00 ff" ("--" past its end),
// at most kMaxShownBytes of them.
constexpr size_t kMaxShownBytes = 16;
std::string byte_values(const std::vector<uint8_t>& bytes, size_t first, size_t last,
                        size_t max_shown = kMaxShownBytes) {
  static const char* const kDigits = "0123456789abcdef";
  std::string text;
  for (size_t k = first; k <= last && k - first < max_shown; ++k) {
    if (!text.empty()) text += ' ';
    if (k >= bytes.size()) {
      text += "--";
    } else {
      text += kDigits[bytes[k] >> 4];
      text += kDigits[bytes[k] & 0xF];
    }
  }
  if (last - first + 1 > max_shown) text += " ...";
  return text;
}

}  // namespace

int diff_images(const std::string& a, const std::string& b, calvex::Family family, const Options& options,
                bool csv_format, std::string* report_out, size_t* differences_out, DiffFindings* findings,
                DiffDetail* detail) {
  std::vector<uint8_t> bytes_a;
  std::vector<uint8_t> bytes_b;
  std::string error;
  TempFile copy_a;
  TempFile copy_b;
  TempFile patched_b;
  const TempFile* used_b = &copy_b;
  if (!snapshot_image(a, &copy_a, &bytes_a, &error) || !snapshot_image(b, &copy_b, &bytes_b, &error)) {
    err("error: " + error);
    return kExitUsage;
  }
  if (detail != nullptr) {
    detail->old_size = bytes_a.size();
    detail->new_size = bytes_b.size();
    detail->old_sha256 = sha256_hex(bytes_a);
    detail->new_sha256 = sha256_hex(bytes_b);
  }
  if (!options.ignore.empty()) {
    // The ignored areas of the second image read as the first's.
    for (const ByteRange& r : options.ignore) {
      for (uint64_t k = r.offset; k < bytes_a.size() && k < bytes_b.size() && r.holds(k); ++k) {
        bytes_b[static_cast<size_t>(k)] = bytes_a[static_cast<size_t>(k)];
      }
    }
    if (!patched_b.create_private(bytes_b, &error)) {
      err("error: " + error);
      return kExitUsage;
    }
    used_b = &patched_b;
  }
  const auto sheets = readable_sheets(family);
  if (!image_holds(sheets, options, bytes_a.size(), a) || !image_holds(sheets, options, bytes_b.size(), b)) {
    return kExitUsage;
  }
  const size_t size = std::max(bytes_a.size(), bytes_b.size());
  const auto byte_differs = [&](size_t k) {
    return k >= bytes_a.size() || k >= bytes_b.size() || bytes_a[k] != bytes_b[k];
  };
  // Bytes a differing cell explains: those that writing the second image's
  // cells of the sheet onto a copy of the first turns into the second's.
  std::vector<bool> explained(size, false);
  std::string report = csv_format ? kDiffCsvHeader : "";
  size_t differences = 0;
  for (const SheetEntry* s : sheets) {
    const int32_t layout = layout_value(*s, options);
    SheetCells cells_a;
    SheetCells cells_b;
    const Outcome oa = read_sheet(*s, copy_a.path(), layout, &cells_a);
    const Outcome ob = read_sheet(*s, used_b->path(), layout, &cells_b);
    if (oa.has(calvex::MsgClass::Error) || ob.has(calvex::MsgClass::Error)) {
      print_outcome(*s, layout, oa);
      print_outcome(*s, layout, ob);
      return kExitUsage;
    }
    DiffSheet* shown = nullptr;
    if (detail != nullptr) {
      // The workbook shows the second image as it is, its ignored areas too.
      SheetCells cells_as_is;
      if (used_b != &copy_b) read_sheet(*s, copy_b.path(), layout, &cells_as_is);
      detail->sheets.push_back({s, utf8_cells(used_b != &copy_b ? cells_as_is : cells_b), {}});
      shown = &detail->sheets.back();
    }
    size_t sheet_differences = 0;
    for (size_t r = 0; r < s->ranges.size(); ++r) {
      const calvex::RangeDef& range = s->ranges[r];
      for (size_t i = 0; i < cells_a[r].size() && i < cells_b[r].size(); ++i) {
        if (cells_a[r][i] == cells_b[r][i]) continue;
        ++sheet_differences;
        const std::string row = std::to_string(i / static_cast<size_t>(range.cols) + 1);
        const std::string col = std::to_string(i % static_cast<size_t>(range.cols) + 1);
        const std::string old_text = utf8_from_utf16(cells_a[r][i]);
        const std::string new_text = utf8_from_utf16(cells_b[r][i]);
        if (findings != nullptr) {
          findings->cells.push_back({std::string(s->name), std::string(range.name), i / static_cast<size_t>(range.cols) + 1,
                                     i % static_cast<size_t>(range.cols) + 1, old_text, new_text});
        }
        if (shown != nullptr) shown->changed.emplace(std::make_pair(r, i), old_text);
        if (csv_format) {
          report += "cell," + csv_field(s->name) + "," + csv_field(range.name) + "," + row + "," + col + "," +
                    csv_field(old_text) + "," + csv_field(new_text) + ",,,,\n";
        } else {
          report += std::string(s->name) + " " + std::string(range.name) + " " + row + " " + col + ": " + old_text +
                    " \u2192 " + new_text + "\n";
        }
      }
    }
    differences += sheet_differences;
    if (sheet_differences == 0) continue;
    TempFile scratch;
    const std::string scratch_name = utf8_path(fs::temp_directory_path() / "calvex-diff.bin");
    std::vector<uint8_t> written;
    if (!scratch.create(scratch_name, bytes_a, kScratchMode, &error)) {
      err("error: " + error);
      return kExitUsage;
    }
    const Outcome ow = call_sheet_write(*s, cells_b, utf16_from_utf8(scratch.path()), layout);
    if (ow.has(calvex::MsgClass::Error) || !scratch.read_back(&written, &error)) continue;
    for (size_t k = 0; k < size; ++k) {
      if (byte_differs(k) && k < written.size() && k < bytes_b.size() && written[k] == bytes_b[k]) explained[k] = true;
    }
  }
  // Every other differing byte, in runs of one label.
  const std::vector<ByteDifference> runs =
      byte_differences(sheets, options, bytes_a, bytes_b, [&explained](size_t k) { return !explained[k]; });
  for (const ByteDifference& run : runs) {
    const size_t i = static_cast<size_t>(run.offset);
    const size_t j = i + static_cast<size_t>(run.length);
    std::string holders;
    for (const std::string& name : run.sheets) holders += (holders.empty() ? "" : ", ") + name;
    ++differences;
    const std::string old_values = byte_values(bytes_a, i, j - 1);
    const std::string new_values = byte_values(bytes_b, i, j - 1);
    if (findings != nullptr) findings->bytes.push_back(run);
    if (detail != nullptr) detail->bytes.push_back({i, j - i, old_values, new_values, holders});
    if (csv_format) {
      report += "bytes," + csv_field(holders) + ",,,,,," + hex_offset(i) + "," + std::to_string(j - i) + "," +
                byte_values(bytes_a, i, j - 1, j - i) + "," + byte_values(bytes_b, i, j - 1, j - i) + "\n";
    } else {
      const std::string where = holders.empty() ? "outside every sheet's blocks" : "in the blocks of " + holders;
      report += "bytes " + hex_offset(i) + ".." + hex_offset(j - 1) + " (" + std::to_string(j - i) + " bytes " + where +
                "): " + old_values + " \u2192 " + new_values + "\n";
    }
  }
  *report_out = std::move(report);
  if (differences_out != nullptr) *differences_out = differences;
  return differences == 0 ? kExitOk : kExitRefused;
}

namespace {

// diff -o DIFF.xlsx: the workbook of the second image, its changes marked.
int write_diff_book(const std::string& a, const std::string& b, calvex::Family family, const Options& options) {
  const std::string& target = *options.output;
  if (!is_workbook_path(target)) {
    err("calvex: diff -o takes a workbook (-o DIFF.xlsx); without -o the report goes to standard output");
    return kExitUsage;
  }
  if (output_is_input(target, "output workbook", a, "image") || output_is_input(target, "output workbook", b, "image"))
    return kExitUsage;
  std::string report;
  DiffFindings findings;
  DiffDetail detail;
  const int status = diff_images(a, b, family, options, false, &report, nullptr, &findings, &detail);
  if (status != kExitOk && status != kExitRefused) return status;
  json_diff(a, b, family, findings);
  try {
    XlsxWriter book(fs_path(target));
    Overview overview;
    overview.diff = true;
    // The new image's facts under the keys of a dump's, so that the workbook
    // applies to it as a dump of it does.
    overview.facts = {
        {"new image", b},
        {"size", size_text(detail.new_size)},
        {"SHA-256", detail.new_sha256},
        {"old image", a},
        {"old size", size_text(detail.old_size)},
        {"old SHA-256", detail.old_sha256},
    };
    add_closing_facts(family, options, &overview);
    size_t changed_cells = 0;
    for (const DiffSheet& d : detail.sheets) changed_cells += d.changed.size();
    overview.facts.push_back({"changed cells", std::to_string(changed_cells) + " (orange, a note on each gives the old value)"});
    overview.facts.push_back({"other differing bytes", std::to_string(detail.bytes.size()) + " runs (listed below)"});
    if (!options.ignore.empty()) {
      std::string areas;
      for (const ByteRange& r : options.ignore) {
        if (!areas.empty()) areas += "; ";
        areas += hex_offset(r.offset) + "+" + std::to_string(r.length);
      }
      overview.facts.push_back({"left out (--ignore)", areas});
    }
    overview.bytes = detail.bytes;
    const auto info = book.add_worksheet(kInfoSheet);
    for (const DiffSheet& d : detail.sheets) {
      OverviewSheet listed{std::string(d.sheet->name), std::string(d.sheet->summary), blocks_text(*d.sheet),
                           d.changed.size(), {}};
      listed.first_change = add_sheet_worksheet(book, *d.sheet, d.cells, &d.changed);
      overview.sheets.push_back(std::move(listed));
    }
    fill_overview_worksheet(book, info, overview);
    book.save();
  } catch (const std::exception& e) {
    err(std::string("calvex: ") + e.what());
    return kExitUsage;
  }
  return status;
}

}  // namespace

int cmd_diff(const std::string& a, const std::string& b, calvex::Family family, const Options& options,
             bool csv_format) {
  if (options.output) return write_diff_book(a, b, family, options);
  std::string report;
  DiffFindings findings;
  const int status = diff_images(a, b, family, options, csv_format, &report, nullptr, &findings);
  if (status != kExitUsage) json_diff(a, b, family, findings);
  out(report);
  return status;
}

}  // namespace calvex_host
