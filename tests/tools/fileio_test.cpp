// The Linux flavour of the whole-file routines, and the transfer loops that
// both flavours share.
#include "fileio.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "files.h"
#include "process.h"
#include "temp_dir.h"

namespace {

using calvex_test::Bytes;
using calvex_test::TempDir;

TEST(ReadWhole, EmptyFileReadsZeroBytes) {
  TempDir dir;
  calvex_test::write_text(dir.file("empty"), "");
  unsigned char buffer[8] = {};
  EXPECT_EQ(fileio::read_whole(dir.file("empty").c_str(), buffer, sizeof buffer), 0);
}

TEST(ReadWhole, FileShorterThanCountReadsItsLength) {
  TempDir dir;
  const Bytes content = calvex_test::pseudo_random_bytes(10, 1);
  calvex_test::write_file(dir.file("short"), content);
  std::vector<unsigned char> buffer(100, 0xEE);
  ASSERT_EQ(fileio::read_whole(dir.file("short").c_str(), buffer.data(), 100), 10);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 10), content);
  EXPECT_EQ(buffer[10], 0xEE);  // nothing beyond the file's bytes is touched
}

TEST(ReadWhole, ReadsExactlyCountOfALongerFile) {
  TempDir dir;
  const Bytes content = calvex_test::pseudo_random_bytes(4097, 2);
  calvex_test::write_file(dir.file("f"), content);
  std::vector<unsigned char> buffer(4097 + 1, 0xEE);
  ASSERT_EQ(fileio::read_whole(dir.file("f").c_str(), buffer.data(), 4096), 4096);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 4096), Bytes(content.begin(), content.begin() + 4096));
  EXPECT_EQ(buffer[4096], 0xEE);
}

