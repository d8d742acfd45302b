// File contents and byte patterns for the tests: whole-file reads and writes,
// deterministic pseudo-random fills, and little-endian views and pokes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace calvex_test {

using Bytes = std::vector<uint8_t>;

// Whole files; both throw std::runtime_error when the file cannot be read or written.
Bytes read_file(const std::string& path);
void write_file(const std::string& path, const Bytes& bytes);
void write_text(const std::string& path, const std::string& text);
bool exists(const std::string& path);

// size bytes of a pseudo-random pattern from seed (std::mt19937): the NV images of the sheet tests.
Bytes random_bytes(size_t size, uint32_t seed);
// size pseudo-random bytes from seed (splitmix64), the same on every machine: the tools' inputs.
Bytes pseudo_random_bytes(size_t size, uint64_t seed);
// The bytes of text (no terminator).
Bytes bytes_of(const std::string& text);

// Little-endian views of an image (throw std::out_of_range past its end).
uint32_t le16(const Bytes& image, size_t offset);
uint32_t le32(const Bytes& image, size_t offset);
int32_t le16s(const Bytes& image, size_t offset);

// The one little-endian poke of the tests: stores the low `size` bytes of
// value at offset of an image (throws std::out_of_range past its end).
void put_le(Bytes& image, size_t offset, uint64_t value, size_t size);
inline void put_le16(Bytes& image, size_t offset, uint32_t value) { put_le(image, offset, value, 2); }
inline void put_le32(Bytes& image, size_t offset, uint32_t value) { put_le(image, offset, value, 4); }

// Stores and loads at a raw position of a buffer the caller sized.
void store_le32(unsigned char* at, uint32_t value);
void store_le64(unsigned char* at, uint64_t value);
void store_be32(unsigned char* at, uint32_t value);
uint32_t load_le32(const unsigned char* at);

// The bytes [offset, offset + size) of an image.
Bytes bytes_at(const Bytes& image, size_t offset, size_t size);

// A byte span [offset, offset + size) of an image.
struct Span {
  size_t offset;
  size_t size;
};
// Offsets where after differs from before outside the given spans (and
// beyond the shorter of the two images' sizes, any size difference counts).
// Empty when only the spans changed.
std::vector<size_t> changes_outside(const Bytes& before, const Bytes& after, const std::vector<Span>& spans);

// Numbers as cell texts.
std::vector<std::string> texts_of(const std::vector<int64_t>& values);
std::vector<std::string> repeat_text(const std::string& text, size_t count);

}  // namespace calvex_test
