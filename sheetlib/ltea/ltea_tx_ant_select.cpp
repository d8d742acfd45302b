// LTE-A TX antenna select sheet: for the main and the diversity antenna the
// level of each GPIO line, 15 rows x 2 columns (cell 2i main, 2i + 1
// diversity; rows 0..10 GPIO_GROUP0 lines, rows 11..14 GPIO_GROUP1 lines).
// Each antenna becomes one 8-byte antenna selection entry holding a 45-bit
// selection code:
//   bits 0..4    group code (22: GPIO_GROUP0, 24: GPIO_GROUP1)
//   bits 5 + p   level of line position p
//   bits 25 + p  drive enable of line position p
// with GPIO_GROUP1 line r at position r and GPIO_GROUP0 line r at 5 + r.
// The entry holds code bits 32..47 at +0, 0 at +2 and bits 0..31 at +4.
#include <algorithm>

#include "boundary.h"
#include "ltea/ltea_context.h"

namespace calvex::ltea {
namespace {

constexpr size_t kAntennas = 2;  // main, diversity
constexpr size_t kLineRows = kGpioGroup0Lines + kGpioGroup1Lines;
constexpr size_t kCells = kAntennas * kLineRows;  // 30
constexpr size_t kGroup1FirstRow = kGpioGroup0Lines;

constexpr uint64_t kGroupCodeMask = 0x1F;
constexpr uint64_t kGroupCode0 = 22;
constexpr uint64_t kGroupCode1 = 24;
constexpr unsigned kLevelShift = 5;
constexpr unsigned kEnableShift = 25;
constexpr size_t kGroup0FirstPosition = 5;
constexpr size_t kGroup1FirstPosition = 0;
constexpr unsigned kCodeHighShift = 32;
constexpr uint32_t kNotConfiguredBit = 1u << 14;  // in the entry's first 16-bit field
constexpr size_t kEntryBytes = kEntrySize;

constexpr RangeRule kRanges[] = {{kCells, &msg::kLteaTxAntRange}};

struct Antenna {
  uint32_t entry_offset;
  size_t column;  // 0 main, 1 diversity
  const Message* on_empty;
};
constexpr Antenna kAntennaTable[kAntennas] = {{kAntMainEntryOffset, 0, &msg::kLteaTxAntMainEmpty},
                                              {kAntDiversityEntryOffset, 1, &msg::kLteaTxAntDivEmpty}};

constexpr size_t line_cell(size_t row, size_t column) { return kAntennas * row + column; }
constexpr uint64_t level_bit(size_t position) { return uint64_t{1} << (kLevelShift + position); }
constexpr uint64_t enable_bit(size_t position) { return uint64_t{1} << (kEnableShift + position); }

struct GroupRule {
  size_t first_row;
  size_t lines;
  size_t first_position;
  uint64_t group_code;
  const Message* on_bad;
};
constexpr GroupRule kGroups[] = {
    {0, kGpioGroup0Lines, kGroup0FirstPosition, kGroupCode0, &msg::kGpioGroup0Bad},
    {kGroup1FirstRow, kGpioGroup1Lines, kGroup1FirstPosition, kGroupCode1, &msg::kGpioGroup1Bad},
};

// The antenna's selection code: group 0 if any of its lines is driven, else
// group 1; 0 if no line is driven. Bad cells are reported and left undriven.
uint64_t antenna_code(const Cells& cells, size_t column) {
  for (const GroupRule& group : kGroups) {
    uint64_t bits = 0;
    bool driven = false;
    for (size_t r = 0; r < group.lines; ++r) {
      const size_t position = group.first_position + r;
      switch (parse_gpio_cell(cells[line_cell(group.first_row + r, column)])) {
        case GpioCell::Undriven:
          break;
        case GpioCell::High:
          bits |= level_bit(position) | enable_bit(position);
          driven = true;
          break;
        case GpioCell::Low:
          bits |= enable_bit(position);
          driven = true;
          break;
        case GpioCell::Invalid:
          show(*group.on_bad);
          break;
      }
    }
    if (driven) return bits | group.group_code;
  }
  return 0;
}

void write_tx_ant_select(const WriteArgs& args, const std::u16string& path) {
  auto ranges = take_ranges(args, msg::kLteaTxAntConfig, kRanges);
  if (!ranges) return;
  const Cells& cells = (*ranges)[0];

  LteaContext ctx;
  for (const Antenna& antenna : kAntennaTable) {
    const uint64_t code = antenna_code(cells, antenna.column);
    if (code == 0) show(*antenna.on_empty);
    put_entry(ctx.head, antenna.entry_offset,
              {static_cast<uint32_t>(code >> kCodeHighShift), static_cast<uint32_t>(code)});
  }
  const auto entry_bytes = [&](uint32_t offset) {
    return std::span<const uint8_t>(ctx.head.bytes).subspan(offset, kEntryBytes);
  };
  if (std::ranges::equal(entry_bytes(kAntMainEntryOffset), entry_bytes(kAntDiversityEntryOffset))) {
    show(msg::kLteaTxAntSame);
  }

  std::vector<NvBlock> entries;
  for (const Antenna& antenna : kAntennaTable) entries.push_back(ctx.head.slice(antenna.entry_offset, kEntryBytes));
  if (!store_blocks(path, block_refs(entries), msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

void read_tx_ant_select(ReadCells& out, const std::u16string& path) {
  LteaContext ctx;
  if (!load_nv_head(ctx.head, path, msg::kOpenFailedRead)) return;

  Cells texts(kCells, u"X");
  std::vector<int32_t> marks(kCells, kMarkPlain);
  if (out.count() != static_cast<int32_t>(kCells)) {
    show(msg::kCellCountMismatch);
    return;
  }
  for (const Antenna& antenna : kAntennaTable) {
    const ControlWordEntry entry = get_entry(ctx.head, antenna.entry_offset);
    if ((entry.kind & kNotConfiguredBit) != 0) continue;
    const uint64_t code = (uint64_t{entry.kind} << kCodeHighShift) | entry.word;
    for (const GroupRule& group : kGroups) {
      if ((code & kGroupCodeMask) != group.group_code) continue;
      for (size_t r = 0; r < group.lines; ++r) {
        const size_t position = group.first_position + r;
        if ((code & enable_bit(position)) == 0) continue;
        const size_t cell = line_cell(group.first_row + r, antenna.column);
        const bool high = (code & level_bit(position)) != 0;
        texts[cell] = high ? u"1" : u"0";
        marks[cell] = high ? kMarkHigh : kMarkLow;
      }
    }
  }
  for (size_t i = 0; i < kCells; ++i) out.assign(static_cast<int32_t>(i), texts[i], marks[i]);
}

}  // namespace
}  // namespace calvex::ltea

CALVEX_DEFINE_WRITE(SheetLteaTxAntSelectWr, calvex::ltea::write_tx_ant_select)
CALVEX_DEFINE_READ(SheetLteaTxAntSelectRd, calvex::ltea::read_tx_ant_select)
