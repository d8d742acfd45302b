// calvex end to end: the command line, strict cells, all-or-nothing writes,
// dry runs, image bounds, round trips of every readable sheet, messages and
// exit statuses.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue.h"
#include "csv.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;
using calvex_host::RangeCells;

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

std::string examples() { return CALVEX_EXAMPLES; }

class Cli : public ::testing::Test {
 protected:

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  static std::string slurp(const std::string& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  static void put(const std::string& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }
  CliRun run(const std::string& args) const {
    const std::string cmd = std::string(CALVEX_BIN) + " " + args + " >" + path("stdout") + " 2>" + path("stderr");
    const int raw = std::system(cmd.c_str());
    return CliRun{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(path("stdout")), slurp(path("stderr"))};
  }
  // Copies a family's example image into the test directory.
  std::string image_of(const std::string& family, const std::string& name = "nv.bin") const {
    const std::string p = path(name);
    fs::copy_file(examples() + "/" + family + "/nv.bin", p, fs::copy_options::overwrite_existing);
    return p;
  }
  static std::string example_sheet(const std::string& family, const std::string& sheet) {
    return slurp(examples() + "/" + family + "/" + sheet + ".csv");
  }
  std::string temp_dac_sheet(int first) const {
    std::string s = "#sheet,TempDacTab\r\n#range,TempDac\r\n";
    for (int i = 0; i < 27; ++i) s += std::to_string(first + i) + "\r\n";
    return s;
  }

  calvex_test::TempDir temp_;
  const fs::path dir_ = temp_.path();
};

// The example sheet file of `sheet` with the text of its first cell (in
// file order) of range `range` replaced by `text`.
std::string with_first_cell(const std::string& file, const std::string& range, const std::string& text) {
  size_t marker = file.find("#range," + range + "\n");
  if (marker == std::string::npos) marker = file.find("#range," + range + "\r\n");
  EXPECT_NE(marker, std::string::npos) << range;
  const size_t start = file.find('\n', marker) + 1;
  const size_t end = file.find_first_of(",\r\n", start);
  return file.substr(0, start) + text + file.substr(end);
}

TEST_F(Cli, BadCellsAreListedAndNothingIsWritten) {
  // GsmTmpComp's cells are signed 16-bit decimals read back with "%d".
  const struct {
    std::string text;
    std::string expected;
  } cases[] = {
      {"abc", "'abc': expected a decimal integer -32768..32767"},   // not a number at all
      {"\"1,600\"", "'1,600': expected a decimal integer"},          // thousands separator
      {"2.0E+01", "'2.0E+01': expected a decimal integer"},          // exponent
      {"99999", "'99999': expected a decimal integer -32768..32767"},  // beyond 16 bits
      {"\xEF\xBC\x95", "expected a decimal integer"},                // full-width digit 5
      {"", "'': expected a decimal integer"},                         // blank
  };
  const std::string original = slurp(examples() + "/gsm/nv.bin");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    const std::string image = image_of("gsm");
    put(path("bad.csv"), with_first_cell(example_sheet("gsm", "GsmTmpComp"), "Tx1", c.text));
    const CliRun r = run("write GsmTmpComp " + image + " " + path("bad.csv"));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(path("bad.csv") + ":"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(": range Tx1, row 1 col 1: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.expected), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("nothing was written"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("修改完成"), std::string::npos) << "the library is never called";
    EXPECT_EQ(slurp(image), original);
  }
}

TEST_F(Cli, EveryProblemIsListedWithItsPosition) {
  std::string sheet = temp_dac_sheet(100);
  sheet.replace(sheet.find("\r\n101\r\n") + 2, 3, "x1");
  sheet.replace(sheet.find("\r\n110\r\n") + 2, 3, "9999");
  put(path("nv.bin"), std::string(0x600, '\0'));
  put(path("in.csv"), sheet);
  const CliRun r = run("write TempDacTab " + path("nv.bin") + " " + path("in.csv"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find(path("in.csv") + ":4:1: range TempDac, row 2 col 1: 'x1': expected"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find(path("in.csv") + ":13:1: range TempDac, row 11 col 1: '9999': expected"), std::string::npos)
      << r.err;
  EXPECT_EQ(slurp(path("nv.bin")), std::string(0x600, '\0'));
}

TEST_F(Cli, UnfilledTemplatesNeverChangeAnImage) {
  std::map<std::string, std::string> family_of;
  for (const auto* def : calvex_host::all_sheets()) {
    SCOPED_TRACE(std::string(def->name));
    const std::string family(calvex::family_name(def->family));
    const std::string image = image_of(family);
    const std::string before = slurp(image);
    const CliRun t = run("template " + std::string(def->name) + " -o " + path("t.csv"));
    ASSERT_EQ(t.status, 0);
    const CliRun w = run("write " + std::string(def->name) + " " + image + " " + path("t.csv"));
    EXPECT_NE(w.status, 0) << w.err;
    EXPECT_EQ(slurp(image), before);
  }
}

TEST_F(Cli, LibraryErrorLeavesTheImageUnchanged) {
  // With --lenient the library sees "0x1g": it shows its error, then its
  // success message, which calvex shows as discarded; it keeps the old
  // image and exits 1.
  const std::string image = image_of("ltea");
  const std::string before = slurp(image);
  put(path("phse.csv"), with_first_cell(example_sheet("ltea", "LteaPhse"), "Phse", "0x1g"));
  const CliRun strict = run("write LteaPhse " + image + " " + path("phse.csv"));
  EXPECT_EQ(strict.status, 2);
  EXPECT_NE(strict.err.find("'0x1g': expected"), std::string::npos) << strict.err;

  const CliRun lenient = run("--lenient write LteaPhse " + image + " " + path("phse.csv"));
  EXPECT_EQ(lenient.status, 1);
  EXPECT_EQ(lenient.err,
            "error: LteaPhse: 非16进制数！ (not a hexadecimal number)\n"
            "discarded: LteaPhse: 修改完成！ (changes written, the library says; calvex discarded them, nothing "
            "written)\n"
            "error: LteaPhse: the image was left unchanged\n");
  EXPECT_EQ(slurp(image), before);
}

TEST_F(Cli, ShortImagesAreRefusedUnlessAskedFor) {
  put(path("empty.bin"), "");
  put(path("in.csv"), temp_dac_sheet(100));
  const CliRun w = run("write TempDacTab " + path("empty.bin") + " " + path("in.csv"));
  EXPECT_EQ(w.status, 1);
  EXPECT_NE(w.err.find("holds 0 bytes, the sheet's blocks reach"), std::string::npos) << w.err;
  EXPECT_EQ(slurp(path("empty.bin")), "");
  EXPECT_EQ(run("--grow write TempDacTab " + path("empty.bin") + " " + path("in.csv")).status, 0);
  EXPECT_GT(slurp(path("empty.bin")).size(), 0u);

  put(path("short.bin"), std::string(16, '\0'));
  const CliRun r = run("read TempDacTab " + path("short.bin"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("holds 16 bytes"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(run("read TempDacTab " + path("short.bin") + " --allow-short").status, 0);
}

TEST_F(Cli, OutputImageAndDryRunLeaveTheInputAlone) {
  const std::string image = image_of("gsm");
  const std::string before = slurp(image);
  const std::string sheet = examples() + "/gsm/GsmTmpComp.csv";
  put(path("edit.csv"), with_first_cell(example_sheet("gsm", "GsmTmpComp"), "Tx1", "-7"));

  const CliRun dry = run("write GsmTmpComp " + image + " " + path("edit.csv") + " --dry-run");
  EXPECT_EQ(dry.status, 0) << dry.err;
  EXPECT_NE(dry.out.find("Tx1 row 1 col 1: '"), std::string::npos) << dry.out;
  EXPECT_NE(dry.out.find("-> '-7'"), std::string::npos) << dry.out;
  EXPECT_NE(dry.out.find("bytes 0x"), std::string::npos) << dry.out;
  EXPECT_EQ(slurp(image), before);

  const CliRun o = run("write GsmTmpComp " + image + " " + path("edit.csv") + " -o " + path("new.bin"));
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_EQ(slurp(image), before);
  const std::string after = slurp(path("new.bin"));
  ASSERT_EQ(after.size(), before.size());
  EXPECT_NE(after, before);
}

TEST_F(Cli, ReadOutputNeverReplacesTheImage) {
  const std::string image = image_of("gsm");
  const std::string before = slurp(image);
  const CliRun r = run("read GsmTmpComp " + image + " -o " + image);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("is the image itself"), std::string::npos) << r.err;
  EXPECT_EQ(slurp(image), before);
}

TEST_F(Cli, WriteBackNeverReplacesTheImage) {
  const std::string image = image_of("common");
  const std::string before = slurp(image);
  const std::string sheet = examples() + "/common/PinMuxMipiInit.csv";
  for (const std::string& target : {image, sheet}) {
    SCOPED_TRACE(target);
    const CliRun w = run("write PinMuxMipiInit " + image + " " + sheet + " --write-back " + target);
    EXPECT_EQ(w.status, 2);
    EXPECT_NE(w.err.find("is the image, the sheet file or the output; nothing was written"), std::string::npos) << w.err;
    EXPECT_EQ(slurp(image), before);
  }
}

TEST_F(Cli, OpenFailuresNameThePathAndReason) {
  put(path("in.csv"), temp_dac_sheet(100));
  fs::create_directories(path("dir"));
  const struct {
    std::string args;
    int status;
    std::string err_part;
  } cases[] = {
      {"write TempDacTab " + path("missing.bin") + " " + path("in.csv"), 1,
       "cannot open image '" + path("missing.bin") + "': No such file or directory"},
      {"write TempDacTab " + path("dir") + " " + path("in.csv"), 1, "image '" + path("dir") + "' is not a regular file"},
      {"read TempDacTab " + path("missing.bin"), 1, "cannot open image '" + path("missing.bin") + "'"},
      {"write TempDacTab " + path("dir") + " " + path("dir"), 2, path("dir")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const CliRun r = run(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.err.find(c.err_part), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("basic_filebuf"), std::string::npos) << "no C++ exception text";
  }
  EXPECT_FALSE(fs::exists(path("missing.bin"))) << "no image is created";
}

TEST_F(Cli, NothingWrittenIsSaid) {
  // PortInfo writes nothing unless CA is "Support": the library shows nothing.
  const std::string image = image_of("common");
  const std::string before = slurp(image);
  const std::string file = example_sheet("common", "PortInfo");
  put(path("p.csv"), with_first_cell(file, "CaSupport", ""));
  const CliRun r = run("write PortInfo " + image + " " + path("p.csv"));
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_EQ(r.err,
            "error: PortInfo: nothing was written: the sheet's write showed no message (CaSupport is not \"Support\", "
            "so the port table is not written)\n");
  EXPECT_EQ(slurp(image), before);
}

TEST_F(Cli, KeywordsAreExactWithSuggestions) {
  const std::string image = image_of("ltea");
  const std::string before = slurp(image);
  for (const std::string bad : {"Open", " open"}) {
    SCOPED_TRACE(bad);
    put(path("f.csv"), with_first_cell(example_sheet("ltea", "LteaFlags"), "TxNvFlagSwitch", "\"" + bad + "\""));
    const CliRun r = run("write LteaFlags " + image + " " + path("f.csv"));
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("(did you mean 'open'?)"), std::string::npos) << r.err;
    EXPECT_EQ(slurp(image), before);
  }
  const CliRun d = run("describe LteaFlags");
  EXPECT_EQ(d.status, 0);
  EXPECT_NE(d.out.find("open"), std::string::npos) << d.out;
  EXPECT_NE(d.out.find("NV blocks"), std::string::npos) << d.out;
}

TEST_F(Cli, CommandLine) {
  put(path("nv.bin"), std::string(0x600, '\0'));
  put(path("in.csv"), temp_dac_sheet(100));
  const struct {
    std::string args;
    int status;
    std::string err_part;
    std::string out_part;
  } cases[] = {
      {"", 2, "calvex: A subcommand is required", ""},
      {"frobnicate", 2, "calvex: unknown command 'frobnicate'", ""},
      {"--foo list", 2, "--foo", ""},
      {"--layout sideways list", 2, "--layout", ""},
      {"--version", 0, "", "calvex 1."},
      {"write TempDacTb a b", 2, "calvex: unknown sheet 'TempDacTb'; did you mean 'TempDacTab'?", ""},
      {"list --layout merged", 0, "", "TempDacTab"},
      {"write TempDacTab " + path("nv.bin") + " " + path("in.csv") + " --layout single", 0,
       "ok: TempDacTab: 修改完成！ (changes written)", ""},
      {"write --help", 0, "", "image"},
      {"describe LteFilter", 0, "", "single layout"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const CliRun r = run(c.args);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.err.find(c.err_part), std::string::npos) << r.err;
    EXPECT_NE(r.out.find(c.out_part), std::string::npos) << r.out;
  }
}

TEST_F(Cli, LteMessagesNameTheLayout) {
  const std::string image = image_of("lte");
  const CliRun r = run("--layout merged write LteFilter " + image + " " + examples() + "/lte/LteFilter.csv");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "ok: LteFilter (merged layout): 修改完成！ (changes written)\n");
}

TEST_F(Cli, SpreadsheetExportsAreAccepted) {
  const std::string sheet = temp_dac_sheet(200);
  std::string tab = sheet;
  std::replace(tab.begin(), tab.end(), ',', '\t');
  std::string utf16le = "\xFF\xFE";
  std::string utf16be_no_bom;
  for (char c : tab) {
    utf16le += c;
    utf16le += '\0';
    utf16be_no_bom += '\0';
    utf16be_no_bom += c;
  }
  std::string semicolon = sheet;
  std::replace(semicolon.begin(), semicolon.end(), ',', ';');
  for (const std::string& form : {utf16le, utf16be_no_bom, semicolon}) {
    put(path("nv.bin"), std::string(0x600, '\0'));
    put(path("in.csv"), form);
    const CliRun r = run("write TempDacTab " + path("nv.bin") + " " + path("in.csv"));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(static_cast<unsigned char>(slurp(path("nv.bin"))[0x480]), 200);
  }
}

TEST_F(Cli, WriteBackCellsGoToTheirOwnFile) {
  const std::string image = image_of("common");
  const CliRun w = run("write PinMuxMipiInit " + image + " " + examples() + "/common/PinMuxMipiInit.csv --write-back " +
                       path("usid.csv"));
  EXPECT_EQ(w.status, 0) << w.err;
  EXPECT_EQ(w.out, "");
  const std::string back = slurp(path("usid.csv"));
  EXPECT_EQ(back.rfind("#range,MipiUserIds\r\n", 0), 0u) << back;
  EXPECT_EQ(std::count(back.begin(), back.end(), '\n'), 13) << "marker and 12 cells";
}

// Every readable sheet on its family's example image: read output written
// back rewrites identical bytes, and one changed cell changes bytes within
// one stored field only and reads back as its new value.
TEST_F(Cli, EveryReadableSheetRoundTrips) {
  for (const auto* def : calvex_host::all_sheets()) {
    if (!def->has_read()) continue;
    const std::string name(def->name);
    SCOPED_TRACE(name);
    // The family's example image with every example sheet written, as the
    // main job leaves it (some sheets check bands that another one writes).
    const std::string family(calvex::family_name(def->family));
    const std::string image = image_of(family);
    std::ifstream job(examples() + "/" + family + "/job.txt");
    for (std::string line; std::getline(job, line);) {
      std::istringstream words(line);
      std::string sheet, file, layout;
      if (!(words >> sheet >> file) || sheet[0] == '#') continue;
      words >> layout;
      const CliRun w = run((layout.empty() ? "" : "--layout " + layout + " ") + "write " + sheet + " " + image + " " +
                           examples() + "/" + family + "/" + file + " --write-back " + path("wb.csv"));
      ASSERT_EQ(w.status, 0) << sheet << ": " << w.err;
    }
    const std::string before = slurp(image);
    const CliRun r = run("read " + name + " " + image + " -o " + path("read.csv"));
    ASSERT_EQ(r.status, 0) << r.err;
    const CliRun w = run("write " + name + " " + image + " " + path("read.csv"));
    ASSERT_EQ(w.status, 0) << w.err;
    EXPECT_EQ(slurp(image), before) << "rewriting the read changes nothing";

    const RangeCells cells = calvex_host::parse_sheet_file(*def, slurp(path("read.csv")));
    bool changed_one = false;
    // The last value cell of the sheet: counts and switches, which decide
    // what other cells mean, come first in every sheet.
    for (size_t rg = cells.size(); rg-- > 0 && !changed_one;) {
      for (size_t i = cells[rg].size(); i-- > 0 && !changed_one;) {
        const auto& range = def->ranges[rg];
        const auto rule = range.cell_type_at(static_cast<int>(i) / range.cols, static_cast<int>(i) % range.cols);
        const std::string& text = cells[rg][i];
        if (text.empty() || text == "X") continue;
        std::string other;
        if (rule.kind == calvex::CellKind::Dec) {
          const long value = std::stol(text);
          other = std::to_string(value > rule.min && value - 1 >= (rule.is_signed ? -1 : 0) ? value - 1 : value + 1);
        } else if (rule.kind == calvex::CellKind::Hex && std::isxdigit(static_cast<unsigned char>(text.back()))) {
          // Flip the lowest bit, keeping the text's form.
          const char last = text.back();
          const int digit = std::isdigit(static_cast<unsigned char>(last)) ? last - '0' : (last | 0x20) - 'a' + 10;
          const int flipped = digit ^ 1;
          const bool upper = last >= 'A' && last <= 'F';
          other = text.substr(0, text.size() - 1) +
                  static_cast<char>(flipped < 10 ? '0' + flipped : (upper ? 'A' : 'a') + flipped - 10);
        } else if (rule.kind == calvex::CellKind::Line && (text == "0" || text == "1")) {
          other = text == "0" ? "1" : "0";
        } else {
          continue;
        }
        RangeCells edited = cells;
        edited[rg][i] = other;
        put(path("edit.csv"), calvex_host::format_sheet_file(*def, edited));
        const CliRun e = run("write " + name + " " + image + " " + path("edit.csv") + " -o " + path("edited.bin"));
        if (e.status != 0) continue;
        if (slurp(path("edited.bin")) == before) continue;  // a cell the write does not use as given
        // The changed bytes lie within one stored field of the cell's width.
        const std::string edited_image = slurp(path("edited.bin"));
        size_t first_change = std::string::npos;
        size_t last_change = 0;
        for (size_t k = 0; k < edited_image.size() && k < before.size(); ++k) {
          if (edited_image[k] == before[k]) continue;
          if (first_change == std::string::npos) first_change = k;
          last_change = k;
        }
        const size_t field = rule.kind == calvex::CellKind::Line ? 4 : rule.bytes;
        EXPECT_EQ(edited_image.size(), before.size());
        EXPECT_LT(last_change - first_change, field) << "range " << range.name << " cell " << i;
        const CliRun back = run("read " + name + " " + path("edited.bin") + " -o " + path("back.csv"));
        ASSERT_EQ(back.status, 0) << back.err;
        const RangeCells after = calvex_host::parse_sheet_file(*def, slurp(path("back.csv")));
        EXPECT_EQ(after[rg][i], other) << "range " << range.name << " cell " << i;
        changed_one = true;
      }
    }
    // A sheet of keywords only (PortInfo) has no number cell to change.
    bool has_numbers = false;
    for (const calvex::RangeDef& range : def->ranges)
      for (int k = 0; k < range.count(); ++k)
        has_numbers = has_numbers || range.cell_type_at(k / range.cols, k % range.cols).kind == calvex::CellKind::Dec;
    if (has_numbers) {
      EXPECT_TRUE(changed_one) << "no number cell of the read could be changed";
    }
  }
}

}  // namespace
