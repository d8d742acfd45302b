// The TD-SCDMA control word entry form. Sets are built with the WCDMA
// scheme (wcdma_ctrl_word.h); only the entry encoding differs: both GPIO
// groups are kind 0, their line pattern shifted up by 6 bits and tagged in
// bits 1..5 (24 for GPIO_GROUP0, 25 for GPIO_GROUP1); hexadecimal words are
// kind 8; the empty entry is {0, 0x10}.
#pragma once

#include <cstdint>

#include "wcdma/wcdma_ctrl_word.h"

namespace calvex::tdscdma {

using wcdma::CtrlWordEntry;
using wcdma::CtrlWordForm;

// Group tag of a stored GPIO word: bits 1..5.
inline constexpr unsigned kGroupTagShift = 1;
inline constexpr uint32_t kGroupTagMask = 0x1F;
constexpr uint32_t group_tag(uint32_t word) { return (word >> kGroupTagShift) & kGroupTagMask; }

extern const CtrlWordForm kTdscdmaForm;

}  // namespace calvex::tdscdma
