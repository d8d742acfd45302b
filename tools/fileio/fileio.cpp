// Parts of the file routines that both platform flavours share.
#include "fileio.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>

namespace fileio {

int64_t read_number_file(const char* path) {
  InputFile file;
  if (!file.open(path)) {
    std::fprintf(stderr, "%s: %s\n", path, file.error().c_str());
    return -1;
  }
  // The first line as a text stream would give it: at most kNumberLineChars
  // characters, ending after its newline.
  char line[kNumberLineChars + 1] = {};
  const int64_t got = file.read_at(0, line, kNumberLineChars);
  const size_t length = got > 0 ? static_cast<size_t>(got) : 0;
  line[length] = '\0';
  if (char* newline = static_cast<char*>(std::memchr(line, '\n', length))) newline[1] = '\0';
  return parse_decimal_prefix(line);
}

bool InputFile::read_exact(int64_t offset, void* buffer, int64_t count) {
  const int64_t got = read_at(offset, buffer, count);
  if (got == count) return true;
  if (got >= 0) error_ = kFileShrankReason;
  return false;
}

bool InputFile::read_exact_sparse(int64_t offset, void* buffer, int64_t count) {
  auto* into = static_cast<unsigned char*>(buffer);
  while (count > 0) {
    int64_t end = stretch_end_;
    bool hole = stretch_is_hole_;
    if (offset < stretch_start_ || offset >= stretch_end_) {
      bool ends_file = false;
      end = stretch_at(offset, &hole, &ends_file);
      if (end < 0) return false;
      if (end <= offset) {
        error_ = kFileShrankReason;
        return false;
      }
      // A hole that runs to the end of the file is not kept: the next call asks again.
      stretch_start_ = offset;
      stretch_end_ = ends_file ? offset : end;
      stretch_is_hole_ = hole;
    }
    const int64_t piece = std::min(count, end - offset);
    if (hole) {
      std::memset(into, 0, static_cast<size_t>(piece));
    } else if (!read_exact(offset, into, piece)) {
      return false;
    }
    into += piece;
    offset += piece;
    count -= piece;
  }
  return true;
}

CopyResult copy_range(InputFile& in, int64_t offset, int64_t count, OutputFile& out, unsigned char* buffer,
                      int64_t buffer_size) {
  while (count > 0) {
    const int64_t piece = std::min(count, buffer_size);
    if (!in.read_exact(offset, buffer, piece)) return CopyResult::kReadFailed;
    if (!out.write(buffer, piece)) return CopyResult::kWriteFailed;
    offset += piece;
    count -= piece;
  }
  return CopyResult::kOk;
}

int64_t read_whole(const char* path, void* buffer, int64_t count) {
  InputFile file;
  if (!file.open(path)) return -1;
  return file.read_at(0, buffer, count);
}

int64_t write_whole(const char* path, const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  OutputFile file;
  if (!file.create(path)) return -1;
  if (!file.write(buffer, count)) return file.written() != 0 ? file.written() : -1;
  return file.commit() ? count : -1;
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
