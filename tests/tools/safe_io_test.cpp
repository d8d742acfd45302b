// What every image tool promises about its files, run as programs: an output
// replaces its destination only when complete (so it may name an input, and a
// failed write leaves the destination as it was, with no temporary file left
// behind), no FIFO or other special file blocks a program, and every failure
// says why on standard error while standard output keeps its lines.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "files.h"
#include "process.h"
#include "temp_dir.h"

namespace {

using calvex_test::Bytes;
using calvex_test::kFailureStatus;
using calvex_test::run_program;
using calvex_test::TempDir;

const std::string kBinsplice = BINSPLICE_PROGRAM;
const std::string kBinseek = BINSEEK_PROGRAM;
const std::string kBincut = BINCUT_PROGRAM;
const std::string kUnpack = UBIUNPACK_PROGRAM;
const std::string kUnpackLite = UBIUNPACK_LITE_PROGRAM;

// `ulimit -f 64`: 64 blocks of 512 bytes.
constexpr uint64_t kShellFileSizeLimit = 64 * 512;
// A program blocked on a special file is killed after this long.
constexpr int kGuardSeconds = 10;

// A UBI dump of two 64 KiB erase blocks (VID header at 512, so 2048 bytes of
// headers and 63488 data bytes per block) carrying `bytes_used` squashfs bytes.
constexpr size_t kBlockSize = 64 * 1024;
constexpr size_t kDataOffset = 2048;
constexpr size_t kBlocks = 2;
constexpr size_t kSquashfsBytes = 100000;

Bytes ubi_image(Bytes* squashfs) {
  *squashfs = calvex_test::pseudo_random_bytes(kSquashfsBytes, 91);
  std::copy_n("hsqs", 4, squashfs->begin());
  calvex_test::store_le64(squashfs->data() + 40, kSquashfsBytes);
  Bytes image(kBlocks * kBlockSize, 0xFF);
  const size_t data_size = kBlockSize - kDataOffset;
  for (size_t block = 0; block < kBlocks; ++block) {
    unsigned char* at = image.data() + block * kBlockSize;
    std::fill_n(at, 64, 0);
    calvex_test::store_be32(at, 0x55424923);  // "UBI#"
    calvex_test::store_be32(at + 16, 512);
    const size_t from = block * data_size;
    const size_t size = std::min(data_size, kSquashfsBytes - from);
    std::copy_n(squashfs->begin() + static_cast<std::ptrdiff_t>(from), size, at + kDataOffset);
  }
  return image;
}

// `size` bytes of `bytes` from `from` on.
Bytes prefix_after(const Bytes& bytes, size_t from, size_t size) {
  return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
               bytes.begin() + static_cast<std::ptrdiff_t>(from + size));
}

const std::string kUnpackHead = "squashfs file size:100000\nflash block_size:64KB page_size:2048 leb_size:62KB\n";

std::vector<std::string> names_in(const TempDir& dir) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string replace_all(std::string text, const std::string& key, const std::string& value) {
  for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
  return text;
}

// The files of one run: "in" (128 KiB), "patch" (4 KiB), "img" (the UBI image).
struct Files {
  Bytes in = calvex_test::pseudo_random_bytes(2 * kBlockSize, 92);
  Bytes patch = calvex_test::pseudo_random_bytes(4096, 93);
  Bytes squashfs;
  Bytes img = ubi_image(&squashfs);

  void write(const TempDir& dir) const {
    calvex_test::write_file(dir.file("in"), in);
    calvex_test::write_file(dir.file("patch"), patch);
    calvex_test::write_file(dir.file("img"), img);
  }
};

struct SameFileCase {
  std::string program;
  std::vector<std::string> args;  // names in the scratch directory, or numbers
  std::string rewritten;          // the input that is also the output
  std::function<Bytes(const Files&)> expected;
  std::string head;  // stdout after the echo line, before a write failure
};

