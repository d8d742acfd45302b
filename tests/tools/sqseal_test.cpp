// sqseal run as a program: hand-made images for the checks, and a squashfs
// image from mksquashfs with a hash tree from veritysetup for the round trip.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
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

const std::string kProgram = SQSEAL_PROGRAM;

constexpr size_t kHeaderBlockSize = 4096;
constexpr size_t kSignatureSize = 640;
constexpr size_t kRootHashOffset = 1024;
constexpr uint32_t kHeaderMagic = 0xB001B001;

uint64_t padded_size(uint64_t bytes_used) {
  const uint64_t calc1 = (bytes_used + 4095) & ~uint64_t{4095};
  return (calc1 + 0x1FFFF) & ~uint64_t{0x1FFFF};
}

std::string size_lines(uint64_t bytes_used) {
  const uint64_t calc1 = (bytes_used + 4095) & ~uint64_t{4095};
  return "bytes_used:" + std::to_string(bytes_used) + "\nrootfs_size_calc1:" + std::to_string(calc1) +
         "\nrootfs_size_calc2:" + std::to_string(padded_size(bytes_used)) + "\n";
}

// A squashfs-like image: the superblock's magic and bytes_used, pseudo-random
// contents, zero padding up to `file_size`.
Bytes image_bytes(uint64_t bytes_used, size_t file_size, uint64_t seed) {
  Bytes image = calvex_test::pseudo_random_bytes(std::min<size_t>(file_size, bytes_used), seed);
  image.resize(file_size, 0);
  if (file_size >= 4) std::copy_n("hsqs", 4, image.begin());
  if (file_size >= 48) calvex_test::store_le64(image.data() + 40, bytes_used);
  return image;
}

class Sqseal : public testing::Test {
 protected:
  static constexpr uint64_t kBytesUsed = 200000;

  void SetUp() override {
    image_ = image_bytes(kBytesUsed, padded_size(kBytesUsed), 61);
    sign_ = calvex_test::pseudo_random_bytes(kSignatureSize, 62);
    root_hash_ = calvex_test::pseudo_random_bytes(32, 63);
    tree_ = calvex_test::pseudo_random_bytes(3 * 4096, 64);
    calvex_test::write_file(image_path(), image_);
    calvex_test::write_file(dir_.file("sign"), sign_);
    calvex_test::write_file(dir_.file("root_hash"), root_hash_);
    calvex_test::write_file(dir_.file("hash_tree"), tree_);
  }
  std::string image_path() const { return dir_.file("rootfs.sqfs"); }
  // The names in the scratch directory, sorted: no temporary file may stay behind.
  std::vector<std::string> scratch_names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  calvex_test::RunResult seal() const {
    return run_program({kProgram, image_path(), dir_.file("sign"), dir_.file("root_hash"), dir_.file("hash_tree")});
  }

  calvex_test::TempDir dir_;
  Bytes image_;
  Bytes sign_;
  Bytes root_hash_;
  Bytes tree_;
};

void expect_sealed(const Bytes& sealed, const Bytes& image, const Bytes& sign, const Bytes& root_hash,
                   const Bytes& tree) {
  ASSERT_EQ(sealed.size(), image.size() + kHeaderBlockSize + tree.size());
  EXPECT_TRUE(std::equal(image.begin(), image.end(), sealed.begin())) << "image changed";
  const unsigned char* block = sealed.data() + image.size();
  EXPECT_EQ(calvex_test::load_le32(block + 0), kHeaderMagic);
  EXPECT_EQ(calvex_test::load_le32(block + 4), 0u);
  EXPECT_EQ(calvex_test::load_le32(block + 8), root_hash.size());
  EXPECT_EQ(calvex_test::load_le32(block + 12), tree.size());
  EXPECT_TRUE(std::equal(sign.begin(), sign.end(), block + 16)) << "signature";
  EXPECT_TRUE(std::all_of(block + 16 + kSignatureSize, block + kRootHashOffset, [](unsigned char b) { return b == 0; }));
  EXPECT_TRUE(std::equal(root_hash.begin(), root_hash.end(), block + kRootHashOffset)) << "root hash";
  EXPECT_TRUE(std::all_of(block + kRootHashOffset + root_hash.size(), block + kHeaderBlockSize,
                          [](unsigned char b) { return b == 0; }));
  EXPECT_TRUE(std::equal(tree.begin(), tree.end(), block + kHeaderBlockSize)) << "hash tree";
}

