// apply, verify and diff over many images: one transaction per image, a
// summary line per image and a total, a report for scripts.
#include <cstdio>
#include <filesystem>
#include <map>

#if defined(_WIN32)
#include <io.h>
#else
#include <unistd.h>
#endif

#include "batch.h"
#include "book.h"
#include "cmd_common.h"
#include "commands.h"
#include "json_out.h"
#include "safe_file.h"
#include "sheet_format.h"

namespace calvex_host {
namespace {

namespace fs = std::filesystem;

// True when path is a workbook by its content (a zip archive or a compound
// file) or a folder (of sheet files, as dump -o DIR/ writes them).
bool is_book(const std::string& path) {
  std::error_code ec;
  return is_workbook_content(path) || fs::is_directory(fs_path(path), ec);
}

bool stderr_is_terminal() {
#if defined(_WIN32)
  return _isatty(_fileno(stderr)) != 0;
#else
  return ::isatty(STDERR_FILENO) != 0;
#endif
}

// The "k/n image" line a terminal sees during a long run, overwritten in place.
class Progress {
 public:
  Progress(size_t total, bool quiet) : total_(total), shown_(!quiet && total > 1 && stderr_is_terminal()) {}
  ~Progress() { clear(); }
  void at(size_t done, const std::string& image) {
    if (!shown_) return;
    std::string line(1, '\r');
    line.append(std::to_string(done)).append(1, '/').append(std::to_string(total_)).append(1, ' ').append(image);
    if (line.size() > kWidth) line.resize(kWidth);
    line.append(kWidth - line.size(), ' ');
    std::fputs(line.c_str(), stderr);
    std::fflush(stderr);
    dirty_ = true;
  }
  void clear() {
    if (!dirty_) return;
    std::fputs(("\r" + std::string(kWidth, ' ') + "\r").c_str(), stderr);
    std::fflush(stderr);
    dirty_ = false;
  }

