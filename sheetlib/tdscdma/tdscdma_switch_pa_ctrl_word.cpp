// TD-SCDMA switch/PA control words: a truth table of 14 states (two groups
// of 7), each state one control word set of the TD-SCDMA form, in the area
// 580..1283. The area is always written whole; the gaps between the sets
// are zero.
#include "boundary.h"
#include "sheet_engine.h"
#include "sheets.h"
#include "tdscdma/tdscdma_ctrl_word.h"
#include "tdscdma/tdscdma_nv_map.h"

namespace calvex::tdscdma {
namespace {

constexpr uint32_t kAreaOffset = kSwitchPaAreaOffset;
constexpr size_t kAreaSize = kSwitchPaAreaSize;
constexpr size_t kGroups = kSwitchPaGroups;
constexpr size_t kStatesPerGroup = kSwitchPaStatesPerGroup;
constexpr size_t kTableColumns = kGroups * kStatesPerGroup;  // column 7 * group + state
constexpr size_t kTableCells = kTruthRows * kTableColumns;   // 266

constexpr uint32_t set_offset(size_t group, size_t state) {
  const uint32_t set = static_cast<uint32_t>(kCtrlSetSize);
  return state < kLowStates
             ? kLowStatesOffset + kLowGroupStride * static_cast<uint32_t>(group) + set * static_cast<uint32_t>(state)
             : kHighStatesOffset + kHighGroupStride * static_cast<uint32_t>(group) +
                   set * static_cast<uint32_t>(state - kLowStates);
}
static_assert(set_offset(1, 6) + kCtrlSetSize <= kAreaOffset + kAreaSize);

// The order in which the states are built (and refused): group 0 states
// 0..2, group 1 states 0..2, then group 0 states 3..6, group 1 states 3..6.
struct StateRef {
  size_t group;
  size_t state;
};
constexpr StateRef kBuildOrder[] = {{0, 0}, {0, 1}, {0, 2}, {1, 0}, {1, 1}, {1, 2}, {0, 3},
                                    {0, 4}, {0, 5}, {0, 6}, {1, 3}, {1, 4}, {1, 5}, {1, 6}};
static_assert(std::size(kBuildOrder) == kTableColumns);

void write_switch_pa(const WriteArgs& args, const std::u16string& path) {
  auto ranges = take_ranges(args, kTdscdmaSwitchPaCtrlWordSheet, NvLayout::Any);
  if (!ranges) return;
  const Cells& table = (*ranges)[0];

  NvBlock area(kAreaOffset, kAreaSize);
  for (const StateRef& ref : kBuildOrder) {
    CtrlSet set;
    if (!build_ctrl_set(kTdscdmaForm, table, kTableColumns, ref.group * kStatesPerGroup + ref.state, set)) return;
    put_ctrl_set(area, set_offset(ref.group, ref.state) - kAreaOffset, set);
  }

  if (!store_sheet_blocks(path, kTdscdmaSwitchPaCtrlWordSheet, NvLayout::Any, {&area}, msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

// Fills one state column from the set at pos of the area.
void decode_set(const NvBlock& area, size_t pos, std::vector<std::u16string>& texts, size_t column) {
  const GpioEntryForm* groups[] = {&kTdscdmaForm.group0, &kTdscdmaForm.group1};
  const size_t first_rows[] = {kTruthGroup0Row, kTruthGroup1Row};
  size_t word_rows = 0;
  for (size_t e = 0; e < kEntriesPerSet; ++e) {
    const CtrlEntry entry = get_ctrl_entry(area, pos + e * kCtrlEntrySize);
    if (entry.kind == kWordKind) {
      if (word_rows < kTruthWordRows)
        texts[(kTruthWordRow + word_rows++) * kTableColumns + column] = hex_text(entry.word);
      continue;
    }
    if (entry.kind != kGpioKind || entry.word == kEmptyWord) continue;
    for (size_t g = 0; g < kGroups; ++g) {
      if (group_tag(entry.word) != group_tag(groups[g]->tag)) continue;
      const uint32_t pattern = entry.word >> groups[g]->shift;
      // Lines whose enable bit is clear keep what they show.
      for (size_t r = 0; r < groups[g]->bits.lines; ++r) {
        const std::u16string_view line = gpio_line_text(groups[g]->bits, r, pattern);
        if (!line.empty()) texts[(first_rows[g] + r) * kTableColumns + column] = line;
      }
    }
  }
}

void read_switch_pa(ReadCells& out, const std::u16string& path) {
  NvBlock area(kAreaOffset, kAreaSize);
  load_blocks(path, NvFile::Mode::ReadOnly, {&area}, &msg::kOpenFailedRead);

  std::vector<std::u16string> texts(kTableCells, u"X");
  for (size_t g = 0; g < kGroups; ++g) {
    for (size_t j = 0; j < kStatesPerGroup; ++j) {
      decode_set(area, set_offset(g, j) - kAreaOffset, texts, g * kStatesPerGroup + j);
    }
  }

  ReadTexts cells(kTableCells, u"X", kMarkPlain);
  cells.texts = std::move(texts);
  for (size_t i = 0; i < kTableCells; ++i) cells.marks[i] = truth_cell_mark(cells.texts[i]);
  fill_read(out, cells, msg::kCellCountMismatch);
}

}  // namespace
}  // namespace calvex::tdscdma

CALVEX_DEFINE_WRITE(SheetTdscdmaSwitchPaCtrlWordWr, calvex::tdscdma::write_switch_pa)
CALVEX_DEFINE_READ(SheetTdscdmaSwitchPaCtrlWordRd, calvex::tdscdma::read_switch_pa)
