// Taking typed values from the front of a fuzzer's input.  Every take stops
// at the input's end: what is missing reads as zero bytes or an empty text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace fuzzing {

class FuzzInput {
 public:
  FuzzInput(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t remaining() const { return size_ - at_; }

  uint8_t take_byte() { return at_ < size_ ? data_[at_++] : 0; }

  // Little-endian, zero bytes past the end.
  uint64_t take_le(size_t bytes) {
    uint64_t value = 0;
    for (size_t i = 0; i < bytes; ++i) value |= uint64_t{take_byte()} << (8 * i);
    return value;
  }

  std::vector<uint8_t> take_bytes(size_t count) {
    const size_t n = count < remaining() ? count : remaining();
    std::vector<uint8_t> bytes(data_ + at_, data_ + at_ + n);
    at_ += n;
    return bytes;
  }

  std::vector<uint8_t> take_rest() { return take_bytes(remaining()); }

  // A UTF-16 text from little-endian code units up to a 0xFFFF unit (the
  // separator, not part of the text) or the input's end.
  std::u16string take_text() {
    std::u16string text;
    while (remaining() >= 2) {
      const auto unit = static_cast<char16_t>(take_le(2));
      if (unit == kTextSeparator) break;
      text.push_back(unit);
    }
    if (remaining() == 1) text.push_back(static_cast<char16_t>(take_byte()));
    return text;
  }

  static constexpr char16_t kTextSeparator = 0xFFFF;

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

}  // namespace fuzzing
