// Sheet files: CSV (RFC 4180) with a marker row `#range,<name>` in front of
// each range's rows, and an optional first row `#sheet,<name>`.
//
// Files are read as spreadsheet programs save them:
// - Encoding: UTF-8 with or without BOM; UTF-16 LE or BE with BOM, or without
//   one when the first 4 KiB hold NUL bytes (the high bytes of its ASCII
//   characters: mostly at odd offsets is LE, mostly at even offsets BE); else
//   GB18030.
// - Separator: comma, semicolon or tab, one for the whole file. It is the
//   character after the marker in the first non-empty row (`#sheet;X`,
//   `"#range"<TAB>"X"`), else the most frequent of the three outside quotes
//   in that row (on a tie the first of comma, semicolon, tab; comma when
//   there is none). A row made only of separators is empty.
// - Quoting: a quoted first field is normally a cell, so that a cell text
//   such as "#range" (written quoted) stays a cell. A file whose first
//   non-empty row starts with a quoted `"#sheet"` or `"#range"` quotes its
//   markers (saved with "quote all fields" or "quote text cells"); in such a
//   file a quoted first field that is exactly `#sheet` or `#range` is a marker
//   too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue.h"

namespace calvex_host {

// A sheet file that cannot be used; line is 1-based (0: the file as a whole).
class FormatError : public std::runtime_error {
 public:
  FormatError(size_t line, const std::string& what) : std::runtime_error(what), line_(line) {}
  size_t line() const { return line_; }

 private:
  size_t line_;
};

// Largest sheet file read: far beyond any sheet (the largest has a few
// thousand cells), small enough to hold whole in memory.
inline constexpr size_t kMaxSheetFileBytes = size_t{64} << 20;

// Most fields a row may have: the widest row a spreadsheet saves.
inline constexpr size_t kMaxFieldsPerRow = 16384;

// The path that means standard input (for reading) or standard output (for
// writing).
inline constexpr std::string_view kStdStreamPath = "-";

// The file's text as UTF-8 (encodings above). Throws FormatError (line 0) for
// UTF-16 of an odd length or with an unpaired surrogate, invalid UTF-8 after a
// UTF-8 BOM, and bytes that are neither UTF-8 nor GB18030.
std::string decode_text(const std::vector<uint8_t>& bytes);

// The separator of a sheet file's text (rule above): ',', ';' or '\t'.
char detect_separator(std::string_view text);

struct CsvRow {
  size_t line = 0;  // line of the row's first character
  std::vector<std::string> fields;
  std::vector<size_t> field_lines;  // line of each field's first character
  bool first_quoted = false;        // the first field was quoted
};

// Reading position in a CSV text; text must outlive it. Start with
// CsvCursor{text, separator}.
struct CsvCursor {
  std::string_view text;
  char separator = ',';
  size_t offset = 0;
  size_t line = 1;
};

// Reads the next RFC 4180 record (CR LF, LF or CR line ends; quoted fields may
// span lines) into row, reusing row's storage; false at the end of the text.
// Throws FormatError for an unclosed quote, a character after a closing quote,
// a quote inside an unquoted field, and a row of more than kMaxFieldsPerRow
// fields.
bool read_csv_row(CsvCursor& cursor, CsvRow& row);

// Every record of text (read_csv_row until the end).
std::vector<CsvRow> parse_csv(std::string_view text, char separator = ',');

// One field, quoted when it holds a comma, a quote, CR or LF, or starts with '#'.
std::string csv_field(std::string_view text);

// The cells of each of entry's ranges (in catalogue order), row after row.
using RangeCells = std::vector<std::vector<std::string>>;

// Where a cell stands in its sheet file, both 1-based: the line of the cell's
// first character and the field index in its row (the column a spreadsheet
// shows: A is 1).
struct CellPosition {
  size_t line = 0;
  size_t column = 0;
  bool operator==(const CellPosition&) const = default;
};

// Parallel to RangeCells: positions[r][k] is where cells[r][k] stands.
using RangePositions = std::vector<std::vector<CellPosition>>;

struct SheetFileCells {
  RangeCells cells;
  RangePositions positions;
};

// Reads a sheet file for entry, checking every range's shape, one row at a
// time (memory stays bounded by the sheet's cells whatever the text holds).
// Rows may carry extra empty fields (spreadsheets pad rows to the widest
// range); rows made only of empty fields outside ranges are skipped. The first
// impossible row stops the reading: cells before the first marker, an unknown
// or repeated range, a row too many or of the wrong width, a `#sheet` row
// that is not first or names another sheet. Throws FormatError with the line.
SheetFileCells parse_sheet_file_at(const SheetEntry& entry, std::string_view text);

// The cells of parse_sheet_file_at.
RangeCells parse_sheet_file(const SheetEntry& entry, std::string_view text);

// The bytes of the file at path, or of standard input when path is "-".
// Throws FormatError (line 0) with the system's reason when it cannot be read,
// and when it holds more than kMaxSheetFileBytes (a regular file is refused
// by its size before any byte is read; a stream is read no further than one
// chunk of 64 KiB past the limit, and never held beyond the limit).
std::vector<uint8_t> read_sheet_bytes(const std::string& path);

// parse_sheet_file_at of the decoded text of read_sheet_bytes(path).
SheetFileCells read_sheet_file(const SheetEntry& entry, const std::string& path);

// Writes text to the file at path (created or truncated), or to standard
// output when path is "-". Throws FormatError (line 0) with the system's
// reason when the open, a write or the close fails.
void write_sheet_text(const std::string& path, std::string_view text);

// Writes a sheet file for entry from the cells of its ranges.
std::string format_sheet_file(const SheetEntry& entry, const RangeCells& cells);

// One range block (marker row and rows) of a sheet file.
std::string format_range(std::string_view name, int rows, int cols, const std::vector<std::string>& cells);

}  // namespace calvex_host
