// sqseal <squashfs_file> <sign> <root_hash> <hash_tree>
//
// Finishes a squashfs image for verified boot: checks that the image is padded
// to its expected size, then appends one 4096-byte verity header block
// (magic, root hash and tree lengths, signature, root hash) followed by the
// hash tree.  The sealed image is written to a temporary file next to the
// image and renamed over it once complete and on disk, so a failure leaves
// the image as it was.  No input is opened in a way that could block.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "fileio.h"
#include "seal_format.h"

namespace {

using namespace sqseal;

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = -1;
constexpr int kArgCount = 5;  // program, squashfs_file, sign, root_hash, hash_tree

constexpr const char* kUsageLine = "Usage: sqseal <squashfs_file> <sign> <root_hash> <hash_tree>\n";
constexpr const char* kOpenImageErrorLine = "Could not open squashfs_file: %s - %s\n";
constexpr const char* kOpenSignErrorLine = "Could not open sign file: %s - %s\n";
constexpr const char* kOpenRootHashErrorLine = "Could not open root_hash file: %s - %s\n";
constexpr const char* kOpenHashTreeErrorLine = "Could not open hash_tree file: %s - %s\n";
constexpr const char* kImageReadErrorLine = "squashfs_file: %s read len %d error!\n";
constexpr const char* kImageMagicErrorLine = "squashfs_file: %s magic error\n";
constexpr const char* kBytesUsedLine = "bytes_used:%lld\n";
constexpr const char* kCalc1Line = "rootfs_size_calc1:%lld\n";
constexpr const char* kCalc2Line = "rootfs_size_calc2:%lld\n";
constexpr const char* kImageSizeErrorLine = "rootfs_size: %lld, rootfs_size_calc: %lld\n";
constexpr const char* kSignSizeErrorLine = "sign: %s len should be %d\n";
constexpr const char* kSignReadErrorLine = "sign: %s read len %d error!\n";
constexpr const char* kRootHashSizeErrorLine = "root_hash: %s size should <= %d\n";
constexpr const char* kRootHashReadErrorLine = "root_hash: %s read len %d error!\n";
constexpr const char* kHashTreeSizeErrorLine = "hash_tree: %s size should <= %d\n";
constexpr const char* kHashTreeReadErrorLine = "hash_tree: %s read len %d error!\n";
constexpr const char* kDirectoryLine = "%s: %s is a directory\n";          // role, path
constexpr const char* kNotRegularLine = "%s: %s is not a regular file\n";  // role, path
constexpr const char* kEmptyLine = "%s: %s is empty\n";                    // role, path
constexpr const char* kTreeIsImageLine = "hash_tree: %s is the squashfs_file itself\n";
constexpr const char* kReasonLine = "sqseal: %s: %s\n";                   // path, reason
constexpr const char* kAppendFailedLine = "sqseal: %s: sealing failed, the image is unchanged: %s\n";

constexpr const char* kSignRole = "sign";
constexpr const char* kRootHashRole = "root_hash";
constexpr const char* kHashTreeRole = "hash_tree";

// An input that is not a regular file gets its own line; false then.
bool is_regular_input(const fileio::InputFile& file, const char* role, const char* path) {
  if (file.kind() == fileio::InputFile::Kind::kRegular) return true;
  std::printf(file.kind() == fileio::InputFile::Kind::kDirectory ? kDirectoryLine : kNotRegularLine, role, path);
  return false;
}

void print_open_error(const char* line, const char* path, const std::string& reason) {
  std::printf(line, path, reason.c_str());
  std::fflush(stdout);
  std::fprintf(stderr, kReasonLine, path, reason.c_str());
}

int run(int argc, char** argv) {
  if (argc != kArgCount) {
    std::printf(kUsageLine);
    return kExitFailure;
  }
  const char* const image_path = argv[1];
  const char* const sign_path = argv[2];
  const char* const root_hash_path = argv[3];
  const char* const hash_tree_path = argv[4];

  // Every input is opened before any is looked at (a FIFO or device never
  // blocks the open); the image for writing, as it is replaced by the
  // sealed one.
  fileio::InputFile image;
  if (!image.open_any(image_path, true)) {
    print_open_error(kOpenImageErrorLine, image_path, image.error());
    return kExitFailure;
  }
  fileio::InputFile sign;
  if (!sign.open_any(sign_path, false)) {
    print_open_error(kOpenSignErrorLine, sign_path, sign.error());
    return kExitFailure;
  }
  fileio::InputFile root_hash;
  if (!root_hash.open_any(root_hash_path, false)) {
    print_open_error(kOpenRootHashErrorLine, root_hash_path, root_hash.error());
    return kExitFailure;
  }
  fileio::InputFile hash_tree;
  if (!hash_tree.open_any(hash_tree_path, false)) {
    print_open_error(kOpenHashTreeErrorLine, hash_tree_path, hash_tree.error());
    return kExitFailure;
  }
  if (image.kind() != fileio::InputFile::Kind::kRegular) {
    std::printf(kOpenImageErrorLine, image_path, fileio::kNotRegularFileReason);
    return kExitFailure;
  }

  std::array<unsigned char, kSuperblockSize> superblock{};
  const int64_t superblock_read = image.read_at(0, superblock.data(), kSuperblockSize);
  const ImageCheck check = check_superblock(superblock.data(), superblock_read);
  if (check.status == SuperblockStatus::kShortRead) {
    std::printf(kImageReadErrorLine, image_path, static_cast<int>(superblock_read));
    return kExitFailure;
  }
  if (check.status == SuperblockStatus::kBadMagic) {
    std::printf(kImageMagicErrorLine, image_path);
    return kExitFailure;
  }
  const int64_t calc2 = check.calc2;
  std::printf(kBytesUsedLine, static_cast<long long>(check.bytes_used));
  std::printf(kCalc1Line, static_cast<long long>(check.calc1));
  std::printf(kCalc2Line, static_cast<long long>(calc2));

  const int64_t image_size = image.size();
  if (image_size != calc2) {
    std::printf(kImageSizeErrorLine, static_cast<long long>(image_size), static_cast<long long>(calc2));
    return kExitFailure;
  }

  std::array<unsigned char, kSignatureSize> signature{};
  std::array<unsigned char, kRootHashSizeMax> root_hash_bytes{};
  if (!is_regular_input(sign, kSignRole, sign_path)) return kExitFailure;
  if (check_sign_size(sign.size()) != PartStatus::kOk) {
    std::printf(kSignSizeErrorLine, sign_path, static_cast<int>(kSignatureSize));
    return kExitFailure;
  }
  const int64_t sign_read = sign.read_at(0, signature.data(), kSignatureSize);
  if (sign_read != kSignatureSize) {
    std::printf(kSignReadErrorLine, sign_path, static_cast<int>(sign_read));
    return kExitFailure;
  }

  if (!is_regular_input(root_hash, kRootHashRole, root_hash_path)) return kExitFailure;
  const int64_t root_hash_size = root_hash.size();
  const PartStatus root_hash_check = check_root_hash_size(root_hash_size);
  if (root_hash_check == PartStatus::kTooBig) {
    std::printf(kRootHashSizeErrorLine, root_hash_path, static_cast<int>(kRootHashSizeMax));
    return kExitFailure;
  }
  if (root_hash_check != PartStatus::kOk) {
    std::printf(kEmptyLine, kRootHashRole, root_hash_path);
    return kExitFailure;
  }
  const int64_t root_hash_read = root_hash.read_at(0, root_hash_bytes.data(), root_hash_size);
  if (root_hash_read != root_hash_size) {
    std::printf(kRootHashReadErrorLine, root_hash_path, static_cast<int>(root_hash_read));
    return kExitFailure;
  }

  if (!is_regular_input(hash_tree, kHashTreeRole, hash_tree_path)) return kExitFailure;
  if (hash_tree.same_file(image)) {
    std::printf(kTreeIsImageLine, hash_tree_path);
    return kExitFailure;
  }
  const int64_t hash_tree_size = hash_tree.size();
  const PartStatus hash_tree_check = check_hash_tree_size(hash_tree_size);
  if (hash_tree_check == PartStatus::kTooBig) {
    std::printf(kHashTreeSizeErrorLine, hash_tree_path, static_cast<int>(kHashTreeSizeMax));
    return kExitFailure;
  }
  if (hash_tree_check != PartStatus::kOk) {
    std::printf(kEmptyLine, kHashTreeRole, hash_tree_path);
    return kExitFailure;
  }
  std::array<unsigned char, kHeaderBlockSize> block{};
  build_header_block(signature.data(), root_hash_bytes.data(), root_hash_size, hash_tree_size, block.data());

  // The sealed image: the image, the block, the tree, in a temporary file
  // that replaces the image only when complete.
  fileio::OutputFile sealed;
  std::vector<unsigned char> buffer(static_cast<size_t>(fileio::kCopyChunkSize));
  auto append_failed = [&](const std::string& reason) {
    std::fflush(stdout);
    std::fprintf(stderr, kAppendFailedLine, image_path, reason.c_str());
    return kExitFailure;
  };
  if (!sealed.create(image_path)) return append_failed(sealed.error());
  // Copies `count` bytes of `file` to the sealed image; the tree's short
  // read gets its own line.
  auto copy_all = [&](fileio::InputFile& file, int64_t count, const char* short_read_line, const char* path) {
    for (int64_t done = 0; done < count;) {
      const int64_t piece = std::min(count - done, fileio::kCopyChunkSize);
      const int64_t got = file.read_at(done, buffer.data(), piece);
      if (got != piece) {
        if (short_read_line != nullptr) {
          std::printf(short_read_line, path, static_cast<int>(got < 0 ? got : done + got));
        }
        append_failed(got < 0 ? file.error() : path + std::string(" ended early"));
        return false;
      }
      if (!sealed.write(buffer.data(), piece)) {
        append_failed(sealed.error());
        return false;
      }
      done += piece;
    }
    return true;
  };
  if (!copy_all(image, image_size, nullptr, image_path)) return kExitFailure;
  if (!sealed.write(block.data(), kHeaderBlockSize)) return append_failed(sealed.error());
  if (!copy_all(hash_tree, hash_tree_size, kHashTreeReadErrorLine, hash_tree_path)) return kExitFailure;
  if (!sealed.commit()) return append_failed(sealed.error());
  return kExitSuccess;
}

}  // namespace

int main(int argc, char** argv) { return run(argc, argv); }
