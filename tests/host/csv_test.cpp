// The host's sheet files: encodings, CSV records, and shape checks.
#include <gtest/gtest.h>

#include "catalogue.h"
#include "csv.h"

namespace {

using namespace calvex_host;

std::vector<uint8_t> bytes_of(std::string_view s) { return std::vector<uint8_t>(s.begin(), s.end()); }

TEST(SheetFileText, Encodings) {
  const std::string expected = "#range,温度\r\n1\r\n";
  EXPECT_EQ(decode_text(bytes_of(expected)), expected) << "UTF-8";
  EXPECT_EQ(decode_text(bytes_of("\xEF\xBB\xBF" + expected)), expected) << "UTF-8 with BOM";
  // "温度" in GB18030 is CE C2 B6 C8.
  EXPECT_EQ(decode_text(bytes_of("#range,\xCE\xC2\xB6\xC8\r\n1\r\n")), expected) << "GB18030";
  std::vector<uint8_t> le = {0xFF, 0xFE}, be = {0xFE, 0xFF};
  const std::u16string wide = u"#range,温度\r\n1\r\n";
  for (char16_t c : wide) {
    le.push_back(static_cast<uint8_t>(c));
    le.push_back(static_cast<uint8_t>(c >> 8));
    be.push_back(static_cast<uint8_t>(c >> 8));
    be.push_back(static_cast<uint8_t>(c));
  }
  EXPECT_EQ(decode_text(le), expected) << "UTF-16 LE";
  EXPECT_EQ(decode_text(be), expected) << "UTF-16 BE";
  EXPECT_THROW(decode_text({0xFF, 0xFE, 0x41}), FormatError) << "odd UTF-16 length";
  EXPECT_THROW(decode_text(bytes_of("\xEF\xBB\xBF\xFF")), FormatError) << "BOM then invalid UTF-8";
}

TEST(SheetFileText, Rfc4180Records) {
  const auto rows = parse_csv("a,\"b,c\",\"d\"\"e\"\r\n\"multi\nline\",x\n\nlast");
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].fields, (std::vector<std::string>{"a", "b,c", "d\"e"}));
  EXPECT_EQ(rows[1].fields, (std::vector<std::string>{"multi\nline", "x"}));
  EXPECT_EQ(rows[1].line, 2u);
  EXPECT_EQ(rows[2].fields, (std::vector<std::string>{""}));
  EXPECT_EQ(rows[2].line, 4u) << "line numbers count the newline inside the quoted field";
  EXPECT_EQ(rows[3].fields, (std::vector<std::string>{"last"}));
  EXPECT_THROW(parse_csv("\"open"), FormatError);
  EXPECT_THROW(parse_csv("a\"b"), FormatError);
  EXPECT_EQ(csv_field("plain"), "plain");
  EXPECT_EQ(csv_field("a,b"), "\"a,b\"");
  EXPECT_EQ(csv_field("say \"x\""), "\"say \"\"x\"\"\"");
}

std::string temp_dac_file(int rows, const std::string& extra = "", const std::string& marker_extra = "") {
  std::string s = "#sheet,TempDacTab\r\n#range,TempDac" + marker_extra + "\r\n";
  for (int i = 0; i < rows; ++i) s += std::to_string(100 + i) + extra + "\r\n";
  return s;
}

TEST(SheetFile, ReadsRangesInShape) {
  const SheetEntry* e = find_sheet("tempdactab");
  ASSERT_NE(e, nullptr) << "names are case-insensitive";
  const RangeCells cells = parse_sheet_file(*e, temp_dac_file(27));
  ASSERT_EQ(cells.size(), 1u);
  ASSERT_EQ(cells[0].size(), 27u);
  EXPECT_EQ(cells[0][26], "126");
  // Spreadsheets pad rows with empty fields; trailing empty rows are ignored.
  EXPECT_EQ(parse_sheet_file(*e, temp_dac_file(27, ",,", ",,") + ",,\r\n\r\n"), cells);
  // The sheet file written for the cells reads back as the same cells.
  EXPECT_EQ(parse_sheet_file(*e, format_sheet_file(*e, cells)), cells);
}

TEST(SheetFile, WrongShapesNameTheLine) {
  const SheetEntry* e = find_sheet("TempDacTab");
  ASSERT_NE(e, nullptr);
  const struct {
    std::string text;
    size_t line;
    const char* rule;
  } cases[] = {
      {temp_dac_file(26), 29, "a row short: reported after the last row"},
      {temp_dac_file(28), 30, "a row too many"},
      {temp_dac_file(27, ",5"), 3, "a second non-empty column"},
      {"#sheet,TempDacTab\r\n1\r\n", 2, "cells before the first marker"},
      {"#sheet,TempDacTab\r\n#range,Other\r\n", 2, "unknown range"},
      {"#sheet,GsmTmpComp\r\n", 1, "another sheet's file"},
      {"#sheet,TempDacTab\r\n", 2, "range missing"},
      {temp_dac_file(27) + "#range,TempDac\r\n", 30, "range twice"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rule);
    try {
      parse_sheet_file(*e, c.text);
      ADD_FAILURE() << "accepted";
    } catch (const FormatError& err) {
      EXPECT_EQ(err.line(), c.line) << err.what();
    }
  }
}

TEST(SheetFile, QuotedFieldsKeepSpecialCharacters) {
  const SheetEntry* e = find_sheet("TempDacTab");
  ASSERT_NE(e, nullptr);
  RangeCells cells{std::vector<std::string>(27, "1")};
  cells[0][0] = "#range";
  cells[0][1] = "a,\"b\"";
  cells[0][2] = "";
  const std::string text = format_sheet_file(*e, cells);
  EXPECT_EQ(parse_sheet_file(*e, text)[0][1], "a,\"b\"");
  EXPECT_EQ(parse_sheet_file(*e, text)[0][2], "");
}

TEST(Catalogue, EveryEntryIsConsistent) {
  for (const SheetEntry* e : all_sheets()) {
    SCOPED_TRACE(e->name);
    EXPECT_EQ(find_sheet(e->name), e) << "names are unique";
    EXPECT_TRUE(e->write != nullptr || e->write_with_back != nullptr);
    EXPECT_FALSE(e->ranges.empty());
    for (const RangeShape& s : e->ranges) EXPECT_GT(s.rows * s.cols, 0) << s.name;
    for (const ReadRun& run : e->read_runs) {
      ASSERT_GE(run.range, 0);
      ASSERT_LT(static_cast<size_t>(run.range), e->ranges.size());
      const RangeShape& s = e->ranges[static_cast<size_t>(run.range)];
      EXPECT_GE(run.first, 0);
      EXPECT_LT(run.first + (run.count - 1) * run.step, s.rows * s.cols) << "run stays inside " << s.name;
    }
  }
}

}  // namespace
