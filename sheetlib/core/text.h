// Text helpers of the sheet code: formatting values into cell texts and
// converting between the library's UTF-16 texts and narrow texts.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace calvex {

// Widens an ASCII (or UTF-8) text; malformed UTF-8 becomes U+FFFD (utf.h).
std::u16string widen(std::string_view utf8);

// UTF-8 form of a UTF-16 text; unpaired surrogates become U+FFFD.
std::string to_utf8(std::u16string_view text);

// printf-style formatting into a UTF-16 text ("%d", "0x%x", "%02X", ...).
std::u16string format_text(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

// "%d" of a value.
std::u16string dec_text(int64_t value);

// "0x%x" of a value (lower-case hexadecimal).
std::u16string hex_text(uint32_t value);

// The text with every space character (U+0020) removed.
std::u16string remove_spaces(std::u16string_view text);

}  // namespace calvex