std::vector<SameFileCase> same_file_cases() {
  return {
      {kBincut, {"in", "0", "0", "in"}, "in", [](const Files& f) { return f.in; }, ""},
      {kBincut, {"in", "1000", "40000", "in"}, "in",
       [](const Files& f) { return Bytes(f.in.begin() + 1000, f.in.begin() + 41000); }, ""},
      {kBinsplice, {"in", "5000", "patch", "in"}, "in",
       [](const Files& f) {
         Bytes out = f.in;
         std::copy(f.patch.begin(), f.patch.end(), out.begin() + 5000);
         return out;
       },
       ""},
      {kUnpack, {"img", "img"}, "img", [](const Files& f) { return f.squashfs; }, kUnpackHead},
      {kUnpackLite, {"img", "img"}, "img",
       [](const Files& f) {
         // The data areas of both blocks, up to the input's end.
         Bytes out;
         for (size_t block = 0; block < kBlocks; ++block) {
           const Bytes data = prefix_after(f.img, block * kBlockSize + kDataOffset, kBlockSize - kDataOffset);
           out.resize(out.size() + data.size());
           std::copy(data.begin(), data.end(), out.end() - static_cast<std::ptrdiff_t>(data.size()));
         }
         return out;
       },
       kUnpackHead + "out file size:126976\n"},
  };
}

std::vector<std::string> argv_of(const SameFileCase& c, const TempDir& dir) {
  std::vector<std::string> argv = {c.program};
  for (const std::string& arg : c.args) {
    const bool number = !arg.empty() && std::isdigit(static_cast<unsigned char>(arg[0]));
    argv.push_back(number ? arg : dir.file(arg));
  }
  return argv;
}

std::string echo_of(const std::vector<std::string>& argv) {
  std::string line;
  for (const std::string& word : argv) line += (line.empty() ? "" : " ") + word;
  return line + "\n";
}

TEST(OutputEqualToInput, IsWrittenWhole) {
  for (const SameFileCase& c : same_file_cases()) {
    TempDir dir;
    const Files files;
    files.write(dir);
    const std::vector<std::string> argv = argv_of(c, dir);
    const auto r = run_program(argv);
    const std::string what = echo_of(argv);
    EXPECT_EQ(r.status, 0) << what << r.out << r.err;
    EXPECT_EQ(calvex_test::read_file(dir.file(c.rewritten)), c.expected(files)) << what;
    EXPECT_EQ(names_in(dir), (std::vector<std::string>{"img", "in", "patch"})) << what;
  }
}

// (trap '' XFSZ; ulimit -f 64; bincut b1.bin 0 0 b1.bin) and the like: the
// output cannot be written whole, and the input it was to replace stays.
TEST(OutputEqualToInput, CutShortByAFileSizeLimitLeavesTheInputIntact) {
  for (const SameFileCase& c : same_file_cases()) {
    TempDir dir;
    const Files files;
    files.write(dir);
    const Bytes before = calvex_test::read_file(dir.file(c.rewritten));
    const std::vector<std::string> argv = argv_of(c, dir);
    const auto r = run_program(argv, {}, kShellFileSizeLimit);
    const std::string what = echo_of(argv);
    const std::string out_path = argv.back();
    const bool unpacker = c.program == kUnpack || c.program == kUnpackLite;
    const std::string program_name = std::filesystem::path(c.program).filename().string();
    EXPECT_EQ(r.status, kFailureStatus) << what;
    EXPECT_EQ(r.out, echo_of(argv) + c.head + "write file " + out_path + " error\n" +
                         (unpacker ? "unubinize fail\n" : ""))
        << what;
    EXPECT_EQ(r.err, program_name + ": " + out_path + ": File too large\n") << what;
    EXPECT_EQ(calvex_test::read_file(dir.file(c.rewritten)), before) << what;
    EXPECT_EQ(names_in(dir), (std::vector<std::string>{"img", "in", "patch"})) << what;
  }
}

// Without the trap a file size limit would end the program by its signal and
// leave the temporary file behind; the programs make it a failed write.
TEST(OutputEqualToInput, FileSizeLimitWithoutTrapIsAFailedWriteNotAKill) {
  TempDir dir;
  const Files files;
  files.write(dir);
  const std::string command = "cd " + dir.path().string() + " && ulimit -f 64 && " + kBincut +
                              " in 0 0 in > stdout 2> stderr";
  EXPECT_EQ(calvex_test::run_shell("sh -c '" + command + "'"), kFailureStatus);
  EXPECT_EQ(calvex_test::read_file(dir.file("in")), files.in);
  EXPECT_EQ(calvex_test::read_file(dir.file("stderr")), calvex_test::bytes_of("bincut: in: File too large\n"));
  EXPECT_EQ(names_in(dir), (std::vector<std::string>{"img", "in", "patch", "stderr", "stdout"}));
}

