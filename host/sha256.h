// SHA-256 of a byte buffer, for the fingerprint of an image in a dump.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace calvex_host {

// The digest as 64 lowercase hexadecimal digits.
std::string sha256_hex(const std::vector<uint8_t>& bytes);

}  // namespace calvex_host