TEST(ReadWhole, MissingFileIsNegativeAndSilent) {
  TempDir dir;
  unsigned char buffer[4];
  testing::internal::CaptureStdout();
  EXPECT_LT(fileio::read_whole(dir.file("missing").c_str(), buffer, sizeof buffer), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST(WriteWhole, TruncatesALongerExistingFile) {
  TempDir dir;
  calvex_test::write_file(dir.file("out"), Bytes(1000, 0x55));
  const Bytes content = calvex_test::pseudo_random_bytes(17, 3);
  EXPECT_EQ(fileio::write_whole(dir.file("out").c_str(), content.data(), 17), 17);
  EXPECT_EQ(calvex_test::read_file(dir.file("out")), content);
}

TEST(WriteWhole, CreatesTheFileWithMode0640) {
  TempDir dir;
  const mode_t previous_mask = ::umask(022);
  const Bytes content = {1, 2, 3};
  const int64_t written = fileio::write_whole(dir.file("new").c_str(), content.data(), 3);
  ::umask(previous_mask);
  ASSERT_EQ(written, 3);
  struct stat status;
  ASSERT_EQ(::stat(dir.file("new").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u);
}

// Run in a child process whose files may not exceed 4096 bytes.
int write_past_file_size_limit(const std::string& path) {
  const Bytes content = calvex_test::pseudo_random_bytes(10000, 5);
  const int64_t written = fileio::write_whole(path.c_str(), content.data(), 10000);
  if (written != 4096) return 1;
  return calvex_test::exists(path) ? 2 : 0;
}

TEST(WriteWhole, FileThatCannotBeWrittenWholeIsRemoved) {
  TempDir dir;
  EXPECT_EQ(calvex_test::run_with_file_size_limit(4096, write_past_file_size_limit, dir.file("out")), 0);
}

TEST(WriteWhole, UnopenablePathIsMinusOne) {
  TempDir dir;
  const Bytes content = {1};
  EXPECT_EQ(fileio::write_whole(dir.file("no-such-dir/out").c_str(), content.data(), 1), -1);
}

TEST(WriteWhole, ZeroCountIsRefusedWithoutTouchingTheFile) {
  TempDir dir;
  const Bytes content = {1};
  EXPECT_EQ(fileio::write_whole(dir.file("none").c_str(), content.data(), 0), 0);
  EXPECT_FALSE(calvex_test::exists(dir.file("none")));
  calvex_test::write_text(dir.file("kept"), "keep");
  EXPECT_EQ(fileio::write_whole(dir.file("kept").c_str(), content.data(), 0), 0);
  EXPECT_EQ(calvex_test::read_file(dir.file("kept")), calvex_test::bytes_of("keep"));
}

TEST(FileSize, ReportsTheSize) {
  TempDir dir;
  calvex_test::write_file(dir.file("f"), Bytes(12345, 0));
  EXPECT_EQ(fileio::file_size(dir.file("f").c_str()), 12345);
}

TEST(FileSize, MissingFileIsMinusOneWithItsLine) {
  TempDir dir;
  const std::string path = dir.file("missing");
  testing::internal::CaptureStdout();
  EXPECT_EQ(fileio::file_size(path.c_str()), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "stat file " + path + " failed\n");
}

TEST(FileExists, TrueOnlyForAReadableFile) {
  TempDir dir;
  calvex_test::write_text(dir.file("f"), "");
  EXPECT_TRUE(fileio::file_exists(dir.file("f").c_str()));
  EXPECT_FALSE(fileio::file_exists(dir.file("missing").c_str()));
}

struct NumberFileCase {
  const char* content;
  int64_t expected;
  const char* rule;
};

TEST(ReadNumberFile, ReadsTheNumberAtTheStartOfTheFirstLine) {
  const NumberFileCase cases[] = {
      {"4096\n", 4096, "plain number"},
      {"  42abc\n", 42, "leading blanks, trailing letters"},
      {"abc\n", 0, "letters only give 0"},
      {"-17\n", -17, "sign"},
      {"\n5\n", 0, "only the first line counts"},
      {"123", 123, "no newline"},
      {"", 0, "empty file"},
      {"000000000000001234\n", 1, "only the first 15 characters take part"},
      {"99999999999999999999\n", 999999999999999, "15 digits, no overflow"},
  };
  TempDir dir;
  for (const NumberFileCase& c : cases) {
    calvex_test::write_text(dir.file("n"), c.content);
    EXPECT_EQ(fileio::read_number_file(dir.file("n").c_str()), c.expected) << c.rule;
  }
}

TEST(ReadNumberFile, MissingFileIsMinusOneWithTheSystemErrorOnStderr) {
  TempDir dir;
  const std::string path = dir.file("missing");
  testing::internal::CaptureStderr();
  EXPECT_EQ(fileio::read_number_file(path.c_str()), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), path + ": No such file or directory\n");
}

struct DecimalCase {
  const char* text;
  int64_t expected;
  const char* rule;
};

TEST(ParseDecimalPrefix, FollowsAtoiRulesAndSaturates) {
  const DecimalCase cases[] = {
      {"", 0, "no digits"},
      {"abc", 0, "no digits"},
      {"100", 100, "digits"},
      {"+5", 5, "plus sign"},
      {" \t\n-8x", -8, "white space, sign, digits, then other"},
      {"12 34", 12, "a blank ends the number"},
      {"- 3", 0, "a sign must be followed by digits"},
      {"2147483648", 2147483648, "beyond 32 bits"},
      {"9223372036854775807", std::numeric_limits<int64_t>::max(), "largest"},
      {"9223372036854775808", std::numeric_limits<int64_t>::max(), "saturates high"},
      {"-9223372036854775808", std::numeric_limits<int64_t>::min(), "smallest"},
      {"-99999999999999999999", std::numeric_limits<int64_t>::min(), "saturates low"},
  };
  for (const DecimalCase& c : cases) {
    EXPECT_EQ(fileio::parse_decimal_prefix(c.text), c.expected) << c.text << " (" << c.rule << ")";
  }
}

// One scripted result of a transfer call: how many bytes it moves (0 = end of
// file or nothing written), or -1 with `error` in errno.
struct Step {
  int64_t result;
  int error;
};

struct LoopCase {
  std::vector<Step> steps;
  int64_t count;
  int64_t expected;
  size_t expected_calls;
  const char* rule;
};

class ScriptedCalls {
 public:
  explicit ScriptedCalls(std::vector<Step> steps) : steps_(std::move(steps)) {}
  int64_t next(int64_t offered) {
    if (calls_ >= steps_.size()) {
      ADD_FAILURE() << "more calls than scripted";
      return -1;
    }
    const Step step = steps_[calls_++];
    if (step.result < 0) {
      errno = step.error;
      return -1;
    }
    EXPECT_LE(step.result, offered);
    return step.result;
  }
  size_t calls() const { return calls_; }

 private:
  std::vector<Step> steps_;
  size_t calls_ = 0;
};

const LoopCase kReadCases[] = {
    {{{10, 0}}, 10, 10, 1, "one call"},
    {{{4, 0}, {3, 0}, {3, 0}}, 10, 10, 3, "short reads are continued"},
    {{{-1, EINTR}, {-1, EINTR}, {10, 0}}, 10, 10, 3, "interrupted reads are retried"},
    {{{6, 0}, {0, 0}}, 10, 6, 2, "end of file ends the loop"},
    {{{0, 0}}, 10, 0, 1, "empty file"},
    {{{6, 0}, {-1, EIO}}, 10, 6, 2, "a failure after some bytes gives the bytes"},
    {{{-1, EIO}}, 10, -1, 1, "a failure first gives the failure"},
    {{}, 0, 0, 0, "nothing to read"},
};

TEST(ReadLoop, ScriptedCalls) {
  for (const LoopCase& c : kReadCases) {
    ScriptedCalls calls(c.steps);
    std::vector<unsigned char> buffer(static_cast<size_t>(c.count) + 1);
    const int64_t total = fileio::read_loop([&](void*, int64_t n) { return calls.next(n); }, buffer.data(), c.count);
    EXPECT_EQ(total, c.expected) << c.rule;
    EXPECT_EQ(calls.calls(), c.expected_calls) << c.rule;
  }
}

const LoopCase kWriteCases[] = {
    {{{10, 0}}, 10, 10, 1, "one call"},
    {{{4, 0}, {6, 0}}, 10, 10, 2, "short writes are continued"},
    {{{-1, EINTR}, {10, 0}}, 10, 10, 2, "interrupted writes are retried"},
    {{{0, 0}}, 10, -1, 1, "a write of nothing fails instead of looping"},
    {{{4, 0}, {0, 0}}, 10, 4, 2, "a write of nothing after some bytes gives the bytes"},
    {{{4, 0}, {-1, ENOSPC}}, 10, 4, 2, "a failure after some bytes gives the bytes"},
    {{{-1, ENOSPC}}, 10, -1, 1, "a failure first gives the failure"},
};

TEST(WriteLoop, ScriptedCalls) {
  for (const LoopCase& c : kWriteCases) {
    ScriptedCalls calls(c.steps);
    const std::vector<unsigned char> buffer(static_cast<size_t>(c.count));
    const int64_t total =
        fileio::write_loop([&](const void*, int64_t n) { return calls.next(n); }, buffer.data(), c.count);
    EXPECT_EQ(total, c.expected) << c.rule;
    EXPECT_EQ(calls.calls(), c.expected_calls) << c.rule;
  }
}

TEST(ReadLoop, EachCallContinuesWhereThePreviousStopped) {
  const Bytes source = calvex_test::pseudo_random_bytes(10, 4);
  size_t position = 0;
  Bytes buffer(10);
  const int64_t total = fileio::read_loop(
      [&](void* data, int64_t n) {
        const int64_t moved = std::min<int64_t>(n, 3);
        std::copy_n(source.begin() + static_cast<std::ptrdiff_t>(position), moved, static_cast<unsigned char*>(data));
        position += static_cast<size_t>(moved);
        return moved;
      },
      buffer.data(), 10);
  EXPECT_EQ(total, 10);
  EXPECT_EQ(buffer, source);
}

TEST(AllocateFileBuffer, RefusesNegativeSizesAndAcceptsZero) {
  EXPECT_FALSE(fileio::allocate_file_buffer(-1).ok());
  EXPECT_TRUE(fileio::allocate_file_buffer(0).ok());
  const fileio::FileBuffer buffer = fileio::allocate_file_buffer(100);
  ASSERT_TRUE(buffer.ok());
  EXPECT_EQ(buffer.size, 100);
}

TEST(InputFile, ReadsAtAnyOffsetAndRefusesWhatIsNoRegularFile) {
  TempDir dir;
  const Bytes content = calvex_test::pseudo_random_bytes(3000, 11);
  calvex_test::write_file(dir.file("f"), content);
  fileio::InputFile file;
  ASSERT_TRUE(file.open(dir.file("f").c_str()));
  EXPECT_EQ(file.size(), 3000);
  Bytes piece(100);
  ASSERT_TRUE(file.read_exact(2900, piece.data(), 100));
  EXPECT_EQ(piece, Bytes(content.begin() + 2900, content.end()));
  EXPECT_EQ(file.read_at(2950, piece.data(), 100), 50);  // the end of the file ends a read
  EXPECT_FALSE(file.read_exact(2950, piece.data(), 100));
  EXPECT_EQ(file.error(), fileio::kFileShrankReason);

  calvex_test::make_fifo(dir.file("fifo"));  // opening it for reading would wait for a writer
  fileio::InputFile fifo;
  EXPECT_FALSE(fifo.open(dir.file("fifo").c_str()));
  EXPECT_EQ(fifo.error(), "not a regular file");
  fileio::InputFile directory;
  EXPECT_FALSE(directory.open(dir.path().c_str()));
  EXPECT_EQ(directory.error(), "Is a directory");
  fileio::InputFile missing;
  EXPECT_FALSE(missing.open(dir.file("missing").c_str()));
  EXPECT_EQ(missing.error(), "No such file or directory");
}

// A file of `size` bytes made by extending an empty one, so that it is a hole
// but for the blocks of pseudo-random data written into it; returns its bytes.
struct DataBlock {
  int64_t at;
  size_t size;
};
Bytes make_sparse_file(const std::string& path, int64_t size, const std::vector<DataBlock>& blocks, uint64_t seed) {
  Bytes content(static_cast<size_t>(size), 0);
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(::ftruncate(fd, size), 0);
  for (const DataBlock& block : blocks) {
    const Bytes data = calvex_test::pseudo_random_bytes(block.size, seed++);
    EXPECT_EQ(::pwrite(fd, data.data(), data.size(), block.at), static_cast<ssize_t>(data.size()));
    std::copy(data.begin(), data.end(), content.begin() + block.at);
  }
  ::close(fd);
  return content;
}

// Holes read as zeros whichever way a file is walked: piece by piece forwards
// (as binseek does), backwards, and at seeded random places; data before,
// between and after holes, across block borders and at the very end.
TEST(InputFile, ReadExactSparseGivesTheBytesOfEveryLayout) {
  constexpr int64_t kMiB = int64_t{1} << 20;
  struct Layout {
    int64_t size;
    std::vector<DataBlock> blocks;
    const char* rule;
  };
  const Layout layouts[] = {
      {6 * kMiB, {{kMiB, 5000}, {3 * kMiB - 10, 30}, {6 * kMiB - 100, 100}}, "holes between data, data at the end"},
      {6 * kMiB, {{0, 4096}}, "data first, a hole to the end"},
      {3 * kMiB, {}, "one hole"},
      {kMiB + 123, {{0, kMiB + 123}}, "no hole"},
  };
  TempDir dir;
  for (const Layout& layout : layouts) {
    const Bytes content = make_sparse_file(dir.file("sparse"), layout.size, layout.blocks, 40);
    fileio::InputFile file;
    ASSERT_TRUE(file.open(dir.file("sparse").c_str())) << layout.rule;
    auto expect_piece = [&](int64_t offset, int64_t count) {
      Bytes piece(static_cast<size_t>(count), 0xA5);
      ASSERT_TRUE(file.read_exact_sparse(offset, piece.data(), count)) << layout.rule << " at " << offset;
      EXPECT_TRUE(std::equal(piece.begin(), piece.end(), content.begin() + offset))
          << layout.rule << ": " << count << " bytes at " << offset;
    };
    constexpr int64_t kPiece = 256 << 10;
    for (int64_t at = 0; at < layout.size; at += kPiece) expect_piece(at, std::min(kPiece, layout.size - at));
    for (int64_t at = layout.size; at > 0; at -= std::min(at, kPiece)) {
      expect_piece(at - std::min(at, kPiece), std::min(at, kPiece));
    }
    uint64_t state = 41;
    for (int i = 0; i < 200; ++i) {
      state = state * 6364136223846793005ull + 1442695040888963407ull;
      const auto offset = static_cast<int64_t>((state >> 20) % static_cast<uint64_t>(layout.size));
      const auto count = static_cast<int64_t>((state >> 3) % static_cast<uint64_t>(std::min(layout.size - offset, 2 * kMiB))) + 1;
      expect_piece(std::min(offset, layout.size - count), count);
    }
  }
}

// What was learnt of one file's holes does not outlive it: bytes that were a
// hole in the file opened before are read from the file opened now.
TEST(InputFile, ReadExactSparseForgetsTheHolesOfTheFileBefore) {
  TempDir dir;
  make_sparse_file(dir.file("first"), 1 << 20, {{512 << 10, 4096}}, 44);  // a hole up to its data
  const Bytes second = make_sparse_file(dir.file("second"), 1 << 20, {{0, 4096}}, 45);
  fileio::InputFile file;
  Bytes piece(4096);
  ASSERT_TRUE(file.open(dir.file("first").c_str()));
  ASSERT_TRUE(file.read_exact_sparse(0, piece.data(), 4096));
  EXPECT_EQ(piece, Bytes(4096, 0));
  ASSERT_TRUE(file.open(dir.file("second").c_str()));
  ASSERT_TRUE(file.read_exact_sparse(0, piece.data(), 4096));
  EXPECT_EQ(piece, Bytes(second.begin(), second.begin() + 4096));
}

// A file that shrank is refused, whether the bytes asked for lay in a hole
// the read had already been told of or in one that ran to the end.
TEST(InputFile, ReadExactSparseRefusesAFileThatShrank) {
  constexpr int64_t kMiB = int64_t{1} << 20;
  TempDir dir;
  Bytes piece(4096);
  {
    make_sparse_file(dir.file("sparse"), kMiB, {{768 << 10, 4096}}, 42);
    fileio::InputFile file;
    ASSERT_TRUE(file.open(dir.file("sparse").c_str()));
    ASSERT_TRUE(file.read_exact_sparse(0, piece.data(), 4096));
    std::filesystem::resize_file(dir.file("sparse"), 100 << 10);
    EXPECT_FALSE(file.read_exact_sparse(900 << 10, piece.data(), 4096));
    EXPECT_EQ(file.error(), fileio::kFileShrankReason);
  }
  {
    make_sparse_file(dir.file("sparse"), kMiB, {{0, 4096}}, 43);
    fileio::InputFile file;
    ASSERT_TRUE(file.open(dir.file("sparse").c_str()));
    ASSERT_TRUE(file.read_exact_sparse(512 << 10, piece.data(), 4096));
    std::filesystem::resize_file(dir.file("sparse"), 600 << 10);
    EXPECT_FALSE(file.read_exact_sparse(598 << 10, piece.data(), 4096));
    EXPECT_EQ(file.error(), fileio::kFileShrankReason);
    EXPECT_TRUE(file.read_exact_sparse(590 << 10, piece.data(), 4096));
  }
}

TEST(OutputFile, ReplacesTheDestinationOnlyOnCommit) {
  TempDir dir;
  calvex_test::write_text(dir.file("out"), "old");
  const Bytes content = calvex_test::pseudo_random_bytes(5000, 12);
  {
    fileio::OutputFile out;
    ASSERT_TRUE(out.create(dir.file("out").c_str()));
    ASSERT_TRUE(out.write(content.data(), 5000));
    EXPECT_EQ(out.written(), 5000);
    EXPECT_EQ(calvex_test::read_file(dir.file("out")), calvex_test::bytes_of("old"));
  }  // not committed: the temporary file goes, the destination stays
  EXPECT_EQ(calvex_test::read_file(dir.file("out")), calvex_test::bytes_of("old"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

  fileio::OutputFile out;
  ASSERT_TRUE(out.create(dir.file("out").c_str()));
  ASSERT_TRUE(out.write(content.data(), 5000));
  ASSERT_TRUE(out.commit());
  EXPECT_EQ(calvex_test::read_file(dir.file("out")), content);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

TEST(OutputFile, RefusesDestinationsThatAreNoRegularFiles) {
  TempDir dir;
  calvex_test::make_fifo(dir.file("fifo"));  // opening it for writing would wait for a reader
  fileio::OutputFile fifo;
  EXPECT_FALSE(fifo.create(dir.file("fifo").c_str()));
  EXPECT_EQ(fifo.error(), "not a regular file");
  fileio::OutputFile directory;
  EXPECT_FALSE(directory.create(dir.path().c_str()));
  EXPECT_EQ(directory.error(), "Is a directory");
  std::filesystem::create_symlink(dir.file("nowhere/target"), dir.file("dangling"));
  fileio::OutputFile dangling;
  EXPECT_FALSE(dangling.create(dir.file("dangling").c_str()));
  EXPECT_EQ(dangling.error(), "No such file or directory");
}

}  // namespace
