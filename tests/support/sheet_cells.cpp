#include "sheet_cells.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "cell_check.h"

namespace calvex_test {
namespace {

using calvex::CellKind;

constexpr int kSmallValues = 16;  // -4 .. 11, clamped to the cell's limits
constexpr int kSmallValuesFrom = -4;

int64_t pick(std::mt19937& rng, int64_t lo, int64_t hi) {
  switch (rng() % 4) {
    case 0:
      return lo;
    case 1:
      return hi;
    case 2:
      return std::clamp<int64_t>(static_cast<int64_t>(rng() % kSmallValues) + kSmallValuesFrom, lo, hi);
    default:
      return std::uniform_int_distribution<int64_t>(lo, hi)(rng);
  }
}

}  // namespace

std::string hex_of(uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%" PRIx64, value);
  return text;
}

std::string sample_cell(const calvex::CellType& cell_type, Fill fill, std::mt19937& rng) {
  const bool random = fill == Fill::Random;
  if (fill == Fill::XFirst && cell_type.x_means_empty) return "X";
  if (random && (cell_type.x_means_empty || cell_type.blank_ok) && rng() % 4 == 0) {
    if (cell_type.x_means_empty && (!cell_type.blank_ok || rng() % 2 == 0)) return rng() % 2 == 0 ? "X" : "x";
    return "";
  }
  const int64_t lo = calvex::cell_min(cell_type);
  const int64_t hi = calvex::cell_max(cell_type);
  const auto value = [&]() -> uint64_t {
    return static_cast<uint64_t>(random ? pick(rng, lo, hi) : std::max<int64_t>(lo, std::min<int64_t>(0, hi)));
  };
  switch (cell_type.kind) {
    case CellKind::Dec:
      return std::to_string(static_cast<int64_t>(value()));
    case CellKind::Hex: {
      const std::string text = hex_of(value());
      return random && rng() % 3 == 0 ? text.substr(2) : text;  // "0x" is optional
    }
    case CellKind::MipiPair: {
      const std::string address = hex_of(value());
      return address + "," + hex_of(value());
    }
    case CellKind::Keyword:
      if (cell_type.keywords.empty()) return "";
      return std::string(cell_type.keywords[random ? rng() % cell_type.keywords.size() : 0]);
    case CellKind::Line:
      return random ? std::string(1, "01X"[rng() % 3]) : "0";
    case CellKind::Unused:
      return "X";
    case CellKind::Text:
      return cell_type.blank_ok ? "" : "X";
  }
  return "";
}

SheetTexts sample_sheet(const calvex::SheetDef& def, Fill fill, std::mt19937& rng) {
  SheetTexts out;
  for (const calvex::RangeDef& r : def.ranges) {
    std::vector<std::string> cells;
    for (int row = 0; row < r.rows; ++row)
      for (int col = 0; col < r.cols; ++col) cells.push_back(sample_cell(r.cell_type_at(row, col), fill, rng));
    out.push_back(std::move(cells));
  }
  return out;
}

}  // namespace calvex_test
