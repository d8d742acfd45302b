// The one NV image fixture of the sheet tests: a temporary directory with an
// image of kSize pseudo-random bytes (fixed seed) at `path`, its bytes as
// written in `before`, and a message capture alive for the whole test.
// Each family names its size and seed once:
//   using GsmImageTest = calvex_test::ImageTest<8192, 0x65A1>;
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "test_host.h"

namespace calvex_test {

template <size_t kSize, uint32_t kSeed>
class ImageTest : public ::testing::Test {
 protected:
  static constexpr size_t kImageBytes = kSize;

  void SetUp() override {
    path = dir.file("nv.bin");
    before = random_bytes(kSize, kSeed);
    write_file(path, before);
  }
  // The image as it is now.
  std::vector<uint8_t> image() const { return read_file(path); }
  // A path in the test's directory where no file is.
  std::string missing_path() const { return dir.file("missing.bin"); }
  // Stores a little-endian 32-bit value into the image file; `before` follows.
  void poke32(size_t offset, uint32_t value) {
    std::vector<uint8_t> bytes = image();
    put_le32(bytes, offset, value);
    write_file(path, bytes);
    before = bytes;
  }

  TempDir dir;
  std::string path;
  std::vector<uint8_t> before;
  MessageLog log;
};

}  // namespace calvex_test
