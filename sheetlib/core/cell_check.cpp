#include "cell_check.h"

#include <algorithm>
#include <cstdio>

namespace calvex {
namespace {

constexpr size_t kDecDigitsMax = 18;  // below 2^63 whatever the digits

bool is_digit(char16_t c) { return c >= u'0' && c <= u'9'; }

int hex_value(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

std::string hex_text(int64_t v) {
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%llX", static_cast<unsigned long long>(v));
  return buf;
}

// Unsigned hexadecimal of at most max_digits digits, "0x"/"0X" optional.
std::optional<int64_t> parse_hex(std::u16string_view text, size_t max_digits) {
  if (text.size() >= 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) text.remove_prefix(2);
  if (text.empty() || text.size() > max_digits || max_digits > 15) return std::nullopt;
  int64_t v = 0;
  for (char16_t c : text) {
    const int d = hex_value(c);
    if (d < 0) return std::nullopt;
    v = v * 16 + d;
  }
  return v;
}

std::optional<int64_t> parse_dec(std::u16string_view text) {
  bool negative = false;
  if (!text.empty() && (text[0] == u'+' || text[0] == u'-')) {
    negative = text[0] == u'-';
    text.remove_prefix(1);
  }
  if (text.empty()) return std::nullopt;
  while (text.size() > 1 && text[0] == u'0') text.remove_prefix(1);
  if (text.size() > kDecDigitsMax) return std::nullopt;
  int64_t v = 0;
  for (char16_t c : text) {
    if (!is_digit(c)) return std::nullopt;
    v = v * 10 + (c - u'0');
  }
  return negative ? -v : v;
}

std::string range_text(const CellType& cell_type) {
  const int64_t lo = cell_min(cell_type);
  const int64_t hi = cell_max(cell_type);
  if (cell_type.kind == CellKind::Hex || cell_type.kind == CellKind::MipiPair)
    return hex_text(lo) + ".." + hex_text(hi);
  return std::to_string(lo) + ".." + std::to_string(hi);
}

std::string base_description(const CellType& cell_type) {
  switch (cell_type.kind) {
    case CellKind::Text:
      return "text";
    case CellKind::Dec:
      return "a decimal integer " + range_text(cell_type);
    case CellKind::Hex:
      return "a hexadecimal number " + range_text(cell_type) + " (\"0x\" optional)";
    case CellKind::Keyword: {
      std::string s = cell_type.keywords.size() == 1 ? "the keyword " : "one of ";
      for (size_t i = 0; i < cell_type.keywords.size(); ++i) {
        if (i > 0) s += ", ";
        s += '\'';
        s += cell_type.keywords[i];
        s += '\'';
      }
      return s;
    }
    case CellKind::Line:
      return "a line state 0 or 1";
    case CellKind::MipiPair:
      return "a MIPI write ADDR,DATA of two hexadecimal numbers " + range_text(cell_type);
    case CellKind::Unused:
      return "X or empty (the sheet does not use this cell)";
  }
  return "text";
}

bool ascii_equal(std::u16string_view text, std::string_view word) {
  return text.size() == word.size() && std::equal(text.begin(), text.end(), word.begin(), [](char16_t a, char b) {
           return a == static_cast<unsigned char>(b);
         });
}

bool in_limits(const CellType& cell_type, int64_t v) { return v >= cell_min(cell_type) && v <= cell_max(cell_type); }

}  // namespace

int64_t cell_min(const CellType& cell_type) {
  int64_t lo = 0;
  if (cell_type.kind == CellKind::Dec && cell_type.is_signed && cell_type.bytes > 0 && cell_type.bytes <= 8)
    lo = cell_type.bytes >= 8 ? std::numeric_limits<int64_t>::min() : -(int64_t{1} << (8 * cell_type.bytes - 1));
  return std::max(lo, cell_type.min);
}

int64_t cell_max(const CellType& cell_type) {
  int64_t hi = 0;
  if (cell_type.bytes >= 8) {
    hi = std::numeric_limits<int64_t>::max();
  } else if (cell_type.bytes > 0) {
    const int bits = 8 * cell_type.bytes - (cell_type.kind == CellKind::Dec && cell_type.is_signed ? 1 : 0);
    hi = (int64_t{1} << bits) - 1;
  }
  return std::min(hi, cell_type.max);
}

std::string describe_cell(const CellType& cell_type) {
  std::string s = base_description(cell_type);
  if (cell_type.kind == CellKind::Unused || cell_type.kind == CellKind::Text) return s;
  if (cell_type.x_means_empty) s += ", or X";
  if (cell_type.blank_ok) s += ", or empty";
  return s;
}

std::optional<std::string> check_cell(const CellType& cell_type, std::u16string_view text) {
  const auto expected = [&] { return std::optional<std::string>("expected " + describe_cell(cell_type)); };
  if (text.empty()) return cell_type.blank_ok ? std::nullopt : expected();
  if (text == u"X" || text == u"x") return cell_type.x_means_empty ? std::nullopt : expected();
  switch (cell_type.kind) {
    case CellKind::Text:
      return std::nullopt;
    case CellKind::Dec: {
      const std::optional<int64_t> v = parse_dec(text);
      return v && in_limits(cell_type, *v) ? std::nullopt : expected();
    }
    case CellKind::Hex: {
      const std::optional<int64_t> v = parse_hex(text, 2u * cell_type.bytes);
      return v && in_limits(cell_type, *v) ? std::nullopt : expected();
    }
    case CellKind::Keyword:
      for (std::string_view word : cell_type.keywords)
        if (ascii_equal(text, word)) return std::nullopt;
      return expected();
    case CellKind::Line:
      return text == u"0" || text == u"1" ? std::nullopt : expected();
    case CellKind::MipiPair: {
      const size_t comma = text.find(u',');
      if (comma == std::u16string_view::npos) return expected();
      const std::optional<int64_t> addr = parse_hex(text.substr(0, comma), 2u * cell_type.bytes);
      const std::optional<int64_t> data = parse_hex(text.substr(comma + 1), 2u * cell_type.bytes);
      return addr && data && in_limits(cell_type, *addr) && in_limits(cell_type, *data) ? std::nullopt : expected();
    }
    case CellKind::Unused:
      return expected();
  }
  return expected();
}

}  // namespace calvex
