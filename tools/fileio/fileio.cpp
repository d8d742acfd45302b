// Parts of the whole-file routines that both platform flavours share.
#include "fileio.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <limits>

namespace fileio {

bool file_exists(const char* path) {
  std::FILE* stream = std::fopen(path, "r");
  if (stream == nullptr) return false;
  std::fclose(stream);
  return true;
}

int64_t read_number_file(const char* path) {
  std::FILE* stream = std::fopen(path, "r");
  if (stream == nullptr) {
    std::perror(path);
    return -1;
  }
  char line[kNumberLineChars + 1] = {};
  if (std::fgets(line, sizeof line, stream) == nullptr) line[0] = '\0';
  std::fclose(stream);
  return parse_decimal_prefix(line);
}

int64_t parse_decimal_prefix(const char* text) {
  // The white-space set of isspace() in the "C" locale.
  auto is_space = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (is_space(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') {
    negative = *text == '-';
    ++text;
  }
  // Accumulate towards the negative side, which holds one more value.
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  int64_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text) {
    const int digit = *text - '0';
    if (value < (kMin + digit) / 10) {
      value = kMin;
    } else {
      value = value * 10 - digit;
    }
  }
  if (negative) return value;
  return value == kMin ? std::numeric_limits<int64_t>::max() : -value;
}

int64_t read_loop(const ReadCall& read_call, void* buffer, int64_t count) {
  auto* at = static_cast<unsigned char*>(buffer);
  int64_t total = 0;
  while (total < count) {
    const int64_t moved = read_call(at + total, count - total);
    if (moved < 0) {
      if (errno == EINTR) {
        errno = 0;
        continue;
      }
      return total != 0 ? total : moved;
    }
    if (moved == 0) break;
    total += moved;
  }
  return total;
}

int64_t write_loop(const WriteCall& write_call, const void* buffer, int64_t count) {
  const auto* at = static_cast<const unsigned char*>(buffer);
  int64_t total = 0;
  while (total < count) {
    const int64_t moved = write_call(at + total, count - total);
    if (moved < 0) {
      if (errno == EINTR) {
        errno = 0;
        continue;
      }
      return total != 0 ? total : moved;
    }
    // A write that takes nothing would be retried for ever.
    if (moved == 0) return total != 0 ? total : -1;
    total += moved;
  }
  return total;
}

}  // namespace fileio
