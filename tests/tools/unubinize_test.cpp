// Geometry, search window and block assembly of the UBI unpackers.
#include "unubinize.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "files.h"
#include "process.h"
#include "temp_dir.h"

namespace {

using calvex_test::Bytes;

struct GeometryCase {
  int64_t physical_block_size;
  uint32_t vid_header_offset;
  int64_t page_size;
  int64_t logical_block_size;
  const char* rule;
};

TEST(DeriveGeometry, PageAndLogicalBlockFromBlockSizeAndVidHeader) {
  const GeometryCase cases[] = {
      {0x20000, 512, 2048, 126 * 1024, "128 KiB, VID header in the first page"},
      {0x20000, 2048, 2048, 124 * 1024, "128 KiB, VID header in a page of its own"},
      {0x40000, 4096, 4096, 248 * 1024, "256 KiB blocks use 4096-byte pages"},
      {0x40000, 2048, 4096, 252 * 1024, "256 KiB, VID header inside the first 4096-byte page"},
      {0x10000, 512, 2048, 62 * 1024, "other sizes keep 2048-byte pages"},
      {0x20000, 2047, 2048, 126 * 1024, "last offset inside the first page"},
      {4096, 2048, 2048, 0, "nonsensical: no room for data"},
  };
  for (const GeometryCase& c : cases) {
    const unubinize::Geometry g = unubinize::derive_geometry(c.physical_block_size, c.vid_header_offset);
    EXPECT_EQ(g.physical_block_size, c.physical_block_size) << c.rule;
    EXPECT_EQ(g.page_size, c.page_size) << c.rule;
    EXPECT_EQ(g.logical_block_size, c.logical_block_size) << c.rule;
  }
}

struct FindCase {
  std::string buffer;
  int64_t window;
  int n;
  int64_t expected;
  const char* rule;
};

TEST(FindNth, CountsOccurrencesInsideWindowAndBuffer) {
  const FindCase cases[] = {
      {"UBI#xxUBI#", 100, 0, 0, "first"},
      {"UBI#xxUBI#", 100, 1, 6, "second, ending at the buffer's end"},
      {"UBI#xxUBI#", 100, 2, -1, "no third"},
      {"UBI#xxUBI#", 6, 1, -1, "an occurrence must start inside the window"},
      {"UBI#xxUBI#", 7, 1, 6, "starting at the window's last byte"},
      {"UBI#xxUBI", 100, 1, -1, "a cut-off occurrence at the buffer's end"},
      {"UB", 100, 0, -1, "buffer shorter than the text"},
      {"", 100, 0, -1, "empty buffer"},
      {"UBI#UBI#", 100, 1, 4, "adjacent"},
  };
  for (const FindCase& c : cases) {
    const Bytes buffer = calvex_test::bytes_of(c.buffer);
    EXPECT_EQ(unubinize::find_nth(buffer.data(), static_cast<int64_t>(buffer.size()), c.window, "UBI#", c.n),
              c.expected)
        << c.rule;
  }
}

// Input of `blocks` blocks of P = 16 bytes whose last L = 10 bytes hold data
// bytes 1, 2, 3, ... and whose 6 header bytes hold 0xEE.
constexpr int64_t kP = 16;
constexpr int64_t kL = 10;
const unubinize::Geometry kTinyGeometry{kP, 3, kL};

Bytes tiny_blocks(int64_t blocks) {
  Bytes input;
  unsigned char next = 1;
  for (int64_t b = 0; b < blocks; ++b) {
    input.insert(input.end(), kP - kL, 0xEE);
    for (int64_t i = 0; i < kL; ++i) input.push_back(next++);
  }
  return input;
}

Bytes data_bytes(int64_t count) {
  Bytes bytes;
  for (int64_t i = 1; i <= count; ++i) bytes.push_back(static_cast<unsigned char>(i));
  return bytes;
}

struct AssembleCase {
  int64_t blocks;
  int64_t input_cut;  // bytes removed from the input's end
  int64_t bytes_used;
  int64_t expected_size;
  const char* rule;
};

TEST(AssembleSquashfs, TakesAtMostLBytesOfEachBlockAndStopsAtBytesUsed) {
  const AssembleCase cases[] = {
      {3, 0, 25, 25, "last piece inside a data area"},
      {3, 0, 21, 21, "last piece of 1 byte, below P - L: no header bytes copied"},
      {3, 0, 30, 30, "ends with the last block"},
      {3, 0, 20, 20, "ends exactly at a block boundary"},
      {3, 0, 31, 30, "more than the blocks carry"},
      {3, 4, 30, 26, "last block cut short"},
      {3, 12, 30, 20, "last block has no data bytes left"},
  };
  for (const AssembleCase& c : cases) {
    Bytes input = tiny_blocks(c.blocks);
    input.resize(input.size() - static_cast<size_t>(c.input_cut));
    Bytes output(input.size(), 0);
    const int64_t size = unubinize::assemble_squashfs(input.data(), static_cast<int64_t>(input.size()), kP - kL,
                                                       c.bytes_used, kTinyGeometry, output.data());
    ASSERT_EQ(size, c.expected_size) << c.rule;
    output.resize(static_cast<size_t>(size));
    EXPECT_EQ(output, data_bytes(size)) << c.rule;
  }
}

TEST(AssembleToEnd, TakesAtMostLBytesOfEachBlockToTheEnd) {
  const AssembleCase cases[] = {
      {3, 0, 0, 30, "whole blocks"},
      {3, 2, 0, 28, "last block cut inside its data area"},
      {3, 9, 0, 21, "last block holds one data byte"},
      {3, 10, 0, 20, "last block holds headers only"},
  };
  for (const AssembleCase& c : cases) {
    Bytes input = tiny_blocks(c.blocks);
    input.resize(input.size() - static_cast<size_t>(c.input_cut));
    Bytes output(input.size(), 0);
    const int64_t size = unubinize::assemble_to_end(input.data(), static_cast<int64_t>(input.size()), kP - kL,
                                                     kTinyGeometry, output.data());
    ASSERT_EQ(size, c.expected_size) << c.rule;
    output.resize(static_cast<size_t>(size));
    EXPECT_EQ(output, data_bytes(size)) << c.rule;
  }
}

}  // namespace
