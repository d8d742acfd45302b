// ubiunpack and ubiunpack-lite run as programs, on UBI images made by ubinize
// from squashfs images made by mksquashfs, and on hand-made images for the
// cases those tools never produce.
#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>

#include "files.h"
#include "process.h"
#include "temp_dir.h"

namespace {

using calvex_test::Bytes;
using calvex_test::kFailureStatus;
using calvex_test::run_program;

const std::string kUnpack = UBIUNPACK_PROGRAM;
const std::string kUnpackLite = UBIUNPACK_LITE_PROGRAM;

constexpr size_t kEcHeaderSize = 64;
constexpr size_t kVidHeaderOffsetField = 16;
constexpr size_t kBytesUsedField = 40;

// A hand-made UBI dump: every block starts with an erase-counter header
// ("UBI#", VID header offset), padding of 0xFF up to the data area, then data.
struct Layout {
  int64_t physical_block_size;
  uint32_t vid_header_offset;
  int64_t data_offset;  // P - L
  int64_t logical_block_size() const { return physical_block_size - data_offset; }
};
const Layout k128KiB512{128 * 1024, 512, 2048};

Bytes ubi_dump(const Layout& layout, size_t empty_blocks, const Bytes& payload) {
  const auto leb = static_cast<size_t>(layout.logical_block_size());
  const size_t data_blocks = (payload.size() + leb - 1) / leb;
  Bytes dump;
  for (size_t block = 0; block < empty_blocks + data_blocks; ++block) {
    Bytes peb(static_cast<size_t>(layout.physical_block_size), 0xFF);
    std::fill(peb.begin(), peb.begin() + kEcHeaderSize, 0x00);
    calvex_test::store_be32(peb.data(), 0x55424923);  // "UBI#"
    calvex_test::store_be32(peb.data() + kVidHeaderOffsetField, layout.vid_header_offset);
    if (block >= empty_blocks) {
      const size_t from = (block - empty_blocks) * leb;
      const size_t size = std::min(leb, payload.size() - from);
      std::copy_n(payload.begin() + static_cast<std::ptrdiff_t>(from), size,
                  peb.begin() + static_cast<std::ptrdiff_t>(layout.data_offset));
    } else {
      std::fill(peb.begin() + static_cast<std::ptrdiff_t>(layout.data_offset), peb.end(), 0x00);
    }
    dump.insert(dump.end(), peb.begin(), peb.end());
  }
  return dump;
}

// squashfs-like bytes: the magic, the given bytes_used field, pseudo-random rest.
Bytes squashfs_bytes(size_t size, uint64_t bytes_used, uint64_t seed) {
  Bytes bytes = calvex_test::pseudo_random_bytes(size, seed);
  std::copy_n("hsqs", 4, bytes.begin());
  calvex_test::store_le64(bytes.data() + kBytesUsedField, bytes_used);
  return bytes;
}

Bytes prefix(const Bytes& bytes, size_t size) {
  return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
}

std::string echo(const std::string& program, const std::string& in, const std::string& out) {
  return program + " " + in + " " + out + "\n";
}

std::string geometry_line(int block_kib, int page, int leb_kib) {
  return "flash block_size:" + std::to_string(block_kib) + "KB page_size:" + std::to_string(page) +
         " leb_size:" + std::to_string(leb_kib) + "KB\n";
}

// A last piece shorter than the headers of a block: the headers that follow
// the data must not end up in the output.
TEST(Ubiunpack, LastPieceShorterThanTheHeadersCopiesNoHeaderBytes) {
  calvex_test::TempDir dir;
  const int64_t leb = k128KiB512.logical_block_size();
  const auto bytes_used = static_cast<size_t>(2 * leb + 100);
  const Bytes squashfs = squashfs_bytes(bytes_used, bytes_used, 41);
  calvex_test::write_file(dir.file("in"), ubi_dump(k128KiB512, 1, squashfs));

  const auto r = run_program({kUnpack, dir.file("in"), dir.file("out")});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, echo(kUnpack, dir.file("in"), dir.file("out")) + "squashfs file size:" +
                       std::to_string(bytes_used) + "\n" + geometry_line(128, 2048, 126) + "unubinize success\n");
  EXPECT_EQ(calvex_test::read_file(dir.file("out")), squashfs);

