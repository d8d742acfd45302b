// Exact search for every occurrence of one byte string inside another.
//
// The search is the two-way algorithm (critical factorisation of the needle,
// constant extra space, at most about 2n byte comparisons) with two skip rules
// layered on top for windows where the two-way scan would start afresh:
//   - a bad-pair table: the last two bytes of the window decide how far the
//     needle may move before those two bytes can line up with it again;
//   - when that table allows only a short move and the window's last byte is
//     not the needle's last byte, memchr finds the next byte where a window
//     could end at all;
//   - when the last two bytes agree but the window's first byte is not the
//     needle's first byte, memchr finds the next byte where a window could
//     start at all.
// Both rules only ever enlarge a move the two-way scan would make, and each
// skipped window costs O(1), so the whole search stays linear in the size of
// the text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

namespace binseek {

class NeedleSearch {
 public:
  // Prepares the search for `needle`, which stays owned by the caller and must
  // outlive this object.  `needle_size` may be 0 (such a needle never matches).
  NeedleSearch(const unsigned char* needle, size_t needle_size);

  // Calls `on_match(offset)` once for every offset at which the needle occurs
  // in `text`, in ascending order, including an occurrence that ends at the
  // last byte of the text.  Returns the number of occurrences.  When `resume`
  // is given, sets it to the offset from which an occurrence in a longer text
  // that starts with `text` may still start: every offset before it has been
  // ruled out by `text` alone.  It lies between text_size - needle_size + 1
  // (0 when the text is shorter than the needle) and text_size.
  uint64_t find_all(const unsigned char* text, size_t text_size,
                    const std::function<void(uint64_t offset)>& on_match, size_t* resume = nullptr) const;

 private:
  uint64_t find_all_single_byte(const unsigned char* text, size_t text_size,
                                const std::function<void(uint64_t)>& on_match) const;

  const unsigned char* needle_;
  size_t needle_size_;
  // Index of the first byte of the right half of the critical factorisation.
  size_t critical_ = 0;
  // The needle's period when it is periodic, otherwise a safe move after a
  // full comparison (larger than either half).
  size_t period_ = 1;
  bool periodic_ = false;
  // Move allowed by each pair of last window bytes (pair key: first byte in the
  // high half), for the needle's own positions other than the last one.
  std::vector<uint16_t> pair_shift_;
};

// Reads `count` bytes at `offset` of a file into `into`; false when they
// cannot all be read.
using ReadAt = std::function<bool(int64_t offset, unsigned char* into, size_t count)>;

// find_all_streamed reads into memory that starts at a multiple of this: the
// system copies a file's bytes several times slower when the destination sits
// a few bytes past a page boundary (3.5x for 1 to 31 bytes past one, measured
// on Linux), which is where a plain allocation of a large buffer, or needle
// bytes carried in front of the next piece, would put it.
constexpr size_t kReadAlignment = 4096;

// Sizes that bound the memory of find_all_streamed.
struct StreamLimits {
  // Needle bytes held in memory; a longer needle is searched by this prefix
  // and each prefix match is then checked against the rest piece by piece.
  size_t needle_prefix_max = size_t{16} << 20;
  // Text bytes read per piece (at least the needle prefix's size is used).
  // Larger pieces cost fewer calls and move the carried needle bytes less
  // often; beyond this the buffer no longer stays in the processor's cache.
  size_t text_chunk = size_t{1} << 20;
  // Piece size for checking the rest of a long needle.
  size_t compare_chunk = size_t{1} << 20;
};

enum class StreamFailure { kNone, kTextRead, kNeedleRead };

struct StreamResult {
  uint64_t matches = 0;
  StreamFailure failure = StreamFailure::kNone;
};

// Every occurrence of a needle of `needle_size` bytes in a text of
// `text_size` bytes, both read through callbacks in pieces, so memory stays
// bounded by `limits` whatever the sizes.  Calls `on_match(offset)` in
// ascending order, including an occurrence that ends at the text's last byte.
// Stops at the first failed read and says which side failed; the matches
// reported before it stand.  A needle of 0 bytes never matches.  Every read
// lands at a multiple of kReadAlignment in memory.
StreamResult find_all_streamed(int64_t text_size, const ReadAt& read_text, int64_t needle_size,
                               const ReadAt& read_needle, const std::function<void(uint64_t offset)>& on_match,
                               const StreamLimits& limits = StreamLimits());

// The quadratic reference: every window compared in full.  For tests and the
// benchmark only.
uint64_t find_all_naive(const unsigned char* text, size_t text_size, const unsigned char* needle,
                        size_t needle_size, const std::function<void(uint64_t offset)>& on_match);

}  // namespace binseek
