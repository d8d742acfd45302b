#include "needle_search.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>

namespace binseek {
namespace {

constexpr size_t kPairKeyCount = 1u << 16;
constexpr size_t kLargestPairShift = std::numeric_limits<uint16_t>::max();
// Below this move the memchr rule is tried; above it the pair table alone wins.
constexpr size_t kMemchrShiftLimit = 32;

inline uint32_t pair_key(const unsigned char* at) { return (uint32_t{at[0]} << 8) | at[1]; }

// Length of the maximal suffix of `x` for one byte order, by the classic
// scan; returns the index before its first byte (may be -1) and its period.
struct MaximalSuffix {
  ptrdiff_t before_start;
  size_t period;
};

MaximalSuffix maximal_suffix(const unsigned char* x, size_t size, bool reversed_order) {
  ptrdiff_t before_start = -1;
  size_t j = 0;
  size_t k = 1;
  size_t period = 1;
  while (j + k < size) {
    const unsigned char a = x[j + k];
    const unsigned char b = x[before_start + static_cast<ptrdiff_t>(k)];
    const bool smaller = reversed_order ? a > b : a < b;
    if (smaller) {
      j += k;
      k = 1;
      period = static_cast<size_t>(static_cast<ptrdiff_t>(j) - before_start);
    } else if (a == b) {
      if (k != period) {
        ++k;
      } else {
        j += period;
        k = 1;
      }
    } else {
      before_start = static_cast<ptrdiff_t>(j);
      j = j + 1;
      k = period = 1;
    }
  }
  return {before_start, period};
}

// Bytes compared per memcmp call once the first word of a comparison matched.
constexpr size_t kCompareBlockSize = 256;

// First index in [from, to) where a and b differ, or `to` when none does;
// compares one word at a time.
inline size_t first_mismatch_by_words(const unsigned char* a, const unsigned char* b, size_t from, size_t to) {
  size_t i = from;
  while (i + sizeof(uint64_t) <= to) {
    uint64_t wa;
    uint64_t wb;
    std::memcpy(&wa, a + i, sizeof wa);
    std::memcpy(&wb, b + i, sizeof wb);
    const uint64_t diff = wa ^ wb;
    if (diff != 0) {
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
      return i + static_cast<size_t>(__builtin_clzll(diff) / 8);
#else
      return i + static_cast<size_t>(__builtin_ctzll(diff) / 8);
#endif
    }
    i += sizeof(uint64_t);
  }
  while (i < to && a[i] == b[i]) ++i;
  return i;
}

// First index in [from, size) where a and b differ, or size when none does.
// Most comparisons end in their first word; long equal stretches go through
// memcmp a block at a time.
inline size_t first_mismatch(const unsigned char* a, const unsigned char* b, size_t from, size_t size) {
  const size_t first_word_end = std::min(size, from + sizeof(uint64_t));
  size_t i = first_mismatch_by_words(a, b, from, first_word_end);
  if (i < first_word_end) return i;
  while (i + kCompareBlockSize <= size && std::memcmp(a + i, b + i, kCompareBlockSize) == 0) i += kCompareBlockSize;
  return first_mismatch_by_words(a, b, i, std::min(size, i + kCompareBlockSize));
}

constexpr size_t round_up_to_alignment(size_t size) {
  return (size + kReadAlignment - 1) / kReadAlignment * kReadAlignment;
}

// `size` bytes, left uninitialised, starting at a multiple of kReadAlignment.
class AlignedBytes {
 public:
  explicit AlignedBytes(size_t size) : storage_(new unsigned char[size + kReadAlignment - 1]) {
    const auto address = reinterpret_cast<uintptr_t>(storage_.get());
    data_ = storage_.get() + (kReadAlignment - address % kReadAlignment) % kReadAlignment;
  }
  unsigned char* data() const { return data_; }

