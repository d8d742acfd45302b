// The host's sheet files: encodings, separators, CSV records, shape checks,
// cell positions, and the memory a huge input takes.
#include "csv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <new>
#include <random>

#include "catalogue.h"
#include "temp_dir.h"

// Every allocation of this test program is counted, so that a test can see the
// most memory held at once while the code under test runs.
namespace allocation_count {

std::atomic<size_t> live_bytes{0};
std::atomic<size_t> peak_bytes{0};
// Keeps the block's size in front of it, at the alignment operator new gives.
constexpr size_t kHeaderBytes = alignof(std::max_align_t);

void* allocate(size_t size) noexcept {
  void* block = std::malloc(size + kHeaderBytes);
  if (block == nullptr) return nullptr;
  *static_cast<size_t*>(block) = size;
  const size_t now = live_bytes.fetch_add(size) + size;
  size_t peak = peak_bytes.load();
  while (now > peak && !peak_bytes.compare_exchange_weak(peak, now)) {
  }
  return static_cast<char*>(block) + kHeaderBytes;
}

void release(void* p) noexcept {
  if (p == nullptr) return;
  void* block = static_cast<char*>(p) - kHeaderBytes;
  live_bytes.fetch_sub(*static_cast<size_t*>(block));
  std::free(block);
}

void* allocate_or_throw(size_t size) {
  if (void* p = allocate(size)) return p;
  throw std::bad_alloc();
}

}  // namespace allocation_count

