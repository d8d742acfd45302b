// Helpers shared by the LTE sheet tests: a fixture that keeps the layout
// switch at 0 around each test, an NV image in a temporary directory, and
// the switch/PA truth table addressing.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calvex.h"
#include "image_fixture.h"
#include "test_host.h"

namespace lte_test {

using namespace calvex_test;
using Texts = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;
using WriteFn = void(CALVEX_CALL*)(const CellRange*, int32_t, CalvexText);

// Merged layout spare block [0x2CFC, 0x59F8).
constexpr size_t kSpareOffset = 0x2CFC;
constexpr size_t kMergedImageEnd = 0x59F8;
// Big enough for every LTE offset except the merged spare block.
constexpr size_t kImageSize = 0x3000;

// Resets the layout switch before and after each test; gives each test a
// random-filled NV image of kImageSize bytes (the shared image fixture;
// `image` names its path here).
class LteTest : public ImageTest<kImageSize, 0x17E> {
 protected:
  const std::string image = dir.file("nv.bin");

  void SetUp() override {
    SetLteVersion(0);
    ImageTest::SetUp();
  }
  void TearDown() override { SetLteVersion(0); }

  // Writes the ranges with fn; returns the messages it showed.
  Texts write(WriteFn fn, const std::vector<RangeTexts>& ranges) {
    MessageLog log;
    call_write(fn, ranges, image);
    return log.texts();
  }
};

// What a merged sheet leaves after its write: the spare block zeroed and the
// image grown to its end.
inline Bytes with_spare_block_cleared(Bytes image) {
  if (image.size() < kMergedImageEnd) image.resize(kMergedImageEnd, 0);
  std::fill(image.begin() + kSpareOffset, image.begin() + kMergedImageEnd, 0);
  return image;
}

inline Texts done() { return {"修改完成！"}; }

// Switch/PA truth table: 5280 cells, cell 128 * row + 8 * slot + state.
constexpr size_t kTruthCells = 5280;
inline size_t truth_cell(size_t row, size_t slot, size_t state) { return 128 * row + 8 * slot + state; }

}  // namespace lte_test
