// The GSM NV map: the blocks of the switch/PA, ramp control and temperature
// compensation sheets, absolute offsets, every value little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace calvex::gsm {

// Fixed block table of the GSM switch/PA and ramp control sheets. The entries
// are in the order the modem tools have always numbered them.
struct GsmBlockTable {
  uint32_t truth_a_offset;    // truth-table block A: 9 x u16
  uint32_t pa_config_offset;  // PA/switch configuration block: 8 x u32
  uint32_t ctrl_word_offset;  // control word block: 25 x u32
  uint32_t truth_b_offset;    // truth-table block B: 8 x u16
  uint32_t ramp_data_offset;  // ramp data: ramp_data_count x u16
  uint32_t ramp_data_count;   // number of 16-bit ramp data values
  uint32_t ramp_time_offset;  // ramp time: 8 x s16
  uint32_t backoff_offset;    // multi-slot backoff: 8 groups of 5 bytes
};

inline constexpr GsmBlockTable kGsmBlocks{
    .truth_a_offset = 0x16E0,
    .pa_config_offset = 0x1944,
    .ctrl_word_offset = 0x1A4C,
    .truth_b_offset = 0x1964,
    .ramp_data_offset = 0x1702,
    .ramp_data_count = 288,
    .ramp_time_offset = 0x16F2,
    .backoff_offset = 0x1B00,
};

// Block sizes in bytes.
inline constexpr size_t kTruthBlockAValues = 9;
inline constexpr size_t kTruthBlockBValues = 8;
inline constexpr size_t kTruthBlockASize = kTruthBlockAValues * 2;
inline constexpr size_t kTruthBlockBSize = kTruthBlockBValues * 2;
inline constexpr size_t kPaConfigWords = 8;
inline constexpr size_t kPaConfigSize = kPaConfigWords * 4;
inline constexpr size_t kCtrlWords = 25;
inline constexpr size_t kCtrlWordSize = kCtrlWords * 4;
// The payload of a truth-table control word: bits 19-0 (the read shows no more).
inline constexpr uint32_t kCtrlWordPayloadMax = 0xFFFFF;
// Configuration number c4: bits 16-27 of the configuration flags word.
inline constexpr uint32_t kConfigC4Max = 0xFFF;
inline constexpr size_t kRampTimeValues = 8;
inline constexpr size_t kRampTimeSize = kRampTimeValues * 2;
inline constexpr size_t kRampDataSize = kGsmBlocks.ramp_data_count * 2;
inline constexpr size_t kBackoffGroups = 8;
inline constexpr size_t kBackoffGroupSize = 5;
inline constexpr size_t kBackoffSize = kBackoffGroups * kBackoffGroupSize;

// Temperature compensation blocks (not in the block table).
inline constexpr uint32_t kTmpCompHeadOffset = 0x3E4;  // 15 zeros, then 15 intervals
inline constexpr uint32_t kTmpCompTxAOffset = 0x420;   // TX table A: 1200 x s16
inline constexpr uint32_t kTmpCompTxBOffset = 0xD80;   // TX table B: 1200 x s16
inline constexpr uint32_t kTmpCompRxOffset = 0x1B28;   // RX: 60 x s16
inline constexpr size_t kTmpCompHeadSize = 30 * 2;
inline constexpr size_t kTmpCompTxTableSize = 1200 * 2;
inline constexpr size_t kTmpCompRxSize = 60 * 2;

// The GSM blocks follow each other in this order without overlapping.
static_assert(kTmpCompHeadOffset + kTmpCompHeadSize == kTmpCompTxAOffset);
static_assert(kTmpCompTxAOffset + kTmpCompTxTableSize == kTmpCompTxBOffset);
static_assert(kTmpCompTxBOffset + kTmpCompTxTableSize == kGsmBlocks.truth_a_offset);
static_assert(kGsmBlocks.truth_a_offset + kTruthBlockASize == kGsmBlocks.ramp_time_offset);
static_assert(kGsmBlocks.ramp_time_offset + kRampTimeSize == kGsmBlocks.ramp_data_offset);
static_assert(kGsmBlocks.ramp_data_offset + kRampDataSize <= kGsmBlocks.pa_config_offset);
static_assert(kGsmBlocks.pa_config_offset + kPaConfigSize == kGsmBlocks.truth_b_offset);
static_assert(kGsmBlocks.truth_b_offset + kTruthBlockBSize <= kGsmBlocks.ctrl_word_offset);
static_assert(kGsmBlocks.ctrl_word_offset + kCtrlWordSize <= kGsmBlocks.backoff_offset);
static_assert(kGsmBlocks.backoff_offset + kBackoffSize == kTmpCompRxOffset);

}  // namespace calvex::gsm
