// The NV map of the common sheets: port info, pin multiplexing and RFFE
// initialisation, temperature DAC table. Absolute offsets, every value
// little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace calvex::common {

// ---- Port info: per table row a one-hot port mask, 16 bits each ----
inline constexpr size_t kPortRows = 80;
inline constexpr size_t kPortValueSize = 2;
inline constexpr size_t kPortBlockSize = kPortRows * kPortValueSize;
inline constexpr uint32_t kTxPortOffset = 0x000;
inline constexpr uint32_t kPrxPortOffset = 0x0A0;
inline constexpr uint32_t kSecondRxPortOffset = 0x140;
inline constexpr uint32_t kPortInfoMarkerOffset = 0x3FC;  // 32 bits
inline constexpr uint32_t kPortInfoMarker = 0x11223344;
inline constexpr size_t kPortInfoMarkerSize = 4;

// ---- Pin multiplexing and RFFE bus initialisation ----
inline constexpr size_t kRffeBuses = 2;
inline constexpr size_t kRffeWordsPerBus = 16;
inline constexpr size_t kRffeWordSize = 4;
inline constexpr uint32_t kRffeInitWordsOffset = 0x360;
inline constexpr size_t kRffeInitWordsSize = kRffeBuses * kRffeWordsPerBus * kRffeWordSize;
inline constexpr uint32_t kPinMuxOffset = 0x3E0;  // 16 bits
inline constexpr uint32_t kSimFuncOffset = 0x3E2;  // 16 bits
inline constexpr size_t kPinMuxValueSize = 2;
inline constexpr uint32_t kSpecialDeviceMarkOffset = 0x4B8;  // 32 bits
inline constexpr size_t kSpecialDeviceMarkSize = 4;

// ---- Temperature DAC table: 27 unsigned 16-bit codes ----
inline constexpr uint32_t kTempDacTableOffset = 0x480;
inline constexpr size_t kTempDacEntries = 27;
inline constexpr size_t kTempDacEntrySize = 2;
inline constexpr size_t kTempDacTableSize = kTempDacEntries * kTempDacEntrySize;

static_assert(kTxPortOffset + kPortBlockSize == kPrxPortOffset);
static_assert(kPrxPortOffset + kPortBlockSize == kSecondRxPortOffset);
static_assert(kSecondRxPortOffset + kPortBlockSize <= kRffeInitWordsOffset);
static_assert(kRffeInitWordsOffset + kRffeInitWordsSize == kPinMuxOffset);
static_assert(kPinMuxOffset + kPinMuxValueSize == kSimFuncOffset);
static_assert(kSimFuncOffset + kPinMuxValueSize <= kPortInfoMarkerOffset);
static_assert(kPortInfoMarkerOffset + kPortInfoMarkerSize <= kTempDacTableOffset);
static_assert(kTempDacTableOffset + kTempDacTableSize <= kSpecialDeviceMarkOffset);

}  // namespace calvex::common
