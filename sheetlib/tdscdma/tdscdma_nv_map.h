// The TD-SCDMA NV map: NV control values, the two temperature compensation
// tables, then the switch/PA control word area. Absolute offsets, every
// value little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace calvex::tdscdma {

// ---- NV control: 15 values in 168..209 ----
inline constexpr uint32_t kNvCtrlOffset = 168;  // 0xA8
inline constexpr size_t kNvCtrlSize = 42;
// The read takes 172 bytes from 168, more than the block.
inline constexpr size_t kNvCtrlReadSize = 172;
// Byte position in the block of each of the 15 cells, in sheet order: six
// 16-bit values, four 32-bit values, the 32-bit enable word, two 16-bit
// values, a 32-bit and a 16-bit value.
inline constexpr uint32_t kNvCtrlCellPos[] = {0, 2, 4, 6, 8, 10, 12, 16, 20, 24, 28, 32, 34, 36, 40};
inline constexpr size_t kNvCtrlCellCount = sizeof kNvCtrlCellPos / sizeof kNvCtrlCellPos[0];

// ---- Temperature compensation: tables A and B of 20 pairs of 16-bit values ----
inline constexpr uint32_t kTmpCompAOffset = 420;  // 0x1A4
inline constexpr uint32_t kTmpCompBOffset = 500;  // 0x1F4
inline constexpr size_t kTmpCompPairs = 20;
inline constexpr size_t kTmpCompPairSize = 4;  // first value, then second value
inline constexpr size_t kTmpCompSecondValuePos = 2;
inline constexpr size_t kTmpCompTableSize = kTmpCompPairs * kTmpCompPairSize;
// Tables A and B as one block from kTmpCompAOffset.
inline constexpr size_t kTmpCompTables = 2;
inline constexpr size_t kTmpCompBothTablesSize = kTmpCompTables * kTmpCompTableSize;

// ---- Switch/PA control word area: 14 sets of 32 bytes, two groups of 7 ----
inline constexpr uint32_t kSwitchPaAreaOffset = 580;  // 0x244
inline constexpr size_t kSwitchPaAreaSize = 704;      // up to 1283 (0x503)
// States 0..2 of group g lie from 580 + 160 g, states 3..6 from 900 + 192 g,
// one set after the other.
inline constexpr size_t kSwitchPaGroups = 2;
inline constexpr size_t kSwitchPaStatesPerGroup = 7;
inline constexpr size_t kLowStates = 3;
inline constexpr uint32_t kLowStatesOffset = kSwitchPaAreaOffset;
inline constexpr uint32_t kLowGroupStride = 160;
inline constexpr uint32_t kHighStatesOffset = 900;
inline constexpr uint32_t kHighGroupStride = 192;

static_assert(kNvCtrlOffset + kNvCtrlSize <= kTmpCompAOffset);
static_assert(kNvCtrlOffset + kNvCtrlReadSize <= kSwitchPaAreaOffset);
static_assert(kTmpCompAOffset + kTmpCompTableSize == kTmpCompBOffset);
static_assert(kTmpCompBOffset + kTmpCompTableSize == kSwitchPaAreaOffset);
static_assert(kTmpCompAOffset + kTmpCompBothTablesSize == kSwitchPaAreaOffset);
static_assert(kHighStatesOffset + kHighGroupStride * kSwitchPaGroups == kSwitchPaAreaOffset + kSwitchPaAreaSize);

}  // namespace calvex::tdscdma