void* operator new(size_t size) { return allocation_count::allocate_or_throw(size); }
void* operator new[](size_t size) { return allocation_count::allocate_or_throw(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return allocation_count::allocate(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return allocation_count::allocate(size); }
void operator delete(void* p) noexcept { allocation_count::release(p); }
void operator delete[](void* p) noexcept { allocation_count::release(p); }
void operator delete(void* p, size_t) noexcept { allocation_count::release(p); }
void operator delete[](void* p, size_t) noexcept { allocation_count::release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { allocation_count::release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { allocation_count::release(p); }

namespace {

using namespace calvex_host;
namespace fs = std::filesystem;

// The most bytes held at once since the probe was made, beyond those held then.
class PeakProbe {
 public:
  PeakProbe() : base_(allocation_count::live_bytes.load()) { allocation_count::peak_bytes.store(base_); }
  size_t extra_bytes() const { return allocation_count::peak_bytes.load() - base_; }

 private:
  size_t base_;
};

std::vector<uint8_t> bytes_of(std::string_view s) { return std::vector<uint8_t>(s.begin(), s.end()); }

std::string repeated(std::string_view row, size_t count) {
  std::string out;
  out.reserve(row.size() * count);
  for (size_t i = 0; i < count; ++i) out += row;
  return out;
}

std::vector<uint8_t> utf16_bytes(std::u16string_view text, bool big_endian, std::vector<uint8_t> bytes = {}) {
  for (char16_t c : text) {
    const uint8_t high = static_cast<uint8_t>(c >> 8);
    const uint8_t low = static_cast<uint8_t>(c);
    bytes.push_back(big_endian ? high : low);
    bytes.push_back(big_endian ? low : high);
  }
  return bytes;
}

TEST(SheetFileText, Encodings) {
  const std::string expected = "#range,温度\r\n1\r\n";
  EXPECT_EQ(decode_text(bytes_of(expected)), expected) << "UTF-8";
  EXPECT_EQ(decode_text(bytes_of("\xEF\xBB\xBF" + expected)), expected) << "UTF-8 with BOM";
  // "温度" in GB18030 is CE C2 B6 C8.
  EXPECT_EQ(decode_text(bytes_of("#range,\xCE\xC2\xB6\xC8\r\n1\r\n")), expected) << "GB18030";
  const std::u16string wide = u"#range,温度\r\n1\r\n";
  EXPECT_EQ(decode_text(utf16_bytes(wide, false, {0xFF, 0xFE})), expected) << "UTF-16 LE";
  EXPECT_EQ(decode_text(utf16_bytes(wide, true, {0xFE, 0xFF})), expected) << "UTF-16 BE";
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

TEST(SheetFileText, Utf16WithoutByteOrderMark) {
  // U+4E00 puts a NUL byte on the other side than ASCII does: the majority decides.
  const std::u16string wide = u"#range,一温度\r\n1\r\n";
  const std::string expected = "#range,一温度\r\n1\r\n";
  EXPECT_EQ(decode_text(utf16_bytes(wide, false)), expected) << "UTF-16 LE";
  EXPECT_EQ(decode_text(utf16_bytes(wide, true)), expected) << "UTF-16 BE";
  std::vector<uint8_t> odd = utf16_bytes(wide, false);
  odd.pop_back();
  try {
    decode_text(odd);
    ADD_FAILURE() << "accepted";
  } catch (const FormatError& err) {
    EXPECT_STREQ(err.what(), "UTF-16 text with an odd number of bytes");
  }
}

TEST(SheetFileText, SeparatorOfTheFile) {
  const struct {
    std::string_view text;
    char separator;
    const char* rule;
  } cases[] = {
      {"#sheet,X\r\n", ',', "the separator after the marker"},
      {"#sheet;A,B,C,D\r\n", ';', "the marker decides, whatever the row holds besides"},
      {"\"#range\"\t\"A;B\"\r\n", '\t', "a quoted marker"},
      {";;;\r\n\t\t\r\n,,\r\n#range;X\r\n", ';', "rows made only of separators are skipped"},
      {"a;b;c,d\r\n#range,X\r\n", ';', "no marker first: the most frequent in the first non-empty row"},
      {"\"a,b,c\";d\r\n", ';', "separators inside quotes do not count"},
      {"\"multi\n,,,\"\tx\r\n", '\t', "a quoted field over two lines is one row"},
      {"a;b\tc\r\n", ';', "a tie: comma, then semicolon, then tab"},
      {"abc\r\n", ',', "none at all: comma"},
      {"", ',', "empty text: comma"},
  };
  for (const auto& c : cases) EXPECT_EQ(detect_separator(c.text), c.separator) << c.rule;
}

// The bundled examples, saved as spreadsheet programs save them (see
// fixtures/make_fixtures.py), read as the same cells at the same positions.
TEST(SheetFile, SavedFormsReadAsTheExample) {
  const fs::path examples = CALVEX_EXAMPLES;
  const fs::path fixtures = examples / ".." / "tests" / "host" / "fixtures";
  const struct {
    const char* fixture;
    const char* example;
    const char* sheet;
  } cases[] = {
      // European CSV: semicolons, UTF-8 with BOM; and as plain text without BOM.
      {"PortInfo.semicolon.csv", "common/PortInfo.csv", "PortInfo"},
      {"TdscdmaTmpComp.semicolon.csv", "tdscdma/TdscdmaTmpComp.csv", "TdscdmaTmpComp"},
      // "Unicode text": UTF-16 LE with BOM, tab separated.
      {"PortInfo.unicode.txt", "common/PortInfo.csv", "PortInfo"},
      // Every field quoted, the markers and the padding too.
      {"WcdmaMaxPow.quoted.csv", "wcdma/WcdmaMaxPow.csv", "WcdmaMaxPow"},
      {"LteaFlags.quoted-semicolon.csv", "ltea/LteaFlags.csv", "LteaFlags"},
      // UTF-16 BE with BOM; UTF-16 LE and BE without BOM.
      {"WcdmaMaxPow.utf16be.csv", "wcdma/WcdmaMaxPow.csv", "WcdmaMaxPow"},
      {"TdscdmaTmpComp.utf16le-nobom.csv", "tdscdma/TdscdmaTmpComp.csv", "TdscdmaTmpComp"},
      {"TdscdmaTmpComp.utf16be-nobom.txt", "tdscdma/TdscdmaTmpComp.csv", "TdscdmaTmpComp"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fixture);
    const SheetEntry* e = find_sheet(c.sheet);
    ASSERT_NE(e, nullptr);
    const SheetFileCells expected = read_sheet_file(*e, (examples / c.example).string());
    const SheetFileCells saved = read_sheet_file(*e, (fixtures / c.fixture).string());
    EXPECT_EQ(saved.cells, expected.cells);
    EXPECT_TRUE(saved.positions == expected.positions) << "padding, quotes and encoding move no cell";
  }
}

std::string quoted_temp_dac_file(const std::string& sheet_row) {
  std::string s = sheet_row + "\"#range\",\"TempDac\"\r\n";
  for (int i = 0; i < 27; ++i) s += "\"" + std::to_string(100 + i) + "\"\r\n";
  return s;
}

TEST(SheetFile, MarkersQuotesAndSeparators) {
  const SheetEntry* e = find_sheet("TempDacTab");
  ASSERT_NE(e, nullptr);
  const struct {
    std::string text;
    std::string first_cell;
    const char* rule;
  } cases[] = {
      {quoted_temp_dac_file("\"#sheet\",\"TempDacTab\"\r\n"), "100", "every field quoted: the markers are markers"},
      {quoted_temp_dac_file(""), "100", "the first marker quoted, without a #sheet row"},
      {"#range,TempDac\r\n\"#range\"\r\n" + repeated("1\r\n", 26), "#range",
       "markers not quoted: a quoted #range is a cell"},
      {"#range;TempDac\r\n1,5\r\n" + repeated("1\r\n", 26), "1,5", "semicolon file: a comma is cell text"},
      {"#range\tTempDac\t\r\n\"1\t2\"\t\r\n" + repeated("1\t\r\n", 26), "1\t2", "tab file: a quoted tab is cell text"},
      {"#range,TempDac\r\n5" + std::string(kMaxFieldsPerRow - 1, ',') + "\r\n" + repeated("1\r\n", 26), "5",
       "a row as wide as a spreadsheet's"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rule);
    const RangeCells cells = parse_sheet_file(*e, c.text);
    ASSERT_EQ(cells[0].size(), 27u);
    EXPECT_EQ(cells[0][0], c.first_cell);
  }
}

TEST(SheetFile, RefusalsSayWhatAndWhere) {
  const SheetEntry* e = find_sheet("TempDacTab");
  ASSERT_NE(e, nullptr);
  const std::string shape =
      "expected a '#range,<name>' marker row before any cells; a sheet file is: an optional '#sheet,<name>' row, "
      "then for every range a '#range,<name>' row followed by its rows (see `calvex template TempDacTab`)";
  const struct {
    std::string text;
    size_t line;
    std::string message;
    const char* rule;
  } cases[] = {
      {"1\r\n", 1, shape, "a cell first"},
      {"\r\n,,\r\n#sheet,TempDacTab\r\nTempDac\r\n", 4, shape, "the marker row forgotten after #sheet"},
      {temp_dac_file(27) + "#sheet,TempDacTab\r\n", 30, "a '#sheet,<name>' row may only be the first row",
       "#sheet later"},
      {"#sheet,TempDacTab\r\n#range,TempDac\r\n1\r\n#Range,X\r\n", 4,
       "'#Range' is not a marker row: a marker row is '#sheet' or '#range' (lower case) in its first field and the "
       "name in the next",
       "a marker in the wrong case is no comment"},
      {"#sheet,TempDacTab\r\n#range\xEF\xBC\x8CTempDac\r\n", 2,
       "'#range\xEF\xBC\x8CTempDac' is not a marker row: a marker row is '#sheet' or '#range' (lower case) in its "
       "first field and the name in the next; it holds the full-width '\xEF\xBC\x8C' (U+FF0C) where ',' is meant",
       "a full-width comma typed after the marker"},
      {"#sheet,TempDacTab\r\n#range,TempDac\xE3\x80\x80\r\n", 2,
       "unknown range 'TempDac\xE3\x80\x80' for sheet TempDacTab; it holds the ideographic space (U+3000) where ' ' "
       "is meant",
       "an ideographic space after the range name"},
      {"#sheet,\xE6\xB8\xA9\xE8\xA1\xA5\r\n", 1,
       "this is a sheet file of '\xE6\xB8\xA9\xE8\xA1\xA5', not of 'TempDacTab'; it holds the ideograph "
       "'\xE6\xB8\xA9' (U+6E29)",
       "a sheet named in Chinese"},
      {"\"#range\",\"TempDac\"\r\n\"1\"\r\n\"#range\",\"TempDac\"\r\n", 3, "range 'TempDac' needs 27 rows, found 1",
       "every field quoted: a quoted #range is a marker"},
      {"#range,TempDac\r\n" + std::string(kMaxFieldsPerRow, ',') + "\r\n", 2, "a row of more than 16384 fields",
       "wider than any spreadsheet row"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rule);
    try {
      parse_sheet_file(*e, c.text);
      ADD_FAILURE() << "accepted";
    } catch (const FormatError& err) {
      EXPECT_EQ(err.line(), c.line);
      EXPECT_EQ(err.what(), c.message);
    }
  }
}

size_t range_index(const SheetEntry& e, std::string_view name) {
  for (size_t r = 0; r < e.ranges.size(); ++r) {
    if (e.ranges[r].name == name) return r;
  }
  ADD_FAILURE() << "no range " << name;
  return 0;
}

TEST(SheetFile, CellPositions) {
  const SheetEntry* e = find_sheet("WcdmaMaxPow");
  ASSERT_NE(e, nullptr);
  const std::string text =
      "#sheet,WcdmaMaxPow\r\n"        // 1
      "#range,HdelFlagSwitch,,,\r\n"  // 2
      "open,,,,,,,\r\n"               // 3: padded
      ",,,,,,,\r\n"                   // 4: empty row between ranges
      "#range,HdelFlag\r\n"           // 5
      "\"0x11\n223344\"\r\n"          // 6-7: one cell over two lines
      "#range,BandEnSwitch\r\n"       // 8
      "open\r\n"                      // 9
      "#range,BandEn\r\n"             // 10
      "0x13579bdf\r\n"                // 11
      "#range,BandMaxPow\r\n"         // 12
      "1,\"2\n\",5,8,X,X,X,X\r\n"     // 13-14: the cells after the second start on line 14
      "24,24,23,23,X,X,X,X\r\n";      // 15
  const SheetFileCells read = parse_sheet_file_at(*e, text);
  ASSERT_EQ(read.positions.size(), read.cells.size());
  for (size_t r = 0; r < read.cells.size(); ++r) EXPECT_EQ(read.positions[r].size(), read.cells[r].size());
  EXPECT_TRUE(read.positions[range_index(*e, "HdelFlagSwitch")][0] == (CellPosition{3, 1}));
  EXPECT_TRUE(read.positions[range_index(*e, "HdelFlag")][0] == (CellPosition{6, 1}));
  EXPECT_EQ(read.cells[range_index(*e, "HdelFlag")][0], "0x11\n223344");
  EXPECT_TRUE(read.positions[range_index(*e, "BandEn")][0] == (CellPosition{11, 1}));
  const std::vector<CellPosition>& pow = read.positions[range_index(*e, "BandMaxPow")];
  ASSERT_EQ(pow.size(), 16u);
  const CellPosition expected[] = {{13, 1}, {13, 2}, {14, 3}, {14, 8}, {15, 1}, {15, 8}};
  const size_t at[] = {0, 1, 2, 7, 8, 15};
  for (size_t k = 0; k < std::size(at); ++k) {
    EXPECT_EQ(pow[at[k]].line, expected[k].line) << "cell " << at[k];
    EXPECT_EQ(pow[at[k]].column, expected[k].column) << "cell " << at[k];
  }
}

// How people type and save sheet files: blanks around fields, rows that
// end early, comment rows and notes beside the tables. Every case reads as
// the same cells; what is not read is counted, the first of it placed.
TEST(SheetFile, ReadAsPeopleTypeIt) {
  const SheetEntry* e = find_sheet("WcdmaMaxPow");
  ASSERT_NE(e, nullptr);
  const std::string canonical =
      "#sheet,WcdmaMaxPow\r\n#range,HdelFlagSwitch\r\nopen\r\n#range,HdelFlag\r\n0x11\r\n#range,BandEnSwitch\r\n"
      "open\r\n#range,BandEn\r\n0x13579bdf\r\n#range,BandMaxPow\r\n1,2,5,8,X,,,\r\n24,24,23,23,X,X,X,X\r\n";
  const SheetFileCells expected = parse_sheet_file_at(*e, canonical);
  const struct {
    std::string text;
    size_t comment_rows;
    CellPosition first_comment;
    size_t cells;
    CellPosition first_cell;
    const char* rule;
  } cases[] = {
      {"#sheet, WcdmaMaxPow\r\n#range , HdelFlagSwitch\r\n open \r\n#range,HdelFlag\r\n 0x11\r\n#range,BandEnSwitch\r\n"
       "\"open\" \r\n#range,BandEn\r\n0x13579bdf\t\r\n#range,BandMaxPow\r\n1, 2, 5, 8, X,,,\r\n"
       "24 ,24 , 23,23,X,X,X,X\r\n",
       0, {}, 0, {}, "blanks around fields and marker names, outside quotes"},
      {"#sheet;WcdmaMaxPow\r\n#range;HdelFlagSwitch\r\nopen\r\n#range;HdelFlag\r\n0x11\r\n#range;BandEnSwitch\r\n"
       "open\r\n#range;BandEn\r\n0x13579bdf\r\n#range;BandMaxPow\r\n1;2;5;8;X\r\n24;24;23;23;X;X;X;X\r\n",
       0, {}, 0, {}, "a row ending early has empty cells at its end"},
      {"# unit 42, line 3\r\n#sheet,WcdmaMaxPow\r\n#range,HdelFlagSwitch\r\nopen\r\n#range,HdelFlag\r\n# checked\r\n0x11\r\n"
       "#range,BandEnSwitch\r\nopen\r\n#range,BandEn\r\n0x13579bdf\r\n#range,BandMaxPow\r\n1,2,5,8,X,,,\r\n#\r\n"
       "24,24,23,23,X,X,X,X\r\n",
       3, {1, 1}, 0, {}, "comment rows anywhere, inside a range too"},
      {"unit 42\r\n#sheet,WcdmaMaxPow\r\n#range,HdelFlagSwitch\r\nopen,,,note\r\n#range,HdelFlag\r\n0x11\r\n"
       "#range,BandEnSwitch\r\nopen\r\n#range,BandEn\r\n0x13579bdf\r\nspare,row\r\n#range,BandMaxPow\r\n"
       "1,2,5,8,X,,,,max\r\n24,24,23,23,X,X,X,X\r\n,,,,,,,,,,total\r\n",
       0, {}, 6, {1, 1}, "notes before the first marker, right of a range and below it"},
      {"#sheet,WcdmaMaxPow\r\n#range,HdelFlagSwitch\r\nopen\r\n\r\n#range,HdelFlag\r\n0x11\r\n#range,BandEnSwitch\r\n"
       "open\r\n#range,BandEn\r\n0x13579bdf\r\n#range,BandMaxPow\r\n1,2,5,8,X,,,\r\n\r\n24,24,23,23,X,X,X,X\r\n",
       0, {}, 0, {}, "a blank line is no row of a range of several columns"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rule);
    const SheetFileCells read = parse_sheet_file_at(*e, c.text);
    EXPECT_EQ(read.cells, expected.cells);
    EXPECT_EQ(read.ignored.comment_rows, c.comment_rows);
    EXPECT_TRUE(read.ignored.first_comment == c.first_comment) << read.ignored.first_comment.line;
    EXPECT_EQ(read.ignored.cells, c.cells);
    EXPECT_TRUE(read.ignored.first_cell == c.first_cell) << read.ignored.first_cell.line;
  }
}

// For every sheet file, whatever blanks, quotes, left-out trailing cells,
// comment rows and notes a person adds, the cells read are those of the
// plain file, and what is not read is counted exactly.
TEST(SheetFile, EditsThatChangeNoCellProperty) {
  const SheetEntry* e = find_sheet("WcdmaMaxPow");
  ASSERT_NE(e, nullptr);
  constexpr uint32_t kSeed = 20261210;
  constexpr int kFiles = 300;
  const std::string_view pool[] = {"1", "-24", "X", "open", "0x11", "", "", "MIPI MODE", "#N/A"};
  const std::string_view blanks[] = {"", " ", "\t", "  "};
  std::mt19937 random(kSeed);
  const auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
  for (int file = 0; file < kFiles; ++file) {
    const char separator = pick(2) == 0 ? ',' : ';';
    RangeCells cells(e->ranges.size());
    std::string plain = "#sheet" + std::string(1, separator) + std::string(e->name) + "\n";
    std::string edited = plain;
    size_t comments = 0;
    size_t notes = 0;
    const auto maybe_comment = [&] {
      if (pick(4) != 0) return;
      edited += "# note " + std::to_string(comments++) + "\n";
    };
    for (size_t r = 0; r < e->ranges.size(); ++r) {
      const calvex::RangeDef& range = e->ranges[r];
      const std::string marker = "#range" + std::string(1, separator) + std::string(range.name) + "\n";
      plain += marker;
      maybe_comment();
      edited += std::string(blanks[pick(4)]) + "#range" + std::string(blanks[pick(4)]) + separator +
                std::string(blanks[pick(4)]) + std::string(range.name) + std::string(blanks[pick(4)]) + "\n";
      for (int y = 0; y < range.rows; ++y) {
        std::vector<std::string> row;
        for (int x = 0; x < range.cols; ++x) {
          // "#N/A" first in a row is a cell, but kept out of the first column to leave no doubt.
          std::string text(pool[pick(std::size(pool) - (x == 0 ? 1 : 0))]);
          row.push_back(text);
          cells[r].push_back(text);
        }
        size_t width = row.size();
        const bool any = std::any_of(row.begin(), row.end(), [](const std::string& t) { return !t.empty(); });
        if (any && pick(2) == 0) {
          while (row[width - 1].empty()) --width;
        }
        for (int x = 0; x < range.cols; ++x) plain += (x > 0 ? std::string(1, separator) : "") + row[x];
        plain += "\n";
        maybe_comment();
        for (size_t x = 0; x < width; ++x) {
          if (x > 0) edited += separator;
          const bool quoted = pick(3) == 0;
          edited += std::string(blanks[pick(4)]) + (quoted ? "\"" + row[x] + "\"" : row[x]) +
                    std::string(blanks[pick(4)]);
        }
        if (pick(5) == 0) {
          // A note right of the table, past an empty column.
          edited += std::string(range.cols + 1 - static_cast<int>(width), separator) + "max " + std::to_string(notes++);
        }
        edited += "\n";
      }
    }
    SCOPED_TRACE(edited);
    ASSERT_EQ(parse_sheet_file(*e, plain), cells);
    const SheetFileCells read = parse_sheet_file_at(*e, edited);
    ASSERT_EQ(read.cells, cells);
    ASSERT_EQ(read.ignored.comment_rows, comments);
    ASSERT_EQ(read.ignored.cells, notes);
  }
}

TEST(SheetFile, RowsEndingEarlyAndCommentLookalikes) {
  const SheetEntry* e = find_sheet("WcdmaMaxPow");
  ASSERT_NE(e, nullptr);
  const std::string head =
      "#sheet,WcdmaMaxPow\r\n#range,HdelFlagSwitch\r\nopen\r\n#range,HdelFlag\r\n0x11\r\n#range,BandEnSwitch\r\n"
      "open\r\n#range,BandEn\r\n0x13579bdf\r\n#range,BandMaxPow\r\n";
  const SheetFileCells read = parse_sheet_file_at(*e, head + "1\r\n#N/A,\"#x\",\" a \"\r\n");
  const std::vector<std::string>& pow = read.cells[range_index(*e, "BandMaxPow")];
  ASSERT_EQ(pow.size(), 16u);
  EXPECT_EQ(pow[0], "1");
  EXPECT_EQ(pow[1], "") << "cells a row leaves out are empty";
  EXPECT_EQ(pow[8], "#N/A") << "a spreadsheet's error value is a cell, not a comment";
  EXPECT_EQ(pow[9], "#x") << "a quoted cell after the first";
  EXPECT_EQ(pow[10], " a ") << "blanks inside quotes are kept";
  EXPECT_EQ(read.ignored.comment_rows, 0u);
  const std::vector<CellPosition>& at = read.positions[range_index(*e, "BandMaxPow")];
  EXPECT_TRUE(at[7] == (CellPosition{11, 8})) << "a left-out cell stands where its column is";
  // Blanks around a field vanish when read; a cell's own blanks are quoted when written.
  EXPECT_EQ(csv_field(" a"), "\" a\"");
  EXPECT_EQ(csv_field("a\t"), "\"a\t\"");
  EXPECT_EQ(parse_csv("\"#x\" , b\t\r\n")[0].fields, (std::vector<std::string>{"#x", "b"}));
  EXPECT_EQ(parse_csv("a\t b\t\r\n", '\t')[0].fields, (std::vector<std::string>{"a", "b", ""}))
      << "a tab that separates is not a blank";
}

TEST(SheetFileText, WideCharactersAreNamed) {
  const struct {
    std::string text;
    std::string note;
  } cases[] = {
      {"16", ""},
      {"\xEF\xBC\x91\x36", "it holds the full-width '\xEF\xBC\x91' (U+FF11) where '1' is meant"},
      {"16\xEF\xBC\x8C\x32\x30", "it holds the full-width '\xEF\xBC\x8C' (U+FF0C) where ',' is meant"},
      {"0x\xEF\xBD\x86", "it holds the full-width '\xEF\xBD\x86' (U+FF46) where 'f' is meant"},
      {"1\xE3\x80\x80", "it holds the ideographic space (U+3000) where ' ' is meant"},
      {"16\xE3\x80\x81\x32\x30", "it holds the ideographic comma '\xE3\x80\x81' (U+3001) where ',' is meant"},
      {"1\xE3\x80\x82\x35", "it holds the ideographic full stop '\xE3\x80\x82' (U+3002) where '.' is meant"},
      {"\xE6\xB8\xA9\xE8\xA1\xA5", "it holds the ideograph '\xE6\xB8\xA9' (U+6E29)"},
      {"\xF0\xA0\x80\x80", "it holds the ideograph '\xF0\xA0\x80\x80' (U+20000)"},
      {"\xC3\xA9", ""},  // a Latin letter is neither
  };
  for (const auto& c : cases) EXPECT_EQ(wide_character_note(c.text), c.note) << c.text;
}

TEST(SheetFileText, EncodingGivenOverridesDetection) {
  // C3 A9 is "é" in UTF-8 and "茅" (U+8305) in GB18030: detection reads UTF-8, --encoding says otherwise.
  const std::vector<uint8_t> both = bytes_of("#range,\xC3\xA9\r\n");
  EXPECT_EQ(decode_text(both), "#range,\xC3\xA9\r\n");
  EXPECT_EQ(decode_text(both, encoding_named("GB18030")), "#range,\xE8\x8C\x85\r\n");
  const std::u16string wide = u"#range,\u6E29\r\n";
  EXPECT_EQ(decode_text(utf16_bytes(wide, true), TextEncoding::kUtf16Be), "#range,\xE6\xB8\xA9\r\n");
  EXPECT_EQ(decode_text(utf16_bytes(wide, false, {0xFF, 0xFE}), TextEncoding::kUtf16Le), "#range,\xE6\xB8\xA9\r\n")
      << "its own byte order mark is dropped";
  EXPECT_EQ(decode_text(bytes_of("\xEF\xBB\xBF#range"), TextEncoding::kUtf8), "#range");
  EXPECT_EQ(encoding_named("utf-8"), TextEncoding::kUtf8);
  EXPECT_EQ(encoding_named("UTF-16LE"), TextEncoding::kUtf16Le);
  EXPECT_EQ(encoding_named("latin-1"), TextEncoding::kDetect);
  const struct {
    std::vector<uint8_t> bytes;
    TextEncoding encoding;
    const char* message;
  } refused[] = {
      {bytes_of("#range,\xCE\xC2"), TextEncoding::kUtf8, "text is not valid UTF-8 (--encoding utf-8)"},
      {bytes_of("#range,\xFF"), TextEncoding::kGb18030, "text is not valid GB18030 (--encoding gb18030)"},
      {bytes_of("#range,"), TextEncoding::kUtf16Le, "UTF-16 text with an odd number of bytes"},
  };
  for (const auto& c : refused) {
    try {
      decode_text(c.bytes, c.encoding);
      ADD_FAILURE() << "accepted: " << c.message;
    } catch (const FormatError& err) {
      EXPECT_STREQ(err.what(), c.message);
    }
  }
}

constexpr size_t kMillionRows = 1'000'000;
// Far more than a sheet's cells take, far less than a million rows kept.
constexpr size_t kBoundedBytes = size_t{1} << 20;

TEST(SheetFile, MillionEmptyRowsTakeNoMemory) {
  const SheetEntry* e = find_sheet("TempDacTab");
  ASSERT_NE(e, nullptr);
  const std::string sheet = temp_dac_file(27);  // 29 lines
  const RangeCells expected = parse_sheet_file(*e, sheet);
  const struct {
    std::string text;
    size_t ignored_line;  // 0: nothing outside the range
    const char* rule;
  } cases[] = {
      {sheet + repeated("\r\n", kMillionRows), 0, "empty rows after the last range"},
      {sheet + repeated(",,,\r\n", kMillionRows), 0, "rows of empty fields after the last range"},
      {repeated(",,\r\n", kMillionRows) + sheet, 0, "empty rows before the first marker"},
      {sheet + repeated("\r\n", kMillionRows) + "x\r\n", 29 + kMillionRows + 1,
       "a cell after them: outside every range"},
      {sheet + repeated("#\r\n", kMillionRows), 0, "a million comment rows"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.rule);
    const PeakProbe probe;
    const SheetFileCells read = parse_sheet_file_at(*e, c.text);
    EXPECT_EQ(read.cells, expected);
    EXPECT_EQ(read.ignored.cells, c.ignored_line == 0 ? 0u : 1u);
    EXPECT_EQ(read.ignored.first_cell.line, c.ignored_line);
    EXPECT_LT(probe.extra_bytes(), kBoundedBytes);
  }
}

class SheetFileInput : public ::testing::Test {
 protected:

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  // A file of size bytes of NUL (sparse where the file system allows).
  std::string file_of_size(const std::string& name, size_t size) const {
    std::ofstream(path(name), std::ios::binary).flush();
    fs::resize_file(path(name), size);
    return path(name);
  }
  std::string slurp(const std::string& p) const {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }

  calvex_test::TempDir temp_;
  const fs::path dir_ = temp_.path();
};

std::string message_of(const std::function<void()>& call) {
  try {
    call();
  } catch (const FormatError& err) {
    EXPECT_EQ(err.line(), 0u);
    return err.what();
  }
  return "accepted";
}

TEST_F(SheetFileInput, SizeLimitBeforeReading) {
  const std::string too_large =
      "more than 64 MiB, far more than any sheet file holds (the largest sheet has 5329 cells)";
  EXPECT_EQ(read_sheet_bytes(file_of_size("limit", kMaxSheetFileBytes)).size(), kMaxSheetFileBytes);
  const std::string over = file_of_size("over", kMaxSheetFileBytes + 1);
  {
    const PeakProbe probe;
    EXPECT_EQ(message_of([&] { read_sheet_bytes(over); }), too_large);
    EXPECT_LT(probe.extra_bytes(), kBoundedBytes) << "refused by its size, unread";
  }
  // Standard input has no size: it is read up to the limit, not to its end.
  ASSERT_NE(std::freopen(file_of_size("huge", 4 * kMaxSheetFileBytes).c_str(), "rb", stdin), nullptr);
  const PeakProbe probe;
  EXPECT_EQ(message_of([&] { read_sheet_bytes("-"); }), too_large);
  EXPECT_LT(probe.extra_bytes(), 2 * kMaxSheetFileBytes) << "a growing buffer holds both copies a moment";
}

TEST_F(SheetFileInput, StandardStreamsAndSystemReasons) {
  const std::string sheet = temp_dac_file(27);
  std::ofstream(path("in.csv"), std::ios::binary) << sheet;
  ASSERT_NE(std::freopen(path("in.csv").c_str(), "rb", stdin), nullptr);
  EXPECT_EQ(read_sheet_bytes("-"), bytes_of(sheet)) << "- reads standard input";

  write_sheet_text(path("out.csv"), sheet);
  EXPECT_EQ(slurp(path("out.csv")), sheet);
  ::testing::internal::CaptureStdout();
  write_sheet_text("-", sheet);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), sheet) << "- writes standard output";

  EXPECT_EQ(message_of([&] { read_sheet_bytes(path("missing.csv")); }), "cannot open: No such file or directory");
  EXPECT_EQ(message_of([&] { read_sheet_bytes(dir_.string()); }), "cannot read: Is a directory");
  EXPECT_EQ(message_of([&] { write_sheet_text(dir_.string(), sheet); }), "cannot open for writing: Is a directory");
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
