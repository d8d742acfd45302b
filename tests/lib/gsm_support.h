// Shared helpers of the GSM sheet tests (and the common pin-mux and port
// info sheets, which live in the same image): an NV image of random bytes in
// a temporary directory, and the messages shared by the family's sheets.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "image_fixture.h"
#include "test_host.h"

namespace gsm_test {

using namespace calvex_test;
using Messages = std::vector<std::string>;

// Covers every GSM block (the last ends at 0x1BA0) so no write extends it.
inline constexpr size_t kImageSize = 8192;

inline constexpr const char* kHexTooLong = "字符长度超过8！";
inline constexpr const char* kBadTruthCell = "真值表输入有误，请确认值是否为'0'、'1'、'X'！";

// A test with an NV image of kImageSize random bytes at path.
using GsmImageTest = ImageTest<kImageSize, 0x65A1>;

}  // namespace gsm_test