 private:
  std::unique_ptr<unsigned char[]> storage_;
  unsigned char* data_;
};

}  // namespace

NeedleSearch::NeedleSearch(const unsigned char* needle, size_t needle_size)
    : needle_(needle), needle_size_(needle_size) {
  if (needle_size < 2) return;
  const size_t m = needle_size;

  const MaximalSuffix forward = maximal_suffix(needle, m, false);
  const MaximalSuffix backward = maximal_suffix(needle, m, true);
  const MaximalSuffix& chosen = forward.before_start > backward.before_start ? forward : backward;
  critical_ = static_cast<size_t>(chosen.before_start + 1);
  // The left half [0, critical_) repeats at the right half's period exactly
  // when the whole needle has that period.
  if (std::memcmp(needle, needle + chosen.period, critical_) == 0) {
    periodic_ = true;
    period_ = chosen.period;
  } else {
    periodic_ = false;
    period_ = std::max(critical_, m - critical_) + 1;
  }

  pair_shift_.assign(kPairKeyCount, static_cast<uint16_t>(std::min(m - 1, kLargestPairShift)));
  for (size_t end = 1; end + 1 < m; ++end) {
    pair_shift_[pair_key(needle + end - 1)] = static_cast<uint16_t>(std::min(m - 1 - end, kLargestPairShift));
  }
}

uint64_t NeedleSearch::find_all_single_byte(const unsigned char* text, size_t text_size,
                                            const std::function<void(uint64_t)>& on_match) const {
  uint64_t matches = 0;
  const unsigned char* at = text;
  const unsigned char* const end = text + text_size;
  while (at < end) {
    const void* hit = std::memchr(at, needle_[0], static_cast<size_t>(end - at));
    if (hit == nullptr) break;
    at = static_cast<const unsigned char*>(hit);
    on_match(static_cast<uint64_t>(at - text));
    ++matches;
    ++at;
  }
  return matches;
}

uint64_t NeedleSearch::find_all(const unsigned char* text, size_t text_size,
                                const std::function<void(uint64_t)>& on_match, size_t* resume) const {
  const size_t m = needle_size_;
  size_t ignored_resume = 0;
  if (resume == nullptr) resume = &ignored_resume;
  if (m == 0 || text_size < m) {
    *resume = m == 0 ? text_size : 0;
    return 0;
  }
  *resume = text_size - m + 1;  // where the windows that are not searched begin
  if (m == 1) return find_all_single_byte(text, text_size, on_match);

  const unsigned char* const x = needle_;
  const size_t last_start = text_size - m;
  const unsigned char first_byte = x[0];
  const unsigned char last_byte = x[m - 1];
  const uint32_t final_pair = pair_key(x + m - 2);
  const size_t final_pair_shift = pair_shift_[final_pair];

  uint64_t matches = 0;
  size_t j = 0;
  // Length of the needle prefix known to match at window j (periodic needles).
  size_t known_prefix = 0;
  while (j <= last_start) {
    const unsigned char* const window = text + j;
    bool final_pair_seen = false;
    if (known_prefix == 0) {
      const uint32_t pair = pair_key(window + m - 2);
      if (pair != final_pair) {
        size_t shift = pair_shift_[pair];
        if (shift < kMemchrShiftLimit && window[m - 1] != last_byte) {
          // Every window that can match ends on a copy of the needle's last byte.
          const size_t from = j + m;
          const void* hit = std::memchr(text + from, last_byte, text_size - from);
          if (hit == nullptr) break;
          const size_t next_start = static_cast<size_t>(static_cast<const unsigned char*>(hit) - text) - (m - 1);
          shift = std::max(shift, next_start - j);
        }
        j += shift;
        continue;
      }
      final_pair_seen = true;
      if (window[0] != first_byte) {
        // Every window that can match starts on a copy of the needle's first byte.
        const void* hit = std::memchr(window + 1, first_byte, last_start - j);
        if (hit == nullptr) break;
        j = static_cast<size_t>(static_cast<const unsigned char*>(hit) - text);
        continue;
      }
    }

    const size_t right_from = std::max(critical_, known_prefix);
    const size_t mismatch = first_mismatch(x, window, right_from, m);
    if (mismatch < m) {
      size_t shift = mismatch - critical_ + 1;
      if (final_pair_seen) shift = std::max(shift, final_pair_shift);
      j += shift;
      known_prefix = 0;
      continue;
    }
    if (known_prefix >= critical_ ||
        std::memcmp(x + known_prefix, window + known_prefix, critical_ - known_prefix) == 0) {
      on_match(j);
      ++matches;
    }
    j += period_;
    known_prefix = periodic_ ? m - period_ : 0;
  }
  // A move past the last window ruled out the windows it passed over too.
  if (j > last_start) *resume = std::min(j, text_size);
  return matches;
}

StreamResult find_all_streamed(int64_t text_size, const ReadAt& read_text, int64_t needle_size,
                               const ReadAt& read_needle, const std::function<void(uint64_t)>& on_match,
                               const StreamLimits& limits) {
  StreamResult result;
  if (needle_size <= 0 || text_size < needle_size) return result;
  const size_t prefix_size = static_cast<size_t>(std::min<int64_t>(needle_size, limits.needle_prefix_max));
  const AlignedBytes prefix(prefix_size);
  if (!read_needle(0, prefix.data(), prefix_size)) {
    result.failure = StreamFailure::kNeedleRead;
    return result;
  }
  const NeedleSearch search(prefix.data(), prefix_size);
  const int64_t rest_size = needle_size - static_cast<int64_t>(prefix_size);
  const size_t rest_buffer_size = rest_size > 0 ? limits.compare_chunk : 0;
  const AlignedBytes text_rest(rest_buffer_size);
  const AlignedBytes needle_rest(rest_buffer_size);

  // A match of the prefix at `start` is a match of the needle when the rest
  // of the needle follows it in the text.
  auto rest_matches = [&](int64_t start) {
    if (rest_size <= 0) return true;
    if (start > text_size - needle_size) return false;
    for (int64_t done = 0; done < rest_size;) {
      const auto piece = static_cast<size_t>(std::min<int64_t>(rest_size - done, limits.compare_chunk));
      const int64_t at = static_cast<int64_t>(prefix_size) + done;
      if (!read_text(start + at, text_rest.data(), piece)) {
        result.failure = StreamFailure::kTextRead;
        return false;
      }
      if (!read_needle(at, needle_rest.data(), piece)) {
        result.failure = StreamFailure::kNeedleRead;
        return false;
      }
      if (std::memcmp(text_rest.data(), needle_rest.data(), piece) != 0) return false;
      done += static_cast<int64_t>(piece);
    }
    return true;
  };

  // The window keeps the last bytes of one piece in front of the next (at
  // most prefix_size - 1: from where the search says a match may still
  // start), so a match across two pieces is found exactly once: in the
  // second, as it cannot end inside the first.  Every piece is read into the
  // same place, aligned after room for the longest carry, so the buffer the
  // system copies into stays in the processor's cache.
  const size_t chunk = std::max(limits.text_chunk, prefix_size);
  const size_t carry_max = prefix_size - 1;
  const size_t carry_room = round_up_to_alignment(carry_max);
  // Left uninitialised: every byte searched has been read into it.
  const AlignedBytes buffer(carry_room + chunk);
  unsigned char* const piece_at = buffer.data() + carry_room;
  int64_t window_start = 0;  // text offset of the window's first byte
  size_t held = 0;           // bytes kept before piece_at
  int64_t next = 0;          // text offset of the next piece
  while (next < text_size && result.failure == StreamFailure::kNone) {
    const auto piece = static_cast<size_t>(std::min<int64_t>(text_size - next, static_cast<int64_t>(chunk)));
    if (!read_text(next, piece_at, piece)) {
      result.failure = StreamFailure::kTextRead;
      break;
    }
    unsigned char* const window = piece_at - held;
    held += piece;
    next += static_cast<int64_t>(piece);
    size_t resume = 0;
    search.find_all(
        window, held,
        [&](uint64_t j) {
          if (result.failure != StreamFailure::kNone) return;
          const int64_t start = window_start + static_cast<int64_t>(j);
          if (rest_matches(start)) {
            on_match(static_cast<uint64_t>(start));
            ++result.matches;
          }
        },
        &resume);
    // Only the bytes from where an occurrence may still start are kept.
    const size_t keep = std::min(held - resume, carry_max);
    std::memmove(piece_at - keep, window + held - keep, keep);
    window_start += static_cast<int64_t>(held - keep);
    held = keep;
  }
  return result;
}

uint64_t find_all_naive(const unsigned char* text, size_t text_size, const unsigned char* needle,
                        size_t needle_size, const std::function<void(uint64_t)>& on_match) {
  if (needle_size == 0 || text_size < needle_size) return 0;
  uint64_t matches = 0;
  for (size_t j = 0; j <= text_size - needle_size; ++j) {
    if (std::memcmp(text + j, needle, needle_size) == 0) {
      on_match(j);
      ++matches;
    }
  }
  return matches;
}

}  // namespace binseek
