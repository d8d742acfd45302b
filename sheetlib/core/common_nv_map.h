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
// The three tables (TX, PRX, second RX) one after the other from kTxPortOffset.
inline constexpr size_t kPortTables = 3;
inline constexpr size_t kPortTablesSize = kPortTables * kPortBlockSize;
inline constexpr uint32_t kPortInfoMarkerOffset = 0x3FC;  // 32 bits
inline constexpr uint32_t kPortInfoMarker = 0x11223344;
inline constexpr size_t kPortInfoMarkerSize = 4;

// ---- Pin multiplexing and RFFE bus initialisation ----
inline constexpr size_t kRffeBuses = 2;
inline constexpr size_t kRffeWordsPerBus = 16;
inline constexpr size_t kRffeWordSize = 4;
inline constexpr uint32_t kRffeInitWordsOffset = 0x360;
inline constexpr size_t kRffeInitWordsSize = kRffeBuses * kRffeWordsPerBus * kRffeWordSize;
inline constexpr uint32_t kPinMuxOffset = 0x3E0;   // 16 bits
inline constexpr uint32_t kSimFuncOffset = 0x3E2;  // 16 bits
inline constexpr size_t kPinMuxValueSize = 2;
// The pin multiplexing value and the SIM function value as one block.
inline constexpr size_t kPinMuxAndSimFuncSize = kSimFuncOffset + kPinMuxValueSize - kPinMuxOffset;
inline constexpr uint32_t kSpecialDeviceMarkOffset = 0x4B8;  // 32 bits
inline constexpr size_t kSpecialDeviceMarkSize = 4;

// ---- Temperature DAC table: 27 unsigned 16-bit codes ----
inline constexpr uint32_t kTempDacTableOffset = 0x480;
inline constexpr size_t kTempDacEntries = 27;
inline constexpr size_t kTempDacEntrySize = 2;
inline constexpr size_t kTempDacTableSize = kTempDacEntries * kTempDacEntrySize;
// The codes a table may hold: 13 bits, and a code of 0 is refused.
inline constexpr uint32_t kTempDacCodeMin = 1;
inline constexpr uint32_t kTempDacCodeMax = 0x1FFF;

static_assert(kTxPortOffset + kPortBlockSize == kPrxPortOffset);
static_assert(kPrxPortOffset + kPortBlockSize == kSecondRxPortOffset);
static_assert(kTxPortOffset + kPortTablesSize == kSecondRxPortOffset + kPortBlockSize);
static_assert(kSecondRxPortOffset + kPortBlockSize <= kRffeInitWordsOffset);
static_assert(kRffeInitWordsOffset + kRffeInitWordsSize == kPinMuxOffset);
static_assert(kPinMuxOffset + kPinMuxValueSize == kSimFuncOffset);
static_assert(kSimFuncOffset + kPinMuxValueSize <= kPortInfoMarkerOffset);
static_assert(kPortInfoMarkerOffset + kPortInfoMarkerSize <= kTempDacTableOffset);
static_assert(kTempDacTableOffset + kTempDacTableSize <= kSpecialDeviceMarkOffset);
static_assert(kTempDacCodeMax < (1u << (8 * kTempDacEntrySize)));

}  // namespace calvex::common
