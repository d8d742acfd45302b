#include "lte/lte_ctrl_word.h"

namespace calvex::lte {
namespace {

// MIPI entry packing. Single layout: L = (((A << 20) | D) << 1) | 1,
// H = ((A >> 9) & 0x7F8) | ((A >> 11) & 1) | 0x5806. Merged layout:
// L = (A << 20) | D, H = ((A >> 10) & 0x3FC) | 0xEC03.
constexpr unsigned kMipiAddressShift = 20;
constexpr uint32_t kSingleMipiLowFlag = 1;
constexpr unsigned kSingleMipiHighShift = 9;
constexpr uint32_t kSingleMipiHighMask = 0x7F8;
constexpr unsigned kSingleMipiBitShift = 11;
constexpr uint32_t kSingleMipiHighCode = 0x5806;
constexpr unsigned kMergedMipiHighShift = 10;
constexpr uint32_t kMergedMipiHighMask = 0x3FC;
constexpr uint32_t kMergedMipiHighCode = 0xEC03;
constexpr uint32_t kHighMask = 0xFFFF;  // H is 16 bits

}  // namespace

CtrlEntry mipi_word(Layout layout, uint32_t a, uint32_t d) {
  if (layout == Layout::Single) {
    const uint32_t low = (((a << kMipiAddressShift) | d) << 1) | kSingleMipiLowFlag;
    const uint32_t high =
        ((a >> kSingleMipiHighShift) & kSingleMipiHighMask) | ((a >> kSingleMipiBitShift) & 1u) | kSingleMipiHighCode;
    return {high & kHighMask, low};
  }
  const uint32_t low = (a << kMipiAddressShift) | d;
  const uint32_t high = ((a >> kMergedMipiHighShift) & kMergedMipiHighMask) | kMergedMipiHighCode;
  return {high & kHighMask, low};
}

}  // namespace calvex::lte
