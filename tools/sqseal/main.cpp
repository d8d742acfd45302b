// sqseal <squashfs_file> <sign> <root_hash> <hash_tree>
//
// Finishes a squashfs image for verified boot: checks that the image is padded
// to its expected size, then appends one 4096-byte verity header block
// (magic, root hash and tree lengths, signature, root hash) followed by the
// hash tree.  The sealed image is written to a temporary file next to the
// image and renamed over it once complete and on disk, so a failure leaves
// the image as it was.  No input is opened in a way that could block.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
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

// Opening flags: O_NONBLOCK so that a FIFO or device never blocks the open;
// what was opened is checked with fstat before it is read.
constexpr int kImageOpenFlags = O_RDWR | O_NONBLOCK | O_CLOEXEC;
constexpr int kInputOpenFlags = O_RDONLY | O_NONBLOCK | O_CLOEXEC;
constexpr int64_t kCopyChunkSize = int64_t{1} << 20;

class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  bool ok() const { return fd_ >= 0; }

 private:
  int fd_;
};

// Reads up to `count` bytes at `offset`, retrying interrupted and partial
// reads; returns the number read (short only at end of file) or -1.
int64_t read_fully(int fd, int64_t offset, unsigned char* buffer, int64_t count) {
  int64_t total = 0;
  while (total < count) {
    const ssize_t got = ::pread(fd, buffer + total, static_cast<size_t>(count - total), offset + total);
    if (got < 0) {
      if (errno == EINTR) continue;
      return total != 0 ? total : -1;
    }
    if (got == 0) break;
    total += got;
  }
  return total;
}

// Status of an open descriptor; false (after the system's reason on stderr)
// when it cannot be queried.
bool status_of(int fd, const char* path, struct stat& status) {
  if (::fstat(fd, &status) == 0) return true;
  std::fprintf(stderr, kReasonLine, path, std::strerror(errno));
  return false;
}

// An input that is not a regular file gets its own line; false then.
bool is_regular_input(const struct stat& status, const char* role, const char* path) {
  if (S_ISREG(status.st_mode)) return true;
  std::printf(S_ISDIR(status.st_mode) ? kDirectoryLine : kNotRegularLine, role, path);
  return false;
}

