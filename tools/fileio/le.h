// Little-endian and big-endian fields of on-disk records, read and written
// at a byte position the caller has checked lies inside its buffer.
#pragma once

#include <cstdint>

namespace fileio {

inline uint32_t load_le32(const unsigned char* at) {
  return uint32_t{at[0]} | (uint32_t{at[1]} << 8) | (uint32_t{at[2]} << 16) | (uint32_t{at[3]} << 24);
}

// A 64-bit little-endian field taken as a signed size (as the formats store them).
inline int64_t load_le64(const unsigned char* at) {
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | at[i];
  return static_cast<int64_t>(value);
}

inline uint32_t load_be32(const unsigned char* at) {
  return (uint32_t{at[0]} << 24) | (uint32_t{at[1]} << 16) | (uint32_t{at[2]} << 8) | uint32_t{at[3]};
}

inline void store_le32(unsigned char* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace fileio
