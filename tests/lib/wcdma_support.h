// Shared helpers of the WCDMA and TD-SCDMA sheet tests: an NV image of
// random bytes in a temporary directory, truth tables built column by
// column, control word entries as they lie in the image, and the messages
// shared by all sheets.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image_fixture.h"
#include "test_host.h"

namespace cdma_test {

using namespace calvex_test;
using Messages = std::vector<std::string>;

// Covers every WCDMA block (the band count ends at 6104) and every TD-SCDMA
// block, so no write extends the image.
inline constexpr size_t kImageSize = 6144;

// A test with an NV image of kImageSize random bytes at path.
using CdmaImageTest = ImageTest<kImageSize, 0xCD3A>;

// A truth table of rows x columns cells, stored row after row, all "X".
struct TruthTable {
  size_t rows;
  size_t columns;
  std::vector<std::string> cells;

  TruthTable(size_t row_count, size_t column_count)
      : rows(row_count), columns(column_count), cells(row_count * column_count, "X") {}
  std::string& at(size_t row, size_t column) { return cells[row * columns + column]; }
  const std::string& at(size_t row, size_t column) const { return cells[row * columns + column]; }
};

// Truth table rows of a switch/PA sheet.
inline constexpr size_t kGpio0Row = 0;
inline constexpr size_t kGpio1Row = 11;
inline constexpr size_t kHexRow = 15;
inline constexpr size_t kTruthRows = 19;

struct Entry {
  uint32_t kind;
  uint32_t word;
  bool operator==(const Entry&) const = default;
};
inline std::ostream& operator<<(std::ostream& os, const Entry& e) {
  return os << "{" << e.kind << ", 0x" << std::hex << e.word << std::dec << "}";
}
// The four entries of the control word set at offset.
inline std::vector<Entry> set_at(const std::vector<uint8_t>& image, size_t offset) {
  std::vector<Entry> set;
  for (size_t e = 0; e < 4; ++e) set.push_back({le32(image, offset + 8 * e), le32(image, offset + 8 * e + 4)});
  return set;
}

// True if the bytes [offset, offset + size) are all zero.
inline bool all_zero(const std::vector<uint8_t>& image, size_t offset, size_t size) {
  for (size_t i = offset; i < offset + size; ++i) {
    if (image[i] != 0) return false;
  }
  return true;
}

}  // namespace cdma_test
