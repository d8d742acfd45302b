#include "csv.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <system_error>
#include <utility>

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

FormatError range_short(const RangeShape& shape, size_t rows_seen, size_t line) {
  return FormatError(line, "range '" + std::string(shape.name) + "' needs " + std::to_string(shape.rows) +
                               " rows, found " + std::to_string(rows_seen));
}

// A comment row starts with this (and is no marker).
constexpr char kCommentStart = '#';
// Texts a spreadsheet shows for a formula's error value: cells, never comments.
constexpr std::string_view kErrorValues[] = {"#NULL!", "#DIV/0!", "#VALUE!", "#REF!", "#NAME?",
                                             "#NUM!",  "#N/A",    "#SPILL!", "#CALC!", "#GETTING_DATA"};

bool is_error_value(std::string_view text) {
  return std::find(std::begin(kErrorValues), std::end(kErrorValues), text) != std::end(kErrorValues);
}

// True when text starts as a marker does, in any case ("#Range", "#range TempDac").
bool starts_like_marker(std::string_view text) {
  for (std::string_view marker : {kSheetMarker, kRangeMarker}) {
    if (text.size() < marker.size()) continue;
    bool same = true;
    for (size_t k = 0; k < marker.size(); ++k) {
      same = same && std::tolower(static_cast<unsigned char>(text[k])) == marker[k];
    }
    if (same) return true;
  }
  return false;
}

// Full-width forms U+FF01..U+FF5E stand for ASCII U+0021..U+007E.
constexpr char32_t kFullWidthFirst = 0xFF01;
constexpr char32_t kFullWidthLast = 0xFF5E;
constexpr char32_t kFullWidthToAscii = 0xFEE0;
constexpr char32_t kIdeographicSpace = 0x3000;
constexpr char32_t kIdeographicComma = 0x3001;
constexpr char32_t kIdeographicFullStop = 0x3002;
// CJK ideographs: the extension A block, the unified block, the compatibility block, the supplementary planes.
constexpr std::pair<char32_t, char32_t> kIdeographBlocks[] = {
    {0x3400, 0x4DBF}, {0x4E00, 0x9FFF}, {0xF900, 0xFAFF}, {0x20000, 0x3FFFF}};

std::string code_point_name(char32_t cp) {
  char text[16];
  std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(cp));
  return text;
}

std::string utf8_of(char32_t cp) {
  std::string text;
  append_utf8(text, cp);
  return text;
}

}  // namespace

std::string wide_character_note(std::string_view text) {
  const std::u16string units = utf16_from_utf8(text);
  for (size_t k = 0; k < units.size(); ++k) {
    char32_t cp = units[k];
    if (calvex::utf::is_high_surrogate(cp) && k + 1 < units.size() && calvex::utf::is_low_surrogate(units[k + 1])) {
      cp = calvex::utf::combine_surrogates(cp, units[++k]);
    }
    std::string shown = "'";  // built by appends: GCC 12 warns falsely of "literal" + string&&
    shown += utf8_of(cp);
    shown += "' (";
    shown += code_point_name(cp);
    shown += ")";
    if (cp >= kFullWidthFirst && cp <= kFullWidthLast) {
      return "it holds the full-width " + shown + " where '" + utf8_of(cp - kFullWidthToAscii) + "' is meant";
    }
    if (cp == kIdeographicSpace) return "it holds the ideographic space (" + code_point_name(cp) + ") where ' ' is meant";
    if (cp == kIdeographicComma) return "it holds the ideographic comma " + shown + " where ',' is meant";
    if (cp == kIdeographicFullStop) return "it holds the ideographic full stop " + shown + " where '.' is meant";
    for (const auto& [first, last] : kIdeographBlocks) {
      if (cp >= first && cp <= last) return "it holds the ideograph " + shown;
    }
  }
  return {};
}

TextEncoding encoding_named(std::string_view name) {
  std::string lowered(name);
  for (char& c : lowered) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (size_t k = 0; k < std::size(kEncodingNames); ++k) {
    if (lowered == kEncodingNames[k]) return static_cast<TextEncoding>(k + 1);
  }
  return TextEncoding::kDetect;
}

