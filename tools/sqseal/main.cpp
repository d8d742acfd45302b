// sqseal <squashfs_file> <sign> <root_hash> <hash_tree>
//
// Finishes a squashfs image for verified boot: checks that the image is padded
// to its expected size, then appends one 4096-byte verity header block
// (magic, root hash and tree lengths, signature, root hash) followed by the
// hash tree.  The image is modified in place; when appending fails the image
// is cut back to its original size.
#include <fcntl.h>
#include <sys/types.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = -1;
constexpr int kArgCount = 5;  // program, squashfs_file, sign, root_hash, hash_tree

// squashfs superblock fields (little-endian).
constexpr size_t kSuperblockSize = 96;
constexpr uint32_t kSquashfsMagic = 0x73717368;  // "hsqs"
constexpr size_t kBytesUsedOffset = 40;

// The image is padded to 4 KiB, then to 128 KiB.
constexpr int64_t kPageAlignment = 4096;
constexpr int64_t kImageAlignment = 0x20000;

// Verity header block appended after the image (little-endian fields).
constexpr size_t kHeaderBlockSize = 4096;
constexpr uint32_t kHeaderMagic = 0xB001B001;
constexpr size_t kHeaderMagicOffset = 0;
constexpr size_t kHeaderReservedOffset = 4;
constexpr size_t kRootHashLengthOffset = 8;
constexpr size_t kHashTreeLengthOffset = 12;
constexpr size_t kSignatureOffset = 16;
constexpr int64_t kSignatureSize = 640;
constexpr size_t kRootHashOffset = 1024;
constexpr int64_t kRootHashSizeMax = 1024;
constexpr int64_t kHashTreeSizeMax = INT32_MAX;  // its length is stored as a signed 32-bit value
static_assert(kSignatureOffset + kSignatureSize <= kRootHashOffset, "signature overlaps the root hash");
static_assert(kRootHashOffset + kRootHashSizeMax <= kHeaderBlockSize, "root hash overflows the block");

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
constexpr const char* kHashTreeMallocErrorLine = "malloc hash_tree buffer: %d failed\n";
constexpr const char* kHashTreeReadErrorLine = "hash_tree: %s read len %d error!\n";

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

void store_le32(unsigned char* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

uint32_t load_le32(const unsigned char* at) {
  return uint32_t{at[0]} | (uint32_t{at[1]} << 8) | (uint32_t{at[2]} << 16) | (uint32_t{at[3]} << 24);
}

int64_t load_le64(const unsigned char* at) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | at[i];
  return static_cast<int64_t>(value);
}

int64_t round_up(int64_t value, int64_t alignment) { return (value + alignment - 1) & ~(alignment - 1); }

// Reads up to `count` bytes, retrying interrupted and partial reads; returns
// the number read (short only at end of file) or -1.
int64_t read_fully(int fd, unsigned char* buffer, int64_t count) {
  int64_t total = 0;
  while (total < count) {
    const ssize_t got = ::read(fd, buffer + total, static_cast<size_t>(count - total));
    if (got < 0) {
      if (errno == EINTR) continue;
      return total != 0 ? total : -1;
    }
    if (got == 0) break;
    total += got;
  }
  return total;
}

bool write_fully(int fd, const unsigned char* buffer, int64_t count) {
  int64_t total = 0;
  while (total < count) {
    const ssize_t put = ::write(fd, buffer + total, static_cast<size_t>(count - total));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    total += put;
  }
  return true;
}

