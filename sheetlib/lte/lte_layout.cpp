#include "lte_layout.h"

#include <vector>

#include "boundary.h"

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

}  // namespace

NvBlock merged_spare_block() { return NvBlock(kMergedSpareOffset, kMergedSpareSize); }

void put_ctrl_word(NvBlock& block, size_t pos, CtrlWord w) {
  block.put16(pos + kCtrlWordHighPos, w.high);
  block.put16(pos + kCtrlWordHighPos + 2, 0);
  block.put32(pos + kCtrlWordLowPos, w.low);
}

void add_gpio_line(uint64_t& w, const GpioGroup& g, size_t line, std::u16string_view text) {
  const std::u16string t = remove_spaces(text);
  const uint64_t value_bit = uint64_t{1} << (g.value_bit + line);
  const uint64_t mask_bit = uint64_t{1} << (g.mask_bit + line);
  if (t == u"1") {
    w |= value_bit | mask_bit;
  } else if (t == u"0") {
    w |= mask_bit;
  }
}

CtrlWord gpio_word(const GpioGroup& g, uint64_t w) {
  const uint64_t q = (w << kGpioWordShift) | g.code;
  return {static_cast<uint16_t>(q >> 32), static_cast<uint32_t>(q)};
}

CtrlWord mipi_word(Layout layout, uint32_t a, uint32_t d) {
  if (layout == Layout::Single) {
    const uint32_t low = (((a << kMipiAddressShift) | d) << 1) | kSingleMipiLowFlag;
    const uint32_t high =
        ((a >> kSingleMipiHighShift) & kSingleMipiHighMask) | ((a >> kSingleMipiBitShift) & 1u) | kSingleMipiHighCode;
    return {static_cast<uint16_t>(high), low};
  }
  const uint32_t low = (a << kMipiAddressShift) | d;
  const uint32_t high = ((a >> kMergedMipiHighShift) & kMergedMipiHighMask) | kMergedMipiHighCode;
  return {static_cast<uint16_t>(high), low};
}

}  // namespace calvex::lte
