// The one UTF-8 / UTF-16 codec of the library and the host, header-only.
//
// Decoding is strict: a sequence that is cut short, overlong (a code point
// in more bytes than it needs), a surrogate (U+D800..U+DFFF) or beyond
// U+10FFFF is malformed. The converting functions replace what they cannot
// convert with U+FFFD: one per malformed UTF-8 lead byte (decoding goes on
// at the next byte), one per unpaired UTF-16 surrogate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace calvex::utf {

inline constexpr char32_t kReplacement = 0xFFFD;
inline constexpr char32_t kMaxCodePoint = 0x10FFFF;
inline constexpr char32_t kFirstSupplementary = 0x10000;  // the first code point of a surrogate pair
inline constexpr char32_t kHighSurrogateFirst = 0xD800;
inline constexpr char32_t kLowSurrogateFirst = 0xDC00;
inline constexpr char32_t kSurrogateLast = 0xDFFF;
inline constexpr unsigned kSurrogatePayloadBits = 10;

constexpr bool is_surrogate(char32_t unit) { return unit >= kHighSurrogateFirst && unit <= kSurrogateLast; }
constexpr bool is_high_surrogate(char32_t unit) { return unit >= kHighSurrogateFirst && unit < kLowSurrogateFirst; }
constexpr bool is_low_surrogate(char32_t unit) { return unit >= kLowSurrogateFirst && unit <= kSurrogateLast; }

// The code point of a high and a low surrogate.
constexpr char32_t combine_surrogates(char32_t high, char32_t low) {
  return kFirstSupplementary + ((high - kHighSurrogateFirst) << kSurrogatePayloadBits) + (low - kLowSurrogateFirst);
}

// Decodes the UTF-8 sequence at s[at] into cp; returns its length in bytes
// (1 to 4), or 0 when it is malformed (cp is then unspecified).
constexpr size_t decode_utf8(std::string_view s, size_t at, char32_t& cp) {
  const unsigned char lead = static_cast<unsigned char>(s[at]);
  size_t length = 0;
  if (lead < 0x80) {
    cp = lead;
    return 1;
  } else if ((lead & 0xE0) == 0xC0) {
    length = 2;
    cp = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3;
    cp = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4;
    cp = lead & 0x07;
  } else {
    return 0;  // a continuation byte or an invalid lead byte
  }
  if (length > s.size() - at) return 0;
  for (size_t k = 1; k < length; ++k) {
    const unsigned char next = static_cast<unsigned char>(s[at + k]);
    if ((next & 0xC0) != 0x80) return 0;
    cp = (cp << 6) | (next & 0x3F);
  }
  const char32_t shortest_min = length == 2 ? 0x80 : length == 3 ? 0x800 : kFirstSupplementary;
  if (cp < shortest_min || cp > kMaxCodePoint || is_surrogate(cp)) return 0;
  return length;
}

// True if s is well-formed UTF-8.
constexpr bool is_valid_utf8(std::string_view s) {
  for (size_t at = 0; at < s.size();) {
    char32_t cp = 0;
    const size_t length = decode_utf8(s, at, cp);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

// Appends a code point (at most kMaxCodePoint, no surrogate) as UTF-8.
inline void append_utf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out.push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < kFirstSupplementary) {
    out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Appends a code point (at most kMaxCodePoint, no surrogate) as UTF-16.
inline void append_utf16(std::u16string& out, char32_t cp) {
  if (cp >= kFirstSupplementary) {
    cp -= kFirstSupplementary;
    out.push_back(static_cast<char16_t>(kHighSurrogateFirst + (cp >> kSurrogatePayloadBits)));
    out.push_back(static_cast<char16_t>(kLowSurrogateFirst + (cp & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(cp));
  }
}

// UTF-8 to UTF-16; each malformed lead byte becomes U+FFFD.
inline std::u16string utf16_from_utf8(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    char32_t cp = 0;
    size_t length = decode_utf8(text, at, cp);
    if (length == 0) {
      cp = kReplacement;
      length = 1;
    }
    append_utf16(out, cp);
    at += length;
  }
  return out;
}

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
inline std::string utf8_from_utf16(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t at = 0; at < text.size(); ++at) {
    char32_t cp = text[at];
    if (is_high_surrogate(cp) && at + 1 < text.size() && is_low_surrogate(text[at + 1])) {
      cp = combine_surrogates(cp, text[at + 1]);
      ++at;
    } else if (is_surrogate(cp)) {
      cp = kReplacement;
    }
    append_utf8(out, cp);
  }
  return out;
}

}  // namespace calvex::utf