std::string decode_text(const std::vector<uint8_t>& bytes, TextEncoding encoding) {
  switch (encoding) {
    case TextEncoding::kDetect:
      break;
    case TextEncoding::kUtf8: {
      std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
      if (text.starts_with(kUtf8Bom)) text.remove_prefix(kUtf8Bom.size());
      if (!is_valid_utf8(text)) throw FormatError(0, "text is not valid UTF-8 (--encoding utf-8)");
      return std::string(text);
    }
    case TextEncoding::kUtf16Le:
      return decode_utf16(bytes, false, starts_with(bytes, kUtf16LeBom) ? sizeof kUtf16LeBom : 0);
    case TextEncoding::kUtf16Be:
      return decode_utf16(bytes, true, starts_with(bytes, kUtf16BeBom) ? sizeof kUtf16BeBom : 0);
    case TextEncoding::kGb18030: {
      std::optional<std::string> text = platform::utf8_from_gb18030(bytes);
      if (!text) throw FormatError(0, "text is not valid GB18030 (--encoding gb18030)");
      return std::move(*text);
    }
  }
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
    const auto is_blank = [&](char c) { return (c == ' ' || c == '\t') && c != cursor.separator; };
    while (i < text.size() && is_blank(text[i])) ++i;
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
      while (i < text.size() && is_blank(text[i])) ++i;
      if (i < text.size() && text[i] != cursor.separator && !is_line_end(text[i])) {
        throw FormatError(cursor.line, "unexpected character after a quoted field");
      }
    } else {
      const size_t start = i;
      while (i < text.size() && text[i] != cursor.separator && !is_line_end(text[i])) {
        if (text[i] == kQuote) throw FormatError(cursor.line, "quote inside an unquoted field");
        ++i;
      }
      size_t end = i;
      while (end > start && is_blank(text[end - 1])) --end;
      field.assign(text.substr(start, end - start));
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
  const auto blank = [](char c) { return c == ' ' || c == '\t'; };
  const bool quote = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                     (!text.empty() && (text[0] == '#' || blank(text.front()) || blank(text.back())));
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

  SheetFileCells out{RangeCells(entry.ranges.size()), RangePositions(entry.ranges.size()), {}};
  IgnoredContent& ignored = out.ignored;
  std::vector<size_t> rows_seen(entry.ranges.size(), 0);
  std::vector<bool> present(entry.ranges.size(), false);
  std::optional<size_t> current;
  bool any_marker = false;
  bool quoted_markers = false;
  size_t first_loose_line = 0;  // the first row of cells before any range
  size_t last_line = 0;
  const auto ignore_cells = [&](const CsvRow& row, size_t from) {
    for (size_t c = from; c < row.fields.size(); ++c) {
      if (row.fields[c].empty()) continue;
      if (ignored.cells++ == 0) ignored.first_cell = CellPosition{row.field_lines[c], c + 1};
    }
  };
  CsvCursor cursor{text, detect_separator(text)};
  CsvRow row;
  while (read_csv_row(cursor, row)) {
    last_line = row.line;
    const bool empty = all_empty(row.fields, 0);
    const bool in_open_range = current && rows_seen[*current] < static_cast<size_t>(entry.ranges[*current].rows);
    // A blank line is no row; a row of empty fields as wide as its range is.
    if (empty && !(in_open_range && row.fields.size() >= static_cast<size_t>(entry.ranges[*current].cols))) continue;
    const std::string& first = row.fields[0];
    // Until the first marker every '#' row is a marker or a comment.
    const bool marker_place = !any_marker || !row.first_quoted || quoted_markers;
    if (marker_place && (first == kSheetMarker || first == kRangeMarker)) {
      if (!any_marker) quoted_markers = row.first_quoted;
      const bool sheet_row = first == kSheetMarker;
      if (sheet_row && any_marker) throw FormatError(row.line, "a '#sheet,<name>' row may only be the first row");
      any_marker = true;
      const std::string name = row.fields.size() > 1 ? row.fields[1] : "";
      if (sheet_row) {
        if (find_sheet(name) != &entry) {
          const std::string note = wide_character_note(name);
          throw FormatError(row.line, "this is a sheet file of '" + name + "', not of '" + std::string(entry.name) +
                                          "'" + (note.empty() ? "" : "; " + note));
        }
        continue;
      }
      if (current && rows_seen[*current] != static_cast<size_t>(entry.ranges[*current].rows)) {
        throw range_short(entry.ranges[*current], rows_seen[*current], row.line);
      }
      auto it = index.find(name);
      if (it == index.end()) {
        const std::string note = wide_character_note(name);
        throw FormatError(row.line, "unknown range '" + name + "' for sheet " + std::string(entry.name) +
                                        (note.empty() ? "" : "; " + note));
      }
      if (present[it->second]) throw FormatError(row.line, "range '" + name + "' appears twice");
      if (!all_empty(row.fields, 2)) throw FormatError(row.line, "unexpected fields after the range name");
      current = it->second;
      present[*current] = true;
      const size_t cell_count = static_cast<size_t>(entry.ranges[*current].count());
      out.cells[*current].reserve(cell_count);
      out.positions[*current].reserve(cell_count);
      continue;
    }
    if (marker_place && first.starts_with(kCommentStart) && !is_error_value(first)) {
      if (starts_like_marker(first)) {
        const std::string note = wide_character_note(first);
        throw FormatError(row.line, "'" + first +
                                        "' is not a marker row: a marker row is '#sheet' or '#range' (lower case) "
                                        "in its first field and the name in the next" +
                                        (note.empty() ? "" : "; " + note));
      }
      if (ignored.comment_rows++ == 0) ignored.first_comment = CellPosition{row.line, 1};
      continue;
    }
    if (!current) {
      if (first_loose_line == 0) first_loose_line = row.line;
      ignore_cells(row, 0);
      continue;
    }
    const RangeShape& shape = entry.ranges[*current];
    if (!in_open_range) {
      ignore_cells(row, 0);
      continue;
    }
    const size_t cols = static_cast<size_t>(shape.cols);
    for (size_t c = 0; c < cols; ++c) {
      if (c < row.fields.size()) {
        out.cells[*current].push_back(std::move(row.fields[c]));
        out.positions[*current].push_back(CellPosition{row.field_lines[c], c + 1});
      } else {
        // Trailing empty cells a spreadsheet left out.
        out.cells[*current].emplace_back();
        out.positions[*current].push_back(CellPosition{row.field_lines.back(), c + 1});
      }
    }
    ignore_cells(row, cols);
    ++rows_seen[*current];
  }
  if (!current && first_loose_line != 0) {
    throw FormatError(first_loose_line,
                      "expected a '#range,<name>' marker row before any cells; a sheet file is: an "
                      "optional '#sheet,<name>' row, then for every range a '#range,<name>' row "
                      "followed by its rows (see `calvex template " +
                          std::string(entry.name) + "`)");
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

SheetFileCells read_sheet_file(const SheetEntry& entry, const std::string& path, TextEncoding encoding) {
  return parse_sheet_file_at(entry, decode_text(read_sheet_bytes(path), encoding));
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
