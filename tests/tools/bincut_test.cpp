// bincut run as a program on real files.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "files.h"
#include "process.h"
#include "temp_dir.h"

namespace {

using calvex_test::Bytes;
using calvex_test::kFailureStatus;
using calvex_test::run_program;

const std::string kProgram = BINCUT_PROGRAM;
constexpr size_t kInputSize = 64;

std::string echo(const std::string& in, const std::string& offset, const std::string& size, const std::string& out) {
  return kProgram + " " + in + " " + offset + " " + size + " " + out + "\n";
}

struct CutCase {
  std::string offset;
  std::string size;
  size_t from;
  size_t length;
  const char* rule;
};

TEST(Bincut, WritesTheSlice) {
  const CutCase cases[] = {
      {"4", "8", 4, 8, "inner slice"},
      {"16", "0", 16, kInputSize - 16, "size 0 means to the end"},
      {"0", "0", 0, kInputSize, "whole file"},
      {"0", "64", 0, kInputSize, "whole file, explicit size"},
      {"60", "4", 60, 4, "slice ending at the end"},
      {"63", "0", 63, 1, "last byte"},
  };
  calvex_test::TempDir dir;
  const Bytes input = calvex_test::pseudo_random_bytes(kInputSize, 31);
  calvex_test::write_file(dir.file("in"), input);
  for (const CutCase& c : cases) {
    const auto r = run_program({kProgram, dir.file("in"), c.offset, c.size, dir.file("out")});
    EXPECT_EQ(r.status, 0) << c.rule;
    EXPECT_EQ(r.out, echo(dir.file("in"), c.offset, c.size, dir.file("out"))) << c.rule;
    const Bytes expected(input.begin() + static_cast<std::ptrdiff_t>(c.from),
                         input.begin() + static_cast<std::ptrdiff_t>(c.from + c.length));
    EXPECT_EQ(calvex_test::read_file(dir.file("out")), expected) << c.rule;
  }
}

struct FailureCase {
  std::string in;
  std::string offset;
  std::string size;
  std::string out;
  std::string lines;  // after the echo line; %I and %O stand for the paths
  const char* rule;
};

TEST(Bincut, FailuresPrintTheirLineAndWriteNothing) {
  const FailureCase cases[] = {
      {"in", "-1", "4", "out", "[error] offset or size out of range\n", "negative offset"},
      {"in", "4", "-1", "out", "[error] offset or size out of range\n", "negative size"},
      {"in", "60", "5", "out", "[error] offset or size out of range\n", "slice one byte past the end"},
      {"in", "65", "0", "out", "[error] offset or size out of range\n", "offset past the end, to the end"},
      {"in", "64", "1", "out", "[error] offset or size out of range\n", "offset at the end"},
      {"in", "64", "0", "out", "write file %O error\n", "empty slice at the end"},
      {"missing", "0", "0", "out", "stat file %I failed\nread file %I error\n", "missing input"},
      {"empty", "0", "0", "out", "read file %I error\n", "empty input"},
      {"in", "0", "4", "no-dir/out", "write file %O error\n", "output cannot be created"},
  };
  calvex_test::TempDir dir;
  calvex_test::write_file(dir.file("in"), calvex_test::pseudo_random_bytes(kInputSize, 32));
  calvex_test::write_text(dir.file("empty"), "");
  for (const FailureCase& c : cases) {
    const std::string in = dir.file(c.in);
    const std::string out = dir.file(c.out);
    std::string expected = c.lines;
    for (size_t at; (at = expected.find("%I")) != std::string::npos;) expected.replace(at, 2, in);
    for (size_t at; (at = expected.find("%O")) != std::string::npos;) expected.replace(at, 2, out);
    const auto r = run_program({kProgram, in, c.offset, c.size, out});
    EXPECT_EQ(r.status, kFailureStatus) << c.rule;
    EXPECT_EQ(r.out, echo(in, c.offset, c.size, out) + expected) << c.rule;
    EXPECT_FALSE(calvex_test::exists(out)) << c.rule;
  }
}

TEST(Bincut, ExistingOutputIsLeftAloneWhenTheSliceIsRefused) {
  calvex_test::TempDir dir;
  calvex_test::write_file(dir.file("in"), calvex_test::pseudo_random_bytes(kInputSize, 33));
  calvex_test::write_text(dir.file("out"), "previous");
  for (const char* offset : {"65", "64"}) {
    const auto r = run_program({kProgram, dir.file("in"), offset, "0", dir.file("out")});
    EXPECT_EQ(r.status, kFailureStatus) << offset;
    EXPECT_EQ(calvex_test::read_file(dir.file("out")), calvex_test::bytes_of("previous")) << offset;
  }
}

TEST(Bincut, OutputThatCannotBeWrittenWholeIsRemoved) {
  calvex_test::TempDir dir;
  calvex_test::write_file(dir.file("in"), calvex_test::pseudo_random_bytes(20000, 34));
  const auto r = run_program({kProgram, dir.file("in"), "0", "10000", dir.file("out")}, {}, 4096);
  EXPECT_EQ(r.status, kFailureStatus);
  EXPECT_EQ(r.out, echo(dir.file("in"), "0", "10000", dir.file("out")) + "write file " + dir.file("out") + " error\n");
  EXPECT_FALSE(calvex_test::exists(dir.file("out")));
}

TEST(Bincut, TooFewArgumentsPrintUsage) {
  const auto r = run_program({kProgram, "in", "0", "0"});
  EXPECT_EQ(r.status, kFailureStatus);
  EXPECT_EQ(r.out, kProgram + " file_in offset size file_out\n");
}

// Offsets beyond 32 bits: a sparse input of 4 GiB plus 64 KiB.
TEST(Bincut, OffsetsBeyondFourGiB) {
  constexpr uint64_t kFourGiB = uint64_t{1} << 32;
  calvex_test::TempDir dir;
  const Bytes marker = calvex_test::pseudo_random_bytes(64, 35);
  {
    std::fstream sparse(dir.file("big"), std::ios::binary | std::ios::out | std::ios::trunc);
    sparse.seekp(static_cast<std::streamoff>(kFourGiB + 1000));
    sparse.write(reinterpret_cast<const char*>(marker.data()), static_cast<std::streamsize>(marker.size()));
  }
  std::filesystem::resize_file(dir.file("big"), kFourGiB + 65536);
  const std::string offset = std::to_string(kFourGiB + 1000);
  const auto r = run_program({kProgram, dir.file("big"), offset, "64", dir.file("out")});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, echo(dir.file("big"), offset, "64", dir.file("out")));
  EXPECT_EQ(calvex_test::read_file(dir.file("out")), marker);
}

}  // namespace
