// calvex end to end: template, write, read round trip, messages on standard
// error and exit statuses.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;

struct CliRun {
  int status;
  std::string out;
  std::string err;
};

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("calvex-cli-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  std::string slurp(const std::string& p) const {
    std::ifstream in(p, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  void put(const std::string& p, const std::string& bytes) const {
    std::ofstream(p, std::ios::binary) << bytes;
  }
  CliRun run(const std::string& args) const {
    const std::string cmd = std::string(CALVEX_BIN) + " " + args + " >" + path("stdout") + " 2>" + path("stderr");
    const int raw = std::system(cmd.c_str());
    return CliRun{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(path("stdout")), slurp(path("stderr"))};
  }
  std::string temp_dac_sheet(int first) const {
    std::string s = "#sheet,TempDacTab\r\n#range,TempDac\r\n";
    for (int i = 0; i < 27; ++i) s += std::to_string(first + i) + "\r\n";
    return s;
  }

  fs::path dir_;
};

TEST_F(Cli, WriteThenReadRoundTrips) {
  put(path("nv.bin"), std::string(0x600, '\x5A'));
  put(path("in.csv"), temp_dac_sheet(4000));
  const CliRun w = run("write TempDacTab " + path("nv.bin") + " " + path("in.csv"));
  EXPECT_EQ(w.status, 0);
  EXPECT_EQ(w.err, "修改完成！\n");
  const std::string image = slurp(path("nv.bin"));
  EXPECT_EQ(static_cast<unsigned char>(image[0x480]), 4000 & 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(image[0x481]), 4000 >> 8);

  const CliRun r = run("read TempDacTab " + path("nv.bin") + " -o " + path("out.csv"));
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(slurp(path("out.csv")), temp_dac_sheet(4000)) << "read output is the written sheet file";
  // ... and is valid input of write.
  const CliRun again = run("write TempDacTab " + path("nv.bin") + " " + path("out.csv"));
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(slurp(path("nv.bin")), image);
}

TEST_F(Cli, TemplateIsAFillableSheetFile) {
  const CliRun t = run("template TempDacTab");
  EXPECT_EQ(t.status, 0);
  EXPECT_EQ(t.out.rfind("#sheet,TempDacTab\r\n#range,TempDac\r\n", 0), 0u);
  put(path("nv.bin"), std::string(0x600, '\0'));
  put(path("t.csv"), t.out);
  const CliRun w = run("write TempDacTab " + path("nv.bin") + " " + path("t.csv"));
  EXPECT_EQ(w.status, 1) << "empty cells are refused by the library";
  EXPECT_EQ(w.err, "温度DAC值数据不正确！\n");
  EXPECT_EQ(slurp(path("nv.bin")), std::string(0x600, '\0'));
}

TEST_F(Cli, ExitStatuses) {
  put(path("nv.bin"), std::string(0x600, '\0'));
  put(path("good.csv"), temp_dac_sheet(100));
  put(path("short.csv"), "#range,TempDac\r\n1\r\n");
  const struct {
    std::string args;
    int status;
    std::string err_start;
  } cases[] = {
      {"", 2, "usage: calvex"},
      {"frobnicate", 2, "calvex: unknown command"},
      {"write NoSuchSheet a b", 2, "calvex: unknown sheet 'NoSuchSheet'"},
      {"write TempDacTab " + path("nv.bin") + " " + path("short.csv"), 2, path("short.csv") + ":3: range 'TempDac'"},
      {"write TempDacTab " + path("nv.bin") + " " + path("missing.csv"), 2, "calvex: cannot read"},
      {"write TempDacTab " + path("missing.bin") + " " + path("good.csv"), 1, "文件打开失败！"},
      {"read TempDacTab " + path("missing.bin"), 1, "获取bin文件失败！"},
      {"--layout sideways list", 2, "usage: calvex"},
      {"write --help", 0, ""},
      {"list", 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const CliRun r = run(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err.substr(0, c.err_start.size()), c.err_start);
  }
  EXPECT_FALSE(fs::exists(path("missing.bin"))) << "no image is created";
}

TEST_F(Cli, AcceptsUtf16AndGb18030SheetFiles) {
  put(path("nv.bin"), std::string(0x600, '\0'));
  const std::string sheet = temp_dac_sheet(200);
  std::string utf16 = "\xFF\xFE";
  for (char c : sheet) {
    utf16.push_back(c);
    utf16.push_back('\0');
  }
  put(path("u16.csv"), utf16);
  EXPECT_EQ(run("write TempDacTab " + path("nv.bin") + " " + path("u16.csv")).status, 0);
  // A GB18030 comment-free file with a non-ASCII cell: the library reads "２" as no digits.
  std::string gb = temp_dac_sheet(300);
  gb.replace(gb.find("300"), 3, "\xA3\xB2");  // full-width 2 in GB18030
  put(path("gb.csv"), gb);
  const CliRun r = run("write TempDacTab " + path("nv.bin") + " " + path("gb.csv"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "温度DAC值数据不正确！\n");
}

}  // namespace

namespace {

TEST_F(Cli, WriteBackCellsGoToTheOutputFile) {
  put(path("nv.bin"), std::string(0x1000, '\0'));
  const std::string sheet = std::string(CALVEX_EXAMPLES) + "/common/PinMuxMipiInit.csv";
  const CliRun w = run("write PinMuxMipiInit " + path("nv.bin") + " " + sheet + " -o " + path("usid.csv"));
  EXPECT_EQ(w.status, 0) << w.err;
  EXPECT_EQ(w.out, "");
  const std::string back = slurp(path("usid.csv"));
  EXPECT_EQ(back.rfind("#range,MipiUserIds\r\n", 0), 0u) << back;
  EXPECT_EQ(std::count(back.begin(), back.end(), '\n'), 13) << "marker and 12 cells";
}

}  // namespace
