// The WCDMA control word entry form (core/ctrl_word.h builds the sets):
// kinds 1 and 2 hold the GPIO_GROUP0 and GPIO_GROUP1 line patterns as they
// are, kind 15 a word; the empty entry is {1, 0}. The antenna exchange
// sheet stores its entries in the same form.
#pragma once

#include <cstdint>

#include "ctrl_word.h"

namespace calvex::wcdma {

// Line patterns: GPIO_GROUP0 line r has level bit 2 + r and enable bit
// 18 + r, GPIO_GROUP1 line r level bit r and enable bit 16 + r.
inline constexpr GpioGroupBits kGroup0Bits{kGpioGroup0Lines, 2, 18};
inline constexpr GpioGroupBits kGroup1Bits{kGpioGroup1Lines, 0, 16};

inline constexpr uint32_t kGroup0Kind = 1;
inline constexpr uint32_t kGroup1Kind = 2;
inline constexpr uint32_t kWordKind = 15;

inline constexpr CtrlSetForm kWcdmaForm{
    .group0 = {kGroup0Bits, kGroup0Kind, 0, 0, &msg::kGpioGroup0Bad},
    .group1 = {kGroup1Bits, kGroup1Kind, 0, 0, &msg::kGpioGroup1Bad},
    .word_kind = kWordKind,
    .empty = {kGroup0Kind, 0},
    .too_many = &msg::kWcdmaTooManyWords,
    .limit_check = WordLimitCheck::AfterAllWords,
};

}  // namespace calvex::wcdma
