// WCDMA notch filter: the number of interference points and a table of 10
// points, each a pair of 32-bit parameters (unsigned, signed). The write
// stores the count and the whole table; the read shows the points the
// stored count covers.
#include <algorithm>
#include <vector>

#include "boundary.h"

namespace calvex::wcdma {
namespace {

constexpr uint32_t kNotchCountOffset = 80;  // 0x50: 32-bit number of points
constexpr uint32_t kNotchTableOffset = 84;  // 0x54: 10 x {32-bit unsigned, 32-bit signed}
constexpr int32_t kNotchPoints = 10;
constexpr size_t kParamsPerPoint = 2;
constexpr size_t kParamSize = 4;
constexpr size_t kNotchBlockSize = 4 + kNotchPoints * kParamsPerPoint * kParamSize;  // count and table
static_assert(kNotchCountOffset + 4 == kNotchTableOffset);
static_assert(kNotchTableOffset + kNotchPoints * kParamsPerPoint * kParamSize == 164);

constexpr size_t kParamCells = kNotchPoints * kParamsPerPoint;  // 20
constexpr size_t kReadCells = 1 + kParamCells;                  // count cell first

constexpr RangeRule kRanges[] = {{1, &msg::kWcdmaNotchCountCells}, {kParamCells, &msg::kWcdmaNotchParamCells}};

constexpr int32_t kMarkEmpty = 2;
constexpr int32_t kMarkSecondParam = 3;
constexpr int32_t kMarkValue = 17;

// Byte position of parameter cell j (2 * point + 0 or 1) in the staged block.
constexpr size_t param_pos(size_t j) { return kNotchTableOffset - kNotchCountOffset + j * kParamSize; }

void write_notch(const WriteArgs& args, const std::u16string& path) {
  auto ranges = take_ranges(args, msg::kWcdmaNotchConfig, kRanges);
  if (!ranges) return;
  const std::u16string& count_text = (*ranges)[0][0];
  const Cells& params = (*ranges)[1];

  // Only the text "0" itself is refused as a zero count; "00" stores 0.
  if (count_text == u"0") {
    show(msg::kWcdmaNotchCountZero);
    return;
  }
  const int32_t points = ReadDec(count_text);
  if (points < 0 || points > kNotchPoints) {
    show(msg::kWcdmaNotchCountRange);
    return;
  }

  NvBlock notch(kNotchCountOffset, kNotchBlockSize);
  notch.put32(0, static_cast<uint32_t>(points));
  for (size_t j = 0; j < static_cast<size_t>(points) * kParamsPerPoint; ++j) {
    if (is_x_mark(params[j])) {
      show(msg::kWcdmaNotchParamMissing);
      continue;
    }
    const uint32_t value =
        j % kParamsPerPoint == 0 ? ReadDecUnsigned(params[j]) : static_cast<uint32_t>(ReadDec(params[j]));
    notch.put32(param_pos(j), value);
  }

  if (!store_blocks(path, {&notch}, msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

void read_notch(ReadCells& out, const std::u16string& path) {
  NvBlock notch(kNotchCountOffset, kNotchBlockSize);
  load_blocks(path, NvFile::Mode::ReadOnly, {&notch}, &msg::kOpenFailedRead);
  if (out.count() != static_cast<int32_t>(kReadCells)) {
    show(msg::kCellCountMismatch);
    return;
  }

  std::vector<std::u16string> texts(kReadCells, u"X");
  std::vector<int32_t> marks(kReadCells, kMarkEmpty);
  const int32_t stored_points = notch.get32s(0);
  if (stored_points == 0) {
    show(msg::kWcdmaNotchNoCount);
    for (size_t i = 0; i < kReadCells; ++i) out.assign(static_cast<int32_t>(i), texts[i], kMarkValue);
    return;
  }

  texts[0] = dec_text(stored_points);
  marks[0] = kMarkValue;
  // The count cell shows what is stored; the parameter cells stop at the table's 10 points.
  const size_t points = static_cast<size_t>(std::clamp(stored_points, 0, kNotchPoints));
  for (size_t i = 0; i < points; ++i) {
    const size_t first = 1 + i * kParamsPerPoint;
    texts[first] = format_text("%u", static_cast<unsigned>(notch.get32(param_pos(i * kParamsPerPoint))));
    marks[first] = kMarkValue;
    texts[first + 1] = dec_text(notch.get32s(param_pos(i * kParamsPerPoint + 1)));
    marks[first + 1] = kMarkSecondParam;
  }
  for (size_t i = 0; i < kReadCells; ++i) out.assign(static_cast<int32_t>(i), texts[i], marks[i]);
}

}  // namespace
}  // namespace calvex::wcdma

CALVEX_DEFINE_WRITE(SheetWcdmaNotchWr, calvex::wcdma::write_notch)
CALVEX_DEFINE_READ(SheetWcdmaNotchRd, calvex::wcdma::read_notch)
