// UTF-8 and UTF-16 conversions of the host (sheet files are UTF-8 inside,
// the library speaks UTF-16).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace calvex_host {

// Appends one code point as UTF-8.
void append_utf8(std::string& out, uint32_t code_point);

// True if s is well-formed UTF-8 (no overlong forms, no surrogates).
bool is_valid_utf8(std::string_view s);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string utf8_from_utf16(std::u16string_view text);

// UTF-8 to UTF-16; malformed sequences become U+FFFD.
std::u16string utf16_from_utf8(std::string_view text);

}  // namespace calvex_host