TEST_F(Sqseal, AppendsTheHeaderBlockAndTheTree) {
  const auto r = seal();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, size_lines(kBytesUsed));
  expect_sealed(calvex_test::read_file(image_path()), image_, sign_, root_hash_, tree_);
}

TEST_F(Sqseal, SealingTwiceFailsOnTheSize) {
  ASSERT_EQ(seal().status, 0);
  const Bytes sealed = calvex_test::read_file(image_path());
  const auto r = seal();
  EXPECT_EQ(r.status, kFailureStatus);
  EXPECT_EQ(r.out, size_lines(kBytesUsed) + "rootfs_size: " + std::to_string(sealed.size()) +
                       ", rootfs_size_calc: " + std::to_string(padded_size(kBytesUsed)) + "\n");
  EXPECT_EQ(calvex_test::read_file(image_path()), sealed);
}

// Appending stops part-way (the header block, then the tree): the image is
// cut back to what it was.
TEST_F(Sqseal, FailedAppendLeavesTheImageAsItWas) {
  for (const uint64_t room : {uint64_t{1000}, uint64_t{kHeaderBlockSize + 100}}) {
    calvex_test::write_file(image_path(), image_);
    const auto r = run_program({kProgram, image_path(), dir_.file("sign"), dir_.file("root_hash"),
                                dir_.file("hash_tree")},
                               {}, image_.size() + room);
    EXPECT_EQ(r.status, kFailureStatus) << room;
    EXPECT_EQ(r.out, size_lines(kBytesUsed)) << room;
    EXPECT_EQ(r.err, "sqseal: " + image_path() + ": sealing failed, the image is unchanged: File too large\n")
        << room;
    EXPECT_EQ(calvex_test::read_file(image_path()), image_) << room;
    EXPECT_EQ(scratch_names(), (std::vector<std::string>{"hash_tree", "root_hash", "rootfs.sqfs", "sign"})) << room;
  }
}

TEST_F(Sqseal, LargestRootHashIsSealedWhole) {
  root_hash_ = calvex_test::pseudo_random_bytes(1024, 65);
  calvex_test::write_file(dir_.file("root_hash"), root_hash_);
  const auto r = seal();
  EXPECT_EQ(r.status, 0);
  expect_sealed(calvex_test::read_file(image_path()), image_, sign_, root_hash_, tree_);
}

// 10,000,000 bytes of squashfs need an image of exactly 77 x 128 KiB.
TEST_F(Sqseal, TenMillionBytesUsedNeedsSeventySevenBlocks) {
  constexpr uint64_t kTenMillion = 10000000;
  ASSERT_EQ(padded_size(kTenMillion), 77u * 131072u);
  Bytes superblock = image_bytes(kTenMillion, 96, 66);
  calvex_test::write_file(image_path(), superblock);
  std::filesystem::resize_file(image_path(), 10092544);
  const auto r = seal();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "bytes_used:10000000\nrootfs_size_calc1:10002432\nrootfs_size_calc2:10092544\n");
  EXPECT_EQ(std::filesystem::file_size(image_path()), 10092544u + kHeaderBlockSize + tree_.size());

  std::filesystem::resize_file(image_path(), 10092544 - 4096);
  const auto wrong = seal();
  EXPECT_EQ(wrong.status, kFailureStatus);
  EXPECT_EQ(wrong.out, "bytes_used:10000000\nrootfs_size_calc1:10002432\nrootfs_size_calc2:10092544\n"
                       "rootfs_size: 10088448, rootfs_size_calc: 10092544\n");
}

