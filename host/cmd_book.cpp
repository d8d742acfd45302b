// dump, apply and diff: every sheet of a family at once, as one workbook.
#include <algorithm>
#include <ctime>
#include <filesystem>
#include <map>
#include <set>

#include "batch.h"
#include "book.h"
#include "cmd_common.h"
#include "commands.h"
#include "nvfile.h"
#include "identify.h"
#include "safe_file.h"
#include "sha256.h"
#include "unicode.h"

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

bool is_directory_target(const std::string& path) {
  std::error_code ec;
  return (!path.empty() && (path.back() == '/' || path.back() == '\\')) || fs::is_directory(path, ec);
}

}  // namespace

int cmd_dump(const std::string& image, calvex::Family family, const Options& options) {
  if (!options.output) {
    err("calvex: dump needs -o BOOK.xlsx (or -o DIR/ for one sheet file per sheet)");
    return kExitUsage;
  }
  const std::string& target = *options.output;
  const bool to_folder = is_directory_target(target) && !is_workbook_path(target);
  if (!to_folder && output_is_input(target, "output workbook", image, "image")) return kExitUsage;
  if (to_folder) {
    for (const SheetEntry* s : readable_sheets(family)) {
      const std::string file = utf8_path(fs_path(target) / fs_path(std::string(s->name) + ".csv"));
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

  if (to_folder) {
    std::error_code ec;
    fs::create_directories(fs_path(target), ec);
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
    Overview overview;
    overview.facts = {
        {"image", image},
        {"size", size_text(bytes.size())},
        {"SHA-256", sha256_hex(bytes)},
    };
    add_closing_facts(family, options, &overview);
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

int plan_workbook(const std::string& book_path, const Options& given_options, BookPlan* plan) {
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
  for (const WorkbookSheet& ws : book) {
    const SheetEntry* sheet = ws.kind == SheetKind::kWorksheet ? find_sheet(ws.name) : nullptr;
    if (sheet == nullptr) {
      err("note: " + book_name + ": worksheet '" + ws.name + "' is not a sheet of calvex; ignored");
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
    families.insert(sheet->family);
    if (!options.lenient) {
      const auto place = [&](size_t r, size_t i) {
        return workbook_place(book_name, ws.name, cells.positions[r][i].line, cells.positions[r][i].column);
      };
      problems += check_cells(*sheet, cells.cells, place, &listed);
    }
    plan->steps.push_back({sheet, utf16_cells(cells.cells)});
  }
  print_problem_total(problems);
  if (unusable || problems > 0) {
    err("calvex: " + book_name + " does not fit its sheets; nothing was written");
    return kExitUsage;
  }
  if (plan->steps.empty()) {
    err("calvex: no worksheet of " + book_name + " is named after a sheet (see `calvex list`); nothing was written");
    return kExitUsage;
  }
  if (families.size() > 1) {
    err("calvex: " + book_name + " holds sheets of several families; one image holds one family's sheets");
    return kExitUsage;
  }
  return kExitOk;
}

namespace {

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

}  // namespace

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
                               plan.book_path, "workbook")) {
    result->message = "the image is the workbook";
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
  for (const PlanStep& p : plan.steps) {
    const int32_t layout = layout_value(*p.sheet, options);
    const Outcome outcome = call_sheet_write(*p.sheet, p.cells, memory.path(), layout);
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
    return report_dry_run(plan.book_name, "error: ", sheets, options, original, work, destination);
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

// The sheets whose blocks (in the layout each is compared in) hold byte k,
// comma separated; empty for none.
std::string block_holders(const std::vector<const SheetEntry*>& sheets, const Options& options, size_t k) {
  std::string names;
  for (const SheetEntry* s : sheets) {
    const calvex::NvLayout layout = layout_value(*s, options) != 0 ? calvex::NvLayout::Merged : calvex::NvLayout::Single;
    for (const calvex::NvSpan& span : s->blocks) {
      const bool in_layout = s->family != calvex::Family::Lte || span.in_layout(layout);
      if (in_layout && k >= span.offset && k - span.offset < span.size) {
        if (!names.empty()) names += ", ";
        names += s->name;
        break;
      }
    }
  }
  return names;
}

}  // namespace

int diff_images(const std::string& a, const std::string& b, calvex::Family family, const Options& options,
                bool csv_format, std::string* report_out, size_t* differences_out, DiffDetail* detail) {
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
  for (size_t i = 0; i < size;) {
    if (!byte_differs(i) || explained[i]) {
      ++i;
      continue;
    }
    const std::string holders = block_holders(sheets, options, i);
    size_t j = i + 1;
    while (j < size && byte_differs(j) && !explained[j] && block_holders(sheets, options, j) == holders) ++j;
    ++differences;
    const std::string old_values = byte_values(bytes_a, i, j - 1);
    const std::string new_values = byte_values(bytes_b, i, j - 1);
    if (detail != nullptr) detail->bytes.push_back({i, j - i, old_values, new_values, holders});
    if (csv_format) {
      report += "bytes," + csv_field(holders) + ",,,,,," + hex_offset(i) + "," + std::to_string(j - i) + "," +
                byte_values(bytes_a, i, j - 1, j - i) + "," + byte_values(bytes_b, i, j - 1, j - i) + "\n";
    } else {
      const std::string where = holders.empty() ? "outside every sheet's blocks" : "in the blocks of " + holders;
      report += "bytes " + hex_offset(i) + ".." + hex_offset(j - 1) + " (" + std::to_string(j - i) + " bytes " + where +
                "): " + old_values + " \u2192 " + new_values + "\n";
    }
    i = j;
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
  DiffDetail detail;
  const int status = diff_images(a, b, family, options, false, &report, nullptr, &detail);
  if (status != kExitOk && status != kExitRefused) return status;
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
  const int status = diff_images(a, b, family, options, csv_format, &report);
  out(report);
  return status;
}

}  // namespace calvex_host
