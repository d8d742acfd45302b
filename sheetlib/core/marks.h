// The marks a read sets on its output cells. The host decides how each one
// looks; the library only sets them, and each sheet chooses which cell gets
// which.
#pragma once

#include <cstdint>
#include <string_view>

namespace calvex {

// A label, band or "X" cell; every cell of the common and GSM sheets.
inline constexpr int32_t kMarkPlain = 2;
// A GPIO line shown "1"; also a switch cell, a second parameter, a USID.
inline constexpr int32_t kMarkHigh = 3;
// A GPIO line shown "0".
inline constexpr int32_t kMarkLow = 6;
// A value read from the image (0x11).
inline constexpr int32_t kMarkValue = 17;

// The mark of a read-back truth-table cell: kMarkHigh for "1", kMarkLow for
// "0", kMarkPlain for anything else (words and "X" included).
constexpr int32_t truth_cell_mark(std::u16string_view text) {
  if (text == u"1") return kMarkHigh;
  if (text == u"0") return kMarkLow;
  return kMarkPlain;
}

}  // namespace calvex
