// The host's workbooks: .xlsx files as Excel, LibreOffice and openpyxl lay them
// out read back cell for cell, files that are not such workbooks refused with
// their own line, and workbooks written here checked by openpyxl.
// The fixtures come from xlsx_openpyxl.py (CTest fixture xlsx_fixtures).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <memory>

#include "temp_dir.h"
#include "xlsx_read.h"
#include "xlsx_write.h"

namespace {

using namespace calvex_host;
namespace fs = std::filesystem;

const fs::path kFixtures = CALVEX_XLSX_FIXTURES;

std::string path_text(const fs::path& path) { return path.string(); }

// Standard output of command; the test fails when it does not exit with 0.
std::string run(const std::string& command) {
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
  if (!pipe) {
    ADD_FAILURE() << "cannot run " << command;
    return {};
  }
  std::string out;
  char buffer[4096];
  for (size_t got; (got = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) out.append(buffer, got);
  EXPECT_EQ(pclose(pipe.release()), 0) << command;
  return out;
}

// A fresh folder per test, removed afterwards.
class InTempDir : public ::testing::Test {
 protected:
  std::vector<std::string> entries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
  calvex_test::TempDir temp_;
  const fs::path dir_ = temp_.path();
};

std::map<CellRef, std::string> cells_of(std::initializer_list<std::pair<const char*, const char*>> list) {
  std::map<CellRef, std::string> cells;
  for (const auto& [name, text] : list) {
    const std::string ref = name;
    CellRef cell;
    size_t i = 0;
    for (; std::isalpha(static_cast<unsigned char>(ref[i])); ++i) cell.col = cell.col * 26 + (ref[i] - 'A' + 1);
    cell.row = static_cast<uint32_t>(std::stoul(ref.substr(i)));
    cells[cell] = text;
  }
  return cells;
}

TEST(WorkbookRead, EveryWritersLayoutReadsAlike) {
  const auto expected_data = cells_of({
      {"A1", "#range"},  // shared or inline string
      {"B1", "TempComp"},
      {"A2", "Temp"},
      {"B2", "20"},                   // integral number without ".0"
      {"C2", "0.001"},                // fixed notation from 1e-5
      {"D2", "-3.5"},
      {"E2", "1.25E-06"},             // scientific below 1e-5, as Excel shows it
      {"F2", "123456789012345"},      // integers up to 15 digits
      {"G2", "0.30000000000000004"},  // shortest text that reads back to the same double
      {"H2", "0.001"},                // stored as "1e-3"
      {"I2", "20"},                   // stored as "20.0"
      {"J2", "0"},                    // negative zero
      {"K2", "1E+20"},
      {"A3", "0x1A"},  // hex and keyword texts stay texts
      {"B3", "open"},
      {"C3", "TRUE"},  // booleans
      {"D3", "FALSE"},
      {"E3", "007"},                 // a numeric-looking text keeps its zeros
      {"F3", "温度 <&> \"q\""},      // XML escapes and UTF-8
      {"G3", " padded "},            // preserved spaces
      {"A4", "ab"},                  // rich text runs joined
      {"B4", "漢字"},                // phonetic run dropped
      {"C4", "line\ntwo"},           // _xHHHH_ escape decoded
      {"D4", "#DIV/0!"},             // error value as stored
      {"E4", "calc"},                // formula: its cached text
      {"AB7", "12.5"},               // F4 (empty text) and G4 (style only) are absent
  });
  const auto expected_notes = cells_of({{"A1", "edited by hand"}, {"A2", "see the chart"}});
  for (const char* layout : {"inline", "excel", "libreoffice", "streamed"}) {
    SCOPED_TRACE(layout);
    const auto sheets = read_xlsx(kFixtures / (std::string(layout) + ".xlsx"));
    ASSERT_EQ(sheets.size(), 3u);
    EXPECT_EQ(sheets[0].name, "GsmTmpComp");
    EXPECT_EQ(sheets[0].kind, SheetKind::kWorksheet);
    EXPECT_EQ(sheets[0].cells, expected_data);
    EXPECT_EQ(sheets[1].name, "Chart");
    EXPECT_EQ(sheets[1].kind, SheetKind::kChartsheet);
    EXPECT_TRUE(sheets[1].cells.empty());
    EXPECT_EQ(sheets[2].name, "Notes");
    EXPECT_EQ(sheets[2].kind, SheetKind::kWorksheet);
    EXPECT_EQ(sheets[2].cells, expected_notes);
  }
}

TEST(WorkbookRead, RefusesWhatIsNotAnXlsxWorkbook) {
  const std::string sheet1 = "part xl/worksheets/sheet1.xml";
  struct Case {
    const char* file;
    std::string message;  // after "<path>: "
  };
  const Case cases[] = {
      // compound files: a legacy workbook, and an encrypted one under an .xlsx name
      {"legacy.xls", "an encrypted or legacy .xls workbook, not .xlsx; save it as an unprotected .xlsx workbook"},
      {"encrypted.xlsx", "an encrypted or legacy .xls workbook, not .xlsx; save it as an unprotected .xlsx workbook"},
      // compound files named by their streams, whatever their names say
      {"biff8.xls", "a legacy .xls workbook (Excel 97-2003), not .xlsx; save it as an .xlsx workbook"},
      {"biff5.xls", "a legacy .xls workbook (Excel 97-2003), not .xlsx; save it as an .xlsx workbook"},
      {"password.xlsx", "an encrypted workbook (it has a password); save it as an .xlsx workbook without a password"},
      {"document.xls", "an encrypted or legacy .xls workbook, not .xlsx; save it as an unprotected .xlsx workbook"},
      // OpenDocument packages by their mimetype entry
      {"sheet.ods", "an OpenDocument spreadsheet (.ods), not .xlsx; save it as an .xlsx workbook"},
      {"letter.xlsx", "an OpenDocument file (application/vnd.oasis.opendocument.text), not a workbook"},
      {"text.xlsx", "not an .xlsx workbook (not a zip archive)"},
      {"other.xlsx", "not an .xlsx workbook (no workbook part)"},
      // macros: by name, and by a VBA project inside an .xlsx name
      {"macro.xlsm", "a macro-enabled workbook; save it as an .xlsx workbook without macros"},
      {"vba.xlsx", "a macro-enabled workbook (it holds a VBA project); save it as an .xlsx workbook without macros"},
      {"broken.xlsx", sheet1 + " is not well-formed XML (line 1: no element found)"},
      // entity expansion is never reached
      {"doctype.xlsx", sheet1 + " holds a document type declaration"},
      {"badshared.xlsx", "worksheet 'GsmTmpComp' cell B3: refers to shared string '5', but the workbook has 0"},
      {"badnumber.xlsx", "worksheet 'GsmTmpComp' cell C1: '1,5' is not a number"},
      {"badref.xlsx", "worksheet 'GsmTmpComp' has a cell named 'XFE1'"},  // beyond column XFD
      {"bomb.xlsx", sheet1 + " is larger than 256 MiB"},
      {"manycells.xlsx", "more than 1048576 cells"},
  };
  for (const auto& c : cases) {
    const fs::path path = kFixtures / c.file;
    try {
      read_xlsx(path);
      ADD_FAILURE() << c.file << " was read";
    } catch (const WorkbookError& e) {
      EXPECT_EQ(std::string(e.what()), path_text(path) + ": " + c.message);
    }
  }
}

TEST(WorkbookRead, MissingFileNamesIt) {
  const fs::path path = kFixtures / "missing.xlsx";
  try {
    read_xlsx(path);
    ADD_FAILURE() << "read a missing file";
  } catch (const WorkbookError& e) {
    EXPECT_EQ(std::string(e.what()), path_text(path) + ": cannot open: No such file or directory");
  }
}

TEST(WorkbookRead, DamagedBytesAreRefusedNeverCrash) {
  std::ifstream in(kFixtures / "excel.xlsx", std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 1000u);
  // Every cut of the file is no zip archive any more.
  for (size_t size = 0; size < bytes.size(); size += 97) {
    const std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_THROW(read_xlsx_bytes(cut, "cut.xlsx"), WorkbookError) << size;
  }
  // A flipped byte in compressed data, headers or the directory is read or
  // refused with WorkbookError; any other exception fails the test.
  size_t refused = 0;
  for (size_t offset = 0; offset < bytes.size(); offset += 7) {
    std::vector<uint8_t> flipped = bytes;
    flipped[offset] ^= 0xFF;
    try {
      read_xlsx_bytes(flipped, "flipped.xlsx");
    } catch (const WorkbookError&) {
      ++refused;
    }
  }
  EXPECT_GT(refused, 0u);
}

TEST(WorkbookRead, GeneralNumberFormat) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {20.0, "20"},                              // integral: no ".0"
      {-3.0, "-3"},
      {-0.0, "0"},
      {999999999999999.0, "999999999999999"},    // largest integral shown in full
      {1e15, "1E+15"},                           // from 1e15: scientific
      {2.5e15, "2.5E+15"},
      {0.001, "0.001"},
      {1e-5, "0.00001"},                         // smallest fixed
      {9.5e-6, "9.5E-06"},                       // below it: scientific, two exponent digits
      {1.25, "1.25"},
      {0.1 + 0.2, "0.30000000000000004"},        // shortest round trip, not rounded to 15 digits
      {123456.789, "123456.789"},
      {std::numeric_limits<double>::quiet_NaN(), "#NUM!"},
      {std::numeric_limits<double>::infinity(), "#NUM!"},
  };
  for (const auto& c : cases) EXPECT_EQ(format_general_number(c.value), c.text) << c.value;
}

