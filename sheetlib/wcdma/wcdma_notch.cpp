// WCDMA notch filter: the number of interference points and a table of 10
// points, each a pair of 32-bit parameters (unsigned, signed). The write
// stores the count and the whole table; the read shows the points the
// stored count covers.
#include <algorithm>

#include "boundary.h"
#include "sheet_engine.h"
#include "sheets.h"
#include "wcdma/wcdma_nv_map.h"

namespace calvex::wcdma {
namespace {

constexpr size_t kParamCells = kNotchPoints * kNotchParamsPerPoint;  // 20
constexpr size_t kReadCells = 1 + kParamCells;                       // count cell first
constexpr int32_t kMaxPoints = static_cast<int32_t>(kNotchPoints);

// Byte position of parameter cell j (2 * point + 0 or 1) in the staged block.
constexpr size_t param_pos(size_t j) { return kNotchTableOffset - kNotchCountOffset + j * kNotchParamSize; }

void write_notch(const WriteArgs& args, const std::u16string& path) {
  auto ranges = take_ranges(args, kWcdmaNotchSheet, NvLayout::Any);
  if (!ranges) return;
  const std::u16string& count_text = (*ranges)[0][0];
  const Cells& params = (*ranges)[1];

  // Only the text "0" itself is refused as a zero count; "00" stores 0.
  if (count_text == u"0") {
    show(msg::kWcdmaNotchCountZero);
    return;
  }
  const int32_t points = ReadDec(count_text);
  if (points < 0 || points > kMaxPoints) {
    show(msg::kWcdmaNotchCountRange);
    return;
  }

  NvBlock notch(kNotchCountOffset, kNotchBlockSize);
  notch.put32(0, static_cast<uint32_t>(points));
  for (size_t j = 0; j < static_cast<size_t>(points) * kNotchParamsPerPoint; ++j) {
    if (is_x_mark(params[j])) {
      show(msg::kWcdmaNotchParamMissing);
      continue;
    }
    const uint32_t value =
        j % kNotchParamsPerPoint == 0 ? ReadDecUnsigned(params[j]) : static_cast<uint32_t>(ReadDec(params[j]));
    notch.put32(param_pos(j), value);
  }

  if (!store_sheet_blocks(path, kWcdmaNotchSheet, NvLayout::Any, {&notch}, msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

void read_notch(ReadCells& out, const std::u16string& path) {
  NvBlock notch(kNotchCountOffset, kNotchBlockSize);
  load_blocks(path, NvFile::Mode::ReadOnly, {&notch}, &msg::kOpenFailedRead);
  const int32_t stored_points = notch.get32s(0);
  if (stored_points == 0) {
    // The count check, then the message, then every cell "X" with the value mark.
    if (out.count() != static_cast<int32_t>(kReadCells)) {
      show(msg::kCellCountMismatch);
      return;
    }
    show(msg::kWcdmaNotchNoCount);
    fill_cells(out, Cells(kReadCells, u"X"), kMarkValue);
    return;
  }

  ReadTexts cells(kReadCells, u"X", kMarkPlain);

  cells.set(0, dec_text(stored_points), kMarkValue);
  // The count cell shows what is stored; the parameter cells stop at the table's 10 points.
  const size_t points = static_cast<size_t>(std::clamp(stored_points, 0, kMaxPoints));
  for (size_t i = 0; i < points; ++i) {
    const size_t first = 1 + i * kNotchParamsPerPoint;
    cells.set(first, format_text("%u", static_cast<unsigned>(notch.get32(param_pos(i * kNotchParamsPerPoint)))),
              kMarkValue);
    cells.set(first + 1, dec_text(notch.get32s(param_pos(i * kNotchParamsPerPoint + 1))), kMarkHigh);
  }
  fill_read(out, cells, msg::kCellCountMismatch);
}

}  // namespace
}  // namespace calvex::wcdma

CALVEX_DEFINE_WRITE(SheetWcdmaNotchWr, calvex::wcdma::write_notch)
CALVEX_DEFINE_READ(SheetWcdmaNotchRd, calvex::wcdma::read_notch)
