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
// - Blanks: ASCII spaces and tabs (other than the separator) around a field
//   are dropped, outside its quotes: ` 16, "a b" ` reads as `16` and `a b`.
//   Blanks inside quotes are kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
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

// The encoding of a sheet file: detected (rule above) or as --encoding names it.
enum class TextEncoding : uint8_t { kDetect, kUtf8, kUtf16Le, kUtf16Be, kGb18030 };

// The names --encoding takes ("utf-8", "utf-16le", "utf-16be", "gb18030"),
// in that order.
inline constexpr std::string_view kEncodingNames[] = {"utf-8", "utf-16le", "utf-16be", "gb18030"};
static_assert(std::size(kEncodingNames) == static_cast<size_t>(TextEncoding::kGb18030),
              "one name per encoding, in the order of TextEncoding after kDetect");

// The encoding a name of kEncodingNames means (case-insensitive); kDetect for
// any other name.
TextEncoding encoding_named(std::string_view name);

// The file's text as UTF-8 (encodings above). Throws FormatError (line 0) for
// UTF-16 of an odd length or with an unpaired surrogate, invalid UTF-8 after a
// UTF-8 BOM, and bytes that are neither UTF-8 nor GB18030. With an encoding
// other than kDetect the bytes are read in it alone (a BOM of that encoding
// is dropped) and FormatError names it when they are not valid in it.
std::string decode_text(const std::vector<uint8_t>& bytes, TextEncoding encoding = TextEncoding::kDetect);

// A note on full-width and ideographic characters in text, for a message
// about it: "it holds the full-width '１' (U+FF11) where '1' is meant" for
// the first of them; empty when text holds none. Full-width forms are
// U+FF01..U+FF5E (the ASCII characters an input method types in its wide
// mode), ideographic ones the ideographic space, comma and full stop
// (U+3000..U+3002) and the CJK ideographs.
std::string wide_character_note(std::string_view text);

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

// One field, quoted when it holds a comma, a quote, CR or LF, starts with '#',
// or starts or ends with a blank (which reading drops outside quotes).
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

// What a sheet file holds that is not read: comment rows (a row whose first
// field starts with '#' and is neither a marker nor an error value a
// spreadsheet shows, such as "#N/A") and non-empty cells outside every
// range (before the first marker, right of a range's columns, below its
// rows). The first of each is where a note points.
struct IgnoredContent {
  size_t comment_rows = 0;
  CellPosition first_comment;
  size_t cells = 0;
  CellPosition first_cell;
  bool any() const { return comment_rows > 0 || cells > 0; }
};

struct SheetFileCells {
  RangeCells cells;
  RangePositions positions;
  IgnoredContent ignored;
};

// Reads a sheet file for entry, checking every range's shape, one row at a
// time (memory stays bounded by the sheet's cells whatever the text holds).
// A row shorter than its range has empty cells at its end (spreadsheets drop
// trailing empty cells); a row with no cell text at all that is narrower
// than its range (a blank line) is no row. Comment rows and cells outside
// every range are skipped and counted in `ignored`. The first impossible row
// stops the reading: a marker row that is not one (`#range X`, a full-width
// comma), an unknown or repeated range, a range short of rows, a `#sheet`
// row after a range or naming another sheet, no marker at all. Marker names
// are compared after dropping blanks. Throws FormatError with the line.
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
SheetFileCells read_sheet_file(const SheetEntry& entry, const std::string& path,
                               TextEncoding encoding = TextEncoding::kDetect);

// Writes text to the file at path (created or truncated), or to standard
// output when path is "-". Throws FormatError (line 0) with the system's
// reason when the open, a write or the close fails.
void write_sheet_text(const std::string& path, std::string_view text);

// Writes a sheet file for entry from the cells of its ranges.
std::string format_sheet_file(const SheetEntry& entry, const RangeCells& cells);

// One range block (marker row and rows) of a sheet file.
std::string format_range(std::string_view name, int rows, int cols, const std::vector<std::string>& cells);

}  // namespace calvex_host
