// LTE family: the facts that the sheets of the single and the merged NV
// layouts share -- band slots and where each layout keeps them, the 8-byte
// control word entry, the GPIO group and MIPI word builders, and the merged
// layout's spare block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "sheet.h"

namespace calvex::lte {

enum class Layout { Single, Merged };

// ---- Band slots ----

// Band slots of the LTE band list; the sheets give cells for the first 12,
// slots 12 to 15 always read as empty texts.
inline constexpr size_t kBandSlots = 16;
inline constexpr size_t kSheetBandSlots = 12;
// Slots each layout has room for; the sheets never write slots beyond them.
inline constexpr size_t kSingleLayoutSlots = 12;
inline constexpr size_t kMergedLayoutSlots = 14;

// ---- Single layout ----

// Switch/PA control word records, one per slot.
inline constexpr uint32_t kSingleSwitchPaBase = 0x0004;
inline constexpr uint32_t kSingleSwitchPaRecordSize = 252;
// Temperature compensation records, one per slot, right after them.
inline constexpr uint32_t kSingleTmpCompBase = 0x0BD4;
inline constexpr uint32_t kSingleTmpCompRecordSize = 244;
// The simple table values start here (Phse at 0x1748).
inline constexpr uint32_t kSingleTableValuesOffset = 0x1748;

static_assert(kSingleSwitchPaBase + kSingleLayoutSlots * kSingleSwitchPaRecordSize == kSingleTmpCompBase);
static_assert(kSingleTmpCompBase + kSingleLayoutSlots * kSingleTmpCompRecordSize <= kSingleTableValuesOffset);

// ---- Merged layout ----

// Band slot b occupies kMergedSlotSize bytes from kMergedSlotBase + b * size.
inline constexpr uint32_t kMergedSlotBase = 0x01B8;
inline constexpr uint32_t kMergedSlotSize = 780;
// Phse and Capacity values interleave in the 32 bytes from here.
inline constexpr uint32_t kMergedPhseCapacityOffset = 0x2C60;
inline constexpr uint32_t kMergedPhseCapacitySize = 0x20;
// Spare block: zeroed by every merged sheet after its write, in a second open.
inline constexpr uint32_t kMergedSpareOffset = 0x2CFC;
inline constexpr uint32_t kMergedSpareSize = 0x2CFC;
inline constexpr uint32_t kMergedImageEnd = 0x59F8;

static_assert(kMergedSlotBase + kMergedLayoutSlots * kMergedSlotSize == kMergedPhseCapacityOffset);
static_assert(kMergedPhseCapacityOffset + kMergedPhseCapacitySize <= kMergedSpareOffset);
static_assert(kMergedSpareOffset + kMergedSpareSize == kMergedImageEnd);

constexpr uint32_t merged_slot_offset(size_t slot) {
  return kMergedSlotBase + static_cast<uint32_t>(slot) * kMergedSlotSize;
}

// The merged layout's spare block, zeroed: every merged write stores it after
// its own blocks, growing a shorter file to kMergedImageEnd bytes.
NvBlock merged_spare_block();

// ---- Control word entry ----

// 8 bytes little-endian: 16-bit high part H, 16 bits of zero, 32-bit low part L.
struct CtrlWord {
  uint16_t high = 0;
  uint32_t low = 0;
};
inline constexpr size_t kCtrlWordSize = 8;
inline constexpr size_t kCtrlWordHighPos = 0;
inline constexpr size_t kCtrlWordLowPos = 4;

// Writes w as a control word entry at byte pos of block.
void put_ctrl_word(NvBlock& block, size_t pos, CtrlWord w);

// ---- GPIO group words ----

// A GPIO group word is Q = (W << 5) | code, with H = bits 32..47 and
// L = bits 0..31 of Q. Line k of a group has a value bit and a mask bit in W.
struct GpioGroup {
  uint32_t code;       // bits 0..4 of Q
  size_t lines;        // lines in the group
  unsigned value_bit;  // value bit of line 0 in W
  unsigned mask_bit;   // mask bit of line 0 in W
};

inline constexpr GpioGroup kGroup0Single{0x16, 11, 2, 22};
inline constexpr GpioGroup kGroup0Merged{0x16, 11, 5, 25};
inline constexpr GpioGroup kGroup1{0x18, 4, 0, 20};
inline constexpr GpioGroup kGroup2{0x14, 11, 0, 20};

inline constexpr unsigned kGpioWordShift = 5;

// Adds line `line` of group g to W from its cell text: after removing the
// blanks, "1" sets the value and the mask bit, "0" the mask bit only, any
// other text nothing (the line is not driven).
void add_gpio_line(uint64_t& w, const GpioGroup& g, size_t line, std::u16string_view text);

// The entry of a group word with line bits w (w == 0: the empty word {0, code}).
CtrlWord gpio_word(const GpioGroup& g, uint64_t w);

// H bit that marks the second GPIO word of a state (the Group2 word).
inline constexpr uint16_t kSecondWordFlag = 0x1000;

// ---- MIPI words ----

// Packs register address a and data d into a MIPI entry the way `layout`
// stores it.
CtrlWord mipi_word(Layout layout, uint32_t a, uint32_t d);

}  // namespace calvex::lte
