#include "text.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "utf.h"

namespace calvex {

std::u16string widen(std::string_view utf8) { return utf::utf16_from_utf8(utf8); }

std::string to_utf8(std::u16string_view text) { return utf::utf8_from_utf16(text); }

std::u16string format_text(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list copy;
  va_copy(copy, args);
  const int needed = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  std::string narrow;
  if (needed > 0) {
    std::vector<char> buf(static_cast<size_t>(needed) + 1);
    std::vsnprintf(buf.data(), buf.size(), fmt, args);
    narrow.assign(buf.data(), static_cast<size_t>(needed));
  }
  va_end(args);
  return widen(narrow);
}

std::u16string dec_text(int64_t value) { return format_text("%lld", static_cast<long long>(value)); }

std::u16string hex_text(uint32_t value) { return format_text("0x%lx", static_cast<unsigned long>(value)); }

std::u16string remove_spaces(std::u16string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c != u' ') out.push_back(c);
  }
  return out;
}

}  // namespace calvex
