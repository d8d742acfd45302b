// The WCDMA NV head: eight 720-byte band slot blocks, then the band list and
// the band count. The switch/PA sheet writes the list and the count; the
// maximum power and temperature compensation sheets read them.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "sheet.h"

namespace calvex::wcdma {

inline constexpr size_t kBandSlots = 8;
inline constexpr uint32_t kBandSlotBlockOffset = 308;  // 0x134: block of slot 0
inline constexpr uint32_t kBandSlotBlockSize = 720;    // 0x2D0
inline constexpr uint32_t kBandListOffset = 6068;      // 0x17B4: 8 x 32-bit band numbers
inline constexpr uint32_t kBandListEntrySize = 4;
inline constexpr uint32_t kBandCountOffset = 6100;  // 0x17D4: 32-bit count of slots in use
inline constexpr uint32_t kBandCountSize = 4;
// The read operations take the image's first 6104 bytes: everything up to
// and including the band count.
inline constexpr size_t kHeadSize = 6104;  // 0x17D8

static_assert(kBandSlotBlockOffset + kBandSlots * kBandSlotBlockSize == kBandListOffset);
static_assert(kBandListOffset + kBandSlots * kBandListEntrySize == kBandCountOffset);
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