// Size of an open file by seeking to its end, then back to its start; -1 on failure.
int64_t size_and_rewind(int fd) {
  const off_t end = ::lseek(fd, 0, SEEK_END);
  if (end < 0 || ::lseek(fd, 0, SEEK_SET) != 0) return -1;
  return static_cast<int64_t>(end);
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

  const Descriptor image(::open(image_path, O_RDWR));
  if (!image.ok()) {
    std::printf(kOpenImageErrorLine, image_path, std::strerror(errno));
    return kExitFailure;
  }
  const Descriptor sign(::open(sign_path, O_RDONLY));
  if (!sign.ok()) {
    std::printf(kOpenSignErrorLine, sign_path, std::strerror(errno));
    return kExitFailure;
  }
  const Descriptor root_hash(::open(root_hash_path, O_RDONLY));
  if (!root_hash.ok()) {
    std::printf(kOpenRootHashErrorLine, root_hash_path, std::strerror(errno));
    return kExitFailure;
  }
  const Descriptor hash_tree(::open(hash_tree_path, O_RDONLY));
  if (!hash_tree.ok()) {
    std::printf(kOpenHashTreeErrorLine, hash_tree_path, std::strerror(errno));
    return kExitFailure;
  }

  if (::lseek(image.get(), 0, SEEK_SET) != 0) return kExitFailure;
  std::array<unsigned char, kSuperblockSize> superblock{};
  const int64_t superblock_read = read_fully(image.get(), superblock.data(), kSuperblockSize);
  if (superblock_read != static_cast<int64_t>(kSuperblockSize)) {
    std::printf(kImageReadErrorLine, image_path, static_cast<int>(superblock_read));
    return kExitFailure;
  }
  if (load_le32(superblock.data()) != kSquashfsMagic) {
    std::printf(kImageMagicErrorLine, image_path);
    return kExitFailure;
  }
  const int64_t bytes_used = load_le64(superblock.data() + kBytesUsedOffset);
  // Saturate rather than overflow for a nonsensical bytes_used; the size check then fails.
  const int64_t calc1 = bytes_used > INT64_MAX - kImageAlignment ? INT64_MAX : round_up(bytes_used, kPageAlignment);
  const int64_t calc2 = calc1 == INT64_MAX ? INT64_MAX : round_up(calc1, kImageAlignment);
  std::printf(kBytesUsedLine, static_cast<long long>(bytes_used));
  std::printf(kCalc1Line, static_cast<long long>(calc1));
  std::printf(kCalc2Line, static_cast<long long>(calc2));

  const off_t image_size = ::lseek(image.get(), 0, SEEK_END);
  if (image_size < 0) return kExitFailure;
  if (static_cast<int64_t>(image_size) != calc2) {
    std::printf(kImageSizeErrorLine, static_cast<long long>(image_size), static_cast<long long>(calc2));
    return kExitFailure;
  }

  std::array<unsigned char, kHeaderBlockSize> block{};
  const int64_t sign_size = size_and_rewind(sign.get());
  if (sign_size < 0) return kExitFailure;
  if (sign_size != kSignatureSize) {
    std::printf(kSignSizeErrorLine, sign_path, static_cast<int>(kSignatureSize));
    return kExitFailure;
  }
  const int64_t sign_read = read_fully(sign.get(), block.data() + kSignatureOffset, kSignatureSize);
  if (sign_read != kSignatureSize) {
    std::printf(kSignReadErrorLine, sign_path, static_cast<int>(sign_read));
    return kExitFailure;
  }

  const int64_t root_hash_size = size_and_rewind(root_hash.get());
  if (root_hash_size < 0) return kExitFailure;
  if (root_hash_size > kRootHashSizeMax) {
    std::printf(kRootHashSizeErrorLine, root_hash_path, static_cast<int>(kRootHashSizeMax));
    return kExitFailure;
  }
  const int64_t root_hash_read = read_fully(root_hash.get(), block.data() + kRootHashOffset, root_hash_size);
  if (root_hash_read != root_hash_size) {
    std::printf(kRootHashReadErrorLine, root_hash_path, static_cast<int>(root_hash_read));
    return kExitFailure;
  }
  store_le32(block.data() + kRootHashLengthOffset, static_cast<uint32_t>(root_hash_size));

  const int64_t hash_tree_size = size_and_rewind(hash_tree.get());
  if (hash_tree_size < 0) return kExitFailure;
  if (hash_tree_size > kHashTreeSizeMax) {
    std::printf(kHashTreeSizeErrorLine, hash_tree_path, static_cast<int>(kHashTreeSizeMax));
    return kExitFailure;
  }
  std::unique_ptr<unsigned char[]> tree(new (std::nothrow) unsigned char[static_cast<size_t>(hash_tree_size)]);
  if (!tree) {
    std::printf(kHashTreeMallocErrorLine, static_cast<int>(hash_tree_size));
    return kExitFailure;
  }
  const int64_t hash_tree_read = read_fully(hash_tree.get(), tree.get(), hash_tree_size);
  if (hash_tree_read != hash_tree_size) {
    std::printf(kHashTreeReadErrorLine, hash_tree_path, static_cast<int>(hash_tree_read));
    return kExitFailure;
  }
  store_le32(block.data() + kHashTreeLengthOffset, static_cast<uint32_t>(hash_tree_size));

  store_le32(block.data() + kHeaderMagicOffset, kHeaderMagic);
  store_le32(block.data() + kHeaderReservedOffset, 0);

  // The image's position is at its end since the size check.
  if (!write_fully(image.get(), block.data(), kHeaderBlockSize) ||
      !write_fully(image.get(), tree.get(), hash_tree_size)) {
    // Leave the image as it was found.
    if (::ftruncate(image.get(), image_size) != 0) std::perror(image_path);
    return kExitFailure;
  }
  return kExitSuccess;
}

}  // namespace

int main(int argc, char** argv) { return run(argc, argv); }
