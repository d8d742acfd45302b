// The UBI unpacker's streamed inspection and copy against a reference that
// holds the whole image in memory and takes its data block by block.
//
// Input: a mode byte, then either the raw image (seeds: real ubinize images)
// or a description from which a small image is built (block size, VID header
// offset, block count, squashfs position and bytes_used, then data bytes).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_input.h"
#include "unubinize.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint8_t kBuiltImageFlag = 0x01;
constexpr int64_t kBuiltBlockUnit = 2048;    // built block sizes are multiples of this
constexpr int64_t kBuiltBlockUnitsMax = 128;  // up to 256 KiB
constexpr int64_t kBuiltBlocksMax = 3;
// Small pieces put every carry-over to work; large ones keep big images fast.
constexpr uint8_t kLargeChunkFlag = 0x80;
constexpr int64_t kSmallChunkMax = 64;
constexpr int64_t kLargeChunkUnit = 4096;

void check(bool condition) {
  if (!condition) std::abort();
}

void store_be32(uint8_t* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

void store_le64(uint8_t* at, uint64_t value) {
  for (int i = 0; i < 8; ++i) at[i] = static_cast<uint8_t>(value >> (8 * i));
}

Bytes build_image(fuzzing::FuzzInput& input) {
  const int64_t block_size = kBuiltBlockUnit * (1 + static_cast<int64_t>(input.take_byte()) % kBuiltBlockUnitsMax);
  const auto vid_header_offset = static_cast<uint32_t>(input.take_le(2));
  const int64_t blocks = 1 + static_cast<int64_t>(input.take_byte()) % kBuiltBlocksMax;
  const int64_t cut = static_cast<int64_t>(input.take_le(2)) % block_size;  // bytes missing at the end
  const int64_t squashfs_at = static_cast<int64_t>(input.take_le(2)) % block_size;
  const uint64_t bytes_used = input.take_le(4);
  const Bytes fill = input.take_rest();

  Bytes image(static_cast<size_t>(blocks * block_size - cut), 0);
  for (size_t at = 0; !fill.empty() && at < image.size(); at += fill.size()) {
    std::copy_n(fill.begin(), std::min(fill.size(), image.size() - at), image.begin() + static_cast<ptrdiff_t>(at));
  }
  for (int64_t b = 0; b < blocks; ++b) {
    const auto at = static_cast<size_t>(b * block_size);
    if (at + unubinize::kEcHeaderSize > image.size()) break;
    store_be32(&image[at], unubinize::kEcMagic);
    store_be32(&image[at + unubinize::kEcVidHeaderOffsetOffset], vid_header_offset);
  }
  const auto sb = static_cast<size_t>(squashfs_at);
  if (sb + unubinize::kSuperblockSize <= image.size()) {
    std::memcpy(&image[sb], "hsqs", 4);
    store_le64(&image[sb + unubinize::kSquashfsBytesUsedOffset], bytes_used);
  }
  return image;
}

int64_t naive_find(const Bytes& image, int64_t window, const char* text, int n) {
  const size_t length = std::strlen(text);
  int seen = 0;
  for (size_t j = 0; j + length <= image.size() && static_cast<int64_t>(j) < window; ++j) {
    size_t k = 0;
    while (k < length && image[j + k] == static_cast<uint8_t>(text[k])) ++k;
    if (k == length && seen++ == n) return static_cast<int64_t>(j);
  }
  return -1;
}

uint64_t be32(const Bytes& image, size_t at) {
  return (uint64_t{image[at]} << 24) | (uint64_t{image[at + 1]} << 16) | (uint64_t{image[at + 2]} << 8) |
         image[at + 3];
}

// The reference: what the unpacker must find, and the data block by block.
struct Reference {
  unubinize::InspectStatus status = unubinize::InspectStatus::kNotUbi;
  int64_t squashfs_start = -1;
  int64_t bytes_used = 0;
  int64_t block_size = 0;
  int64_t data_size = 0;
};

Reference reference_inspect(const Bytes& image) {
  Reference r;
  const auto size = static_cast<int64_t>(image.size());
  if (size < unubinize::kEcHeaderSize || be32(image, 0) != unubinize::kEcMagic) return r;
  const int64_t start = naive_find(image, size, "hsqs", 0);
  r.status = unubinize::InspectStatus::kNotSquashfs;
  if (start < 0 || start + unubinize::kSuperblockSize > size) return r;
  int64_t bytes_used = 0;
  for (int i = 7; i >= 0; --i) {
    bytes_used = static_cast<int64_t>((static_cast<uint64_t>(bytes_used) << 8) |
                                      image[static_cast<size_t>(start + unubinize::kSquashfsBytesUsedOffset + i)]);
  }
  if (bytes_used < unubinize::kSuperblockSize) return r;
  r.squashfs_start = start;
  r.bytes_used = bytes_used;
  r.status = unubinize::InspectStatus::kNoBlockSize;
  const int64_t block_size = naive_find(image, unubinize::kBlockSizeSearchWindow, "UBI#", 1);
  if (block_size < 0) return r;
  r.block_size = block_size;
  const int64_t page = block_size == 0x40000 ? 4096 : 2048;
  const uint64_t vid_header_offset = be32(image, unubinize::kEcVidHeaderOffsetOffset);
  r.data_size = block_size - (vid_header_offset < static_cast<uint64_t>(page) ? 1 : 2) * page;
  r.status = r.data_size > 0 ? unubinize::InspectStatus::kOk : unubinize::InspectStatus::kBadGeometry;
  return r;
}

Bytes reference_output(const Bytes& image, const Reference& r, int64_t limit) {
  Bytes out;
  const auto size = static_cast<int64_t>(image.size());
  for (int64_t block = 0;; ++block) {
    const int64_t src = r.squashfs_start + block * r.block_size;
    if (src >= size || static_cast<int64_t>(out.size()) >= limit) break;
    const int64_t take = std::min({r.data_size, size - src, limit - static_cast<int64_t>(out.size())});
    out.insert(out.end(), image.begin() + src, image.begin() + src + take);
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::FuzzInput input(data, size);
  const uint8_t mode = input.take_byte();
  const uint8_t chunk_byte = input.take_byte();
  const int64_t chunk_size = (chunk_byte & kLargeChunkFlag) != 0
                                 ? kLargeChunkUnit * (1 + (chunk_byte & ~kLargeChunkFlag))
                                 : 1 + chunk_byte % kSmallChunkMax;
  const Bytes image = (mode & kBuiltImageFlag) != 0 ? build_image(input) : input.take_rest();
  const auto image_size = static_cast<int64_t>(image.size());

  // Every read must lie inside the image.
  const unubinize::ReadAt read = [&image, image_size](int64_t offset, unsigned char* into, int64_t count) {
    check(offset >= 0 && count >= 0 && offset <= image_size && count <= image_size - offset);
    std::memcpy(into, image.data() + offset, static_cast<size_t>(count));
    return true;
  };
  const unubinize::Layout layout = unubinize::inspect(image_size, read, chunk_size);
  const Reference expected = reference_inspect(image);
  check(layout.status == expected.status);
  if (expected.status == unubinize::InspectStatus::kNotUbi) return 0;
  if (expected.status == unubinize::InspectStatus::kNotSquashfs) return 0;
  check(layout.squashfs_start == expected.squashfs_start && layout.bytes_used == expected.bytes_used);
  if (expected.status != unubinize::InspectStatus::kOk) return 0;
  check(layout.geometry.physical_block_size == expected.block_size);
  check(layout.geometry.logical_block_size == expected.data_size);

  for (const int64_t limit : {expected.bytes_used, unubinize::kNoLimit}) {
    const Bytes want = reference_output(image, expected, limit);
    check(unubinize::for_each_piece(image_size, layout.squashfs_start, limit, layout.geometry,
                                    [](int64_t, int64_t) { return true; }) == static_cast<int64_t>(want.size()));
    Bytes got;
    Bytes block(static_cast<size_t>(layout.geometry.physical_block_size));
    const unubinize::CopyStatus status =
        unubinize::copy_pieces(image_size, read, layout, limit, block.data(), [&got](const unsigned char* at, int64_t n) {
          got.insert(got.end(), at, at + n);
          return true;
        });
    check(status == unubinize::CopyStatus::kOk);
    check(got == want);

    // A write that fails stops the copy at once.
    int writes = 0;
    const unubinize::CopyStatus refused =
        unubinize::copy_pieces(image_size, read, layout, limit, block.data(), [&writes](const unsigned char*, int64_t) {
          ++writes;
          return false;
        });
    check(want.empty() ? refused == unubinize::CopyStatus::kOk : refused == unubinize::CopyStatus::kWriteFailed);
    check(writes == (want.empty() ? 0 : 1));
  }
  return 0;
}
