// The TD-SCDMA control word entry form (core/ctrl_word.h builds the sets):
// both GPIO groups are kind 0, their line pattern shifted up by 6 bits and
// tagged in bits 1..5 (24 for GPIO_GROUP0, 25 for GPIO_GROUP1); words are
// kind 8; the empty entry is {0, 0x10}.
#pragma once

#include <cstdint>

#include "ctrl_word.h"

namespace calvex::tdscdma {

// Group tag of a stored GPIO word: bits 1..5.
inline constexpr unsigned kGroupTagShift = 1;
inline constexpr uint32_t kGroupTagMask = 0x1F;
constexpr uint32_t group_tag(uint32_t word) { return (word >> kGroupTagShift) & kGroupTagMask; }

inline constexpr uint32_t kGpioKind = 0;
inline constexpr uint32_t kWordKind = 8;
inline constexpr unsigned kPatternShift = 6;
inline constexpr uint32_t kGroup0Tag = 0x30;  // group tag 24
inline constexpr uint32_t kGroup1Tag = 0x32;  // group tag 25
inline constexpr uint32_t kEmptyWord = 0x10;  // group tag 8: no group
static_assert(group_tag(kGroup0Tag) == 24 && group_tag(kGroup1Tag) == 25 && group_tag(kEmptyWord) == 8);

// Line patterns before the shift: GPIO_GROUP0 line r has level bit 2 + r and
// enable bit 15 + r, GPIO_GROUP1 line r level bit r and enable bit 13 + r.
inline constexpr GpioGroupBits kGroup0Bits{kGpioGroup0Lines, 2, 15};
inline constexpr GpioGroupBits kGroup1Bits{kGpioGroup1Lines, 0, 13};

inline constexpr CtrlSetForm kTdscdmaForm{
    .group0 = {kGroup0Bits, kGpioKind, kPatternShift, kGroup0Tag, &msg::kBadTruthCell},
    .group1 = {kGroup1Bits, kGpioKind, kPatternShift, kGroup1Tag, &msg::kBadTruthCell},
    .word_kind = kWordKind,
    .empty = {kGpioKind, kEmptyWord},
    .too_many = &msg::kTdTooManyWords,
    .limit_check = WordLimitCheck::BeforeEachWord,
};

}  // namespace calvex::tdscdma
