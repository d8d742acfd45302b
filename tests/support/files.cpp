#include "files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

namespace calvex_test {

Bytes read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

void write_text(const std::string& path, const std::string& text) { write_file(path, bytes_of(text)); }

bool exists(const std::string& path) { return std::filesystem::exists(path); }

Bytes random_bytes(size_t size, uint32_t seed) {
  std::mt19937 gen(seed);
  Bytes out(size);
  for (uint8_t& b : out) b = static_cast<uint8_t>(gen() >> 24);
  return out;
}

Bytes pseudo_random_bytes(size_t size, uint64_t seed) {
  constexpr uint64_t kGamma = 0x9E3779B97F4A7C15ull;
  constexpr uint64_t kMix1 = 0xBF58476D1CE4E5B9ull;
  constexpr uint64_t kMix2 = 0x94D049BB133111EBull;
  Bytes bytes(size);
  uint64_t state = seed;
  for (size_t i = 0; i < size; i += 8) {
    state += kGamma;
    uint64_t z = state;
    z = (z ^ (z >> 30)) * kMix1;
    z = (z ^ (z >> 27)) * kMix2;
    z ^= z >> 31;
    for (size_t k = 0; k < 8 && i + k < size; ++k) bytes[i + k] = static_cast<uint8_t>(z >> (8 * k));
  }
  return bytes;
}

Bytes bytes_of(const std::string& text) { return Bytes(text.begin(), text.end()); }

uint32_t le16(const Bytes& image, size_t offset) {
  if (offset + 2 > image.size()) throw std::out_of_range("le16 beyond the image");
  return image[offset] | (static_cast<uint32_t>(image[offset + 1]) << 8);
}

uint32_t le32(const Bytes& image, size_t offset) {
  if (offset + 4 > image.size()) throw std::out_of_range("le32 beyond the image");
  return load_le32(image.data() + offset);
}

int32_t le16s(const Bytes& image, size_t offset) { return static_cast<int16_t>(le16(image, offset)); }

void put_le(Bytes& image, size_t offset, uint64_t value, size_t size) {
  if (offset > image.size() || size > image.size() - offset) throw std::out_of_range("put_le beyond the image");
  for (size_t i = 0; i < size; ++i) image[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

void store_le32(unsigned char* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

void store_le64(unsigned char* at, uint64_t value) {
  for (int i = 0; i < 8; ++i) at[i] = static_cast<unsigned char>(value >> (8 * i));
}

void store_be32(unsigned char* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(value >> (24 - 8 * i));
}

uint32_t load_le32(const unsigned char* at) {
  return uint32_t{at[0]} | (uint32_t{at[1]} << 8) | (uint32_t{at[2]} << 16) | (uint32_t{at[3]} << 24);
}

Bytes bytes_at(const Bytes& image, size_t offset, size_t size) {
  if (offset > image.size() || size > image.size() - offset) throw std::out_of_range("bytes_at beyond the image");
  return {image.begin() + static_cast<std::ptrdiff_t>(offset),
          image.begin() + static_cast<std::ptrdiff_t>(offset + size)};
}

std::vector<size_t> changes_outside(const Bytes& before, const Bytes& after, const std::vector<Span>& spans) {
  std::vector<size_t> out;
  const size_t n = std::max(before.size(), after.size());
  for (size_t i = 0; i < n; ++i) {
    const bool inside =
        std::any_of(spans.begin(), spans.end(), [i](const Span& s) { return i >= s.offset && i < s.offset + s.size; });
    if (inside) continue;
    if (i >= before.size() || i >= after.size() || before[i] != after[i]) out.push_back(i);
  }
  return out;
}

std::vector<std::string> texts_of(const std::vector<int64_t>& values) {
  std::vector<std::string> out;
  for (int64_t v : values) out.push_back(std::to_string(v));
  return out;
}

std::vector<std::string> repeat_text(const std::string& text, size_t count) {
  return std::vector<std::string>(count, text);
}

}  // namespace calvex_test
