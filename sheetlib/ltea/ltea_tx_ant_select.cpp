// LTE-A TX antenna select sheet: for the main and the diversity antenna the
// level of each GPIO line, 15 rows x 2 columns (cell 2i main, 2i + 1
// diversity; rows 0..10 GPIO_GROUP0 lines, rows 11..14 GPIO_GROUP1 lines).
// Each antenna becomes one antenna selection entry holding a GPIO group word
// (core/ctrl_word.h): GPIO_GROUP0 if any of its lines is driven, else
// GPIO_GROUP1; the empty entry when no line is driven.
#include <algorithm>

#include "boundary.h"
#include "ctrl_word.h"
#include "ltea/ltea_nv_map.h"
#include "sheet_engine.h"
#include "sheets.h"

namespace calvex::ltea {
namespace {

constexpr size_t kAntennas = 2;  // main, diversity
constexpr size_t kLineRows = kGpioGroup0Lines + kGpioGroup1Lines;
constexpr size_t kCells = kAntennas * kLineRows;  // 30
constexpr uint32_t kNotConfiguredBit = 1u << 14;  // in the entry's 16-bit kind

struct Antenna {
  uint32_t entry_offset;
  size_t column;  // 0 main, 1 diversity
  const Message* on_empty;
};
constexpr Antenna kAntennaTable[kAntennas] = {{kAntMainEntryOffset, 0, &msg::kLteaTxAntMainEmpty},
                                              {kAntDiversityEntryOffset, 1, &msg::kLteaTxAntDivEmpty}};

constexpr size_t line_cell(size_t row, size_t column) { return kAntennas * row + column; }

struct GroupRule {
  size_t first_row;
  const GpioGroupWord* word;
  const Message* on_bad;
};
constexpr GroupRule kGroups[] = {
    {0, &kGpioGroup0Word, &msg::kGpioGroup0Bad},
    {kGpioGroup0Lines, &kGpioGroup1Word, &msg::kGpioGroup1Bad},
};

// The antenna's entry: the first group with a driven line. Bad cells are
// reported and left undriven.
CtrlEntry antenna_entry(const Cells& cells, size_t column) {
  for (const GroupRule& group : kGroups) {
    uint64_t pattern = 0;
    bool driven = false;
    for (size_t r = 0; r < group.word->bits.lines; ++r) {
      const GpioLine cell = read_gpio_line(cells[line_cell(group.first_row + r, column)]);
      if (cell == GpioLine::Bad) show(*group.on_bad);
      if (cell == GpioLine::High || cell == GpioLine::Low) driven = true;
      pattern |= gpio_line_bits(group.word->bits, r, cell);
    }
    if (driven) return gpio_group_entry(*group.word, pattern);
  }
  return {};
}

void write_tx_ant_select(const WriteArgs& args, const std::u16string& path) {
  auto ranges = take_ranges(args, kLteaTxAntSelectSheet, NvLayout::Any);
  if (!ranges) return;
  const Cells& cells = (*ranges)[0];

  std::vector<NvBlock> entries;
  for (const Antenna& antenna : kAntennaTable) {
    const CtrlEntry entry = antenna_entry(cells, antenna.column);
    if (entry.kind == 0 && entry.word == 0) show(*antenna.on_empty);
    entries.emplace_back(antenna.entry_offset, kCtrlEntrySize);
    put_ctrl_entry(entries.back(), 0, entry);
  }
  if (std::ranges::equal(entries[0].bytes, entries[1].bytes)) show(msg::kLteaTxAntSame);

  if (!store_sheet_blocks(path, kLteaTxAntSelectSheet, NvLayout::Any, block_refs(entries), msg::kOpenFailedWrite))
    return;
  show(msg::kDone);
}

void read_tx_ant_select(ReadCells& out, const std::u16string& path) {
  NvBlock head(0, kHeadSize);
  if (!load_blocks(path, NvFile::Mode::ReadOnly, {&head}, &msg::kOpenFailedRead)) return;

  ReadTexts cells(kCells, u"X", kMarkPlain);
  for (const Antenna& antenna : kAntennaTable) {
    const CtrlEntry entry = get_ctrl_entry16(head, antenna.entry_offset);
    if ((entry.kind & kNotConfiguredBit) != 0) continue;
    const uint64_t q = gpio_group_q(entry);
    for (const GroupRule& group : kGroups) {
      if ((q & kGpioWordCodeMask) != group.word->code) continue;
      const uint64_t pattern = q >> kGpioWordCodeBits;
      for (size_t r = 0; r < group.word->bits.lines; ++r) {
        const std::u16string_view line = gpio_line_text(group.word->bits, r, pattern);
        if (!line.empty()) cells.set(line_cell(group.first_row + r, antenna.column), line, truth_cell_mark(line));
      }
    }
  }
  fill_read(out, cells, msg::kCellCountMismatch);
}

}  // namespace
}  // namespace calvex::ltea

CALVEX_DEFINE_WRITE(SheetLteaTxAntSelectWr, calvex::ltea::write_tx_ant_select)
CALVEX_DEFINE_READ(SheetLteaTxAntSelectRd, calvex::ltea::read_tx_ant_select)
