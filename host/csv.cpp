#include "csv.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <system_error>

#include "platform.h"
#include "unicode.h"

namespace calvex_host {
namespace {

// bytes from first (past a BOM) as UTF-16 of the given byte order.
std::string decode_utf16(const std::vector<uint8_t>& bytes, bool big_endian, size_t first) {
  if ((bytes.size() - first) % 2 != 0) throw FormatError(0, "UTF-16 text with an odd number of bytes");
  std::string out;
  auto unit = [&](size_t i) -> uint32_t {
    return big_endian ? (static_cast<uint32_t>(bytes[i]) << 8) | bytes[i + 1]
                      : (static_cast<uint32_t>(bytes[i + 1]) << 8) | bytes[i];
  };
  for (size_t i = first; i < bytes.size(); i += 2) {
    char32_t cp = unit(i);
    if (calvex::utf::is_high_surrogate(cp) && i + 3 < bytes.size()) {
      const char32_t low = unit(i + 2);
      if (calvex::utf::is_low_surrogate(low)) {
        cp = calvex::utf::combine_surrogates(cp, low);
        i += 2;
      }
    }
    if (calvex::utf::is_surrogate(cp)) throw FormatError(0, "UTF-16 text with an unpaired surrogate");
    append_utf8(out, cp);
  }
  return out;
}

std::string decode_gb18030(const std::vector<uint8_t>& bytes) {
  std::optional<std::string> text = platform::utf8_from_gb18030(bytes);
  if (!text) throw FormatError(0, "text is neither UTF-8 nor valid GB18030");
  return std::move(*text);
}

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr uint8_t kUtf16LeBom[] = {0xFF, 0xFE};
constexpr uint8_t kUtf16BeBom[] = {0xFE, 0xFF};
// Bytes looked at for the NUL pattern of UTF-16 text without a BOM.
constexpr size_t kUtf16SniffBytes = 4096;

// In order of preference when a row has as many of each.
constexpr std::string_view kSeparators = ",;\t";
constexpr char kQuote = '"';
constexpr std::string_view kSheetMarker = "#sheet";
constexpr std::string_view kRangeMarker = "#range";

constexpr size_t kReadChunkBytes = size_t{64} << 10;
constexpr size_t kBytesPerMiB = size_t{1} << 20;

template <size_t N>
bool starts_with(const std::vector<uint8_t>& bytes, const uint8_t (&prefix)[N]) {
  return bytes.size() >= N && std::equal(prefix, prefix + N, bytes.begin());
}

// Byte order of UTF-16 text without a BOM (true: big-endian), from where the
// NUL bytes of its first kUtf16SniffBytes fall; nullopt when there are none.
std::optional<bool> bomless_utf16_big_endian(const std::vector<uint8_t>& bytes) {
  size_t nul_at_even = 0;
  size_t nul_at_odd = 0;
  const size_t end = std::min(bytes.size(), kUtf16SniffBytes);
  for (size_t i = 0; i < end; ++i) {
    if (bytes[i] == 0) ++(i % 2 == 0 ? nul_at_even : nul_at_odd);
  }
  if (nul_at_even + nul_at_odd == 0) return std::nullopt;
  return nul_at_even > nul_at_odd;
}

bool all_empty(const std::vector<std::string>& fields, size_t from) {
  for (size_t i = from; i < fields.size(); ++i) {
    if (!fields[i].empty()) return false;
  }
  return true;
}

bool is_line_end(char c) { return c == '\r' || c == '\n'; }

// The offset past the line end (CR LF, LF or CR) at offset, if there is one.
size_t skip_line_end(std::string_view text, size_t offset) {
  if (offset < text.size() && text[offset] == '\r') ++offset;
  if (offset < text.size() && text[offset] == '\n') ++offset;
  return offset;
}

// The separator right after a marker (quoted or not) that starts record; 0 if
// record does not start so.
char separator_after_marker(std::string_view record) {
  const bool quoted = !record.empty() && record[0] == kQuote;
  if (quoted) record.remove_prefix(1);
  for (std::string_view marker : {kSheetMarker, kRangeMarker}) {
    if (!record.starts_with(marker)) continue;
    std::string_view rest = record.substr(marker.size());
    if (quoted) {
      if (!rest.starts_with(kQuote)) return 0;
      rest.remove_prefix(1);
    }
    if (!rest.empty() && kSeparators.find(rest[0]) != std::string_view::npos) return rest[0];
  }
  return 0;
}

std::string system_reason() { return std::generic_category().message(errno); }

FormatError too_large() {
  int64_t largest_sheet_cells = 0;
  for (const SheetEntry* entry : all_sheets()) {
    int64_t cells = 0;
    for (const RangeShape& shape : entry->ranges) cells += shape.count();
    largest_sheet_cells = std::max(largest_sheet_cells, cells);
  }
  return FormatError(0, "more than " + std::to_string(kMaxSheetFileBytes / kBytesPerMiB) +
                            " MiB, far more than any sheet file holds (the largest sheet has " +
                            std::to_string(largest_sheet_cells) + " cells)");
}

std::vector<uint8_t> read_stream(std::FILE* file, size_t expected_size) {
  std::vector<uint8_t> bytes;
  bytes.reserve(std::min(expected_size, kMaxSheetFileBytes));
  std::vector<uint8_t> chunk(kReadChunkBytes);
  for (;;) {
    const size_t got = std::fread(chunk.data(), 1, chunk.size(), file);
    if (got > kMaxSheetFileBytes - bytes.size()) throw too_large();
    if (bytes.capacity() < bytes.size() + got) {
      bytes.reserve(std::min(std::max(2 * bytes.capacity(), bytes.size() + got), kMaxSheetFileBytes));
    }
    bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(got));
    if (got < chunk.size()) break;
  }
  if (std::ferror(file)) throw FormatError(0, "cannot read: " + system_reason());
  return bytes;
}

// The one marker a row can be (quoted_markers: the file quotes its markers).
bool is_marker(const CsvRow& row, std::string_view marker, bool quoted_markers) {
  return (!row.first_quoted || quoted_markers) && row.fields[0] == marker;
}

FormatError range_short(const RangeShape& shape, size_t rows_seen, size_t line) {
  return FormatError(line, "range '" + std::string(shape.name) + "' needs " + std::to_string(shape.rows) +
                               " rows, found " + std::to_string(rows_seen));
}

// The number of fields up to the last non-empty one, at least cols.
size_t used_width(const std::vector<std::string>& fields, size_t cols) {
  size_t width = fields.size();
  while (width > cols && fields[width - 1].empty()) --width;
  return width;
}

}  // namespace

