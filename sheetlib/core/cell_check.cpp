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

std::string range_text(const CellSpec& spec) {
  const int64_t lo = cell_min(spec);
  const int64_t hi = cell_max(spec);
  if (spec.kind == CellKind::Hex || spec.kind == CellKind::MipiPair) return hex_text(lo) + ".." + hex_text(hi);
  return std::to_string(lo) + ".." + std::to_string(hi);
}

std::string base_description(const CellSpec& spec) {
  switch (spec.kind) {
    case CellKind::Text:
      return "text";
    case CellKind::Dec:
      return "a decimal integer " + range_text(spec);
    case CellKind::Hex:
      return "a hexadecimal number " + range_text(spec) + " (\"0x\" optional)";
    case CellKind::Keyword: {
      std::string s = spec.keywords.size() == 1 ? "the keyword " : "one of ";
      for (size_t i = 0; i < spec.keywords.size(); ++i) {
        if (i > 0) s += ", ";
        s += '\'';
        s += spec.keywords[i];
        s += '\'';
      }
      return s;
    }
    case CellKind::Line:
      return "a line state 0 or 1";
    case CellKind::MipiPair:
      return "a MIPI write ADDR,DATA of two hexadecimal numbers " + range_text(spec);
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

bool in_limits(const CellSpec& spec, int64_t v) { return v >= cell_min(spec) && v <= cell_max(spec); }

}  // namespace

int64_t cell_min(const CellSpec& spec) {
  int64_t lo = 0;
  if (spec.kind == CellKind::Dec && spec.is_signed && spec.bytes > 0 && spec.bytes <= 8)
    lo = spec.bytes >= 8 ? std::numeric_limits<int64_t>::min() : -(int64_t{1} << (8 * spec.bytes - 1));
  return std::max(lo, spec.min);
}

int64_t cell_max(const CellSpec& spec) {
  int64_t hi = 0;
  if (spec.bytes >= 8) {
    hi = std::numeric_limits<int64_t>::max();
  } else if (spec.bytes > 0) {
    const int bits = 8 * spec.bytes - (spec.kind == CellKind::Dec && spec.is_signed ? 1 : 0);
    hi = (int64_t{1} << bits) - 1;
  }
  return std::min(hi, spec.max);
}

std::string describe_cell(const CellSpec& spec) {
  std::string s = base_description(spec);
  if (spec.kind == CellKind::Unused || spec.kind == CellKind::Text) return s;
  if (spec.x_means_empty) s += ", or X";
  if (spec.blank_ok) s += ", or empty";
  return s;
}

std::optional<std::string> check_cell(const CellSpec& spec, std::u16string_view text) {
  const auto expected = [&] { return std::optional<std::string>("expected " + describe_cell(spec)); };
  if (text.empty()) return spec.blank_ok ? std::nullopt : expected();
  if (text == u"X" || text == u"x") return spec.x_means_empty ? std::nullopt : expected();
  switch (spec.kind) {
    case CellKind::Text:
      return std::nullopt;
    case CellKind::Dec: {
      const std::optional<int64_t> v = parse_dec(text);
      return v && in_limits(spec, *v) ? std::nullopt : expected();
    }
    case CellKind::Hex: {
      const std::optional<int64_t> v = parse_hex(text, 2u * spec.bytes);
      return v && in_limits(spec, *v) ? std::nullopt : expected();
    }
    case CellKind::Keyword:
      for (std::string_view word : spec.keywords)
        if (ascii_equal(text, word)) return std::nullopt;
      return expected();
    case CellKind::Line:
      return text == u"0" || text == u"1" ? std::nullopt : expected();
    case CellKind::MipiPair: {
      const size_t comma = text.find(u',');
      if (comma == std::u16string_view::npos) return expected();
      const std::optional<int64_t> addr = parse_hex(text.substr(0, comma), 2u * spec.bytes);
      const std::optional<int64_t> data = parse_hex(text.substr(comma + 1), 2u * spec.bytes);
      return addr && data && in_limits(spec, *addr) && in_limits(spec, *data) ? std::nullopt : expected();
    }
    case CellKind::Unused:
      return expected();
  }
  return expected();
}

}  // namespace calvex
