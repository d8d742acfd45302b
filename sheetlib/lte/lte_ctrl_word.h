// LTE control words (core/ctrl_word.h holds the entry and the group word
// codec): the GPIO groups of the truth table and the MIPI word packing of
// each layout.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ctrl_word.h"
#include "lte/lte_nv_map.h"

namespace calvex::lte {

// ---- GPIO group words: Group0 and Group1 lines, Group2 lines ----

// The single layout's Group0 word keeps its lines lower than the merged one.
inline constexpr GpioGroupWord kGroup0Single{0x16, {kGpioGroup0Lines, 2, 22}};
inline constexpr GpioGroupWord kGroup0Merged = kGpioGroup0Word;
inline constexpr GpioGroupWord kGroup1 = kGpioGroup1Word;
inline constexpr size_t kGroup2Lines = 11;
inline constexpr GpioGroupWord kGroup2{0x14, {kGroup2Lines, 0, 20}};

// H bit that marks the second GPIO word of a state (the Group2 word).
inline constexpr uint16_t kSecondWordFlag = 0x1000;

// ---- MIPI words ----

// Packs register address a and data d into a MIPI entry the way `layout`
// stores it.
CtrlEntry mipi_word(Layout layout, uint32_t a, uint32_t d);

}  // namespace calvex::lte