// A refused run: what to change, the expected output (%I, %S, %R, %T stand for
// the paths), and the image must stay as it was.
struct RefusedCase {
  std::function<void(const calvex_test::TempDir&)> prepare;
  std::string lines;
  const char* rule;
};

TEST_F(Sqseal, RefusedRunsLeaveTheImageUnchanged) {
  auto write = [](const char* name, Bytes bytes) {
    return [name, bytes](const calvex_test::TempDir& dir) { calvex_test::write_file(dir.file(name), bytes); };
  };
  auto remove = [](const char* name) {
    return [name](const calvex_test::TempDir& dir) { std::filesystem::remove(dir.file(name)); };
  };
  const std::string sizes = size_lines(kBytesUsed);
  const std::string wrong_size = sizes + "rootfs_size: " + std::to_string(padded_size(kBytesUsed) + 1) +
                                 ", rootfs_size_calc: " + std::to_string(padded_size(kBytesUsed)) + "\n";
  const Bytes wrong_magic = [&] {
    Bytes image = image_;
    image[0] = 'x';
    return image;
  }();
  Bytes one_byte_long = image_;
  one_byte_long.push_back(0);
  const RefusedCase cases[] = {
      {remove("rootfs.sqfs"), "Could not open squashfs_file: %I - No such file or directory\n", "missing image"},
      {remove("sign"), "Could not open sign file: %S - No such file or directory\n", "missing sign"},
      {remove("root_hash"), "Could not open root_hash file: %R - No such file or directory\n", "missing root hash"},
      {remove("hash_tree"), "Could not open hash_tree file: %T - No such file or directory\n", "missing tree"},
      {write("rootfs.sqfs", Bytes(50, 0)), "squashfs_file: %I read len 50 error!\n", "image shorter than a superblock"},
      {write("rootfs.sqfs", wrong_magic), "squashfs_file: %I magic error\n", "wrong magic"},
      {write("rootfs.sqfs", one_byte_long), wrong_size, "image one byte too long"},
      {[&](const calvex_test::TempDir& dir) {
         calvex_test::write_file(dir.file("rootfs.sqfs"), one_byte_long);
         calvex_test::write_file(dir.file("sign"), Bytes(641, 1));
       },
       wrong_size, "wrong size and wrong sign: only the size is reported"},
      {write("sign", Bytes(641, 1)), sizes + "sign: %S len should be 640\n", "sign one byte too long"},
      {write("sign", Bytes(639, 1)), sizes + "sign: %S len should be 640\n", "sign one byte too short"},
      {write("root_hash", Bytes(1025, 1)), sizes + "root_hash: %R size should <= 1024\n", "root hash too long"},
  };
  for (const RefusedCase& c : cases) {
    SetUp();
    c.prepare(dir_);
    const bool image_exists = calvex_test::exists(image_path());
    const Bytes before = image_exists ? calvex_test::read_file(image_path()) : Bytes{};
    const auto r = seal();
    std::string lines = c.lines;
    for (const auto& [key, name] : {std::pair<std::string, std::string>{"%I", "rootfs.sqfs"},
                                    {"%S", "sign"}, {"%R", "root_hash"}, {"%T", "hash_tree"}}) {
      for (size_t at; (at = lines.find(key)) != std::string::npos;) lines.replace(at, 2, dir_.file(name));
    }
    EXPECT_EQ(r.status, kFailureStatus) << c.rule;
    EXPECT_EQ(r.out, lines) << c.rule;
    if (image_exists) {
      EXPECT_EQ(calvex_test::read_file(image_path()), before) << c.rule;
    }
  }
}

// Parts that would seal an image that can never verify, or that are no files
// at all, are refused with their own line before anything is written; special
// files must not block the program.
struct RefusedPartCase {
  // Prepares the scratch directory; returns the four arguments (image, sign,
  // root hash, tree) as names inside it.
  std::function<std::vector<std::string>(const calvex_test::TempDir&)> prepare;
  std::string lines;  // after the size lines; %0..%3 stand for the argument paths
  const char* rule;
};

