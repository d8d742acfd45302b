// calvex's commands. Each returns the process exit status:
//   0  done (a write: the library showed its success message and no error)
//   1  the library refused or failed, or the image cannot be used; the image
//      is byte for byte as it was
//   2  usage, sheet-file or cell errors found before the library was called
// Messages go to standard error, results to standard output or -o.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "catalogue.h"

namespace calvex_host {

inline constexpr int kExitOk = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitUsage = 2;

// Options that every command accepts, wherever they stand on the line.
struct Options {
  std::optional<int32_t> layout;           // --layout single|merged (LTE sheets)
  bool lenient = false;                    // --lenient: cells go to the library as they are
  bool dry_run = false;                    // --dry-run: show what a write would change, write nothing
  bool grow = false;                       // --grow: a write may extend a short image
  bool allow_short = false;                // --allow-short: a read may run on a short image
  std::optional<std::string> output;       // -o: the result (image, sheet file, workbook)
  std::optional<std::string> write_back;   // --write-back: where write-back cells go (else stdout)
  std::optional<calvex::Family> family;    // --family: the family the sheets and the image must belong to
  bool force = false;                      // --force: write into an image of another family, layout or size
};

int cmd_list();
int cmd_describe(const SheetEntry& sheet);
int cmd_template(const SheetEntry& sheet, const Options& options);
int cmd_write(const SheetEntry& sheet, const std::string& image, const std::string& sheet_file, const Options& options);
int cmd_read(const SheetEntry& sheet, const std::string& image, const Options& options);

// A sheet of another family than --family names: prints why and returns true.
bool sheet_outside_family(const SheetEntry& sheet, const Options& options);

// Every readable sheet of a family between an image and one workbook (or a
// folder of sheet files), and the differences of two images.
int cmd_dump(const std::string& image, calvex::Family family, const Options& options);
int cmd_apply(const std::string& image, const std::string& book, const Options& options);
int cmd_diff(const std::string& a, const std::string& b, calvex::Family family, const Options& options,
             bool csv_format);
// diff's work without printing the report: *report receives what cmd_diff
// prints on standard output (errors still go to standard error). First the
// cells that differ, sheet by sheet; then every differing byte that no
// differing cell explains (writing the second image's cells of a sheet onto
// a copy of the first does not give it), in runs, each labelled with the
// sheets whose blocks hold it or as outside every sheet's blocks, with its
// old and new values. Returns 0 when the images are equal, 1 when they
// differ, 2 on errors.
int diff_images(const std::string& a, const std::string& b, calvex::Family family, const Options& options,
                bool csv_format, std::string* report);

// The definition of `name`, or nullptr after printing an error with the
// closest sheet names.
const SheetEntry* find_sheet_or_suggest(const std::string& name);

}  // namespace calvex_host