  const auto lite = run_program({kUnpackLite, dir.file("in"), dir.file("out-lite")});
  EXPECT_EQ(lite.status, 0);
  EXPECT_EQ(lite.out, echo(kUnpackLite, dir.file("in"), dir.file("out-lite")) + "squashfs file size:" +
                          std::to_string(bytes_used) + "\n" + geometry_line(128, 2048, 126) +
                          "out file size:" + std::to_string(3 * leb) + "\nunubinize success\n");
  const Bytes lite_out = calvex_test::read_file(dir.file("out-lite"));
  ASSERT_EQ(lite_out.size(), static_cast<size_t>(3 * leb));
  EXPECT_EQ(prefix(lite_out, bytes_used), squashfs);
  EXPECT_EQ(lite_out.back(), 0xFF);  // the rest of the last data area
}

TEST(Ubiunpack, BytesUsedBeyondWhatTheBlocksCarryIsASizeMismatch) {
  calvex_test::TempDir dir;
  const int64_t leb = k128KiB512.logical_block_size();
  const int64_t bytes_used = 3 * leb + 5;
  calvex_test::write_file(dir.file("in"),
                       ubi_dump(k128KiB512, 1, squashfs_bytes(static_cast<size_t>(2 * leb + 100), bytes_used, 42)));
  const auto r = run_program({kUnpack, dir.file("in"), dir.file("out")});
  EXPECT_EQ(r.status, kFailureStatus);
  EXPECT_EQ(r.out, echo(kUnpack, dir.file("in"), dir.file("out")) + "squashfs file size:" +
                       std::to_string(bytes_used) + "\n" + geometry_line(128, 2048, 126) +
                       "out file size dismatch! " + std::to_string(bytes_used) + " " + std::to_string(3 * leb) +
                       "\nunubinize fail\n");
  EXPECT_FALSE(calvex_test::exists(dir.file("out")));
}

// Inputs both programs refuse with the same lines.
struct RefusedCase {
  Bytes input;
  std::string lines;  // between the echo line and "unubinize fail"; %I stands for the input path
  const char* rule;
};

std::vector<RefusedCase> refused_cases() {
  const int64_t leb = k128KiB512.logical_block_size();
  const Bytes good = ubi_dump(k128KiB512, 1, squashfs_bytes(static_cast<size_t>(leb + 10), leb + 10, 43));
  std::vector<RefusedCase> cases;

  Bytes wrong_magic = good;
  wrong_magic[3] = '!';
  cases.push_back({wrong_magic, "NOT UBI file magic dismatch\n", "first block's magic is not UBI#"});
  cases.push_back({calvex_test::bytes_of("UBI#hsqs"), "NOT UBI file magic dismatch\n", "shorter than the EC header"});

  Bytes no_squashfs = good;
  no_squashfs[static_cast<size_t>(k128KiB512.physical_block_size + k128KiB512.data_offset)] = 'x';
  cases.push_back({no_squashfs, "file %I is NOT squashfs\n", "no hsqs anywhere"});

  Bytes cut_superblock(kEcHeaderSize + 95, 0x00);
  calvex_test::store_be32(cut_superblock.data(), 0x55424923);
  std::copy_n("hsqs", 4, cut_superblock.begin() + kEcHeaderSize);
  cases.push_back({cut_superblock, "file %I is NOT squashfs\n", "superblock cut off by the end of the input"});

  Bytes tiny_bytes_used = good;
  calvex_test::store_le64(tiny_bytes_used.data() + k128KiB512.physical_block_size + k128KiB512.data_offset +
                           kBytesUsedField,
                       95);
  cases.push_back({tiny_bytes_used, "file %I is NOT squashfs\n", "bytes_used smaller than a superblock"});

  const Bytes one_block = ubi_dump(k128KiB512, 0, squashfs_bytes(1000, 1000, 44));
  cases.push_back({one_block, "squashfs file size:1000\nUBI get block_size error\n", "one EC header only"});

  Bytes spurious_second_header = good;
  std::copy_n("UBI#", 4, spurious_second_header.begin() + 100);
  cases.push_back({spurious_second_header,
                   "squashfs file size:" + std::to_string(leb + 10) + "\nUBI get block_size error\n",
                   "second UBI# too close for any data area"});

  cases.push_back({Bytes{}, "read file %I error\n", "empty input"});
  return cases;
}