// Which number cells a spreadsheet shows as dates: openpyxl's dates and
// times, custom date formats; numbers, text and other formats are not.
TEST(WorkbookRead, NumberCellsKnowTheirDates) {
  const auto sheets = read_xlsx(kFixtures / "formats.xlsx");
  ASSERT_EQ(sheets.size(), 1u);
  const auto at = [](uint32_t row) { return CellRef{row, 1}; };
  const std::map<CellRef, NumberCell> expected = {
      {at(1), NumberCell::kDate},     // a date: openpyxl's built-in date style
      {at(2), NumberCell::kDate},     // yyyy-mm-dd
      {at(3), NumberCell::kNumber},   // General
      {at(5), NumberCell::kNumber},   // 0.00
      {at(6), NumberCell::kDate},     // a time
      {at(7), NumberCell::kNumber},   // [Red]0: a colour, not a date
      {at(8), NumberCell::kNumber},   // "days" 0: quoted letters
      {at(9), NumberCell::kDate},     // [h]:mm: elapsed time
      {at(10), NumberCell::kNumber},  // 0.0E+00
      {at(11), NumberCell::kDate},    // d"x"
      {at(12), NumberCell::kNumber},  // #,##0;[Red]-#,##0
  };  // rows 4 and 13 hold text ("1E3", "12" under @)
  EXPECT_EQ(sheets[0].numbers, expected);
  EXPECT_EQ(sheets[0].cells.at(at(2)), "45293");
  EXPECT_EQ(sheets[0].cells.at(at(4)), "1E3");
}

