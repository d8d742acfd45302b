// GSM switch/PA control word sheet: a truth table of 13 radio states x 11
// control lines with two control words per state, the 4G-PA-off word and
// five PA/switch configuration numbers, packed into four NV blocks.
#include <array>

#include "boundary.h"
#include "gsm/gsm_nv_map.h"
#include "sheet_engine.h"
#include "sheets.h"

namespace calvex::gsm {
namespace {

constexpr size_t kStates = 13;
constexpr size_t kTruthColumns = 15;  // 11 lines, 2 words, 2 unused columns
constexpr size_t kWord1Column = 11;
constexpr size_t kWord2Column = 12;
constexpr size_t kTruthCells = kStates * kTruthColumns;
constexpr size_t kConfigNumbers = 5;

// Control words of the truth table are stored with this bit set; the
// 4G-PA-off word is stored as it stands.
constexpr uint32_t kCtrlWordFlag = 0x200000;

constexpr size_t kPaOffIndex = 19;  // in the control word block

// Configuration block: c1 at index 2, c0 at index 3, flags word at index 4.
constexpr size_t kConfigC1Index = 2;
constexpr size_t kConfigC0Index = 3;
constexpr size_t kConfigFlagsIndex = 4;
constexpr unsigned kConfigC3Shift = 1;
constexpr unsigned kConfigC4Shift = 16;

constexpr int32_t kSheetCells = 1 + kConfigNumbers + kTruthCells;

enum class TruthBlock : uint8_t { A, B };
constexpr int8_t kNoWord = -1;

// Where each state's line mask and control words live: truth block and u16
// index, control word block index of the column-11 word and of the column-12
// word (states 0-3 have no second word).
struct StateSlots {
  TruthBlock truth_block;
  uint8_t truth_index;
  uint8_t word1_index;
  int8_t word2_index;
};

constexpr std::array<StateSlots, kStates> kStateSlots = {{
    {TruthBlock::A, 0, 0, kNoWord},
    {TruthBlock::A, 2, 1, kNoWord},
    {TruthBlock::A, 4, 2, kNoWord},
    {TruthBlock::A, 6, 3, kNoWord},
    {TruthBlock::B, 0, 4, 9},
    {TruthBlock::B, 1, 5, 10},
    {TruthBlock::B, 2, 6, 11},
    {TruthBlock::B, 3, 7, 12},
    {TruthBlock::B, 4, 20, 13},
    {TruthBlock::B, 5, 21, 14},
    {TruthBlock::B, 6, 22, 15},
    {TruthBlock::B, 7, 23, 16},
    {TruthBlock::A, 8, 8, 17},
}};

// The four blocks of the sheet staged in memory.
struct SwitchPaBlocks {
  NvBlock truth_a{kGsmBlocks.truth_a_offset, kTruthBlockASize};
  NvBlock truth_b{kGsmBlocks.truth_b_offset, kTruthBlockBSize};
  NvBlock config{kGsmBlocks.pa_config_offset, kPaConfigSize};
  NvBlock words{kGsmBlocks.ctrl_word_offset, kCtrlWordSize};