TEST(Ubiunpack, RefusedInputsPrintTheirLineAndCreateNoOutput) {
  for (const std::string& program : {kUnpack, kUnpackLite}) {
    for (const RefusedCase& c : refused_cases()) {
      calvex_test::TempDir dir;
      const std::string in = dir.file("in");
      calvex_test::write_file(in, c.input);
      std::string lines = c.lines;
      for (size_t at; (at = lines.find("%I")) != std::string::npos;) lines.replace(at, 2, in);
      const auto r = run_program({program, in, dir.file("out")});
      EXPECT_EQ(r.status, kFailureStatus) << program << ": " << c.rule;
      EXPECT_EQ(r.out, echo(program, in, dir.file("out")) + lines + "unubinize fail\n") << program << ": " << c.rule;
      EXPECT_FALSE(calvex_test::exists(dir.file("out"))) << program << ": " << c.rule;
    }
  }
}

TEST(Ubiunpack, OutputThatCannotBeWrittenFails) {
  const int64_t leb = k128KiB512.logical_block_size();
  for (const std::string& program : {kUnpack, kUnpackLite}) {
    calvex_test::TempDir dir;
    calvex_test::write_file(dir.file("in"), ubi_dump(k128KiB512, 1, squashfs_bytes(static_cast<size_t>(leb), leb, 45)));
    const std::string head = "squashfs file size:" + std::to_string(leb) + "\n" + geometry_line(128, 2048, 126) +
                             (program == kUnpackLite ? "out file size:" + std::to_string(leb) + "\n" : "");
    const std::string no_dir = dir.file("no-dir/out");
    const auto r = run_program({program, dir.file("in"), no_dir});
    EXPECT_EQ(r.status, kFailureStatus) << program;
    EXPECT_EQ(r.out, echo(program, dir.file("in"), no_dir) + head + "write file " + no_dir +
                         " error\nunubinize fail\n") << program;

    const std::string capped = dir.file("out");
    const auto partial = run_program({program, dir.file("in"), capped}, {}, 65536);
    EXPECT_EQ(partial.status, kFailureStatus) << program;
    EXPECT_EQ(partial.out, echo(program, dir.file("in"), capped) + head + "write file " + capped +
                               " error\nunubinize fail\n") << program;
    EXPECT_FALSE(calvex_test::exists(capped)) << program;
  }
}

TEST(Ubiunpack, MissingInputAndUsage) {
  for (const std::string& program : {kUnpack, kUnpackLite}) {
    calvex_test::TempDir dir;
    const auto missing = run_program({program, dir.file("missing"), dir.file("out")});
    EXPECT_EQ(missing.status, kFailureStatus);
    EXPECT_EQ(missing.out, "file:" + dir.file("missing") + " NOT exist\n");
    const auto usage = run_program({program, dir.file("in")});
    EXPECT_EQ(usage.status, kFailureStatus);
    EXPECT_EQ(usage.out, program + " in_file out_file\n");
  }
}

// --- Images made by mksquashfs and ubinize. ---

struct UbinizeCase {
  const char* options;
  uint32_t vid_header_offset;
  int block_kib;
  int page;
  int leb_kib;
};

void PrintTo(const UbinizeCase& c, std::ostream* os) { *os << "ubinize " << c.options; }

const UbinizeCase kUbinizeCases[] = {
    {"-m 2048 -p 128KiB -s 512", 512, 128, 2048, 126},
    {"-m 2048 -p 128KiB -s 2048", 2048, 128, 2048, 124},
    {"-m 4096 -p 256KiB", 4096, 256, 4096, 248},
};