TEST_F(Sqseal, PartsThatCannotBeSealedAreRefusedWithTheirOwnLine) {
  const std::vector<std::string> usual = {"rootfs.sqfs", "sign", "root_hash", "hash_tree"};
  auto with = [usual](size_t index, const std::string& name,
                      std::function<void(const calvex_test::TempDir&, const std::string&)> make) {
    return [=](const calvex_test::TempDir& dir) {
      std::vector<std::string> args = usual;
      args[index] = name;
      if (make) make(dir, dir.file(name));
      return args;
    };
  };
  auto empty_file = [](const calvex_test::TempDir&, const std::string& path) { calvex_test::write_file(path, {}); };
  auto directory = [](const calvex_test::TempDir&, const std::string& path) {
    std::filesystem::create_directory(path);
  };
  auto fifo = [](const calvex_test::TempDir&, const std::string& path) { calvex_test::make_fifo(path); };
  auto hard_link = [](const calvex_test::TempDir& dir, const std::string& path) {
    std::filesystem::create_hard_link(dir.file("rootfs.sqfs"), path);
  };
  auto symlink = [](const calvex_test::TempDir& dir, const std::string& path) {
    std::filesystem::create_symlink(dir.file("rootfs.sqfs"), path);
  };
  const std::string sizes = size_lines(kBytesUsed);
  const RefusedPartCase cases[] = {
      {with(2, "empty_root_hash", empty_file), sizes + "root_hash: %2 is empty\n", "empty root hash"},
      {with(3, "empty_tree", empty_file), sizes + "hash_tree: %3 is empty\n", "empty tree"},
      {with(3, "rootfs.sqfs", nullptr), sizes + "hash_tree: %3 is the squashfs_file itself\n", "tree is the image"},
      {with(3, "tree_hard_link", hard_link), sizes + "hash_tree: %3 is the squashfs_file itself\n",
       "tree is a hard link to the image"},
      {with(3, "tree_symlink", symlink), sizes + "hash_tree: %3 is the squashfs_file itself\n",
       "tree is a symbolic link to the image"},
      {with(3, "tree_dir", directory), sizes + "hash_tree: %3 is a directory\n", "tree is a directory"},
      {with(1, "sign_dir", directory), sizes + "sign: %1 is a directory\n", "sign is a directory"},
      {with(2, "root_hash_dir", directory), sizes + "root_hash: %2 is a directory\n", "root hash is a directory"},
      {with(3, "tree_fifo", fifo), sizes + "hash_tree: %3 is not a regular file\n", "tree is a FIFO"},
      {with(1, "sign_fifo", fifo), sizes + "sign: %1 is not a regular file\n", "sign is a FIFO"},
      {with(2, "root_hash_fifo", fifo), sizes + "root_hash: %2 is not a regular file\n", "root hash is a FIFO"},
      {with(0, "image_fifo", fifo), "Could not open squashfs_file: %0 - not a regular file\n", "image is a FIFO"},
  };
  constexpr int kGuardSeconds = 10;
  for (const RefusedPartCase& c : cases) {
    calvex_test::TempDir dir;
    calvex_test::write_file(dir.file("rootfs.sqfs"), image_);
    calvex_test::write_file(dir.file("sign"), sign_);
    calvex_test::write_file(dir.file("root_hash"), root_hash_);
    calvex_test::write_file(dir.file("hash_tree"), tree_);
    const std::vector<std::string> names = c.prepare(dir);
    std::vector<std::string> argv = {kProgram};
    for (const std::string& name : names) argv.push_back(dir.file(name));
    const auto r = run_program(argv, {}, 0, kGuardSeconds);
    std::string lines = c.lines;
    for (size_t i = 0; i < 4; ++i) {
      const std::string key = "%" + std::to_string(i);
      for (size_t at; (at = lines.find(key)) != std::string::npos;) lines.replace(at, 2, argv[i + 1]);
    }
    EXPECT_EQ(r.status, kFailureStatus) << c.rule;
    EXPECT_EQ(r.out, lines) << c.rule;
    EXPECT_EQ(calvex_test::read_file(dir.file("rootfs.sqfs")), image_) << c.rule;
  }
}

