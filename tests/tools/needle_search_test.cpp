// The search behind binseek: every occurrence, in ascending order, checked
// against the quadratic reference on small and adversarial inputs.
#include "needle_search.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "files.h"
#include "process.h"
#include "temp_dir.h"

namespace {

using calvex_test::Bytes;
using Offsets = std::vector<uint64_t>;

Offsets search(const Bytes& text, const Bytes& needle) {
  Offsets found;
  const binseek::NeedleSearch searcher(needle.data(), needle.size());
  const uint64_t count =
      searcher.find_all(text.data(), text.size(), [&](uint64_t offset) { found.push_back(offset); });
  EXPECT_EQ(count, found.size());
  return found;
}

Offsets naive(const Bytes& text, const Bytes& needle) {
  Offsets found;
  binseek::find_all_naive(text.data(), text.size(), needle.data(), needle.size(),
                          [&](uint64_t offset) { found.push_back(offset); });
  return found;
}

Bytes repeat(const std::string& unit, size_t times) {
  std::string text;
  for (size_t i = 0; i < times; ++i) text += unit;
  return calvex_test::bytes_of(text);
}

Bytes concat(const Bytes& a, const Bytes& b) {
  Bytes joined = a;
  joined.insert(joined.end(), b.begin(), b.end());
  return joined;
}

struct SearchCase {
  Bytes text;
  Bytes needle;
  Offsets expected;
  const char* rule;
};

TEST(NeedleSearch, KnownCases) {
  using calvex_test::bytes_of;
  const SearchCase cases[] = {
      {bytes_of("abcabc"), bytes_of("abc"), {0, 3}, "an occurrence ending at the text's end counts"},
      {bytes_of("abc"), bytes_of("abc"), {0}, "needle equal to text"},
      {bytes_of("ab"), bytes_of("abc"), {}, "needle longer than text"},
      {bytes_of("xyz"), bytes_of(""), {}, "empty needle"},
      {bytes_of("aaaaa"), bytes_of("aaa"), {0, 1, 2}, "overlapping occurrences"},
      {bytes_of("xzyz"), bytes_of("z"), {1, 3}, "one-byte needle"},
      {bytes_of("zz"), bytes_of("zz"), {0}, "two-byte needle"},
      {bytes_of("abababab"), bytes_of("abab"), {0, 2, 4}, "periodic needle"},
      {bytes_of("abaabaabaab"), bytes_of("abaab"), {0, 3, 6}, "period 3 with overlap"},
      {repeat("a", 100), concat(repeat("a", 9), bytes_of("b")), {}, "run text, needle ending in another byte"},
      {repeat("a", 100), concat(bytes_of("b"), repeat("a", 9)), {}, "run text, needle starting with another byte"},
      {concat(concat(repeat("a", 50), bytes_of("b")), repeat("a", 50)), concat(repeat("a", 3), bytes_of("b")),
       {47}, "one break in a run"},
      {concat(concat(repeat("a", 50), bytes_of("b")), repeat("a", 50)), concat(bytes_of("b"), repeat("a", 50)),
       {50}, "needle reaching the text's last byte"},
      {bytes_of(std::string("\xff\xff\x00\xff\xff\xff\x00", 7)), bytes_of(std::string("\xff\x00", 2)), {1, 5}, "high bytes"},
  };
  for (const SearchCase& c : cases) {
    EXPECT_EQ(search(c.text, c.needle), c.expected) << c.rule;
  }
}

// Small alphabets make many partial matches and periodic needles; every case
// is compared with the quadratic reference.
TEST(NeedleSearch, AgreesWithTheReferenceOnPseudoRandomInputs) {
  uint64_t seed = 1;
  for (const unsigned alphabet : {2u, 3u, 4u, 256u}) {
    for (int round = 0; round < 400; ++round) {
      const Bytes noise = calvex_test::pseudo_random_bytes(600, ++seed);
      const size_t text_size = 1 + noise[0] + (noise[1] & 0x3F);
      Bytes text(text_size);
      for (size_t i = 0; i < text_size; ++i) text[i] = static_cast<unsigned char>('a' + noise[2 + i] % alphabet);
      const size_t needle_size = 1 + noise[599] % 24;
      Bytes needle;
      if (round % 2 == 0 && needle_size <= text_size) {
        const size_t from = noise[598] % (text_size - needle_size + 1);
        needle.assign(text.begin() + static_cast<std::ptrdiff_t>(from),
                      text.begin() + static_cast<std::ptrdiff_t>(from + needle_size));
      } else {
        for (size_t i = 0; i < needle_size; ++i) needle.push_back(static_cast<unsigned char>('a' + noise[300 + i] % alphabet));
      }
      ASSERT_EQ(search(text, needle), naive(text, needle))
          << "alphabet " << alphabet << " text " << std::string(text.begin(), text.end()) << " needle "
          << std::string(needle.begin(), needle.end());
    }
  }
}

TEST(NeedleSearch, PeriodicNeedlesInTextsWithBrokenRepeats) {
  const std::string units[] = {"a", "ab", "abc", "aab", "abaab"};
  for (const std::string& unit : units) {
    for (size_t needle_units = 1; needle_units <= 6; ++needle_units) {
      Bytes needle = repeat(unit, needle_units);
      needle.push_back('a');
      Bytes text = repeat(unit, 60);
      text[37] = 'z';
      text[38 + unit.size() * needle_units] = 'z';
      ASSERT_EQ(search(text, needle), naive(text, needle)) << unit << " x" << needle_units;
    }
  }
}

// A long needle next to copies of itself that differ in one byte: every
// position of the comparison, inside and across compared blocks, must count.
TEST(NeedleSearch, OneDifferentByteAtEveryPositionOfALongNeedle) {
  const Bytes needle = calvex_test::pseudo_random_bytes(600, 91);
  for (size_t changed = 0; changed < needle.size(); ++changed) {
    Bytes near_copy = needle;
    near_copy[changed] ^= 0x01;
    const Bytes text = concat(concat(near_copy, needle), near_copy);
    ASSERT_EQ(search(text, needle), Offsets{600}) << "changed byte " << changed;
  }
  const Bytes run(600, 'a');
  for (size_t changed = 0; changed < run.size(); ++changed) {
    Bytes text(1800, 'a');
    text[600 + changed] = 'b';
    ASSERT_EQ(search(text, run), naive(text, run)) << "changed byte " << changed;
  }
}

// Needles longer than the bad-pair table's largest move (65535 bytes).
TEST(NeedleSearch, NeedlesLongerThanTheLargestTableMove) {
  Bytes text = calvex_test::pseudo_random_bytes(400000, 77);
  const Bytes needle(text.begin() + 123457, text.begin() + 123457 + 70001);
  // A second copy that ends exactly at the end of the text.
  std::copy(needle.begin(), needle.end(), text.end() - static_cast<std::ptrdiff_t>(needle.size()));
  EXPECT_EQ(search(text, needle), (Offsets{123457, 400000 - 70001}));

  const Bytes run_text(200000, 0x00);
  const Bytes run_needle(70000, 0x00);
  const Offsets found = search(run_text, run_needle);
  ASSERT_EQ(found.size(), 200000u - 70000u + 1u);
  EXPECT_EQ(found.front(), 0u);
  EXPECT_EQ(found.back(), 200000u - 70000u);
}

TEST(NeedleSearch, AdversarialRunsAgreeWithTheReference) {
  // A text of one repeated byte, needles of that byte ending or starting with
  // another, at sizes around the word used for comparisons.
  for (size_t size : {2u, 7u, 8u, 9u, 64u, 4096u}) {
    const Bytes ends = concat(Bytes(size - 1, 'a'), Bytes{'b'});
    const Bytes starts = concat(Bytes{'b'}, Bytes(size - 1, 'a'));
    Bytes text(3 * 4096, 'a');
    text[5000] = 'b';
    EXPECT_EQ(search(text, ends), naive(text, ends)) << size;
    EXPECT_EQ(search(text, starts), naive(text, starts)) << size;
  }
}

// `resume` of a search over the first k bytes of a text: searching the text
// from there on finds exactly the occurrences the first k bytes could not
// hold, at every k, for needles with and without periods in texts of two
// letters (many partial matches) and of random bytes.
TEST(NeedleSearch, ResumingWhereTheSearchSaysFindsTheRest) {
  std::vector<std::pair<Bytes, Bytes>> inputs;
  for (uint64_t seed = 0; seed < 12; ++seed) {
    Bytes text = calvex_test::pseudo_random_bytes(400, 90 + seed);
    Bytes two_letters = text;
    for (unsigned char& byte : two_letters) byte = 'a' + (byte & 1);
    const size_t needle_size = 1 + seed * 3;
    inputs.emplace_back(two_letters, Bytes(two_letters.begin() + 50, two_letters.begin() + 50 + needle_size));
    inputs.emplace_back(text, Bytes(text.begin() + 300, text.begin() + 300 + needle_size));
  }
  inputs.emplace_back(repeat("ab", 150), repeat("ab", 7));
  inputs.emplace_back(repeat("aab", 100), calvex_test::bytes_of("aabaabaab"));
  inputs.emplace_back(Bytes(300, 'a'), concat(Bytes(20, 'a'), calvex_test::bytes_of("b")));
  for (const auto& [text, needle] : inputs) {
    const Offsets all = naive(text, needle);
    const binseek::NeedleSearch searcher(needle.data(), needle.size());
    for (size_t k = 0; k <= text.size(); ++k) {
      Offsets found;
      size_t resume = 0;
      searcher.find_all(text.data(), k, [&](uint64_t offset) { found.push_back(offset); }, &resume);
      ASSERT_LE(resume, k);
      ASSERT_GE(resume + needle.size(), std::min(k + 1, needle.size())) << k;
      searcher.find_all(text.data() + resume, text.size() - resume, [&](uint64_t offset) {
        if (offset + resume + needle.size() > k) found.push_back(offset + resume);
      });
      ASSERT_EQ(found, all) << "needle of " << needle.size() << " bytes, split at " << k << ", resume " << resume;
    }
  }
}

// The streamed search reads both files in pieces; with small pieces and a
// small needle prefix, matches across piece borders, overlapping matches and
// needles longer than the prefix must all come out as in the reference.
struct StreamCase {
  size_t prefix_max;
  size_t text_chunk;
  size_t compare_chunk;
  const char* rule;
};

TEST(FindAllStreamed, AgreesWithTheReferenceAtEveryPieceSize) {
  Bytes text = calvex_test::pseudo_random_bytes(5000, 78);
  const Bytes needle(text.begin() + 1000, text.begin() + 1100);
  std::copy(needle.begin(), needle.end(), text.begin() + 1999);                  // a second copy
  std::copy(needle.begin(), needle.end(), text.end() - 100);                     // one at the very end
  const Bytes periodic_text(3000, 'a');
  const Bytes periodic_needle(40, 'a');
  // Many aligned 64 KiB pieces, with copies of the needle across piece
  // borders (one byte in the next piece, all but one, half) and at the end.
  constexpr size_t kAlignedPiece = 64 << 10;
  constexpr size_t kPieces = 17;
  Bytes long_text = calvex_test::pseudo_random_bytes(kPieces * kAlignedPiece + 70000, 80);
  const Bytes long_needle(long_text.begin() + 5000, long_text.begin() + 5100);
  for (const size_t at : {3 * kAlignedPiece - 50, 16 * kAlignedPiece - 99, 17 * kAlignedPiece - 1,
                          long_text.size() - 100}) {
    std::copy(long_needle.begin(), long_needle.end(), long_text.begin() + static_cast<std::ptrdiff_t>(at));
  }
  const StreamCase cases[] = {
      {1 << 20, 1 << 20, 1 << 20, "everything in one piece"},
      {1 << 20, kAlignedPiece, 1 << 20, "aligned pieces over a text of many"},
      {1 << 20, 7, 1, "pieces far smaller than the needle"},
      {1 << 20, 100, 3, "pieces of exactly the needle's size"},
      {16, 1, 5, "needle longer than its prefix, one-byte pieces"},
      {1, 33, 7, "a one-byte prefix: every first-byte match is checked"},
  };
  auto reader = [](const Bytes& bytes) {
    return [&bytes](int64_t offset, unsigned char* into, size_t count) {
      EXPECT_EQ(reinterpret_cast<uintptr_t>(into) % binseek::kReadAlignment, 0u) << "read of " << count << " at " << offset;
      if (offset < 0 || static_cast<size_t>(offset) > bytes.size() || count > bytes.size() - offset) return false;
      std::copy_n(bytes.begin() + offset, count, into);
      return true;
    };
  };
  for (const StreamCase& c : cases) {
    const binseek::StreamLimits limits{c.prefix_max, c.text_chunk, c.compare_chunk};
    for (const auto& [t, n] : {std::pair<const Bytes&, const Bytes&>{text, needle},
                               {periodic_text, periodic_needle},
                               {long_text, long_needle}}) {
      Offsets found;
      const binseek::StreamResult result = binseek::find_all_streamed(
          static_cast<int64_t>(t.size()), reader(t), static_cast<int64_t>(n.size()), reader(n),
          [&](uint64_t offset) { found.push_back(offset); }, limits);
      EXPECT_EQ(result.failure, binseek::StreamFailure::kNone) << c.rule;
      EXPECT_EQ(result.matches, found.size()) << c.rule;
      EXPECT_EQ(found, naive(t, n)) << c.rule;
    }
  }
}

TEST(FindAllStreamed, AFailedReadStopsTheSearchAndSaysWhichFile) {
  const Bytes text = calvex_test::pseudo_random_bytes(1000, 79);
  const Bytes needle(text.begin() + 10, text.begin() + 20);
  const binseek::StreamLimits limits{4, 100, 2};  // the needle is checked beyond its prefix
  auto fail_at = [](const Bytes& bytes, int64_t failing_offset) {
    return [&bytes, failing_offset](int64_t offset, unsigned char* into, size_t count) {
      if (offset >= failing_offset) return false;
      std::copy_n(bytes.begin() + offset, count, into);
      return true;
    };
  };
  Offsets found;
  const auto on_match = [&](uint64_t offset) { found.push_back(offset); };
  const binseek::StreamResult text_failed =
      binseek::find_all_streamed(1000, fail_at(text, 500), 10, fail_at(needle, 10), on_match, limits);
  EXPECT_EQ(text_failed.failure, binseek::StreamFailure::kTextRead);
  EXPECT_EQ(found, (Offsets{10}));
  found.clear();
  const binseek::StreamResult needle_failed =
      binseek::find_all_streamed(1000, fail_at(text, 1000), 10, fail_at(needle, 4), on_match, limits);
  EXPECT_EQ(needle_failed.failure, binseek::StreamFailure::kNeedleRead);
  EXPECT_TRUE(found.empty());
}

}  // namespace
