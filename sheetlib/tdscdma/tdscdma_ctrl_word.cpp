#include "tdscdma/tdscdma_ctrl_word.h"

namespace calvex::tdscdma {

namespace {
constexpr uint32_t kGpioKind = 0;
constexpr uint32_t kHexKind = 8;
constexpr unsigned kPatternShift = 6;
constexpr uint32_t kGroup0Tag = 0x30;  // group tag 24
constexpr uint32_t kGroup1Tag = 0x32;  // group tag 25
constexpr uint32_t kEmptyWord = 0x10;  // group tag 8: no group
static_assert(group_tag(kGroup0Tag) == 24 && group_tag(kGroup1Tag) == 25 && group_tag(kEmptyWord) == 8);

// Line patterns before the shift: GPIO_GROUP0 line r has level bit 2 + r and
// enable bit 15 + r, GPIO_GROUP1 line r level bit r and enable bit 13 + r.
constexpr wcdma::GpioGroupBits kGroup0Bits{wcdma::kGpioGroup0Lines, 2, 15};
constexpr wcdma::GpioGroupBits kGroup1Bits{wcdma::kGpioGroup1Lines, 0, 13};
}  // namespace

const CtrlWordForm kTdscdmaForm{
    .group0 = {kGroup0Bits, kGpioKind, kPatternShift, kGroup0Tag, &msg::kBadTruthCell},
    .group1 = {kGroup1Bits, kGpioKind, kPatternShift, kGroup1Tag, &msg::kBadTruthCell},
    .hex_kind = kHexKind,
    .empty = {kGpioKind, kEmptyWord},
    .too_many = &msg::kTdTooManyWords,
    .limit_check = wcdma::WordLimitCheck::BeforeEachWord,
};

}  // namespace calvex::tdscdma
