// Control words as every family stores them: the 8-byte entry, GPIO line
// cells and the group words packed from them, band lists, and the
// set-building scheme of the truth tables of 19 rows per state column.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "sheet.h"

namespace calvex {

// ---- The 8-byte entry: 32-bit kind, then 32-bit word, little-endian ----
//
// The LTE families call the kind the entry's high part H: a 16-bit value
// whose upper 16 bits are always stored 0; the word is the low part L.

inline constexpr size_t kCtrlEntrySize = 8;
inline constexpr size_t kCtrlEntryKindPos = 0;
inline constexpr size_t kCtrlEntryWordPos = 4;

struct CtrlEntry {
  uint32_t kind = 0;
  uint32_t word = 0;
};

// Stores entry at byte position pos of block.
void put_ctrl_entry(NvBlock& block, size_t pos, CtrlEntry entry);
// Loads the entry at pos, its kind from all four bytes.
CtrlEntry get_ctrl_entry(const NvBlock& block, size_t pos);
// Loads the entry at pos, its kind from the first two bytes only.
CtrlEntry get_ctrl_entry16(const NvBlock& block, size_t pos);

// ---- GPIO line cells ----

// What a cell says about one GPIO line, blanks removed: "1" drives it high,
// "0" low, "x"/"X" leaves it undriven; anything else (empty included) is bad.
enum class GpioLine { High, Low, Undriven, Bad };
GpioLine read_gpio_line(std::u16string_view text);

inline constexpr size_t kGpioGroup0Lines = 11;
inline constexpr size_t kGpioGroup1Lines = 4;

// Bit positions of a GPIO group's lines in a line pattern: line r has its
// level bit at level_bit + r and its enable bit at enable_bit + r.
struct GpioGroupBits {
  size_t lines;
  unsigned level_bit;
  unsigned enable_bit;
};

// Pattern bits of line `line` in state cell: level and enable bit for High,
// the enable bit for Low, nothing otherwise.
uint64_t gpio_line_bits(const GpioGroupBits& bits, size_t line, GpioLine cell);

// Text of line `line` decoded from a pattern: "1" for enable and level set,
// "0" for enable alone, the empty view when the enable bit is clear.
std::u16string_view gpio_line_text(const GpioGroupBits& bits, size_t line, uint64_t pattern);

// ---- GPIO group words ----
//
// A group word is Q = (pattern << 5) | code, stored as an entry with kind
// (H) = bits 32..47 and word (L) = bits 0..31 of Q.

inline constexpr unsigned kGpioWordCodeBits = 5;
inline constexpr uint64_t kGpioWordCodeMask = (uint64_t{1} << kGpioWordCodeBits) - 1;

struct GpioGroupWord {
  uint32_t code;       // bits 0..4 of Q
  GpioGroupBits bits;  // line bits within the pattern
};

// The LTE-A antenna selection words and the LTE merged layout's group words:
// GPIO_GROUP0 (code 22) and GPIO_GROUP1 (code 24).
inline constexpr GpioGroupWord kGpioGroup0Word{0x16, {kGpioGroup0Lines, 5, 25}};
inline constexpr GpioGroupWord kGpioGroup1Word{0x18, {kGpioGroup1Lines, 0, 20}};

// The entry of group word `group` with line pattern `pattern` (0: the empty
// word {0, code}).
CtrlEntry gpio_group_entry(const GpioGroupWord& group, uint64_t pattern);
// The 64-bit Q of an entry.
constexpr uint64_t gpio_group_q(CtrlEntry entry) { return (uint64_t{entry.kind} << 32) | entry.word; }

// ---- Band lists ----

// The band cells of a band list, one slot after the other.
struct BandList {
  std::vector<uint32_t> bands;  // per slot; 0 for an empty slot
  std::vector<bool> empty;      // per slot: its cell was "X" or "x"
  size_t count = 0;             // slots that are not empty
};

// Reads `slots` band cells: slot k's cell is cells[k * cells_per_slot], or
// the empty text past the end of cells. "X"/"x" (exactly) leaves the slot
// empty; any other text is read with ReadDec. Shows nothing.
BandList read_band_list(std::span<const std::u16string> cells, size_t slots, size_t cells_per_slot = 1);

// ---- Truth-table control word sets ----
//
// A truth table has 19 rows per state column: GPIO_GROUP0 lines 0..10,
// GPIO_GROUP1 lines 0..3, then up to four words. The WCDMA and TD-SCDMA
// switch/PA sheets turn a state into one set of four entries.

inline constexpr size_t kTruthGroup0Row = 0;
inline constexpr size_t kTruthGroup1Row = kTruthGroup0Row + kGpioGroup0Lines;  // 11
inline constexpr size_t kTruthWordRow = kTruthGroup1Row + kGpioGroup1Lines;    // 15
inline constexpr size_t kTruthWordRows = 4;
inline constexpr size_t kTruthRows = kTruthWordRow + kTruthWordRows;  // 19

inline constexpr size_t kEntriesPerSet = 4;
inline constexpr size_t kCtrlSetSize = kEntriesPerSet * kCtrlEntrySize;  // 32 bytes

using CtrlSet = std::array<CtrlEntry, kEntriesPerSet>;

// Stores the four entries of set from byte position pos of block.
void put_ctrl_set(NvBlock& block, size_t pos, const CtrlSet& set);

// How one GPIO group becomes an entry: word = (pattern << shift) | tag.
struct GpioEntryForm {
  GpioGroupBits bits;
  uint32_t kind;
  unsigned shift;
  uint32_t tag;
  const Message* bad_cell;  // shown when a line cell is bad; the state is refused
};

constexpr uint32_t gpio_entry_word(const GpioEntryForm& form, uint32_t pattern) {
  return (pattern << form.shift) | form.tag;
}

// When the four-entry limit is checked against the words.
enum class WordLimitCheck {
  AfterAllWords,   // every word is read, then the total is checked
  BeforeEachWord,  // a word arriving when four entries are placed is refused unread
};

// A family's entry form and the rules of its set building.
struct CtrlSetForm {
  GpioEntryForm group0;
  GpioEntryForm group1;
  uint32_t word_kind;
  CtrlEntry empty;
  const Message* too_many;
  WordLimitCheck limit_check;
};

// Builds the set of one state from column `column` of a truth table stored
// row after row with `columns` cells per row (texts as the host gave them).
// A used GPIO group (at least one line "0" or "1") gives its entry first,
// group 0 before group 1, then the words in row order (each read with
// ReadHex, a refused text counting as 0), then empty entries. A bad line
// cell or more than four entries shows the form's message and returns false.
bool build_ctrl_set(const CtrlSetForm& form, const Cells& table, size_t columns, size_t column, CtrlSet& set);

}  // namespace calvex