std::string decode_text(const std::vector<uint8_t>& bytes) {
  if (starts_with(bytes, kUtf16LeBom)) return decode_utf16(bytes, false, sizeof kUtf16LeBom);
  if (starts_with(bytes, kUtf16BeBom)) return decode_utf16(bytes, true, sizeof kUtf16BeBom);
  std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (text.starts_with(kUtf8Bom)) {
    text.remove_prefix(kUtf8Bom.size());
    if (!is_valid_utf8(text)) throw FormatError(0, "text after the UTF-8 byte order mark is not valid UTF-8");
    return std::string(text);
  }
  // NUL bytes occur in no UTF-8 or GB18030 sheet file.
  if (const std::optional<bool> big_endian = bomless_utf16_big_endian(bytes)) {
    return decode_utf16(bytes, *big_endian, 0);
  }
  if (is_valid_utf8(text)) return std::string(text);
  return decode_gb18030(bytes);
}

char detect_separator(std::string_view text) {
  size_t offset = 0;
  while (offset < text.size()) {
    const size_t start = offset;
    std::array<size_t, kSeparators.size()> counts{};
    bool in_quotes = false;
    bool has_content = false;
    for (; offset < text.size() && (in_quotes || !is_line_end(text[offset])); ++offset) {
      const char c = text[offset];
      if (c == kQuote) in_quotes = !in_quotes;
      const size_t separator = kSeparators.find(c);
      if (in_quotes || c == kQuote || separator == std::string_view::npos) {
        has_content = true;
      } else {
        ++counts[separator];
      }
    }
    const std::string_view record = text.substr(start, offset - start);
    offset = skip_line_end(text, offset);
    if (!has_content) continue;
    if (const char separator = separator_after_marker(record)) return separator;
    return kSeparators[static_cast<size_t>(std::max_element(counts.begin(), counts.end()) - counts.begin())];
  }
  return kSeparators[0];
}