// A refused run with its exact lines; %D stands for the scratch directory.
struct RefusedCase {
  std::vector<std::string> argv;  // %D/... paths; argv[0] is the program
  std::function<void(const TempDir&)> prepare;
  std::string out;
  std::string err;
  const char* rule;
};

void expect_refused(const RefusedCase& c) {
  TempDir dir;
  const Files files;
  files.write(dir);
  if (c.prepare) c.prepare(dir);
  std::vector<std::string> argv;
  for (const std::string& arg : c.argv) argv.push_back(replace_all(arg, "%D", dir.path().string()));
  const auto r = run_program(argv, {}, 0, kGuardSeconds);
  EXPECT_EQ(r.status, kFailureStatus) << c.rule;
  EXPECT_EQ(r.out, replace_all(c.out, "%D", dir.path().string())) << c.rule;
  EXPECT_EQ(r.err, replace_all(c.err, "%D", dir.path().string())) << c.rule;
  EXPECT_EQ(calvex_test::read_file(dir.file("in")), files.in) << c.rule;
  EXPECT_EQ(calvex_test::read_file(dir.file("img")), files.img) << c.rule;
}

void make_fifo(const TempDir& dir) { calvex_test::make_fifo(dir.file("fifo")); }

TEST(SpecialFiles, NeverBlockAndAreRefusedWithTheirReason) {
  const RefusedCase cases[] = {
      {{kUnpack, "%D/fifo", "%D/out"}, make_fifo,
       kUnpack + " %D/fifo %D/out\nread file %D/fifo error\nunubinize fail\n",
       "ubiunpack: %D/fifo: not a regular file\n", "ubiunpack reading a FIFO"},
      {{kUnpackLite, "%D/fifo", "%D/out"}, make_fifo,
       kUnpackLite + " %D/fifo %D/out\nread file %D/fifo error\nunubinize fail\n",
       "ubiunpack-lite: %D/fifo: not a regular file\n", "ubiunpack-lite reading a FIFO"},
      {{kBinsplice, "%D/in", "%D/fifo", "%D/patch", "%D/out"}, make_fifo,
       kBinsplice + " %D/in -1 %D/patch %D/out\n",
       "%D/fifo: not a regular file\nbinsplice: offset -1 is negative\n", "binsplice offset naming a FIFO"},
      {{kBincut, "%D/fifo", "0", "0", "%D/out"}, make_fifo, kBincut + " %D/fifo 0 0 %D/out\nread file %D/fifo error\n",
       "bincut: %D/fifo: not a regular file\n", "bincut reading a FIFO"},
      {{kBinseek, "%D/fifo", "%D/patch"}, make_fifo, "read file %D/fifo error\n",
       "binseek: %D/fifo: not a regular file\n", "binseek reading a FIFO"},
      {{kBincut, "%D/in", "0", "16", "%D/fifo"}, make_fifo, kBincut + " %D/in 0 16 %D/fifo\nwrite file %D/fifo error\n",
       "bincut: %D/fifo: not a regular file\n", "bincut writing to a FIFO"},
      {{kBinsplice, "%D/in", "0", "%D/patch", "%D/fifo"}, make_fifo,
       kBinsplice + " %D/in 0 %D/patch %D/fifo\nwrite file %D/fifo error\n", "binsplice: %D/fifo: not a regular file\n",
       "binsplice writing to a FIFO"},
      {{kUnpack, "%D/img", "%D/fifo"}, make_fifo,
       kUnpack + " %D/img %D/fifo\n" + kUnpackHead + "write file %D/fifo error\nunubinize fail\n",
       "ubiunpack: %D/fifo: not a regular file\n", "ubiunpack writing to a FIFO"},
      {{kBincut, "%D/in", "0", "16", "/dev/null"}, nullptr, kBincut + " %D/in 0 16 /dev/null\nwrite file /dev/null error\n",
       "bincut: /dev/null: not a regular file\n", "a device is never replaced"},
      {{kBincut, "%D", "0", "16", "%D/out"}, nullptr, kBincut + " %D 0 16 %D/out\nread file %D error\n",
       "bincut: %D: Is a directory\n", "bincut reading a directory"},
      {{kBincut, "%D/in", "0", "16", "%D"}, nullptr, kBincut + " %D/in 0 16 %D\nwrite file %D error\n",
       "bincut: %D: Is a directory\n", "bincut writing over a directory"},
  };
  for (const RefusedCase& c : cases) expect_refused(c);
  // The FIFO and the device are still what they were.
  struct stat status;
  ASSERT_EQ(::stat("/dev/null", &status), 0);
  EXPECT_TRUE(S_ISCHR(status.st_mode));
}

