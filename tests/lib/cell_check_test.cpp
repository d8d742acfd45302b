// The cell kinds' strict rules (cell_check.h): one row per rule, and the
// texts that say what a cell should hold.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "cell_check.h"
#include "sheet_def.h"
#include "unicode.h"

namespace {

using calvex::CellType;

struct CellCase {
  CellType cell_type;
  const char* text;
  bool ok;
  const char* rule;
};

constexpr std::string_view kWords[] = {"open", "MIPI MODE"};

TEST(CheckCell, FollowsTheStrictRules) {
  const CellCase cases[] = {
      {calvex::dec(2, true), "-32768", true, "signed 16-bit minimum"},
      {calvex::dec(2, true), "32767", true, "signed 16-bit maximum"},
      {calvex::dec(2, true), "32768", false, "beyond the signed width"},
      {calvex::dec(2, true), "+7", true, "a plus sign"},
      {calvex::dec(2, false), "65535", true, "unsigned 16-bit maximum"},
      {calvex::dec(2, false), "-1", false, "negative in an unsigned field"},
      {calvex::dec(2, false), "99999", false, "beyond the unsigned width"},
      {calvex::dec(4, true), "1,600", false, "thousands separator"},
      {calvex::dec(4, true), "2.0E+01", false, "exponent"},
      {calvex::dec(4, true), " 5", false, "leading blank"},
      {calvex::dec(4, true), "5 ", false, "trailing blank"},
      {calvex::dec(4, true), "abc", false, "no digits"},
      {calvex::dec(4, true), "-", false, "a sign alone"},
      {calvex::dec(4, true), "", false, "blank where blank means nothing"},
      {calvex::dec(4, true), "X", false, "X where X means nothing"},
      {calvex::dec(4, false), "4294967295", true, "unsigned 32-bit maximum"},
      {calvex::dec(4, false), "99999999999999999999999", false, "far beyond any width"},
      {calvex::in_range(calvex::dec(2, false), 1, 8191), "0", false, "below min"},
      {calvex::in_range(calvex::dec(2, false), 1, 8191), "8191", true, "max"},
      {calvex::in_range(calvex::dec(2, false), 1, 8191), "8192", false, "above max"},
      {calvex::or_x(calvex::dec(2, true)), "x", true, "x where allowed"},
      {calvex::or_blank(calvex::dec(2, true)), "", true, "blank where allowed"},
      {calvex::hex(2), "0xFFFF", true, "hex of the full width"},
      {calvex::hex(2), "ffff", true, "hex without prefix"},
      {calvex::hex(2), "0x10000", false, "hex beyond the width"},
      {calvex::hex(2), "0x", false, "prefix alone"},
      {calvex::hex(2), "0x1g", false, "not a hex digit"},
      {calvex::hex(4), "0x0x12", false, "a second prefix"},
      {calvex::hex(4), "-1", false, "a sign"},
      {calvex::in_range(calvex::hex(4), 0, 0xFFFFF), "0x100000", false, "above max"},
      {calvex::keyword(kWords), "open", true, "keyword"},
      {calvex::keyword(kWords), "Open", false, "keyword in another case"},
      {calvex::keyword(kWords), " open", false, "keyword with a blank"},
      {calvex::keyword(kWords), "MIPI MODE", true, "keyword with its own blank"},
      {calvex::keyword(kWords), "", false, "blank keyword not allowed"},
      {calvex::keyword(kWords, true), "", true, "blank keyword allowed"},
      {calvex::line_cell(), "1", true, "line high"},
      {calvex::line_cell(), "X", true, "line undriven"},
      {calvex::line_cell(), "2", false, "not a line state"},
      {calvex::line_cell(), "", false, "blank line"},
      {calvex::mipi_pair(1), "0x1c,0x38", true, "MIPI pair"},
      {calvex::mipi_pair(1), "1c,38", true, "MIPI pair without prefixes"},
      {calvex::mipi_pair(1), "0x1c", false, "MIPI pair without data"},
      {calvex::mipi_pair(1), "0x1c,0x138", false, "MIPI data beyond a byte"},
      {calvex::unused(), "X", true, "unused cell X"},
      {calvex::unused(), "", true, "unused cell blank"},
      {calvex::unused(), "0", false, "a value in an unused cell"},
      {calvex::text(), "anything, really", true, "free text"},
  };
  for (const CellCase& c : cases) {
    const auto problem = calvex::check_cell(c.cell_type, calvex_host::utf16_from_utf8(c.text));
    EXPECT_EQ(!problem, c.ok) << "'" << c.text << "': " << c.rule << (problem ? " -> " + *problem : "");
  }
}

TEST(CheckCell, SaysWhatWasExpected) {
  EXPECT_EQ(calvex::check_cell(calvex::in_range(calvex::dec(2, false), 1, 8191), u"0"),
            std::optional<std::string>("expected a decimal integer 1..8191"));
  EXPECT_EQ(calvex::check_cell(calvex::or_x(calvex::dec(2, true)), u"a"),
            std::optional<std::string>("expected a decimal integer -32768..32767, or X"));
  EXPECT_EQ(calvex::describe_cell(calvex::keyword(kWords, true)), "one of 'open', 'MIPI MODE', or empty");
}

}  // namespace
