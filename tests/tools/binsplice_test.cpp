// binsplice run as a program on real files.
#include <gtest/gtest.h>

#include <string>

#include "files.h"
#include "process.h"
#include "temp_dir.h"

namespace {

using calvex_test::Bytes;
using calvex_test::kFailureStatus;
using calvex_test::run_program;

const std::string kProgram = BINSPLICE_PROGRAM;

class Binsplice : public testing::Test {
 protected:
  void SetUp() override {
    base_ = calvex_test::pseudo_random_bytes(64, 11);
    patch_ = calvex_test::pseudo_random_bytes(8, 12);
    calvex_test::write_file(dir_.file("base"), base_);
    calvex_test::write_file(dir_.file("patch"), patch_);
  }
  std::string echo(const std::string& base, const std::string& offset, const std::string& patch,
                   const std::string& out) const {
    return kProgram + " " + base + " " + offset + " " + patch + " " + out + "\n";
  }
  Bytes spliced(size_t offset) const {
    Bytes expected = base_;
    std::copy(patch_.begin(), patch_.end(), expected.begin() + static_cast<std::ptrdiff_t>(offset));
    return expected;
  }

  calvex_test::TempDir dir_;
  Bytes base_;
  Bytes patch_;
};

TEST_F(Binsplice, CopiesTheSecondFileOverTheFirstAtTheOffset) {
  const auto r = run_program({kProgram, dir_.file("base"), "10", dir_.file("patch"), dir_.file("out")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, echo(dir_.file("base"), "10", dir_.file("patch"), dir_.file("out")));
  EXPECT_EQ(calvex_test::read_file(dir_.file("out")), spliced(10));
}

TEST_F(Binsplice, PatchEndingExactlyAtTheEndFits) {
  const auto r = run_program({kProgram, dir_.file("base"), "56", dir_.file("patch"), dir_.file("out")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(calvex_test::read_file(dir_.file("out")), spliced(56));
}

TEST_F(Binsplice, OffsetIsReadFromAFileOfThatName) {
  base_ = calvex_test::pseudo_random_bytes(8192, 13);
  calvex_test::write_file(dir_.file("base"), base_);
  calvex_test::write_text(dir_.file("100"), "4096\n");
  const auto r = run_program({kProgram, "base", "100", "patch", "out"}, dir_.path());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, echo("base", "4096", "patch", "out"));
  EXPECT_EQ(calvex_test::read_file(dir_.file("out")), spliced(4096));
}

TEST_F(Binsplice, OffsetThatIsNoNumberIsZero) {
  const auto r = run_program({kProgram, dir_.file("base"), "abc", dir_.file("patch"), dir_.file("out"), "extra"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, echo(dir_.file("base"), "0", dir_.file("patch"), dir_.file("out")));
  EXPECT_EQ(calvex_test::read_file(dir_.file("out")), spliced(0));
}

struct FailureCase {
  std::string base;    // file names inside the scratch directory
  std::string offset;
  std::string patch;
  std::string out;
  std::string lines;  // expected output after the echo line; %B, %P, %O stand for the paths
  const char* rule;
};

std::string expand(std::string text, const std::string& base, const std::string& patch, const std::string& out) {
  for (const auto& [key, value] : {std::pair<std::string, std::string>{"%B", base}, {"%P", patch}, {"%O", out}}) {
    for (size_t at = text.find(key); at != std::string::npos; at = text.find(key, at + value.size())) {
      text.replace(at, key.size(), value);
    }
  }
  return text;
}

TEST_F(Binsplice, FailuresPrintTheirLineAndWriteNothing) {
  calvex_test::write_text(dir_.file("empty"), "");
  const FailureCase cases[] = {
      {"base", "57", "patch", "out", "[error] offset too big\n", "patch one byte past the end"},
      {"base", "1000", "patch", "out", "[error] offset too big\n", "offset past the end"},
      {"base", "-1", "patch", "out", "", "negative offset: echo line only"},
      {"missing", "0", "patch", "out", "stat file %B failed\nread file %B error\n", "missing first file"},
      {"empty", "0", "patch", "out", "read file %B error\n", "empty first file"},
      {"base", "0", "missing", "out", "stat file %P failed\nread file %P error\n", "missing second file"},
      {"base", "0", "empty", "out", "read file %P error\n", "empty second file"},
      {"base", "0", "patch", "no-dir/out", "write file %O error\n", "output cannot be created"},
  };
  for (const FailureCase& c : cases) {
    const std::string base = dir_.file(c.base);
    const std::string patch = dir_.file(c.patch);
    const std::string out = dir_.file(c.out);
    const auto r = run_program({kProgram, base, c.offset, patch, out});
    EXPECT_EQ(r.status, kFailureStatus) << c.rule;
    EXPECT_EQ(r.out, echo(base, c.offset, patch, out) + expand(c.lines, base, patch, out)) << c.rule;
    EXPECT_FALSE(calvex_test::exists(out)) << c.rule;
  }
}

TEST_F(Binsplice, OutputThatCannotBeWrittenWholeIsRemoved) {
  calvex_test::write_file(dir_.file("base"), calvex_test::pseudo_random_bytes(10000, 14));
  const auto r = run_program({kProgram, dir_.file("base"), "0", dir_.file("patch"), dir_.file("out")}, {}, 4096);
  EXPECT_EQ(r.status, kFailureStatus);
  EXPECT_EQ(r.out, echo(dir_.file("base"), "0", dir_.file("patch"), dir_.file("out")) + "write file " +
                       dir_.file("out") + " error\n");
  EXPECT_FALSE(calvex_test::exists(dir_.file("out")));
}

TEST_F(Binsplice, TooFewArgumentsPrintUsage) {
  const auto r = run_program({kProgram, "a", "0", "b"});
  EXPECT_EQ(r.status, kFailureStatus);
  EXPECT_EQ(r.out, kProgram + " file_in offset file_in2 file_out\n");
}

}  // namespace
