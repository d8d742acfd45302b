// The failure path the image tools share: the program's own stdout line for
// a path, then on stderr "program: path: reason", and the program's status.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "fileio.h"

namespace fileio {

inline constexpr const char* kReasonLine = "%s: %s: %s\n";  // program, path, reason
inline constexpr const char* kEmptyFileReason = "file is empty";

// Prints `line` (a format with one %s, the path) on stdout and the reason
// on stderr; returns kExitFailure.
inline int fail_with(const char* program, const char* line, const char* path, const std::string& reason) {
  std::printf(line, path);
  std::fflush(stdout);
  std::fprintf(stderr, kReasonLine, program, path, reason.c_str());
  return kExitFailure;
}

// Opens an input whose status query gave `stat_size`; false, after
// fail_with(program, read_error_line, ...), when it cannot be opened, has
// changed size since the query, or is empty.
inline bool open_input(const char* program, const char* read_error_line, const char* path, int64_t stat_size,
                       InputFile& file) {
  if (!file.open(path)) {
    fail_with(program, read_error_line, path, file.error());
    return false;
  }
  if (file.size() != stat_size) {
    fail_with(program, read_error_line, path, kFileShrankReason);
    return false;
  }
  if (file.size() == 0) {
    fail_with(program, read_error_line, path, kEmptyFileReason);
    return false;
  }
  return true;
}

}  // namespace fileio
