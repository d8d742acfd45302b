// Cells of a sheet made from its definition's cell kinds (sheet_def.h,
// cell_check.h): plain values, "X" first, or seeded random valid cells. Each
// cell on its own passes check_cell(); rules between cells (entry limits,
// band lists an image must hold) are the caller's.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "sheet_def.h"

namespace calvex_test {

enum class Fill {
  Plain,   // a value: "0" (or the minimum), "0x0", the first keyword, line "0"
  XFirst,  // "X" where X is allowed, else as Plain
  Random,  // a random valid cell: the limits and small values as often as any
           // other; "X"/"x" or empty where allowed; hexadecimal with or
           // without "0x"
};

// "0x" and the value in lower-case hexadecimal.
std::string hex_of(uint64_t value);

std::string sample_cell(const calvex::CellType& cell_type, Fill fill, std::mt19937& rng);

// Every range's cells, row after row.
using SheetTexts = std::vector<std::vector<std::string>>;
SheetTexts sample_sheet(const calvex::SheetDef& def, Fill fill, std::mt19937& rng);

}  // namespace calvex_test
