// The LTE NV map, per layout: the single layout keeps per band slot a
// switch/PA record and a temperature compensation record, then the simple
// table values and flags; the merged layout keeps the tables first, then a
// 780-byte block per band slot, the phase/capacity values and a spare block.
// Absolute offsets, every value little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

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
// Rows of two values per slot in the temperature compensation records of both layouts.
inline constexpr size_t kTmpCompRows = 60;

// ---- Single layout ----

// Switch/PA control word records, one per slot: 28 control word entries,
// then the band values.
inline constexpr uint32_t kSingleSwitchPaBase = 0x0004;
inline constexpr uint32_t kSingleSwitchPaRecordSize = 252;
inline constexpr size_t kSingleSwitchPaEntries = 28;
inline constexpr size_t kSingleBandValue0Pos = 0xE0;  // 32 bits
inline constexpr size_t kSingleBandValue1Pos = 0xE4;  // 32 bits
inline constexpr size_t kSingleBandValue2Pos = 0xE8;  // 16 bits
inline constexpr size_t kSingleBandValue3Pos = 0xEA;  // 16 bits
// Temperature compensation records, one per slot, right after them: the
// band number (32 bits), then 60 rows of two 16-bit values.
inline constexpr uint32_t kSingleTmpCompBase = 0x0BD4;
inline constexpr uint32_t kSingleTmpCompRecordSize = 244;
inline constexpr size_t kSingleTmpCompBandPos = 0;
inline constexpr size_t kSingleTmpCompRowsPos = 4;
inline constexpr size_t kSingleTmpCompRowSize = 4;
// The table values and flags (the PWT and other flags sit at these offsets
// whatever the layout).
inline constexpr uint32_t kSinglePhseFirstHalfOffset = 0x1748;   // Phse cells 0..3, 16 bits each
inline constexpr uint32_t kSingleMprOffset = 0x1750;             // 24 x 16 bits
inline constexpr uint32_t kSingleCapacity0Offset = 0x1780;       // 32 bits
inline constexpr uint32_t kSinglePhseSecondHalfOffset = 0x1784;  // Phse cells 4..7, 16 bits each
inline constexpr uint32_t kSingleCapacity1Offset = 0x178C;       // 32 bits
inline constexpr uint32_t kAntTypeFlagOffset = 0x1790;           // 16 bits: 0 MipiType, 1 GpioType
inline constexpr uint32_t k2R1TFlagOffset = 0x1792;              // 16 bits
inline constexpr uint32_t kSingleFilterOffset = 0x1794;          // 6 x 16 bits
inline constexpr uint32_t kTxNvFlagOffset = 0x17A0;              // 32 bits
inline constexpr uint32_t kAptUseJ11PinFlagOffset = 0x17A4;      // 16 bits
inline constexpr uint32_t kPwtEnOffset = 0x17A6;                 // 16 bits
inline constexpr uint32_t kPwtWordsOffset = 0x17A8;              // PWT word A, then word B (8 bytes each)
inline constexpr uint32_t kPwtWordsEnd = 0x17B8;
// AptUseJ11PinFlag, PwtEn and the PWT words as one block.
inline constexpr size_t kPwtFlagsBlockSize = kPwtWordsEnd - kAptUseJ11PinFlagOffset;

// Cells of the simple tables.
inline constexpr size_t kMprCells = 24;
inline constexpr size_t kFilterCells = 6;
inline constexpr size_t kPhseHalfCells = 4;

static_assert(kSingleSwitchPaBase + kSingleLayoutSlots * kSingleSwitchPaRecordSize == kSingleTmpCompBase);
static_assert(kSingleSwitchPaEntries * 8 == kSingleBandValue0Pos);
static_assert(kSingleBandValue3Pos + 2 <= kSingleSwitchPaRecordSize);
static_assert(kSingleTmpCompRowsPos + kTmpCompRows * kSingleTmpCompRowSize == kSingleTmpCompRecordSize);
static_assert(kSingleTmpCompBase + kSingleLayoutSlots * kSingleTmpCompRecordSize <= kSinglePhseFirstHalfOffset);
static_assert(kSinglePhseFirstHalfOffset + kPhseHalfCells * 2 == kSingleMprOffset);
static_assert(kSingleMprOffset + kMprCells * 2 == kSingleCapacity0Offset);
static_assert(kSingleCapacity0Offset + 4 == kSinglePhseSecondHalfOffset);
static_assert(kSinglePhseSecondHalfOffset + kPhseHalfCells * 2 == kSingleCapacity1Offset);
static_assert(kSingleCapacity1Offset + 4 == kAntTypeFlagOffset);
static_assert(kAntTypeFlagOffset + 2 == k2R1TFlagOffset);
static_assert(k2R1TFlagOffset + 2 == kSingleFilterOffset);
static_assert(kSingleFilterOffset + kFilterCells * 2 <= kTxNvFlagOffset);
static_assert(kTxNvFlagOffset + 4 == kAptUseJ11PinFlagOffset);
static_assert(kAptUseJ11PinFlagOffset + 2 == kPwtEnOffset);
static_assert(kPwtEnOffset + 2 == kPwtWordsOffset);
static_assert(kPwtWordsOffset + 2 * 8 == kPwtWordsEnd);

