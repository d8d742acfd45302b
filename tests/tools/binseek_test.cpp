// binseek run as a program on real files.
#include <algorithm>
#include <gtest/gtest.h>

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

const std::string kProgram = BINSEEK_PROGRAM;

Bytes slice(const Bytes& bytes, size_t from, size_t size) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
               bytes.begin() + static_cast<std::ptrdiff_t>(from + size));
}

struct SeekCase {
  size_t big_size;
  std::vector<size_t> copies_at;  // offsets where the seek bytes are planted
  size_t seek_size;
  int status;
  std::string lines;
  const char* rule;
};

TEST(Binseek, PrintsEveryOffsetAndSucceedsOnlyOnOne) {
  const SeekCase cases[] = {
      {1 << 20, {300001}, 4096, 0, "300001\n", "one occurrence"},
      {1 << 20, {5, 700000}, 4096, kFailureStatus, "5\n700000\n", "two occurrences"},
      {1 << 20, {}, 4096, kFailureStatus, "", "no occurrence"},
      {1 << 20, {(1 << 20) - 4096}, 4096, 0, "1044480\n", "occurrence ending at the end of bigfile"},
  };
  for (const SeekCase& c : cases) {
    calvex_test::TempDir dir;
    Bytes big = calvex_test::pseudo_random_bytes(c.big_size, 21);
    const Bytes seek = calvex_test::pseudo_random_bytes(c.seek_size, 22);
    for (size_t at : c.copies_at) std::copy(seek.begin(), seek.end(), big.begin() + static_cast<std::ptrdiff_t>(at));
    calvex_test::write_file(dir.file("seek"), seek);
    calvex_test::write_file(dir.file("big"), big);
    const auto r = run_program({kProgram, dir.file("big"), dir.file("seek")});
    EXPECT_EQ(r.status, c.status) << c.rule;
    EXPECT_EQ(r.out, c.lines) << c.rule;
  }
}

TEST(Binseek, SeekfileEqualToBigfileIsOneMatchAtZero) {
  calvex_test::TempDir dir;
  const Bytes big = calvex_test::pseudo_random_bytes(5000, 23);
  calvex_test::write_file(dir.file("big"), big);
  calvex_test::write_file(dir.file("seek"), big);
  const auto r = run_program({kProgram, dir.file("big"), dir.file("seek")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "0\n");
}

// Holes are searched as the zeros they hold: zeros followed by a marker, as
// a hole or written out, are found where the marker in bigfile follows a hole.
TEST(Binseek, HolesOfSparseFilesAreSearchedAsZeros) {
  constexpr size_t kMarkerAt = 300 << 10;
  constexpr size_t kSeekHole = 8192;
  const std::string marker = "marker-0123456789";
  calvex_test::TempDir dir;
  auto sparse_file = [&](const std::string& path, size_t size, size_t marker_at) {
    calvex_test::write_file(path, {});
    std::filesystem::resize_file(path, size);
    std::fstream(path, std::ios::in | std::ios::out | std::ios::binary).seekp(static_cast<std::streamoff>(marker_at))
        .write(marker.data(), static_cast<std::streamsize>(marker.size()));
  };
  sparse_file(dir.file("big"), 1 << 20, kMarkerAt);
  sparse_file(dir.file("seek"), kSeekHole, kSeekHole);
  Bytes written(kSeekHole + marker.size(), 0);
  std::copy(marker.begin(), marker.end(), written.begin() + kSeekHole);
  calvex_test::write_file(dir.file("written"), written);
  for (const char* seek : {"seek", "written"}) {
    const auto r = run_program({kProgram, dir.file("big"), dir.file(seek)});
    EXPECT_EQ(r.status, 0) << seek;
    EXPECT_EQ(r.out, std::to_string(kMarkerAt - kSeekHole) + "\n") << seek;
  }
}

TEST(Binseek, SeekfileLongerThanBigfileFindsNothing) {
  calvex_test::TempDir dir;
  const Bytes seek = calvex_test::pseudo_random_bytes(5000, 24);
  calvex_test::write_file(dir.file("big"), slice(seek, 0, 4999));
  calvex_test::write_file(dir.file("seek"), seek);
  const auto r = run_program({kProgram, dir.file("big"), dir.file("seek")});
  EXPECT_EQ(r.status, kFailureStatus);
  EXPECT_EQ(r.out, "");
}

TEST(Binseek, OneByteSeekfile) {
  calvex_test::TempDir dir;
  calvex_test::write_text(dir.file("big"), "xzyz");
  calvex_test::write_text(dir.file("y"), "y");
  calvex_test::write_text(dir.file("z"), "z");
  const auto once = run_program({kProgram, dir.file("big"), dir.file("y")});
  EXPECT_EQ(once.status, 0);
  EXPECT_EQ(once.out, "2\n");
  const auto twice = run_program({kProgram, dir.file("big"), dir.file("z")});
  EXPECT_EQ(twice.status, kFailureStatus);
  EXPECT_EQ(twice.out, "1\n3\n");
}

TEST(Binseek, OverlappingOccurrencesAreAllPrinted) {
  calvex_test::TempDir dir;
  calvex_test::write_text(dir.file("big"), "xaaaay");
  calvex_test::write_text(dir.file("seek"), "aa");
  const auto r = run_program({kProgram, dir.file("big"), dir.file("seek")});
  EXPECT_EQ(r.status, kFailureStatus);
  EXPECT_EQ(r.out, "1\n2\n3\n");
}

struct ReadFailureCase {
  const char* big;
  const char* seek;
  std::string lines;  // %B and %S stand for the two paths
  const char* rule;
};

TEST(Binseek, UnreadableInputsPrintTheirLine) {
  calvex_test::TempDir dir;
  calvex_test::write_text(dir.file("data"), "some bytes");
  calvex_test::write_text(dir.file("empty"), "");
  const ReadFailureCase cases[] = {
      {"missing", "data", "stat file %B failed\nread file %B error\n", "missing bigfile"},
      {"data", "missing", "stat file %S failed\nread file %S error\n", "missing seekfile"},
      {"missing", "missing2", "stat file %B failed\nread file %B error\n", "bigfile is checked first"},
      {"empty", "data", "read file %B error\n", "empty bigfile"},
      {"data", "empty", "read file %S error\n", "empty seekfile"},
  };
  for (const ReadFailureCase& c : cases) {
    const std::string big = dir.file(c.big);
    const std::string seek = dir.file(c.seek);
    std::string expected = c.lines;
    for (size_t at; (at = expected.find("%B")) != std::string::npos;) expected.replace(at, 2, big);
    for (size_t at; (at = expected.find("%S")) != std::string::npos;) expected.replace(at, 2, seek);
    const auto r = run_program({kProgram, big, seek});
    EXPECT_EQ(r.status, kFailureStatus) << c.rule;
    EXPECT_EQ(r.out, expected) << c.rule;
  }
}

TEST(Binseek, TooFewArgumentsPrintUsage) {
  const auto r = run_program({kProgram, "big"});
  EXPECT_EQ(r.status, kFailureStatus);
  EXPECT_EQ(r.out, kProgram + " bigfile seekfile\n");
}

}  // namespace
