// Sheet files: CSV (RFC 4180) with a marker row `#range,<name>` in front of
// each range's rows, and an optional first row `#sheet,<name>`.
#pragma once

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

// The file's text as UTF-8: UTF-8 with or without BOM, UTF-16 LE/BE with BOM,
// or (when the bytes are not UTF-8) GB18030.
std::string decode_text(const std::vector<uint8_t>& bytes);

struct CsvRow {
  size_t line;  // line of the row's first character
  std::vector<std::string> fields;
  bool first_quoted = false;  // a quoted first field is a cell, never a marker
};

// RFC 4180 records (CR LF or LF line ends; quoted fields may span lines).
std::vector<CsvRow> parse_csv(std::string_view text);

// One field, quoted when it holds a comma, a quote, CR or LF, or starts with '#'.
std::string csv_field(std::string_view text);

// The cells of each of entry's ranges (in catalogue order), row after row.
using RangeCells = std::vector<std::vector<std::string>>;

// Reads a sheet file for entry, checking every range's shape. Rows may carry
// extra empty fields (spreadsheets pad rows to the widest range); rows made
// only of empty fields between ranges are ignored.
RangeCells parse_sheet_file(const SheetEntry& entry, std::string_view text);

// Writes a sheet file for entry from the cells of its ranges.
std::string format_sheet_file(const SheetEntry& entry, const RangeCells& cells);

// One range block (marker row and rows) of a sheet file.
std::string format_range(std::string_view name, int rows, int cols, const std::vector<std::string>& cells);

}  // namespace calvex_host