// ---- Merged layout ----

// MPR: 42 places of 16 bits; the sheet fills the first 24, the rest are zero.
inline constexpr uint32_t kMergedMprOffset = 0x0004;
inline constexpr size_t kMergedMprPlaces = 42;
inline constexpr uint32_t kMergedFilterOffset = 0x0184;  // 6 x 16 bits
// Band slot b occupies kMergedSlotSize bytes from kMergedSlotBase + b * size:
// band values 0 and 1 (32 bits each) and 32 control word entries, the
// temperature compensation band (32 bits) and rows, band values 2 and 3.
inline constexpr uint32_t kMergedSlotBase = 0x01B8;
inline constexpr uint32_t kMergedSlotSize = 780;
inline constexpr size_t kMergedBandValue0Pos = 0x000;
inline constexpr size_t kMergedBandValue1Pos = 0x004;
inline constexpr size_t kMergedEntriesPos = 0x008;
inline constexpr size_t kMergedSwitchPaEntries = 32;
inline constexpr size_t kMergedHeadSize = kMergedEntriesPos + kMergedSwitchPaEntries * 8;  // 0x108
inline constexpr size_t kMergedTmpCompBandPos = 0x000;  // the band value 0 place
inline constexpr size_t kMergedTmpCompBandSize = 4;
inline constexpr uint32_t kMergedTmpCompRowsPos = 0x118;  // 60 rows of two 32-bit values
inline constexpr size_t kMergedTmpCompRowSize = 8;
inline constexpr size_t kMergedTmpCompRowsSize = kTmpCompRows * kMergedTmpCompRowSize;
inline constexpr uint32_t kMergedTailPos = 0x2F8;  // band values 2 and 3 (16 bits each)
inline constexpr size_t kMergedTailSize = 4;
inline constexpr size_t kMergedBandValue2Pos = 0;  // within the tail
inline constexpr size_t kMergedBandValue3Pos = 2;
// Phse and Capacity values interleave in the 32 bytes from here: Phse cell 0,
// Capacity cell 0, Phse cell 4, Capacity cell 1, Phse cell 1, Capacity cell
// 0, Phse cell 5, Capacity cell 1, 32 bits each.
inline constexpr uint32_t kMergedPhseCapacityOffset = 0x2C60;
inline constexpr uint32_t kMergedPhseCapacitySize = 0x20;
inline constexpr uint32_t kMergedPhseCell0Offset = 0x2C60;
inline constexpr uint32_t kMergedCapacity0Offsets[] = {0x2C64, 0x2C74};
inline constexpr uint32_t kMergedPhseCell4Offset = 0x2C68;
inline constexpr uint32_t kMergedCapacity1Offsets[] = {0x2C6C, 0x2C7C};
inline constexpr uint32_t kMergedPhseCell1Offset = 0x2C70;
inline constexpr uint32_t kMergedPhseCell5Offset = 0x2C78;
// Spare block: zeroed by every merged sheet after its write.
inline constexpr uint32_t kMergedSpareOffset = 0x2CFC;
inline constexpr uint32_t kMergedSpareSize = 0x2CFC;
inline constexpr uint32_t kMergedImageEnd = 0x59F8;

static_assert(kMergedMprOffset + kMergedMprPlaces * 2 <= kMergedFilterOffset);
static_assert(kMergedFilterOffset + kFilterCells * 2 <= kMergedSlotBase);
static_assert(kMergedHeadSize == 0x108);
static_assert(kMergedTmpCompRowsPos + kMergedTmpCompRowsSize == kMergedTailPos);
static_assert(kMergedTailPos + kMergedTailSize <= kMergedSlotSize);
static_assert(kMergedSlotBase + kMergedLayoutSlots * kMergedSlotSize == kMergedPhseCapacityOffset);
static_assert(kMergedCapacity1Offsets[1] + 4 == kMergedPhseCapacityOffset + kMergedPhseCapacitySize);
static_assert(kMergedPhseCapacityOffset + kMergedPhseCapacitySize <= kMergedSpareOffset);
static_assert(kMergedSpareOffset + kMergedSpareSize == kMergedImageEnd);

constexpr uint32_t merged_slot_offset(size_t slot) {
  return kMergedSlotBase + static_cast<uint32_t>(slot) * kMergedSlotSize;
}

}  // namespace calvex::lte