bool read_csv_row(CsvCursor& cursor, CsvRow& row) {
  const std::string_view text = cursor.text;
  size_t& i = cursor.offset;
  if (i >= text.size()) return false;
  row.line = cursor.line;
  row.fields.clear();
  row.field_lines.clear();
  row.first_quoted = false;
  for (;;) {
    if (row.fields.size() == kMaxFieldsPerRow) {
      throw FormatError(row.line, "a row of more than " + std::to_string(kMaxFieldsPerRow) + " fields");
    }
    row.field_lines.push_back(cursor.line);
    std::string& field = row.fields.emplace_back();
    if (i < text.size() && text[i] == kQuote) {
      if (row.fields.size() == 1) row.first_quoted = true;
      const size_t quote_line = cursor.line;
      ++i;
      for (;;) {
        if (i >= text.size()) throw FormatError(quote_line, "quoted field is not closed");
        const char c = text[i++];
        if (c == kQuote) {
          if (i < text.size() && text[i] == kQuote) {
            field.push_back(kQuote);
            ++i;
          } else {
            break;
          }
        } else {
          if (c == '\n') ++cursor.line;
          field.push_back(c);
        }
      }
      if (i < text.size() && text[i] != cursor.separator && !is_line_end(text[i])) {
        throw FormatError(cursor.line, "unexpected character after a quoted field");
      }
    } else {
      const size_t start = i;
      while (i < text.size() && text[i] != cursor.separator && !is_line_end(text[i])) {
        if (text[i] == kQuote) throw FormatError(cursor.line, "quote inside an unquoted field");
        ++i;
      }
      field.assign(text.substr(start, i - start));
    }
    if (i < text.size() && text[i] == cursor.separator) {
      ++i;
      continue;
    }
    i = skip_line_end(text, i);
    ++cursor.line;
    return true;
  }
}

std::vector<CsvRow> parse_csv(std::string_view text, char separator) {
  std::vector<CsvRow> rows;
  CsvCursor cursor{text, separator};
  CsvRow row;
  while (read_csv_row(cursor, row)) rows.push_back(row);
  return rows;
}

std::string csv_field(std::string_view text) {
  const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos || (!text.empty() && text[0] == '#');
  if (!quote) return std::string(text);
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out.push_back('"');
    out.push_back(c);
  }
  out.push_back('"');
  return out;
}

SheetFileCells parse_sheet_file_at(const SheetEntry& entry, std::string_view text) {
  std::map<std::string_view, size_t> index;
  for (size_t r = 0; r < entry.ranges.size(); ++r) index[entry.ranges[r].name] = r;

  SheetFileCells out{RangeCells(entry.ranges.size()), RangePositions(entry.ranges.size())};
  std::vector<size_t> rows_seen(entry.ranges.size(), 0);
  std::vector<bool> present(entry.ranges.size(), false);
  std::optional<size_t> current;
  bool started = false;
  bool quoted_markers = false;
  size_t last_line = 0;
  CsvCursor cursor{text, detect_separator(text)};
  CsvRow row;
  while (read_csv_row(cursor, row)) {
    last_line = row.line;
    const bool empty = all_empty(row.fields, 0);
    if (!started) {
      if (empty) continue;
      started = true;
      quoted_markers = row.first_quoted && (row.fields[0] == kSheetMarker || row.fields[0] == kRangeMarker);
      if (is_marker(row, kSheetMarker, quoted_markers)) {
        const std::string name = row.fields.size() > 1 ? row.fields[1] : "";
        if (find_sheet(name) != &entry) {
          throw FormatError(row.line,
                            "this is a sheet file of '" + name + "', not of '" + std::string(entry.name) + "'");
        }
        continue;
      }
    } else if (is_marker(row, kSheetMarker, quoted_markers)) {
      throw FormatError(row.line, "a '#sheet,<name>' row may only be the first row");
    }
    if (is_marker(row, kRangeMarker, quoted_markers)) {
      if (current && rows_seen[*current] != static_cast<size_t>(entry.ranges[*current].rows)) {
        throw range_short(entry.ranges[*current], rows_seen[*current], row.line);
      }
      const std::string name = row.fields.size() > 1 ? row.fields[1] : "";
      auto it = index.find(name);
      if (it == index.end())
        throw FormatError(row.line, "unknown range '" + name + "' for sheet " + std::string(entry.name));
      if (present[it->second]) throw FormatError(row.line, "range '" + name + "' appears twice");
      if (!all_empty(row.fields, 2)) throw FormatError(row.line, "unexpected fields after the range name");
      current = it->second;
      present[*current] = true;
      const size_t cell_count = static_cast<size_t>(entry.ranges[*current].count());
      out.cells[*current].reserve(cell_count);
      out.positions[*current].reserve(cell_count);
      continue;
    }
    if (!current) {
      if (empty) continue;
      throw FormatError(row.line,
                        "expected a '#range,<name>' marker row before any cells; a sheet file is: an "
                        "optional '#sheet,<name>' row, then for every range a '#range,<name>' row "
                        "followed by its rows (see `calvex template " +
                            std::string(entry.name) + "`)");
    }
    const RangeShape& shape = entry.ranges[*current];
    if (rows_seen[*current] == static_cast<size_t>(shape.rows)) {
      if (empty) continue;
      throw FormatError(
          row.line, "range '" + std::string(shape.name) + "' has more than " + std::to_string(shape.rows) + " rows");
    }
    const size_t cols = static_cast<size_t>(shape.cols);
    if (row.fields.size() < cols || !all_empty(row.fields, cols)) {
      throw FormatError(row.line, "range '" + std::string(shape.name) + "' needs " + std::to_string(cols) +
                                      " cells per row, found " + std::to_string(used_width(row.fields, cols)));
    }
    for (size_t c = 0; c < cols; ++c) {
      out.cells[*current].push_back(std::move(row.fields[c]));
      out.positions[*current].push_back(CellPosition{row.field_lines[c], c + 1});
    }
    ++rows_seen[*current];
  }
  if (current && rows_seen[*current] != static_cast<size_t>(entry.ranges[*current].rows)) {
    throw range_short(entry.ranges[*current], rows_seen[*current], last_line + 1);
  }
  for (size_t r = 0; r < entry.ranges.size(); ++r) {
    if (!present[r]) throw FormatError(last_line + 1, "range '" + std::string(entry.ranges[r].name) + "' is missing");
  }
  return out;
}