class UbiunpackRealImages : public testing::TestWithParam<UbinizeCase> {
 protected:
  static void SetUpTestSuite() {
    dir_ = new calvex_test::TempDir;
    const std::string root = dir_->file("root");
    std::filesystem::create_directories(root + "/etc");
    // Incompressible contents so that the image spans several erase blocks.
    calvex_test::write_file(root + "/a.bin", calvex_test::pseudo_random_bytes(300000, 51));
    calvex_test::write_file(root + "/b.bin", calvex_test::pseudo_random_bytes(250001, 52));
    calvex_test::write_file(root + "/etc/c.bin", calvex_test::pseudo_random_bytes(123457, 53));
    calvex_test::write_text(root + "/etc/hostname", "modem\n");
    const std::string command = "mksquashfs " + root + " " + dir_->file("sq.img") +
                                " -noappend -no-progress -quiet > " + dir_->file("mksquashfs.log") + " 2>&1";
    ASSERT_EQ(calvex_test::run_shell(command), 0) << command;
    calvex_test::write_text(dir_->file("ubi.ini"),
                         "[rootfs]\nmode=ubi\nimage=" + dir_->file("sq.img") +
                             "\nvol_id=0\nvol_type=dynamic\nvol_name=rootfs\nvol_flags=autoresize\n");
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static calvex_test::TempDir* dir_;
};

calvex_test::TempDir* UbiunpackRealImages::dir_ = nullptr;

TEST_P(UbiunpackRealImages, GiveBackTheSquashfsImage) {
  const UbinizeCase& c = GetParam();
  ASSERT_NE(dir_, nullptr);
  const std::string ubi = dir_->file("image.ubi");
  const std::string command = std::string("ubinize -o ") + ubi + " " + c.options + " " + dir_->file("ubi.ini") +
                              " > " + dir_->file("ubinize.log") + " 2>&1";
  ASSERT_EQ(calvex_test::run_shell(command), 0) << command;
  const Bytes image = calvex_test::read_file(ubi);
  ASSERT_GE(image.size(), kEcHeaderSize);
  uint32_t vid_header_offset = 0;
  for (size_t i = 0; i < 4; ++i) vid_header_offset = (vid_header_offset << 8) | image[kVidHeaderOffsetField + i];
  ASSERT_EQ(vid_header_offset, c.vid_header_offset);

  const Bytes squashfs = calvex_test::read_file(dir_->file("sq.img"));
  const auto bytes_used = static_cast<size_t>(calvex_test::load_le32(squashfs.data() + kBytesUsedField));
  ASSERT_GT(bytes_used, static_cast<size_t>(2 * c.leb_kib * 1024));  // several blocks
  const std::string head = "squashfs file size:" + std::to_string(bytes_used) + "\n" +
                           geometry_line(c.block_kib, c.page, c.leb_kib);

  const std::string out = dir_->file("out.sqfs");
  const auto r = run_program({kUnpack, ubi, out});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, echo(kUnpack, ubi, out) + head + "unubinize success\n");
  EXPECT_EQ(calvex_test::read_file(out), prefix(squashfs, bytes_used));

  const std::string lite_out = dir_->file("out-lite.sqfs");
  const auto lite = run_program({kUnpackLite, ubi, lite_out});
  EXPECT_EQ(lite.status, 0);
  const Bytes lite_bytes = calvex_test::read_file(lite_out);
  EXPECT_EQ(lite.out, echo(kUnpackLite, ubi, lite_out) + head + "out file size:" +
                          std::to_string(lite_bytes.size()) + "\nunubinize success\n");
  ASSERT_GE(lite_bytes.size(), bytes_used);
  EXPECT_EQ(prefix(lite_bytes, bytes_used), prefix(squashfs, bytes_used));
}

INSTANTIATE_TEST_SUITE_P(Ubinize, UbiunpackRealImages, testing::ValuesIn(kUbinizeCases),
                         [](const testing::TestParamInfo<UbinizeCase>& info) {
                           return "Block" + std::to_string(info.param.block_kib) + "KiBVid" +
                                  std::to_string(info.param.vid_header_offset);
                         });

}  // namespace
