// The WCDMA NV map: the feature words and tables at the start of the image,
// eight 720-byte band slot blocks, then the band list and the band count.
// Absolute offsets, every value little-endian.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>

#include "ctrl_word.h"
#include "sheet.h"

namespace calvex::wcdma {

// ---- Feature words and tables ----

inline constexpr uint32_t kHdelFlagOffset = 76;  // 0x4C: 32-bit HdelFlag enable word
inline constexpr uint32_t kEnableWordSize = 4;

// Notch filter: 32-bit point count, then 10 points of {32-bit unsigned, 32-bit signed}.
inline constexpr uint32_t kNotchCountOffset = 80;  // 0x50
inline constexpr uint32_t kNotchCountSize = 4;
inline constexpr uint32_t kNotchTableOffset = 84;  // 0x54
inline constexpr size_t kNotchPoints = 10;
inline constexpr size_t kNotchParamsPerPoint = 2;
inline constexpr size_t kNotchParamSize = 4;
inline constexpr size_t kNotchTableSize = kNotchPoints * kNotchParamsPerPoint * kNotchParamSize;
// The count and the table as one block from kNotchCountOffset.
inline constexpr size_t kNotchBlockSize = kNotchCountSize + kNotchTableSize;

// Maximum power: 32-bit BandEn enable word, then 8 entries of
// {16-bit band, 16-bit signed power}.
inline constexpr uint32_t kBandEnOffset = 164;  // 0xA4
inline constexpr uint32_t kMaxPowTableOffset = 168;  // 0xA8
inline constexpr size_t kMaxPowEntries = 8;
inline constexpr size_t kMaxPowEntrySize = 4;
inline constexpr size_t kMaxPowPowerPos = 2;
inline constexpr size_t kMaxPowTableSize = kMaxPowEntries * kMaxPowEntrySize;
// The BandEn word and the table as one block from kBandEnOffset.
inline constexpr size_t kBandEnAndMaxPowSize = kEnableWordSize + kMaxPowTableSize;

// Antenna exchange: the exchange entry, then the no-exchange entry (8 bytes each).
inline constexpr uint32_t kAntExchangeOffset = 200;  // 0xC8
inline constexpr size_t kAntStates = 2;
inline constexpr size_t kAntExchangeSize = kAntStates * kCtrlEntrySize;

// ---- Band slots ----

inline constexpr size_t kBandSlots = 8;
inline constexpr uint32_t kBandSlotBlockOffset = 308;  // 0x134: block of slot 0
inline constexpr uint32_t kBandSlotBlockSize = 720;    // 0x2D0
// A slot block: the temperature compensation table (40 entries of
// {16-bit unsigned, 16-bit signed}), then the control word area.
inline constexpr size_t kTmpCompRows = 40;
inline constexpr size_t kTmpCompEntrySize = 4;
inline constexpr size_t kTmpCompSecondValuePos = 2;
inline constexpr size_t kTmpCompTableSize = kTmpCompRows * kTmpCompEntrySize;  // from the block's start
inline constexpr uint32_t kCtrlAreaInBlock = 160;
inline constexpr size_t kCtrlAreaSize = 560;

// A slot's control word area holds one set (four 8-byte entries) per state
// and two sets that are always empty, in two stretches of sets: from 0, the
// sets of states 0, 4, an empty set, 1, 2, 5, an empty set, 3 and 6; from
// 368, those of states 7 to 10.
inline constexpr size_t kStateSetPos[] = {0, 96, 128, 224, 32, 160, 256, 368, 400, 432, 464};
inline constexpr size_t kFixedEmptySetPos[] = {64, 192};
inline constexpr size_t kFirstSetsPos = 0;
inline constexpr size_t kFirstSets = 9;
inline constexpr size_t kSecondSetsPos = 368;
inline constexpr size_t kSecondSets = 4;
constexpr bool in_set_stretches(size_t pos) {
  return (pos >= kFirstSetsPos && pos + kCtrlSetSize <= kFirstSetsPos + kFirstSets * kCtrlSetSize) ||
         (pos >= kSecondSetsPos && pos + kCtrlSetSize <= kSecondSetsPos + kSecondSets * kCtrlSetSize);
}
static_assert(std::all_of(std::begin(kStateSetPos), std::end(kStateSetPos), in_set_stretches));
static_assert(std::all_of(std::begin(kFixedEmptySetPos), std::end(kFixedEmptySetPos), in_set_stretches));
static_assert(std::size(kStateSetPos) + std::size(kFixedEmptySetPos) == kFirstSets + kSecondSets);
static_assert(kSecondSetsPos + kSecondSets * kCtrlSetSize <= kCtrlAreaSize);

inline constexpr uint32_t kBandListOffset = 6068;  // 0x17B4: 8 x 32-bit band numbers
inline constexpr uint32_t kBandListEntrySize = 4;
inline constexpr uint32_t kBandCountOffset = 6100;  // 0x17D4: 32-bit count of slots in use
inline constexpr uint32_t kBandCountSize = 4;
// The band list and the band count as one block from kBandListOffset.
inline constexpr size_t kBandListAndCountSize = kBandSlots * kBandListEntrySize + kBandCountSize;
// The reads that need the band list take the image's first 6104 bytes:
// everything up to and including the band count.
inline constexpr size_t kHeadSize = 6104;  // 0x17D8

static_assert(kHdelFlagOffset + kEnableWordSize == kNotchCountOffset);
static_assert(kNotchCountOffset + kNotchCountSize == kNotchTableOffset);
static_assert(kNotchTableOffset + kNotchTableSize == kBandEnOffset);
static_assert(kBandEnOffset + kEnableWordSize == kMaxPowTableOffset);
static_assert(kBandEnOffset + kBandEnAndMaxPowSize == kAntExchangeOffset);
static_assert(kMaxPowTableOffset + kMaxPowTableSize == kAntExchangeOffset);
static_assert(kAntExchangeOffset + kAntExchangeSize <= kBandSlotBlockOffset);
static_assert(kMaxPowEntries == kBandSlots);
static_assert(kTmpCompTableSize == kCtrlAreaInBlock);
static_assert(kCtrlAreaInBlock + kCtrlAreaSize == kBandSlotBlockSize);
static_assert(kBandSlotBlockOffset + kBandSlots * kBandSlotBlockSize == kBandListOffset);
static_assert(kBandListOffset + kBandSlots * kBandListEntrySize == kBandCountOffset);
static_assert(kBandListOffset + kBandListAndCountSize == kHeadSize);
static_assert(kBandCountOffset + kBandCountSize == kHeadSize);

// Offset of band slot k's block.
constexpr uint32_t band_slot_block(size_t k) {
  return kBandSlotBlockOffset + static_cast<uint32_t>(k) * kBandSlotBlockSize;
}

// Band number of list slot i in a staged head (block offset 0).
inline uint32_t stored_band(const NvBlock& head, size_t i) {
  return head.get32(kBandListOffset + i * kBandListEntrySize);
}

// The stored band count, clamped to the eight slots the sheets have room for.
inline size_t stored_band_slots(const NvBlock& head) {
  return std::min<size_t>(head.get32(kBandCountOffset), kBandSlots);
}

}  // namespace calvex::wcdma
