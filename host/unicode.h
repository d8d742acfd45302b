// UTF-8 and UTF-16 conversions of the host (sheet files are UTF-8 inside,
// the library speaks UTF-16): the library's one codec (sheetlib/core/utf.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "utf.h"

namespace calvex_host {

// Appends one code point as UTF-8.
inline void append_utf8(std::string& out, uint32_t code_point) { calvex::utf::append_utf8(out, code_point); }

// True if s is well-formed UTF-8 (no overlong forms, no surrogates).
inline bool is_valid_utf8(std::string_view s) { return calvex::utf::is_valid_utf8(s); }

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
inline std::string utf8_from_utf16(std::u16string_view text) { return calvex::utf::utf8_from_utf16(text); }

// UTF-8 to UTF-16; malformed sequences become U+FFFD.
inline std::u16string utf16_from_utf8(std::string_view text) { return calvex::utf::utf16_from_utf8(text); }

}  // namespace calvex_host