TEST(SqsealUsage, AnyOtherArgumentCountPrintsUsage) {
  const std::vector<std::vector<std::string>> argvs = {
      {kProgram},
      {kProgram, "a", "b", "c"},
      {kProgram, "a", "b", "c", "d", "e"},
  };
  for (const auto& argv : argvs) {
    const auto r = run_program(argv);
    EXPECT_EQ(r.status, kFailureStatus) << argv.size();
    EXPECT_EQ(r.out, "Usage: sqseal <squashfs_file> <sign> <root_hash> <hash_tree>\n") << argv.size();
  }
}

// --- A real squashfs image and a real hash tree. ---

std::string hex_to_bytes_file(const std::string& hex, const std::string& path) {
  Bytes bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) bytes.push_back(static_cast<unsigned char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  calvex_test::write_file(path, bytes);
  return path;
}

std::string trim(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
  return text;
}

TEST(SqsealRealImage, SealedImageVerifiesWithVeritysetup) {
  calvex_test::TempDir dir;
  const std::string root = dir.file("root");
  std::filesystem::create_directories(root);
  calvex_test::write_file(root + "/data.bin", calvex_test::pseudo_random_bytes(400000, 71));
  calvex_test::write_text(root + "/version", "1.0\n");
  const std::string image = dir.file("rootfs.sqfs");
  ASSERT_EQ(calvex_test::run_shell("mksquashfs " + root + " " + image + " -noappend -no-progress -quiet > " +
                                dir.file("log") + " 2>&1"),
            0);
  Bytes squashfs = calvex_test::read_file(image);
  const uint64_t bytes_used = calvex_test::load_le32(squashfs.data() + 40);
  const uint64_t padded = padded_size(bytes_used);
  std::filesystem::resize_file(image, padded);

  // Fixed salt: the same tree and root hash on every run.
  const std::string salt = "5ea15ea15ea15ea15ea15ea15ea15ea15ea15ea15ea15ea15ea15ea15ea15ea1";
  const std::string tree_path = dir.file("hash_tree");
  ASSERT_EQ(calvex_test::run_shell("veritysetup format --no-superblock --salt=" + salt + " " + image + " " +
                                tree_path + " | sed -n 's/^Root hash:[[:space:]]*//p' > " + dir.file("root_hash.hex")),
            0);
  const std::string root_hash_hex = trim(std::string(
      [&] {
        const Bytes text = calvex_test::read_file(dir.file("root_hash.hex"));
        return std::string(text.begin(), text.end());
      }()));
  ASSERT_EQ(root_hash_hex.size(), 64u);
  hex_to_bytes_file(root_hash_hex, dir.file("root_hash"));
  calvex_test::write_file(dir.file("sign"), calvex_test::pseudo_random_bytes(kSignatureSize, 72));

  const Bytes padded_image = calvex_test::read_file(image);
  const Bytes tree = calvex_test::read_file(tree_path);
  const auto r = run_program({kProgram, image, dir.file("sign"), dir.file("root_hash"), tree_path});
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, size_lines(bytes_used));
  expect_sealed(calvex_test::read_file(image), padded_image, calvex_test::read_file(dir.file("sign")),
                calvex_test::read_file(dir.file("root_hash")), tree);

  const std::string verify = "veritysetup verify --no-superblock --salt=" + salt +
                             " --data-blocks=" + std::to_string(padded / 4096) +
                             " --hash-offset=" + std::to_string(padded + kHeaderBlockSize) + " " + image + " " +
                             image + " ";
  EXPECT_EQ(calvex_test::run_shell(verify + root_hash_hex + " > " + dir.file("verify.log") + " 2>&1"), 0);
  std::string wrong_hash = root_hash_hex;
  wrong_hash[0] = wrong_hash[0] == '0' ? '1' : '0';
  EXPECT_NE(calvex_test::run_shell(verify + wrong_hash + " > " + dir.file("verify.log") + " 2>&1"), 0);
}

}  // namespace