RangeCells parse_sheet_file(const SheetEntry& entry, std::string_view text) {
  return parse_sheet_file_at(entry, text).cells;
}

std::vector<uint8_t> read_sheet_bytes(const std::string& path) {
  if (path == kStdStreamPath) return read_stream(stdin, 0);
  std::error_code size_error;
  const std::u8string_view utf8_path(reinterpret_cast<const char8_t*>(path.data()), path.size());
  const uintmax_t size = std::filesystem::file_size(std::filesystem::path(utf8_path), size_error);
  if (!size_error && size > kMaxSheetFileBytes) throw too_large();
  const platform::File file = platform::open_file(path, platform::FileMode::kRead);
  if (!file) throw FormatError(0, "cannot open: " + system_reason());
  return read_stream(file.get(), size_error ? 0 : static_cast<size_t>(size));
}

SheetFileCells read_sheet_file(const SheetEntry& entry, const std::string& path) {
  return parse_sheet_file_at(entry, decode_text(read_sheet_bytes(path)));
}

void write_sheet_text(const std::string& path, std::string_view text) {
  if (path == kStdStreamPath) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
      throw FormatError(0, "cannot write: " + system_reason());
    }
    return;
  }
  platform::File file = platform::open_file(path, platform::FileMode::kWrite);
  if (!file) throw FormatError(0, "cannot open for writing: " + system_reason());
  if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size() || std::fclose(file.release()) != 0) {
    throw FormatError(0, "cannot write: " + system_reason());
  }
}

std::string format_range(std::string_view name, int rows, int cols, const std::vector<std::string>& cells) {
  std::string out = "#range," + csv_field(name) + "\r\n";
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c) {
      if (c > 0) out.push_back(',');
      const size_t k = static_cast<size_t>(r) * static_cast<size_t>(cols) + static_cast<size_t>(c);
      if (k < cells.size()) out += csv_field(cells[k]);
    }
    out += "\r\n";
  }
  return out;
}

std::string format_sheet_file(const SheetEntry& entry, const RangeCells& cells) {
  std::string out = "#sheet," + csv_field(entry.name) + "\r\n";
  for (size_t r = 0; r < entry.ranges.size(); ++r) {
    const RangeShape& s = entry.ranges[r];
    out += format_range(s.name, s.rows, s.cols, r < cells.size() ? cells[r] : std::vector<std::string>{});
  }
  return out;
}

}  // namespace calvex_host
