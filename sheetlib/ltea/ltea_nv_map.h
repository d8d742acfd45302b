// The LTE-A NV map: the LTE-A NV head (the first 13076 bytes of an LTE-A
// image) and the 780-byte band records in it. The LTE-A sheets have one
// layout only and carry primary-carrier data only. Absolute offsets, every
// value little-endian.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace calvex::ltea {

// ---- NV head map: absolute offsets, every value little-endian ----

inline constexpr uint32_t kHeadSize = 13076;  // 0x3314

inline constexpr uint32_t kMprOffset = 4;  // 16-bit signed entries
inline constexpr size_t kMprCount = 42;

inline constexpr uint32_t kPcScaleMarkerOffset = 324;     // 32-bit
inline constexpr uint32_t kPcScaleMarkerOn = 0x6963616C;  // "laci" (bytes 6C 61 63 69)
inline constexpr uint32_t kPcScaleValuesOffset = 328;     // 16-bit entries
inline constexpr size_t kPcScaleCount = 17;

inline constexpr uint32_t kFilterOffset = 388;  // 16-bit entries
inline constexpr size_t kFilterCount = 6;

inline constexpr uint32_t kAntMainEntryOffset = 400;  // antenna selection entries
inline constexpr uint32_t kAntDiversityEntryOffset = 408;

inline constexpr uint32_t kBandRecordCountOffset = 436;  // 32-bit
inline constexpr uint32_t kBandRecordCountValue = 16;

inline constexpr uint32_t kBandRecordsOffset = 440;
inline constexpr uint32_t kBandRecordSize = 780;
inline constexpr size_t kBandSlots = 16;

// Phase/capacity pairs: phase at +0, capacity at +4 of each 8-byte pair.
inline constexpr uint32_t kPairsOffset = 12920;
inline constexpr uint32_t kPairSize = 8;
inline constexpr uint32_t kPhaseInPair = 0;
inline constexpr uint32_t kCapacityInPair = 4;
inline constexpr size_t kPairCount = 4;
// The sheet cell i of the phase and capacity sheets belongs to pair kPairOfCell[i].
inline constexpr std::array<size_t, kPairCount> kPairOfCell = {0, 2, 1, 3};

inline constexpr uint32_t kTxNvFlagOffset = 12956;    // 32-bit
inline constexpr uint32_t kTxPowerEsfOffset = 12966;  // 16-bit

inline constexpr uint32_t kClearedFieldsOffset = 13000;  // five 16-bit fields set to 0
inline constexpr size_t kClearedFieldCount = 5;

// First bytes past the head: 16-bit marker "HR" written by the switch/PA sheet.
inline constexpr uint32_t kHeadEndMarkerOffset = 13076;
inline constexpr uint32_t kHeadEndMarker = 0x5248;

// ---- Band record: offsets within one record ----

inline constexpr uint32_t kRecBandNumber = 0;      // 32-bit; 0 marks an empty slot
inline constexpr uint32_t kRecCarried4 = 4;        // 32-bit, carried through unchanged
inline constexpr uint32_t kRecPaStates = 8;        // states 0..3, one block each
inline constexpr uint32_t kRecSwitchStates = 136;  // states 4..7, one block each
inline constexpr uint32_t kRecTmpComp = 280;       // 60 rows of two signed 32-bit values
inline constexpr uint32_t kRecCarried760 = 760;    // 16-bit, carried through unchanged
inline constexpr uint32_t kRecCarried762 = 762;    // 16-bit, carried through unchanged
inline constexpr uint32_t kRecPaTiming = 764;      // 4 signed 16-bit offsets

inline constexpr size_t kStatesPerSlot = 8;
inline constexpr size_t kPaStates = 4;  // states 0..3 are PA states, 4..7 switch states
inline constexpr size_t kEntriesPerState = 4;
inline constexpr size_t kEntrySize = 8;
inline constexpr size_t kStateBlockSize = kEntriesPerState * kEntrySize;  // 32
inline constexpr size_t kStateBlocksSize = kPaStates * kStateBlockSize;   // 128 per kind

inline constexpr size_t kTmpCompRows = 60;
inline constexpr size_t kTmpCompRowSize = 8;
inline constexpr size_t kTmpCompSize = kTmpCompRows * kTmpCompRowSize;  // 480

inline constexpr size_t kPaTimingCount = 4;
inline constexpr size_t kPaTimingSize = kPaTimingCount * 2;

static_assert(kRecSwitchStates == kRecPaStates + kStateBlocksSize);
static_assert(kRecTmpComp + kTmpCompSize == kRecCarried760);
static_assert(kRecPaTiming + kPaTimingSize + 8 == kBandRecordSize);
static_assert(kBandRecordsOffset + kBandRecordSize * kBandSlots == kPairsOffset);
static_assert(kPairsOffset + kPairSize * kPairCount <= kTxNvFlagOffset);
static_assert(kClearedFieldsOffset + 2 * kClearedFieldCount <= kHeadSize);
static_assert(kHeadEndMarkerOffset == kHeadSize);

// Absolute offset of band record slot's field at field_offset.
constexpr uint32_t band_field(size_t slot, uint32_t field_offset) {
  return kBandRecordsOffset + kBandRecordSize * static_cast<uint32_t>(slot) + field_offset;
}

// Absolute offset of the first entry of state s (0..7) of a band record.
constexpr uint32_t state_block(size_t slot, size_t state) {
  return state < kPaStates
             ? band_field(slot, kRecPaStates + static_cast<uint32_t>(kStateBlockSize * state))
             : band_field(slot, kRecSwitchStates + static_cast<uint32_t>(kStateBlockSize * (state - kPaStates)));
}

// ---- Control word entry kinds (core/ctrl_word.h; the kind is 16-bit here) ----

inline constexpr uint32_t kKindEmpty = 0;
inline constexpr uint32_t kKindGpioGroup0 = 2;
inline constexpr uint32_t kKindGpioGroup1 = 3;
inline constexpr uint32_t kKindMipi = 8;

}  // namespace calvex::ltea
