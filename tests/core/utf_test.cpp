// The UTF-8 / UTF-16 codec (utf.h): known answers at every sequence length's
// edges, and each malformed form replaced, not decoded.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "utf.h"

namespace {

using calvex::utf::utf16_from_utf8;
using calvex::utf::utf8_from_utf16;

struct Known {
  std::string_view utf8;
  std::u16string_view utf16;
  const char* rule;
};

TEST(Utf, KnownAnswersBothWays) {
  const Known cases[] = {
      {"", u"", "empty"},
      {"A", u"A", "ASCII"},
      {"\x7F", u"\x7F", "last one-byte code point"},
      {"\xC2\x80", u"\x0080", "first two-byte code point"},
      {"\xDF\xBF", u"\x07FF", "last two-byte code point"},
      {"\xE0\xA0\x80", u"\x0800", "first three-byte code point"},
      {"\xED\x9F\xBF", u"\xD7FF", "last code point below the surrogates"},
      {"\xEE\x80\x80", u"\xE000", "first code point above the surrogates"},
      {"\xEF\xBF\xBF", u"\xFFFF", "last three-byte code point"},
      {"\xF0\x90\x80\x80", u"\xD800\xDC00", "first supplementary code point: a surrogate pair"},
      {"\xF4\x8F\xBF\xBF", u"\xDBFF\xDFFF", "last code point"},
      {"修改完成！", u"修改完成！", "the catalogue's texts"},
  };
  for (const Known& c : cases) {
    EXPECT_EQ(utf16_from_utf8(c.utf8), c.utf16) << c.rule;
    EXPECT_EQ(utf8_from_utf16(c.utf16), c.utf8) << c.rule;
    EXPECT_TRUE(calvex::utf::is_valid_utf8(c.utf8)) << c.rule;
  }
}

TEST(Utf, MalformedUtf8BecomesOneReplacementPerLeadByte) {
  const Known cases[] = {
      {"\xC0\x80", u"\xFFFD\xFFFD", "overlong NUL"},
      {"\xC1\xBF", u"\xFFFD\xFFFD", "overlong two-byte form of U+007F"},
      {"\xE0\x9F\xBF", u"\xFFFD\xFFFD\xFFFD", "overlong three-byte form of U+07FF"},
      {"\xF0\x8F\xBF\xBF", u"\xFFFD\xFFFD\xFFFD\xFFFD", "overlong four-byte form of U+FFFF"},
      {"\xED\xA0\x80", u"\xFFFD\xFFFD\xFFFD", "an encoded high surrogate"},
      {"\xED\xBF\xBF", u"\xFFFD\xFFFD\xFFFD", "an encoded low surrogate"},
      {"\xF4\x90\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD", "beyond U+10FFFF"},
      {"\xF8\x88\x80\x80\x80", u"\xFFFD\xFFFD\xFFFD\xFFFD\xFFFD", "a five-byte lead"},
      {"\x80", u"\xFFFD", "a stray continuation byte"},
      {"\xE4\xBF", u"\xFFFD\xFFFD", "a sequence cut short at the end"},
      {"\xE4" "A", u"\xFFFD" "A", "a sequence cut short by ASCII"},
      {"A\xFF" "B", u"A\xFFFD" "B", "an invalid byte between ASCII"},
  };
  for (const Known& c : cases) {
    EXPECT_EQ(utf16_from_utf8(c.utf8), c.utf16) << c.rule;
    EXPECT_FALSE(calvex::utf::is_valid_utf8(c.utf8)) << c.rule;
  }
}

TEST(Utf, UnpairedSurrogatesBecomeReplacements) {
  const Known cases[] = {
      {"\xEF\xBF\xBD", u"\xD800", "a lone high surrogate"},
      {"\xEF\xBF\xBD", u"\xDC00", "a lone low surrogate"},
      {"\xEF\xBF\xBD\xEF\xBF\xBD", u"\xDC00\xD800", "a low before a high"},
      {"\xEF\xBF\xBD" "A", u"\xD800" "A", "a high surrogate before ASCII"},
  };
  for (const Known& c : cases) EXPECT_EQ(utf8_from_utf16(c.utf16), c.utf8) << c.rule;
}

}  // namespace