  NvBlock& truth(TruthBlock b) { return b == TruthBlock::A ? truth_a : truth_b; }
  const NvBlock& truth(TruthBlock b) const { return b == TruthBlock::A ? truth_a : truth_b; }
};

size_t truth_cell(size_t state, size_t column) { return state * kTruthColumns + column; }

void write_switch_pa(const WriteArgs& args, const std::u16string& path) {
  auto cells = take_ranges(args, kGsmSwitchPaCtrlWordSheet, NvLayout::Any);
  if (!cells) return;
  const Cells& pa_off = (*cells)[0];
  const Cells& config = (*cells)[1];
  const Cells& truth = (*cells)[2];

  SwitchPaBlocks blocks;
  for (size_t r = 0; r < kStates; ++r) {
    const auto row = std::span<const std::u16string>(truth).subspan(truth_cell(r, 0), kTruthRowCells);
    const StateSlots& slots = kStateSlots[r];
    blocks.truth(slots.truth_block).put16(slots.truth_index * 2u, ReadTruthRow(row));
  }

  const auto c = [&](size_t i) { return static_cast<uint32_t>(ReadDec(config[i])); };
  const uint32_t c0 = c(0), c1 = c(1), c2 = c(2), c3 = c(3), c4 = c(4);
  blocks.config.put32(kConfigC1Index * 4, c1);
  blocks.config.put32(kConfigC0Index * 4, c0);
  blocks.config.put32(kConfigFlagsIndex * 4, c2 | (c3 << kConfigC3Shift) | (c4 << kConfigC4Shift));

  // All column-11 words first, then all column-12 words: the order in which
  // a bad cell's message appears. Column 12 of states 0-3 is read but unused.
  for (size_t r = 0; r < kStates; ++r) {
    const uint32_t word = ReadHexOrX(truth[truth_cell(r, kWord1Column)]);
    blocks.words.put32(kStateSlots[r].word1_index * 4u, word | kCtrlWordFlag);
  }
  for (size_t r = 0; r < kStates; ++r) {
    const uint32_t word = ReadHexOrX(truth[truth_cell(r, kWord2Column)]);
    if (kStateSlots[r].word2_index != kNoWord) {
      blocks.words.put32(static_cast<size_t>(kStateSlots[r].word2_index) * 4u, word | kCtrlWordFlag);
    }
  }
  blocks.words.put32(kPaOffIndex * 4, ReadHexOrX(pa_off[0]));

  if (!store_sheet_blocks(path, kGsmSwitchPaCtrlWordSheet, NvLayout::Any,
                          {&blocks.truth_a, &blocks.truth_b, &blocks.config, &blocks.words}, msg::kOpenFailedWrite))
    return;
  show(msg::kDone);
}

void read_switch_pa(ReadCells& out, const std::u16string& path) {
  SwitchPaBlocks blocks;
  load_blocks(path, NvFile::Mode::ReadOnly, {&blocks.truth_a, &blocks.config, &blocks.words, &blocks.truth_b},
              &msg::kOpenFailedRead);

  std::vector<std::u16string> truth(kTruthCells, u"X");
  for (size_t r = 0; r < kStates; ++r) {
    const StateSlots& slots = kStateSlots[r];
    const uint32_t mask = blocks.truth(slots.truth_block).get16(slots.truth_index * 2u);
    for (size_t i = 0; i < kTruthRowCells; ++i) truth[truth_cell(r, i)] = dec_text((mask >> i) & 1u);
    truth[truth_cell(r, kWord1Column)] = hex_text(blocks.words.get32(slots.word1_index * 4u) & kCtrlWordPayloadMax);
    if (slots.word2_index != kNoWord) {
      truth[truth_cell(r, kWord2Column)] =
          hex_text(blocks.words.get32(static_cast<size_t>(slots.word2_index) * 4u) & kCtrlWordPayloadMax);
    }
  }

  const uint32_t flags = blocks.config.get32(kConfigFlagsIndex * 4);
  std::vector<std::u16string> texts;
  texts.reserve(kSheetCells);
  texts.push_back(hex_text(blocks.words.get32(kPaOffIndex * 4)));
  texts.push_back(dec_text(blocks.config.get32s(kConfigC0Index * 4)));
  texts.push_back(dec_text(blocks.config.get32s(kConfigC1Index * 4)));
  texts.push_back(dec_text(flags & 1u));
  texts.push_back(dec_text((flags >> kConfigC3Shift) & 1u));
  texts.push_back(dec_text((flags >> kConfigC4Shift) & kConfigC4Max));
  texts.insert(texts.end(), truth.begin(), truth.end());

  fill_read(out, texts, kMarkPlain, msg::kCellCountMismatch);
}

}  // namespace
}  // namespace calvex::gsm

CALVEX_DEFINE_WRITE(SheetGsmSwitchPaCtrlWordWr, calvex::gsm::write_switch_pa)
CALVEX_DEFINE_READ(SheetGsmSwitchPaCtrlWordRd, calvex::gsm::read_switch_pa)