TEST(FailureReasons, GoToStandardErrorWhileStandardOutputKeepsItsLines) {
  const RefusedCase cases[] = {
      {{kBincut, "%D/missing", "0", "0", "%D/out"}, nullptr,
       kBincut + " %D/missing 0 0 %D/out\nstat file %D/missing failed\nread file %D/missing error\n",
       "bincut: %D/missing: No such file or directory\n", "bincut: missing input"},
      {{kBincut, "%D/in", "0", "16", "%D/no-dir/out"}, nullptr,
       kBincut + " %D/in 0 16 %D/no-dir/out\nwrite file %D/no-dir/out error\n",
       "bincut: %D/no-dir/out: No such file or directory\n", "bincut: output directory missing"},
      {{kBincut, "%D/in", "131000", "100", "%D/out"}, nullptr,
       kBincut + " %D/in 131000 100 %D/out\n[error] offset or size out of range\n", "bincut: %D/in holds 131072 bytes\n",
       "bincut: slice beyond the end"},
      {{kBinsplice, "%D/in", "-5", "%D/patch", "%D/out"}, nullptr, kBinsplice + " %D/in -5 %D/patch %D/out\n",
       "binsplice: offset -5 is negative\n", "binsplice: negative offset"},
      {{kBinsplice, "%D/in", "127000", "%D/patch", "%D/out"}, nullptr,
       kBinsplice + " %D/in 127000 %D/patch %D/out\n[error] offset too big\n",
       "binsplice: %D/patch (4096 bytes) at offset 127000 ends beyond the 131072 bytes of %D/in\n",
       "binsplice: patch beyond the end"},
      {{kBinsplice, "%D/in", "0", "%D/missing", "%D/out"}, nullptr,
       kBinsplice + " %D/in 0 %D/missing %D/out\nstat file %D/missing failed\nread file %D/missing error\n",
       "binsplice: %D/missing: No such file or directory\n", "binsplice: missing second input"},
      {{kBinseek, "%D/in", "%D/empty"}, [](const TempDir& dir) { calvex_test::write_file(dir.file("empty"), {}); },
       "read file %D/empty error\n", "binseek: %D/empty: file is empty\n", "binseek: empty seekfile"},
      {{kUnpack, "%D/in", "%D/out"}, nullptr, kUnpack + " %D/in %D/out\nNOT UBI file magic dismatch\nunubinize fail\n", "",
       "ubiunpack: no UBI image (a format refusal needs no system reason)"},
  };
  for (const RefusedCase& c : cases) expect_refused(c);
}

TEST(Outputs, ReplaceTheFileALinkNamesAndKeepItsPermissions) {
  TempDir dir;
  const Files files;
  files.write(dir);
  calvex_test::write_text(dir.file("target"), "previous contents");
  ASSERT_EQ(::chmod(dir.file("target").c_str(), 0604), 0);
  std::filesystem::create_symlink("target", dir.file("link"));
  const auto r = run_program({kBincut, dir.file("in"), "10", "20", dir.file("link")});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link")));
  EXPECT_EQ(calvex_test::read_file(dir.file("target")), Bytes(files.in.begin() + 10, files.in.begin() + 30));
  struct stat status;
  ASSERT_EQ(::stat(dir.file("target").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0604u);
  EXPECT_EQ(names_in(dir), (std::vector<std::string>{"img", "in", "link", "patch", "target"}));
}

}  // namespace