TEST(WorkbookRead, DateFormatCodes) {
  const struct {
    const char* code;
    bool date;
  } cases[] = {
      {"General", false}, {"0", false}, {"0.00%", false}, {"0.0E+00", false}, {"@", false},
      {"#,##0 \"pcs\"", false},  // letters inside quotes
      {"0\\d", false},           // an escaped letter
      {"0_m", false},             // a space as wide as m
      {"[Red]0;[Blue]-0", false}, {"[$-409]0", false}, {"[>100]0", false},
      {"yyyy-mm-dd", true}, {"d/m/y", true}, {"h:mm:ss", true}, {"[h]:mm", true}, {"[ss]", true},
      {"mmm-yy", true}, {"0;d", true},  // any section
      {"\"unclosed", false},
  };
  for (const auto& c : cases) EXPECT_EQ(is_date_format_code(c.code), c.date) << c.code;
}

TEST(WorkbookRead, CellNames) {
  EXPECT_EQ(cell_name({1, 1}), "A1");
  EXPECT_EQ(cell_name({7, 2}), "B7");
  EXPECT_EQ(cell_name({1, 26}), "Z1");
  EXPECT_EQ(cell_name({1, 27}), "AA1");    // bijective base 26: no zero digit
  EXPECT_EQ(cell_name({1, 702}), "ZZ1");
  EXPECT_EQ(cell_name({1, 703}), "AAA1");
  EXPECT_EQ(cell_name({1048576, 16384}), "XFD1048576");
}

using WorkbookWrite = InTempDir;