 private:
  static constexpr size_t kWidth = 79;
  size_t total_;
  bool shown_;
  bool dirty_ = false;
};

bool ends_with(const std::string& s, std::string_view tail) {
  return s.size() >= tail.size() && lower_ascii(s.substr(s.size() - tail.size())) == tail;
}

// The report of a run as CSV or, for a FILE.json, the run's JSON document
// (json_out.h: the members the command set, with exit status `status`).
std::string report_text(const std::string& command, const std::string& file, const std::vector<ImageResult>& results,
                        int status) {
  if (ends_with(file, ".json")) return json_document(command, status);
  std::string text = "image,status,sheets written,bytes changed,message\n";
  for (const ImageResult& r : results) {
    text += csv_field(r.image) + "," + csv_field(r.status) + "," + std::to_string(r.sheets_written) + "," +
            std::to_string(r.bytes_changed) + "," + csv_field(r.message) + "\n";
  }
  return text;
}

// One line per image (failures always, the rest unless --quiet), the total,
// and the report of a run ending with exit status `status`; returns false
// when the report could not be written.
bool finish(const std::string& command, const std::vector<ImageResult>& results, const Options& options, int status,
            bool print_total = true) {
  std::map<std::string, size_t> counts;
  for (const ImageResult& r : results) ++counts[r.status];
  std::string total = "total: " + std::to_string(results.size()) + (results.size() == 1 ? " image" : " images");
  for (const auto& [status_name, count] : counts) total += ", " + std::to_string(count) + " " + status_name;
  if (print_total) out(total + "\n");
  if (!options.report) return true;
  std::string error;
  if (!write_file_safely(*options.report, report_text(command, *options.report, results, status), &error)) {
    err("calvex: " + error);
    return false;
  }
  return true;
}

std::string summary_line(const ImageResult& r) {
  std::string line = r.image + ": " + r.status;
  if (r.status != "failed") {
    line += ", " + std::to_string(r.sheets_written) + " sheets, " + std::to_string(r.bytes_changed) + " bytes " +
            (r.status == "ok" ? "changed" : "differ");
  }
  if (!r.message.empty()) line += ": " + r.message;
  return line + "\n";
}

// Tells the workbook from the images: BOOK IMAGE... or IMAGE BOOK. Returns
// false after printing why when neither form fits.
bool split_book(const std::vector<std::string>& arguments, const std::string& command, std::string* book,
                std::vector<std::string>* images) {
  if (arguments.size() < 2) {
    err("calvex: " + command + " needs a workbook and at least one image");
    return false;
  }
  if (is_book(arguments[0]) && !(arguments.size() == 2 && is_book(arguments[1]))) {
    *book = arguments[0];
    images->assign(arguments.begin() + 1, arguments.end());
    return true;
  }
  if (arguments.size() == 2) {
    *book = arguments[1];
    images->assign(arguments.begin(), arguments.begin() + 1);
    return true;
  }
  err("calvex: '" + arguments[0] + "' is no workbook; with several images the workbook comes first (" + command +
      " BOOK.xlsx IMAGE...)");
  return false;
}

}  // namespace

int run_plan_on_images(const std::string& command, const BookPlan& plan, const std::vector<std::string>& images,
                       PlanUse use, const Options& options) {
  std::vector<ImageResult> results;
  int status = kExitOk;
  Progress progress(images.size(), options.quiet);
  for (size_t i = 0; i < images.size(); ++i) {
    progress.at(i, images[i]);
    ImageResult r;
    const int s = apply_plan(plan, images[i], use, &r);
    status = std::max(status, s);
    progress.clear();
    if (!options.quiet || s != kExitOk) out(summary_line(r));
    results.push_back(std::move(r));
  }
  progress.clear();
  json_batch(command == "write" ? "sheet_file" : "workbook", plan.book_path, results);
  // verify tells only whether every image holds the workbook.
  if (use == PlanUse::kVerify && status != kExitOk) status = kExitRefused;
  if (!finish(command, results, options, status)) return std::max(status, kExitRefused);
  return status;
}

int cmd_apply_many(const std::vector<std::string>& arguments, const Options& options) {
  std::string book;
  std::vector<std::string> images;
  if (!split_book(arguments, "apply", &book, &images)) return kExitUsage;
  if (images.size() == 1 && !options.report && !json_output()) return cmd_apply(images[0], book, options);
  if (images.size() > 1 && (options.output || options.dry_run || options.write_back)) {
    err("calvex: -o, --dry-run and --write-back take one image (calvex verify BOOK.xlsx IMAGE... checks many)");
    return kExitUsage;
  }
  BookPlan plan;
  const int status = plan_workbook(book, options, &plan);
  if (status != kExitOk) return status;
  return run_plan_on_images("apply", plan, images, images.size() == 1 ? PlanUse::kApplyTelling : PlanUse::kApplyQuiet, options);
}

int cmd_verify(const std::vector<std::string>& arguments, const Options& options) {
  std::string book;
  std::vector<std::string> images;
  if (!split_book(arguments, "verify", &book, &images)) return kExitUsage;
  BookPlan plan;
  const int status = plan_workbook(book, options, &plan);
  if (status != kExitOk) return status;
  return run_plan_on_images("verify", plan, images, PlanUse::kVerify, options);
}

int cmd_diff_golden(const std::string& golden, const std::vector<std::string>& images, calvex::Family family,
                    const Options& options, bool csv_format) {
  std::vector<ImageResult> results;
  std::vector<DiffFindings> findings;
  int status = kExitOk;
  Progress progress(images.size(), options.quiet);
  if (csv_format) out("image," + std::string(kDiffCsvHeader));
  for (size_t i = 0; i < images.size(); ++i) {
    progress.at(i, images[i]);
    ImageResult r;
    r.image = images[i];
    std::string report;
    size_t differences = 0;
    findings.emplace_back();
    const int s = diff_images(golden, images[i], family, options, csv_format, &report, &differences, &findings.back());
    progress.clear();
    status = std::max(status, s);
    r.status = s == kExitOk ? "equal" : s == kExitRefused ? "differs" : "failed";
    r.bytes_changed = differences;
    if (s == kExitUsage) r.message = "cannot compare";
    if (csv_format) {
      size_t line_start = report.find('\n');  // past the header, printed once above
      line_start = line_start == std::string::npos ? report.size() : line_start + 1;
      while (line_start < report.size()) {
        const size_t end = report.find('\n', line_start);
        out(csv_field(images[i]) + "," + report.substr(line_start, end - line_start + 1));
        line_start = end == std::string::npos ? report.size() : end + 1;
      }
    } else {
      if (!options.quiet || s != kExitOk) {
        out(images[i] + ": " +
            (s == kExitOk        ? "equal"
             : s == kExitRefused ? std::to_string(differences) + " differences"
                                 : "failed") +
            "\n");
      }
      if (!options.quiet) {
        size_t line_start = 0;
        while (line_start < report.size()) {
          const size_t end = report.find('\n', line_start);
          out("  " + report.substr(line_start, end - line_start + 1));
          line_start = end == std::string::npos ? report.size() : end + 1;
        }
      }
    }
    results.push_back(std::move(r));
  }
  progress.clear();
  json_diff_golden(golden, family, results, findings);
  if (!finish("diff", results, options, status, !csv_format)) return std::max(status, kExitRefused);
  return status;
}

}  // namespace calvex_host
