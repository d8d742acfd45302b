// SHA-256 of the dump's image fingerprint (sha256.h): known answers at the
// padding edges (55 bytes fit one block with the length, 56 need a second,
// 64 fill a block exactly), a two-block message, and one million bytes.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "sha256.h"

namespace {

std::vector<uint8_t> bytes_of(const std::string& text) { return {text.begin(), text.end()}; }

TEST(Sha256, KnownAnswers) {
  struct Case {
    std::vector<uint8_t> message;
    const char* digest;
    const char* rule;
  };
  const Case cases[] = {
      {{}, "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855", "empty"},
      {bytes_of("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", "abc"},
      {bytes_of("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1", "two blocks"},
      {std::vector<uint8_t>(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318",
       "55 bytes: the last that fit one block"},
      {std::vector<uint8_t>(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a",
       "56 bytes: the length moves to a second block"},
      {std::vector<uint8_t>(57, 'a'), "f13b2d724659eb3bf47f2dd6af1accc87b81f09f59f2b75e5c0bed6589dfe8c6", "57 bytes"},
      {std::vector<uint8_t>(63, 'a'), "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34", "63 bytes"},
      {std::vector<uint8_t>(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb",
       "64 bytes: one whole block"},
      {std::vector<uint8_t>(65, 'a'), "635361c48bb9eab14198e76ea8ab7f1a41685d6ad62aa9146d301d4f17eb0ae0", "65 bytes"},
      {std::vector<uint8_t>(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0",
       "one million bytes"},
  };
  for (const Case& c : cases) EXPECT_EQ(calvex_host::sha256_hex(c.message), c.digest) << c.rule;
}

TEST(Sha256, EveryByteValueCounts) {
  std::vector<uint8_t> all(256);
  for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(calvex_host::sha256_hex(all), "40aff2e9d2d8922e47afd4648e6967497158785fbd1da870e7110266bf944880");
}

}  // namespace
