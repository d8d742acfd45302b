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
#include <vector>

#include "catalogue.h"

namespace calvex_host {

inline constexpr int kExitOk = 0;
inline constexpr int kExitRefused = 1;
inline constexpr int kExitUsage = 2;

// Bytes [offset, offset + length) of an image (--ignore OFFSET+LENGTH).
struct ByteRange {
  uint64_t offset = 0;
  uint64_t length = 0;
  bool holds(uint64_t k) const { return k >= offset && k - offset < length; }
};

// Options that every command accepts, wherever they stand on the line.
struct Options {
  std::optional<int32_t> layout;           // --layout single|merged (LTE sheets)
  bool lenient = false;                    // --lenient: cells go to the library as they are
  bool dry_run = false;                    // --dry-run: show what a write would change, write nothing
  bool grow = false;                       // --grow: a write may extend a short image
  bool allow_short = false;                // --allow-short: a read may run on a short image
  std::optional<std::string> output;       // -o: the result (image, sheet file, workbook)
  std::optional<std::string> write_back;   // --write-back: where write-back cells go (else stdout)
  std::vector<ByteRange> ignore;           // --ignore: areas diff and verify leave out
  bool quiet = false;                      // --quiet: of many images, only failures and the total
  std::optional<std::string> report;       // --report: the per-image report of many images (.csv or .json)
  std::optional<calvex::Family> family;    // --family: the family the sheets and the image must belong to
  bool force = false;                      // --force: write into an image of another family, layout or size
  std::optional<std::string> encoding;     // --encoding: a sheet file's encoding (kEncodingNames), not detected
};

int cmd_list();
int cmd_describe(const SheetEntry& sheet);
int cmd_template(const SheetEntry& sheet, const Options& options);
int cmd_write(const SheetEntry& sheet, const std::string& image, const std::string& sheet_file, const Options& options);
// write SHEET FILE IMAGE...: the sheet file's cells, checked once, written
// into every image, each its own transaction (as apply BOOK IMAGE... does).
int cmd_write_many(const SheetEntry& sheet, const std::string& sheet_file, const std::vector<std::string>& images,
                   const Options& options);
int cmd_read(const SheetEntry& sheet, const std::string& image, const Options& options);

// A sheet of another family than --family names: prints why and returns true.
bool sheet_outside_family(const SheetEntry& sheet, const Options& options);

// Every readable sheet of a family between an image and one workbook (or a
// folder of sheet files), and the differences of two images.
int cmd_dump(const std::string& image, calvex::Family family, const Options& options);
int cmd_apply(const std::string& image, const std::string& book, const Options& options);
// With -o DIFF.xlsx, diff writes a workbook instead of its report: a dump
// of the second image whose changed cells are filled and noted with their
// old values, behind an overview of both images, the changed cells per
// sheet and the other differing bytes. Its exit status is diff's.
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
// With --ignore, the second image's bytes in those areas count as the
// first's. *differences (when given) receives the count of report lines.
// *detail (when given) receives the same findings for a workbook (book.h).
// *findings (when given) receives the same cells and byte runs as records,
// each byte run's values in full.
struct CellDifference {
  std::string sheet;
  std::string range;
  size_t row = 0;  // from 1
  size_t col = 0;  // from 1
  std::string old_text;
  std::string new_text;
};
// A byte value of a run, or kPastEnd where the run lies past an image's end.
inline constexpr int kPastEnd = -1;
struct ByteDifference {
  std::vector<std::string> sheets;  // whose blocks hold the run; empty: outside every sheet's blocks
  uint64_t offset = 0;
  uint64_t length = 0;
  std::vector<int> old_bytes;
  std::vector<int> new_bytes;
};
struct DiffFindings {
  std::vector<CellDifference> cells;
  std::vector<ByteDifference> bytes;
};
struct DiffDetail;
int diff_images(const std::string& a, const std::string& b, calvex::Family family, const Options& options,
                bool csv_format, std::string* report, size_t* differences = nullptr, DiffFindings* findings = nullptr,
                DiffDetail* detail = nullptr);
// The header of diff --format csv: a cell row fills sheet..new, a byte row
// the sheets holding the bytes (in sheet) and offset..new bytes (the values
// as hex pairs).
inline constexpr const char* kDiffCsvHeader = "kind,sheet,range,row,col,old,new,offset,length,old bytes,new bytes\n";

// Many images in one command (see batch.h): apply and verify a workbook,
// diff against a golden image. `arguments` are the workbook and images in
// either order of the one-image form (IMAGE BOOK or BOOK IMAGE...).
int cmd_apply_many(const std::vector<std::string>& arguments, const Options& options);
int cmd_verify(const std::vector<std::string>& arguments, const Options& options);
int cmd_diff_golden(const std::string& golden, const std::vector<std::string>& images, calvex::Family family,
                    const Options& options, bool csv_format);

// The definition of `name`, or nullptr after printing an error with the
// closest sheet names.
const SheetEntry* find_sheet_or_suggest(const std::string& name);

}  // namespace calvex_host