void print_open_error(const char* line, const char* path, int code) {
  std::printf(line, path, std::strerror(code));
  std::fflush(stdout);
  std::fprintf(stderr, kReasonLine, path, std::strerror(code));
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

  // The image is opened for writing, as it is replaced by the sealed one.
  const Descriptor image(::open(image_path, kImageOpenFlags));
  if (!image.ok()) {
    print_open_error(kOpenImageErrorLine, image_path, errno);
    return kExitFailure;
  }
  const Descriptor sign(::open(sign_path, kInputOpenFlags));
  if (!sign.ok()) {
    print_open_error(kOpenSignErrorLine, sign_path, errno);
    return kExitFailure;
  }
  const Descriptor root_hash(::open(root_hash_path, kInputOpenFlags));
  if (!root_hash.ok()) {
    print_open_error(kOpenRootHashErrorLine, root_hash_path, errno);
    return kExitFailure;
  }
  const Descriptor hash_tree(::open(hash_tree_path, kInputOpenFlags));
  if (!hash_tree.ok()) {
    print_open_error(kOpenHashTreeErrorLine, hash_tree_path, errno);
    return kExitFailure;
  }
  struct stat image_status;
  if (!status_of(image.get(), image_path, image_status)) return kExitFailure;
  if (!S_ISREG(image_status.st_mode)) {
    std::printf(kOpenImageErrorLine, image_path, fileio::kNotRegularFileReason);
    return kExitFailure;
  }

  std::array<unsigned char, kSuperblockSize> superblock{};
  const int64_t superblock_read = read_fully(image.get(), 0, superblock.data(), kSuperblockSize);
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

  const int64_t image_size = static_cast<int64_t>(image_status.st_size);
  if (image_size != calc2) {
    std::printf(kImageSizeErrorLine, static_cast<long long>(image_size), static_cast<long long>(calc2));
    return kExitFailure;
  }

  std::array<unsigned char, kSignatureSize> signature{};
  std::array<unsigned char, kRootHashSizeMax> root_hash_bytes{};
  struct stat sign_status;
  if (!status_of(sign.get(), sign_path, sign_status)) return kExitFailure;
  if (!is_regular_input(sign_status, kSignRole, sign_path)) return kExitFailure;
  if (check_sign_size(static_cast<int64_t>(sign_status.st_size)) != PartStatus::kOk) {
    std::printf(kSignSizeErrorLine, sign_path, static_cast<int>(kSignatureSize));
    return kExitFailure;
  }
  const int64_t sign_read = read_fully(sign.get(), 0, signature.data(), kSignatureSize);
  if (sign_read != kSignatureSize) {
    std::printf(kSignReadErrorLine, sign_path, static_cast<int>(sign_read));
    return kExitFailure;
  }

  struct stat root_hash_status;
  if (!status_of(root_hash.get(), root_hash_path, root_hash_status)) return kExitFailure;
  if (!is_regular_input(root_hash_status, kRootHashRole, root_hash_path)) return kExitFailure;
  const int64_t root_hash_size = static_cast<int64_t>(root_hash_status.st_size);
  const PartStatus root_hash_check = check_root_hash_size(root_hash_size);
  if (root_hash_check == PartStatus::kTooBig) {
    std::printf(kRootHashSizeErrorLine, root_hash_path, static_cast<int>(kRootHashSizeMax));
    return kExitFailure;
  }
  if (root_hash_check != PartStatus::kOk) {
    std::printf(kEmptyLine, kRootHashRole, root_hash_path);
    return kExitFailure;
  }
  const int64_t root_hash_read = read_fully(root_hash.get(), 0, root_hash_bytes.data(), root_hash_size);
  if (root_hash_read != root_hash_size) {
    std::printf(kRootHashReadErrorLine, root_hash_path, static_cast<int>(root_hash_read));
    return kExitFailure;
  }

  struct stat hash_tree_status;
  if (!status_of(hash_tree.get(), hash_tree_path, hash_tree_status)) return kExitFailure;
  if (!is_regular_input(hash_tree_status, kHashTreeRole, hash_tree_path)) return kExitFailure;
  if (hash_tree_status.st_dev == image_status.st_dev && hash_tree_status.st_ino == image_status.st_ino) {
    std::printf(kTreeIsImageLine, hash_tree_path);
    return kExitFailure;
  }
  const int64_t hash_tree_size = static_cast<int64_t>(hash_tree_status.st_size);
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
  std::vector<unsigned char> buffer(static_cast<size_t>(kCopyChunkSize));
  auto append_failed = [&](const std::string& reason) {
    std::fflush(stdout);
    std::fprintf(stderr, kAppendFailedLine, image_path, reason.c_str());
    return kExitFailure;
  };
  if (!sealed.create(image_path)) return append_failed(sealed.error());
  // Copies `count` bytes of `fd` to the sealed image; the tree's short read
  // gets its own line.
  auto copy_all = [&](int fd, int64_t count, const char* short_read_line, const char* path) {
    for (int64_t done = 0; done < count;) {
      const int64_t piece = std::min(count - done, kCopyChunkSize);
      const int64_t got = read_fully(fd, done, buffer.data(), piece);
      if (got != piece) {
        const int error = errno;
        if (short_read_line != nullptr) {
          std::printf(short_read_line, path, static_cast<int>(got < 0 ? got : done + got));
        }
        append_failed(got < 0 ? std::strerror(error) : path + std::string(" ended early"));
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
  if (!copy_all(image.get(), image_size, nullptr, image_path)) return kExitFailure;
  if (!sealed.write(block.data(), kHeaderBlockSize)) return append_failed(sealed.error());
  if (!copy_all(hash_tree.get(), hash_tree_size, kHashTreeReadErrorLine, hash_tree_path)) return kExitFailure;
  if (!sealed.commit()) return append_failed(sealed.error());
  return kExitSuccess;
}

}  // namespace

int main(int argc, char** argv) { return run(argc, argv); }
