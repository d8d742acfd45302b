// Shared helpers of the LTE-A sheet tests: an image filled with a random
// pattern in a temporary directory, NV head offsets as the format defines
// them, and the messages the LTE-A sheets show.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "test_host.h"

namespace ltea_test {

using namespace calvex_test;

// Larger than the head and its end marker, so that no write extends it.
inline constexpr size_t kImageSize = 16384;

inline size_t band_field(size_t slot, size_t offset) { return 440 + 780 * slot + offset; }

using Messages = std::vector<std::string>;

// A test with an NV image of kImageSize random bytes at path.
class LteaImageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    path = dir.file("nv.bin");
    before = random_bytes(kImageSize, 0x17EA);
    write_file(path, before);
  }
  std::vector<uint8_t> image() const { return read_file(path); }

  TempDir dir;
  std::string path;
  std::vector<uint8_t> before;
  MessageLog log;
};

// The bytes [offset, offset + size) of an image.
inline std::vector<uint8_t> bytes_at(const std::vector<uint8_t>& image, size_t offset, size_t size) {
  return {image.begin() + static_cast<std::ptrdiff_t>(offset),
          image.begin() + static_cast<std::ptrdiff_t>(offset + size)};
}

inline void put_le16(std::vector<uint8_t>& image, size_t offset, uint32_t v) {
  image[offset] = static_cast<uint8_t>(v);
  image[offset + 1] = static_cast<uint8_t>(v >> 8);
}

inline void put_le32(std::vector<uint8_t>& image, size_t offset, uint32_t v) {
  put_le16(image, offset, v & 0xFFFF);
  put_le16(image, offset + 2, v >> 16);
}

}  // namespace ltea_test
