// Little-endian byte access. Every NV value goes through these helpers:
// alignment-safe and independent of the host's byte order.
#pragma once

#include <cstddef>
#include <cstdint>

namespace calvex {

inline void store_le8(uint8_t* p, uint32_t v) { p[0] = static_cast<uint8_t>(v); }

inline void store_le16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

inline void store_le32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
  p[2] = static_cast<uint8_t>(v >> 16);
  p[3] = static_cast<uint8_t>(v >> 24);
}

inline uint32_t load_le8(const uint8_t* p) { return p[0]; }

inline uint32_t load_le16(const uint8_t* p) { return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8); }

inline uint32_t load_le32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

// Signed views of stored values (two's complement in the stored width).
inline int32_t load_le16_signed(const uint8_t* p) { return static_cast<int16_t>(load_le16(p)); }
inline int32_t load_le8_signed(const uint8_t* p) { return static_cast<int8_t>(load_le8(p)); }
inline int32_t load_le32_signed(const uint8_t* p) { return static_cast<int32_t>(load_le32(p)); }

}  // namespace calvex
