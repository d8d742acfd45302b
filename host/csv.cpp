#include "csv.h"

#include <iconv.h>

#include <cerrno>
#include <map>

#include "unicode.h"

namespace calvex_host {
namespace {

std::string decode_utf16(const std::vector<uint8_t>& bytes, bool big_endian) {
  if (bytes.size() % 2 != 0) throw FormatError(0, "UTF-16 text with an odd number of bytes");
  std::string out;
  auto unit = [&](size_t i) -> uint32_t {
    return big_endian ? (static_cast<uint32_t>(bytes[i]) << 8) | bytes[i + 1]
                      : (static_cast<uint32_t>(bytes[i + 1]) << 8) | bytes[i];
  };
  for (size_t i = 2; i < bytes.size(); i += 2) {
    uint32_t cp = unit(i);
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 3 < bytes.size()) {
      const uint32_t low = unit(i + 2);
      if (low >= 0xDC00 && low <= 0xDFFF) {
        cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
        i += 2;
      }
    }
    if (cp >= 0xD800 && cp <= 0xDFFF) throw FormatError(0, "UTF-16 text with an unpaired surrogate");
    append_utf8(out, cp);
  }
  return out;
}

std::string decode_gb18030(const std::vector<uint8_t>& bytes) {
  iconv_t cd = iconv_open("UTF-8", "GB18030");
  if (cd == reinterpret_cast<iconv_t>(-1)) throw FormatError(0, "text is neither UTF-8 nor convertible GB18030");
  std::string out(bytes.size() * 4 + 16, '\0');
  char* in = const_cast<char*>(reinterpret_cast<const char*>(bytes.data()));
  size_t in_left = bytes.size();
  char* dst = out.data();
  size_t out_left = out.size();
  const size_t rc = iconv(cd, &in, &in_left, &dst, &out_left);
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1) || in_left != 0) throw FormatError(0, "text is neither UTF-8 nor valid GB18030");
  out.resize(out.size() - out_left);
  return out;
}

bool all_empty(const std::vector<std::string>& fields, size_t from) {
  for (size_t i = from; i < fields.size(); ++i) {
    if (!fields[i].empty()) return false;
  }
  return true;
}

}  // namespace

std::string decode_text(const std::vector<uint8_t>& bytes) {
  if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE) return decode_utf16(bytes, false);
  if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF) return decode_utf16(bytes, true);
  std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") {
    text.remove_prefix(3);
    if (!is_valid_utf8(text)) throw FormatError(0, "text after the UTF-8 byte order mark is not valid UTF-8");
    return std::string(text);
  }
  if (is_valid_utf8(text)) return std::string(text);
  return decode_gb18030(bytes);
}

std::vector<CsvRow> parse_csv(std::string_view text) {
  std::vector<CsvRow> rows;
  size_t line = 1;
  size_t i = 0;
  while (i < text.size()) {
    CsvRow row{line, {}};
    std::string field;
    bool row_done = false;
    while (!row_done) {
      field.clear();
      if (i < text.size() && text[i] == '"') {
        if (row.fields.empty()) row.first_quoted = true;
        const size_t quote_line = line;
        ++i;
        for (;;) {
          if (i >= text.size()) throw FormatError(quote_line, "quoted field is not closed");
          const char c = text[i++];
          if (c == '"') {
            if (i < text.size() && text[i] == '"') {
              field.push_back('"');
              ++i;
            } else {
              break;
            }
          } else {
            if (c == '\n') ++line;
            field.push_back(c);
          }
        }
        if (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
          throw FormatError(line, "unexpected character after a quoted field");
        }
      } else {
        while (i < text.size() && text[i] != ',' && text[i] != '\r' && text[i] != '\n') {
          if (text[i] == '"') throw FormatError(line, "quote inside an unquoted field");
          field.push_back(text[i++]);
        }
      }
      row.fields.push_back(field);
      if (i < text.size() && text[i] == ',') {
        ++i;
      } else {
        if (i < text.size() && text[i] == '\r') ++i;
        if (i < text.size() && text[i] == '\n') ++i;
        ++line;
        row_done = true;
      }
    }
    rows.push_back(std::move(row));
  }
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

RangeCells parse_sheet_file(const SheetEntry& entry, std::string_view text) {
  const std::vector<CsvRow> rows = parse_csv(text);
  std::map<std::string, size_t> index;
  for (size_t r = 0; r < entry.ranges.size(); ++r) index[std::string(entry.ranges[r].name)] = r;

  RangeCells cells(entry.ranges.size());
  std::vector<size_t> rows_seen(entry.ranges.size(), 0);
  std::vector<bool> present(entry.ranges.size(), false);
  long current = -1;
  size_t last_line = 0;
  bool first = true;
  for (const CsvRow& row : rows) {
    last_line = row.line;
    const std::string head = row.first_quoted ? std::string() : row.fields[0];
    if (first && head == "#sheet") {
      first = false;
      const std::string name = row.fields.size() > 1 ? row.fields[1] : "";
      if (find_sheet(name) != &entry) {
        throw FormatError(row.line, "this is a sheet file of '" + name + "', not of '" + std::string(entry.name) + "'");
      }
      continue;
    }
    first = false;
    if (head == "#range") {
      if (current >= 0 && rows_seen[current] != static_cast<size_t>(entry.ranges[current].rows)) {
        const RangeShape& s = entry.ranges[current];
        throw FormatError(row.line, "range '" + std::string(s.name) + "' needs " + std::to_string(s.rows) +
                                        " rows, found " + std::to_string(rows_seen[current]));
      }
      const std::string name = row.fields.size() > 1 ? row.fields[1] : "";
      auto it = index.find(name);
      if (it == index.end()) throw FormatError(row.line, "unknown range '" + name + "' for sheet " + std::string(entry.name));
      if (present[it->second]) throw FormatError(row.line, "range '" + name + "' appears twice");
      if (!all_empty(row.fields, 2)) throw FormatError(row.line, "unexpected fields after the range name");
      current = static_cast<long>(it->second);
      present[current] = true;
      continue;
    }
    if (current < 0) {
      if (all_empty(row.fields, 0)) continue;
      throw FormatError(row.line, "cells before the first #range marker");
    }
    const RangeShape& shape = entry.ranges[current];
    if (rows_seen[current] == static_cast<size_t>(shape.rows)) {
      if (all_empty(row.fields, 0)) continue;
      throw FormatError(row.line, "range '" + std::string(shape.name) + "' has more than " +
                                      std::to_string(shape.rows) + " rows");
    }
    const size_t cols = static_cast<size_t>(shape.cols);
    if (row.fields.size() < cols || !all_empty(row.fields, cols)) {
      throw FormatError(row.line, "range '" + std::string(shape.name) + "' needs " + std::to_string(cols) +
                                      " cells per row, found " + std::to_string(row.fields.size()));
    }
    for (size_t c = 0; c < cols; ++c) cells[current].push_back(row.fields[c]);
    ++rows_seen[current];
  }
  if (current >= 0 && rows_seen[current] != static_cast<size_t>(entry.ranges[current].rows)) {
    const RangeShape& s = entry.ranges[current];
    throw FormatError(last_line + 1, "range '" + std::string(s.name) + "' needs " + std::to_string(s.rows) +
                                         " rows, found " + std::to_string(rows_seen[current]));
  }
  for (size_t r = 0; r < entry.ranges.size(); ++r) {
    if (!present[r]) throw FormatError(last_line + 1, "range '" + std::string(entry.ranges[r].name) + "' is missing");
  }
  return cells;
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
