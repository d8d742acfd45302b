// binseek's search against the naive reference: the in-memory search and the
// streamed one (with small pieces and a small needle prefix, so that pieces,
// carried bytes and the checking of long needles all come into play).
//
// Input: two bytes of limits, a needle length byte, the needle, the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz_input.h"
#include "needle_search.h"

namespace {

using Offsets = std::vector<uint64_t>;

constexpr size_t kPrefixMax = 64;
constexpr size_t kChunkMax = 256;
// Texts over a small alphabet make repeated and periodic needles likely.
constexpr uint8_t kSmallAlphabetFlag = 0x80;
constexpr uint8_t kSmallAlphabetSize = 3;

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::FuzzInput input(data, size);
  const uint8_t prefix_byte = input.take_byte();
  binseek::StreamLimits limits;
  limits.needle_prefix_max = 1 + (prefix_byte & 0x7F) % kPrefixMax;
  limits.text_chunk = 1 + input.take_byte() % kChunkMax;
  limits.compare_chunk = 1 + limits.text_chunk % 7;
  const size_t needle_size = input.take_byte();
  std::vector<uint8_t> needle = input.take_bytes(needle_size);
  std::vector<uint8_t> text = input.take_rest();
  if ((prefix_byte & kSmallAlphabetFlag) != 0) {
    for (uint8_t& b : needle) b %= kSmallAlphabetSize;
    for (uint8_t& b : text) b %= kSmallAlphabetSize;
  }

  Offsets expected;
  const uint64_t naive_count = binseek::find_all_naive(text.data(), text.size(), needle.data(), needle.size(),
                                                       [&](uint64_t at) { expected.push_back(at); });
  check(naive_count == expected.size());

  Offsets found;
  const binseek::NeedleSearch search(needle.data(), needle.size());
  const uint64_t count = search.find_all(text.data(), text.size(), [&](uint64_t at) { found.push_back(at); });
  check(count == found.size() && found == expected);

  // Every read must lie inside its buffer.
  auto reader = [](const std::vector<uint8_t>& bytes) {
    return [&bytes](int64_t offset, unsigned char* into, size_t n) {
      check(offset >= 0 && static_cast<uint64_t>(offset) <= bytes.size() && n <= bytes.size() - offset);
      std::memcpy(into, bytes.data() + offset, n);
      return true;
    };
  };
  Offsets streamed;
  const binseek::StreamResult result = binseek::find_all_streamed(
      static_cast<int64_t>(text.size()), reader(text), static_cast<int64_t>(needle.size()), reader(needle),
      [&](uint64_t at) { streamed.push_back(at); }, limits);
  check(result.failure == binseek::StreamFailure::kNone);
  check(result.matches == streamed.size() && streamed == expected);

  // A text read that fails part way: the matches before it stand, in order.
  size_t reads_left = text.size() % 5;
  Offsets partial;
  const binseek::StreamResult failed = binseek::find_all_streamed(
      static_cast<int64_t>(text.size()),
      [&](int64_t offset, unsigned char* into, size_t n) {
        if (reads_left == 0) return false;
        --reads_left;
        return reader(text)(offset, into, n);
      },
      static_cast<int64_t>(needle.size()), reader(needle), [&](uint64_t at) { partial.push_back(at); }, limits);
  check(partial.size() <= expected.size() && std::equal(partial.begin(), partial.end(), expected.begin()));
  check(failed.failure == binseek::StreamFailure::kNone ? partial == expected
                                                         : failed.failure == binseek::StreamFailure::kTextRead);
  return 0;
}
