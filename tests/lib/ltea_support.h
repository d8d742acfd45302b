// Shared helpers of the LTE-A sheet tests: an image filled with a random
// pattern in a temporary directory, NV head offsets as the format defines
// them, and the messages the LTE-A sheets show.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image_fixture.h"
#include "test_host.h"

namespace ltea_test {

using namespace calvex_test;

// Larger than the head and its end marker, so that no write extends it.
inline constexpr size_t kImageSize = 16384;

inline size_t band_field(size_t slot, size_t offset) { return 440 + 780 * slot + offset; }

using Messages = std::vector<std::string>;

// A test with an NV image of kImageSize random bytes at path.
using LteaImageTest = ImageTest<kImageSize, 0x17EA>;

}  // namespace ltea_test
