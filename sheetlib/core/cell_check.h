// Strict cell checking against a sheet definition's cell kinds (sheet_def.h).
//
// The sheets' own readers are lenient (readers.h: "abc" reads as 0, "1,600"
// as 1); a host that wants to refuse such cells before the library sees them
// checks every cell here first. The rules, per kind:
//   Dec      ASCII digits with an optional leading '+' or '-', nothing else
//            (no blanks, separators, decimal point or exponent); the value
//            lies within the stored width (signed or unsigned as the sheet
//            reads it back) and within the CellType's min/max.
//   Hex      an optional "0x"/"0X" prefix, then 1 to 2 * bytes hexadecimal
//            digits; the value lies within the CellType's min/max.
//   Keyword  exactly one of the keywords (case and blanks as given).
//   Line     "0" or "1" (and "X"/"x", which every line cell allows).
//   MipiPair two Hex numbers of `bytes` bytes joined by one comma.
//   Unused   "X"/"x" or empty only.
//   Text     anything.
// Whatever the kind, an empty cell passes only where the cell type allows blanks
// and exactly "X" or "x" only where it allows X.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "sheet_def.h"

namespace calvex {

// nullopt when text is a valid cell of type cell_type; otherwise what was expected,
// in English, e.g. "expected a decimal integer 1..8191".
std::optional<std::string> check_cell(const CellType& cell_type, std::u16string_view text);

// What a cell of this kind holds, e.g. "a decimal integer -32768..32767, or X".
std::string describe_cell(const CellType& cell_type);

// The smallest and largest value a Dec or Hex cell accepts: its width's
// limits narrowed by min/max.
int64_t cell_min(const CellType& cell_type);
int64_t cell_max(const CellType& cell_type);

}  // namespace calvex
