// Cell readers, driven from tables: text, expected value, expected messages.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calvex.h"
#include "message_log.h"
#include "readers.h"
#include "text.h"

namespace {

using calvex::to_utf8;

const std::string kTooLong = "字符长度超过8！";
const std::string kNotHex = "非16进制数！";
const std::string kBadTruth = "真值表输入有误，请确认值是否为'0'、'1'、'X'！";

struct HexCase {
  std::u16string text;
  uint32_t value;
  std::vector<std::string> messages;
  const char* rule;
};

TEST(ReadHex, Table) {
  const HexCase cases[] = {
      {u"0x1F", 31, {}, "lower-case prefix"},
      {u"0X1f", 31, {}, "upper-case prefix, mixed-case digits"},
      {u"1F", 31, {}, "no prefix"},
      {u"0x", 0, {}, "prefix alone leaves nothing: 0, silent"},
      {u"", 0, {}, "empty: 0, silent"},
      {u"0x0x12", 18, {}, "every lower-case prefix is removed"},
      {u"0X0x12", 0, {kNotHex}, "only the upper-case prefix is removed; x remains"},
      {u"123456789", 0, {kTooLong}, "nine digits"},
      {u"0x12345678", 0x12345678, {}, "eight digits after the prefix"},
      {u"0x123456789", 0, {kTooLong}, "nine digits after the prefix"},
      {u" 12", 0, {kNotHex}, "leading space"},
      {u"FFFFFFFF", 4294967295u, {}, "largest value"},
      {u"ffffffff", 4294967295u, {}, "lower-case digits"},
      {u"0", 0, {}, "zero"},
      {u"-1", 0, {kNotHex}, "a sign is not a digit"},
      {u"12G", 0, {kNotHex}, "bad digit at the end discards the sum"},
      {u"１２", 0, {kNotHex}, "full-width digits are not hexadecimal"},
      {u"00xx12", 0, {kNotHex}, "one left-to-right pass: 0x removed once, an x remains"},
  };
  for (const HexCase& c : cases) {
    SCOPED_TRACE(std::string(c.rule) + ": '" + to_utf8(c.text) + "'");
    calvex_test::MessageLog capture;
    std::u16string copy = c.text;
    EXPECT_EQ(calvex::ReadHex(copy), c.value);
    EXPECT_EQ(capture.texts(), c.messages);
  }
}

TEST(ReadHex, ChangesTheCallersCopy) {
  std::u16string text = u"0x0x12";
  calvex::ReadHex(text);
  EXPECT_EQ(text, u"12");
}

struct DecCase {
  std::u16string text;
  int32_t value;
  const char* rule;
};

TEST(ReadDec, Table) {
  const DecCase cases[] = {
      {u" -42", -42, "leading space, minus"},
      {u"+7", 7, "plus sign"},
      {u"3.9", 3, "digits up to the first other character"},
      {u"12abc", 12, "trailing text ignored"},
      {u"abc", 0, "no digits"},
      {u"", 0, "empty"},
      {u"\t\n 5", 5, "C white space"},
      {u"- 5", 0, "sign must touch the digits"},
      {u"--5", 0, "one sign only"},
      {u"2147483647", 2147483647, "largest value"},
      {u"2147483648", 2147483647, "saturates above"},
      {u"-2147483648", -2147483647 - 1, "smallest value"},
      {u"-2147483649", -2147483647 - 1, "saturates below"},
      {u"99999999999999999999999", 2147483647, "very long digit runs saturate"},
      {u"00012", 12, "leading zeros"},
      {u"１２", 0, "non-ASCII characters end the number"},
      {u"12３", 12, "a non-ASCII digit ends the number"},
  };
  for (const DecCase& c : cases) {
    SCOPED_TRACE(std::string(c.rule) + ": '" + to_utf8(c.text) + "'");
    EXPECT_EQ(calvex::ReadDec(c.text), c.value);
  }
}

TEST(ReadDecUnsigned, Table) {
  const struct {
    std::u16string text;
    uint32_t value;
    const char* rule;
  } cases[] = {
      {u"4294967295", 4294967295u, "largest value"},
      {u"4294967296", 4294967295u, "above saturates"},
      {u"123456789012345", 4294967295u, "far above saturates"},
      {u"-1", 4294967295u, "minus negates modulo 2^32"},
      {u"-4294967295", 1u, "minus of the largest value"},
      {u"-4294967296", 4294967295u, "overflow with minus saturates"},
      {u" 10x", 10u, "white space and trailing text"},
      {u"x", 0u, "no digits"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.rule) + ": '" + to_utf8(c.text) + "'");
    EXPECT_EQ(calvex::ReadDecUnsigned(c.text), c.value);
  }
}

TEST(ReadDecOrX, Table) {
  const DecCase cases[] = {
      {u"X", 0, "placeholder"},
      {u"x", 0, "lower-case placeholder"},
      {u" 1 2", 12, "spaces removed before reading"},
      {u"-5", -5, "negative"},
      {u" X ", 0, "placeholder with spaces"},
      {u"XX", 0, "not a placeholder, no digits"},
      {u"- 5", -5, "spaces removed between sign and digits"},
  };
  for (const DecCase& c : cases) {
    SCOPED_TRACE(std::string(c.rule) + ": '" + to_utf8(c.text) + "'");
    EXPECT_EQ(calvex::ReadDecOrX(c.text), c.value);
  }
}

TEST(ReadHexOrX, Table) {
  const HexCase cases[] = {
      {u"x", 0, {}, "placeholder is silent"},
      {u"X", 0, {}, "upper-case placeholder"},
      {u"0x 1F", 31, {}, "space after the prefix removed first"},
      {u"G", 0, {kNotHex}, "not hexadecimal"},
      {u" 1 2 ", 0x12, {}, "spaces removed"},
  };
  for (const HexCase& c : cases) {
    SCOPED_TRACE(std::string(c.rule) + ": '" + to_utf8(c.text) + "'");
    calvex_test::MessageLog capture;
    EXPECT_EQ(calvex::ReadHexOrX(c.text), c.value);
    EXPECT_EQ(capture.texts(), c.messages);
  }
}

TEST(ReadTruthRow, MaskFromOnesAndPlaceholders) {
  const std::vector<std::u16string> row = {u"1", u" 1 ", u"0", u"X", u"x", u"1", u"0", u"0", u"0", u"0", u"0"};
  calvex_test::MessageLog capture;
  EXPECT_EQ(calvex::ReadTruthRow(row), 0x23);
  EXPECT_TRUE(capture.texts().empty());
}

TEST(ReadTruthRow, EachBadCellReportedOnceAndCountsAsClear) {
  const std::vector<std::u16string> row = {u"2", u"1", u"", u"0", u"0", u"0", u"0", u"0", u"0", u"0", u"11"};
  calvex_test::MessageLog capture;
  EXPECT_EQ(calvex::ReadTruthRow(row), 0x2);
  EXPECT_EQ(capture.texts(), (std::vector<std::string>{kBadTruth, kBadTruth, kBadTruth}));
}

TEST(ReadTruthRow, AllOnesUsesElevenBits) {
  const std::vector<std::u16string> row(11, u"1");
  EXPECT_EQ(calvex::ReadTruthRow(row), 0x7FF);
}

}  // namespace