// What xlsx_openpyxl.py dump prints for the workbook of write_sample.
const std::string kSampleDump =
    "sheet\tGsmTmpComp\tlineChart/2\n"
    "cell\tA1\ts:#range bold\n"
    "cell\tB1\ts:TempComp bold\n"
    "cell\tA2\ts:Temp\n"
    "cell\tB2\tn:-20.0\n"
    "cell\tC2\tn:25.0\n"
    "cell\tD2\tn:60.0\n"
    "cell\tA3\ts:Path 0\n"
    "cell\tB3\tn:0.001\n"
    "cell\tC3\tn:-3.5\n"
    "cell\tD3\tn:12.0\n"
    "cell\tA4\ts:Path 1\n"
    "cell\tB4\ts:0x1A\n"
    "cell\tC4\ts:open\n"
    "cell\tD4\ts:温度\n"
    "sheet\tNotes\t\n"
    "sheet\tInfo\t\n"
    "cell\tA1\ts:image bold\n"
    "cell\tB1\ts:nv.bin\n"
    "cell\tA2\ts:calvex --version bold\n"
    "cell\tB2\ts:1.0\n";

void write_sample(const fs::path& path) {
  XlsxWriter book(path);
  const auto data = book.add_worksheet("GsmTmpComp");
  book.write_text(data, {1, 1}, "#range", CellStyle::kBold);
  book.write_text(data, {1, 2}, "TempComp", CellStyle::kBold);
  book.write_text(data, {2, 1}, "Temp");
  const double temps[] = {-20, 25, 60};
  const double row3[] = {0.001, -3.5, 12};
  for (uint32_t i = 0; i < 3; ++i) {
    book.write_number(data, {2, 2 + i}, temps[i]);
    book.write_number(data, {3, 2 + i}, row3[i]);
  }
  book.write_text(data, {3, 1}, "Path 0");
  book.write_text(data, {4, 1}, "Path 1");
  book.write_text(data, {4, 2}, "0x1A");
  book.write_text(data, {4, 3}, "open");
  book.write_text(data, {4, 4}, "温度");
  book.fit_column_widths(data);
  book.set_column_width(data, 1, 20);
  book.add_line_chart(data, {"TempComp", "Temp", "Value", 2, 2, 4, 3, 4, 1, {6, 1}});
  book.add_worksheet("Notes");
  book.add_info_worksheet("Info", {{"image", "nv.bin"}, {"calvex --version", "1.0"}});
  book.save();
}

TEST_F(WorkbookWrite, OpenpyxlSeesEveryCellAndTheChart) {
  const fs::path path = dir_ / "book.xlsx";
  std::ofstream(path) << "an older file";
  write_sample(path);
  EXPECT_EQ(run(std::string(CALVEX_PYTHON3) + " " + CALVEX_XLSX_HELPER + " dump '" + path_text(path) + "'"),
            kSampleDump);
  EXPECT_EQ(entries(), std::vector<std::string>{"book.xlsx"}) << "no temporary file is left";

  // And the reader takes back what the writer wrote.
  const auto sheets = read_xlsx(path);
  ASSERT_EQ(sheets.size(), 3u);
  EXPECT_EQ(sheets[0].cells, cells_of({{"A1", "#range"},
                                       {"B1", "TempComp"},
                                       {"A2", "Temp"},
                                       {"B2", "-20"},
                                       {"C2", "25"},
                                       {"D2", "60"},
                                       {"A3", "Path 0"},
                                       {"B3", "0.001"},
                                       {"C3", "-3.5"},
                                       {"D3", "12"},
                                       {"A4", "Path 1"},
                                       {"B4", "0x1A"},
                                       {"C4", "open"},
                                       {"D4", "温度"}}));
  EXPECT_EQ(sheets[1].name, "Notes");
  EXPECT_TRUE(sheets[1].cells.empty());
  EXPECT_EQ(sheets[2].cells, cells_of({{"A1", "image"}, {"B1", "nv.bin"}, {"A2", "calvex --version"}, {"B2", "1.0"}}));
}

