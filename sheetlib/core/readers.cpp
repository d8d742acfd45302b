#include "readers.h"

#include <climits>
#include <cmath>
#include <string>

#include "sink.h"
#include "text.h"

#if defined(_WIN32)
#include <windows.h>
#endif

namespace calvex {
namespace {

constexpr size_t kHexDigitsMax = 8;

// Removes every non-overlapping occurrence of pattern, scanning once from the left.
void remove_all(std::u16string& text, std::u16string_view pattern) {
  std::u16string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    if (text.compare(i, pattern.size(), pattern) == 0) {
      i += pattern.size();
    } else {
      out.push_back(text[i++]);
    }
  }
  text.swap(out);
}

int hex_digit_value(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

// The narrow text the C runtime's decimal parsers see: the thread's ANSI code
// page on Windows; elsewhere ASCII, with every other character replaced by a
// byte that ends a number.
std::string narrow_for_parsing(std::u16string_view text) {
#if defined(_WIN32)
  if (text.empty()) return {};
  const int wide_len = static_cast<int>(text.size());
  const wchar_t* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int needed = WideCharToMultiByte(CP_ACP, 0, wide, wide_len, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return {};
  std::string out(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide, wide_len, out.data(), needed, nullptr, nullptr);
  return out;
#else
  std::string out;
  out.reserve(text.size());
  for (char16_t c : text) out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
  return out;
#endif
}

bool is_c_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

struct ParsedDecimal {
  bool negative = false;
  uint64_t magnitude = 0;  // saturated at kMagnitudeCap
  bool overflow = false;   // more than fits below kMagnitudeCap
};

constexpr uint64_t kMagnitudeCap = 1ull << 40;

// Leading white space, an optional sign, then decimal digits.
ParsedDecimal parse_decimal(const std::string& text) {
  ParsedDecimal r;
  size_t i = 0;
  while (i < text.size() && is_c_space(text[i])) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    r.negative = text[i] == '-';
    ++i;
  }
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    if (!r.overflow) {
      r.magnitude = r.magnitude * 10 + static_cast<uint64_t>(text[i] - '0');
      if (r.magnitude >= kMagnitudeCap) r.overflow = true;
    }
  }
  return r;
}

}  // namespace

uint32_t ReadHex(std::u16string& text) {
  if (text.compare(0, 2, u"0x") == 0) {
    remove_all(text, u"0x");
  } else if (text.compare(0, 2, u"0X") == 0) {
    remove_all(text, u"0X");
  }
  const size_t n = text.size();
  if (n > kHexDigitsMax) {
    show(msg::kHexTooLong);
    return 0;
  }
  uint32_t sum = 0;
  for (size_t i = 0; i < n; ++i) {
    const int digit = hex_digit_value(text[i]);
    if (digit < 0) {
      show(msg::kNotHex);
      return 0;
    }
    const uint32_t weight = static_cast<uint32_t>(std::pow(16.0, static_cast<double>(n - 1 - i)));
    sum += weight * static_cast<uint32_t>(digit);
  }
  return sum;
}

int32_t ReadDec(std::u16string_view text) {
  const ParsedDecimal p = parse_decimal(narrow_for_parsing(text));
  if (p.negative) {
    if (p.overflow || p.magnitude > 2147483648ull) return INT32_MIN;
    return static_cast<int32_t>(-static_cast<int64_t>(p.magnitude));
  }
  if (p.overflow || p.magnitude > 2147483647ull) return INT32_MAX;
  return static_cast<int32_t>(p.magnitude);
}

uint32_t ReadDecUnsigned(std::u16string_view text) {
  const ParsedDecimal p = parse_decimal(narrow_for_parsing(text));
  if (p.overflow || p.magnitude > 0xFFFFFFFFull) return 0xFFFFFFFFu;
  const uint32_t value = static_cast<uint32_t>(p.magnitude);
  return p.negative ? static_cast<uint32_t>(0u - value) : value;
}

bool is_x_mark(std::u16string_view text) { return text == u"x" || text == u"X"; }

int32_t ReadDecOrX(std::u16string_view text) {
  const std::u16string compact = remove_spaces(text);
  if (is_x_mark(compact)) return 0;
  return ReadDec(compact);
}

uint32_t ReadHexOrX(std::u16string_view text) {
  std::u16string compact = remove_spaces(text);
  if (is_x_mark(compact)) return 0;
  return ReadHex(compact);
}

uint16_t ReadTruthRow(std::span<const std::u16string> row) {
  uint16_t mask = 0;
  for (size_t i = 0; i < kTruthRowCells && i < row.size(); ++i) {
    const std::u16string cell = remove_spaces(row[i]);
    if (cell == u"1") {
      mask = static_cast<uint16_t>(mask | (1u << i));
    } else if (cell != u"0" && !is_x_mark(cell)) {
      show(msg::kBadTruthCell);
    }
  }
  return mask;
}

}  // namespace calvex
