// Steps the commands share: printing, sheet names, layouts, the strict cell
// check, reads through the library and the listing of changes.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "commands.h"
#include "csv.h"
#include "library.h"
#include "safe_file.h"
#include "xlsx_read.h"

namespace calvex_host {

// At most this many cell problems are listed; the rest are counted.
inline constexpr size_t kMaxListedProblems = 50;

// A line on standard error; text on standard output.
void err(const std::string& line);
void out(const std::string& text);

std::string lower_ascii(std::string_view s);

// Up to three candidates closest to word (ignoring case), best first.
std::vector<std::string> closest(const std::string& word, const std::vector<std::string>& candidates);

// The layout switch value for a sheet: --layout if given, else the sheet's own.
int32_t layout_value(const SheetEntry& sheet, const Options& options);

// "GsmTmpComp" or, for an LTE sheet, "LteFilter (merged layout)".
std::string sheet_label(const SheetEntry& sheet, int32_t layout);

// One line per library message: its class, the sheet, the text and its gloss.
void print_outcome(const SheetEntry& sheet, int32_t layout, const Outcome& outcome);

// The bytes an image must hold for the sheet's blocks in a layout.
uint64_t required_size(const SheetEntry& sheet, int32_t layout);

std::string hex_offset(uint64_t v);

// Where cell i of range r stands, as the user sees it ("file.csv:4:2",
// "book.xlsx!GsmTmpComp!B7").
using CellPlace = std::function<std::string(size_t r, size_t i)>;

// A problem with how cell i of range r was stored, found before its text is
// checked (a workbook's number in a hexadecimal cell), or nullopt.
using CellSourceCheck = std::function<std::optional<std::string>(size_t r, size_t i, const calvex::CellType& rule)>;

// Checks every cell against its kind (after `source`, when given) and prints
// each problem while *listed stays within kMaxListedProblems; returns the
// sheet's problem count. A problem line names the full-width or ideographic
// character of a cell that holds one (wide_character_note).
size_t check_cells(const SheetEntry& sheet, const RangeCells& cells, const CellPlace& place, size_t* listed,
                   const CellSourceCheck& source = nullptr);

// Decimal cells written as an exact integer with a decimal point ("2.0",
// "-3.00": integers of a float column, as pandas writes them) become that
// integer ("2", "-3"), the text the library then gets.
void normalise_decimal_cells(const SheetEntry& sheet, RangeCells& cells);

// The one note line on what a sheet file or worksheet held that was not
// read: "note: WHERE: ignored 2 comment rows (the first at PLACE) and 3 cells
// outside every range (the first at PLACE)"; empty when there was nothing.
std::string ignored_note(const std::string& where, const IgnoredContent& ignored,
                         const std::function<std::string(const CellPosition&)>& place);

// "... and N more cell problems" when problems went beyond the listed ones.
void print_problem_total(size_t problems);

SheetCells utf16_cells(const RangeCells& cells);
RangeCells utf8_cells(const SheetCells& cells);

// A sheet's cells as loaded from a sheet file or a workbook's worksheet.
struct LoadedSheet {
  RangeCells cells;
  RangePositions positions;
  std::string worksheet;  // the worksheet's name when the cells came from a workbook
  std::map<CellRef, NumberCell> numbers;  // the worksheet's number cells
  // Where cell i of range r stands for a file loaded from path:
  // "file.csv:4:2", "<stdin>:4:2" or "book.xlsx!GsmTmpComp!B7".
  std::string place(const std::string& path, size_t r, size_t i) const;
};

// Loads the sheet's cells from the file at path ("-": standard input),
// told by its content: a zip archive or compound file is a workbook (its
// worksheet named after the sheet, or its only one) whatever its name, and
// anything else a sheet file (CSV), apart from a regular file named .xlsx,
// refused as no workbook. Prints why and returns false when it cannot.
// --encoding names the text's encoding instead of the detected one.
bool load_sheet_file(const SheetEntry& sheet, const std::string& path, const Options& options, LoadedSheet* loaded);

// The write-back cells a sheet's write returned, as the range block
// (sheet.write_back_name) write and apply print or write to --write-back.
std::string format_write_back(const SheetEntry& sheet, const std::vector<std::u16string>& back);

// The sheet as read from the image at path, laid onto its ranges.
Outcome read_sheet(const SheetEntry& sheet, const std::string& path, int32_t layout, SheetCells* cells);

// Prints "  Sheet Range row R col C: 'old' -> 'new'" for every cell that
// differs between two reads of a sheet (and adds it to findings, when
// given); returns the count.
size_t print_cell_changes(const SheetEntry& sheet, const SheetCells& before, const SheetCells& after,
                          DiffFindings* findings = nullptr);

// Prints the byte ranges in which two images differ; returns their count.
size_t print_byte_changes(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after);

// Counts the bytes in which two images differ (a length change counts every
// byte past the shorter end), leaving out the ignored ranges.
uint64_t changed_bytes(const std::vector<uint8_t>& before, const std::vector<uint8_t>& after,
                       const std::vector<ByteRange>& ignored);

// "Sheet: text (gloss)" of the first error-class message of an outcome.
std::string first_error(const SheetEntry& sheet, int32_t layout, const Outcome& outcome);

// Every run of bytes in which two images differ (bytes past the end of the
// shorter image differ; with `counted`, only the bytes it accepts count),
// split where the sheets whose blocks hold them change; each with every
// old and new byte.
std::vector<ByteDifference> byte_differences(const std::vector<const SheetEntry*>& sheets, const Options& options,
                                             const std::vector<uint8_t>& before, const std::vector<uint8_t>& after,
                                             const std::function<bool(size_t)>& counted = nullptr);

// The image's bytes, read under a shared lock (readers never refuse each
// other; a writer's change is waited for), and a private copy of them that
// the library reads from, so that the image itself is never opened by the
// library for a read (a read-only image reads too).
bool snapshot_image(const std::string& path, TempFile* copy, std::vector<uint8_t>* bytes, std::string* error);

// Refuses an output that is the same file as an input of another kind
// ("the output workbook 'b.xlsx' is the image 'b.xlsx'"): prints why and
// returns true. A "-" output or a missing file never is.
bool output_is_input(const std::string& output, const std::string& output_kind, const std::string& input,
                     const std::string& input_kind);

// What an -o names, told by its name: standard output ("-"), a sheet file
// (.csv), a workbook (.xlsx), a folder (a name ending in '/' or '\\', or an
// existing folder), or none of these (an image, or a name calvex does not
// write sheets to).
enum class OutputKind { kStdout, kSheetFile, kWorkbook, kFolder, kOther };
OutputKind output_kind(const std::string& path);

// True when path names a sheet file or workbook of any kind by its
// extension (.csv, .xlsx, .xlsm, .xls, .ods) or a folder: never an image.
bool names_sheet_output(const std::string& path);

// Creates the folder (and its parents); prints "calvex: cannot create the
// folder 'DIR': REASON" and returns false when that fails.
bool make_output_folder(const std::string& folder);

// print_outcome without its success lines: for a change that could not be
// committed after the library reported success.
void print_outcome_failed(const SheetEntry& sheet, int32_t layout, const Outcome& outcome);

// print_outcome for a result that is not committed: a dry run's (its success
// lines read "dry run: ... nothing written") or one calvex discards (an error
// came with it, or a later sheet failed: "discarded: ...").
void print_outcome_uncommitted(const SheetEntry& sheet, int32_t layout, const Outcome& outcome, bool dry_run);

// True when an image of `size` bytes holds every sheet's blocks (or
// --allow-short); otherwise prints why, naming the first sheet that does not fit.
bool image_holds(const std::vector<const SheetEntry*>& sheets, const Options& options, uint64_t size,
                 const std::string& image);

// A dry run's report on standard output: what the writes on `work` (whose
// bytes are `after`) changed against `original`, cell by cell for the sheets
// with a read (old cells are read from a copy, since the image stays
// locked), then byte by byte; the same as JSON (json_dry_run). error_prefix
// starts the line of a failure. Returns the exit status.
int report_dry_run(const std::string& what, const std::string& error_prefix,
                   const std::vector<const SheetEntry*>& sheets, const Options& options, const LockedImage& original,
                   const TempFile& work, const std::vector<uint8_t>& after, const std::string& destination);

}  // namespace calvex_host