TEST_F(WorkbookWrite, FillsNotesAndTurnedLabelsAreNoCells) {
  // What a diff workbook marks a change with, and the labels over its
  // columns: the reader sees the cells as without them, a marked blank as no
  // cell, a note never.
  const fs::path path = dir_ / "marked.xlsx";
  XlsxWriter book(path);
  const auto data = book.add_worksheet("GsmTmpComp");
  book.write_text(data, {1, 2}, "compensation", CellStyle::kHeaderTurned);
  book.write_text(data, {1, 3}, "interval 1", CellStyle::kHeader);
  book.write_number(data, {2, 2}, -7, CellStyle::kChanged);
  book.write_note(data, {2, 2}, "was: 3");
  book.write_text(data, {2, 3}, "0x1A", CellStyle::kChanged);
  book.write_note(data, {2, 3}, "was: 0x1B");
  book.write_text(data, {3, 2}, "", CellStyle::kChanged);
  book.write_note(data, {3, 2}, "was: 温度");
  book.fit_column_widths(data);
  book.save();
  EXPECT_EQ(run(std::string(CALVEX_PYTHON3) + " " + CALVEX_XLSX_HELPER + " dump '" + path_text(path) + "'"),
            "sheet\tGsmTmpComp\t\n"
            "cell\tB1\ts:compensation bold\n"
            "cell\tC1\ts:interval 1 bold\n"
            "cell\tB2\tn:-7.0\n"
            "cell\tC2\ts:0x1A\n");
  const auto sheets = read_xlsx(path);
  ASSERT_EQ(sheets.size(), 1u);
  EXPECT_EQ(sheets[0].cells, cells_of({{"B1", "compensation"}, {"C1", "interval 1"}, {"B2", "-7"}, {"C2", "0x1A"}}));
}

TEST_F(WorkbookWrite, RelativeDestinationInAFolderOfItsOwn) {
  // The save runs in the destination's folder; the caller's folder is back afterwards.
  fs::create_directories(dir_ / "温度");
  const fs::path before = fs::current_path();
  fs::current_path(dir_);
  write_sample(fs::path("温度") / "book.xlsx");
  EXPECT_EQ(fs::current_path(), dir_);
  fs::current_path(before);
  EXPECT_EQ(read_xlsx(dir_ / "温度" / "book.xlsx").size(), 3u);
  EXPECT_EQ(entries(), std::vector<std::string>{"温度"});
}

TEST_F(WorkbookWrite, FailedSaveLeavesTheDestinationAsItWas) {
  // A destination that cannot be replaced: a folder with a file in it.
  const fs::path destination = dir_ / "book.xlsx";
  fs::create_directories(destination);
  std::ofstream(destination / "keep") << "kept";
  try {
    write_sample(destination);
    ADD_FAILURE() << "saved over a folder";
  } catch (const XlsxWriteError& e) {
    EXPECT_EQ(std::string(e.what()), "cannot write " + path_text(destination) + ": Is a directory");
  }
  EXPECT_EQ(entries(), std::vector<std::string>{"book.xlsx"}) << "no temporary file is left";
  EXPECT_TRUE(fs::exists(destination / "keep"));
}

TEST_F(WorkbookWrite, WriterWithoutSaveLeavesNoTrace) {
  const fs::path destination = dir_ / "book.xlsx";
  std::ofstream(destination) << "an older file";
  {
    XlsxWriter book(destination);
    book.write_text(book.add_worksheet("Data"), {1, 1}, "never saved");
  }
  EXPECT_EQ(entries(), std::vector<std::string>{"book.xlsx"});
  std::ifstream in(destination);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "an older file");
}

TEST_F(WorkbookWrite, RefusalsNameTheDestinationAndReason) {
  const fs::path unreachable = dir_ / "no" / "such" / "book.xlsx";
  try {
    XlsxWriter book(unreachable);
    ADD_FAILURE() << "created a file in a missing folder";
  } catch (const XlsxWriteError& e) {
    EXPECT_EQ(std::string(e.what()), "cannot write " + path_text(unreachable) + ": No such file or directory");
  }

  const fs::path destination = dir_ / "book.xlsx";
  const std::string prefix = "cannot write " + path_text(destination) + ": ";
  XlsxWriter book(destination);
  book.add_worksheet("Data");
  struct Case {
    const char* name;
    std::string message;
  };
  const Case cases[] = {
      {"a/b", "worksheet name 'a/b': Worksheet name cannot contain invalid characters: '[ ] : * ? / \\'"},
      {"DATA", "worksheet name 'DATA': Worksheet name is already in use."},  // names are unique ignoring case
      {"12345678901234567890123456789012",
       "worksheet name '12345678901234567890123456789012': Worksheet name exceeds Excel's limit of 31 characters."},
  };
  for (const auto& c : cases) {
    try {
      book.add_worksheet(c.name);
      ADD_FAILURE() << c.name << " was taken";
    } catch (const XlsxWriteError& e) {
      EXPECT_EQ(std::string(e.what()), prefix + c.message);
    }
  }
}

}  // namespace
