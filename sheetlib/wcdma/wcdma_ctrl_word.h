// WCDMA control word entries and the set-building scheme of the switch/PA
// truth tables. The TD-SCDMA switch/PA sheet builds its sets with the same
// scheme and its own entry form (tdscdma_ctrl_word.h).
//
// A truth table has 19 rows per state column: GPIO_GROUP0 lines 0..10,
// GPIO_GROUP1 lines 0..3, then up to four hexadecimal words. A state becomes
// one control word set: four 8-byte entries {32-bit kind, 32-bit word}.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sheet.h"

namespace calvex::wcdma {

// ---- Truth table rows ----
inline constexpr size_t kGpioGroup0Row = 0;
inline constexpr size_t kGpioGroup0Lines = 11;
inline constexpr size_t kGpioGroup1Row = 11;
inline constexpr size_t kGpioGroup1Lines = 4;
inline constexpr size_t kHexWordRow = 15;
inline constexpr size_t kHexWordRows = 4;
inline constexpr size_t kTruthTableRows = 19;
static_assert(kGpioGroup1Row == kGpioGroup0Row + kGpioGroup0Lines);
static_assert(kHexWordRow == kGpioGroup1Row + kGpioGroup1Lines);
static_assert(kTruthTableRows == kHexWordRow + kHexWordRows);

// ---- Control word entries and sets ----
inline constexpr size_t kEntrySize = 8;
inline constexpr size_t kEntryKindPos = 0;
inline constexpr size_t kEntryWordPos = 4;
inline constexpr size_t kEntriesPerSet = 4;
inline constexpr size_t kSetSize = kEntrySize * kEntriesPerSet;  // 32 bytes

struct CtrlWordEntry {
  uint32_t kind;
  uint32_t word;
};
using CtrlWordSet = std::array<CtrlWordEntry, kEntriesPerSet>;

// Stores / loads one entry at byte position pos of a staged block.
void put_entry(NvBlock& block, size_t pos, const CtrlWordEntry& entry);
CtrlWordEntry get_entry(const NvBlock& block, size_t pos);
// Stores the four entries of a set from byte position pos.
void put_set(NvBlock& block, size_t pos, const CtrlWordSet& set);

// ---- GPIO lines ----

// What a truth table cell says about one GPIO line, blanks removed: "1"
// drives it high, "0" low, "x"/"X" leaves it undriven; anything else
// (the empty text included) is bad.
enum class LineCell { High, Low, Undriven, Bad };
LineCell read_line_cell(std::u16string_view text);

// Bit positions of a GPIO group's lines in its pattern: line r has its
// level bit at level_bit + r and its enable bit at enable_bit + r.
struct GpioGroupBits {
  size_t lines;
  unsigned level_bit;
  unsigned enable_bit;
};

// The WCDMA line patterns, which are also the stored words (switch/PA sheet
// and antenna exchange sheet).
inline constexpr GpioGroupBits kGroup0Bits{kGpioGroup0Lines, 2, 18};
inline constexpr GpioGroupBits kGroup1Bits{kGpioGroup1Lines, 0, 16};

// Pattern bits of line r in the given cell state: level and enable bit for
// High, the enable bit for Low, nothing otherwise.
uint32_t line_bits(const GpioGroupBits& bits, size_t line, LineCell cell);

// Text of line r decoded from a stored pattern: "1" for enable and level set,
// "0" for enable alone, nothing (empty view) when the enable bit is clear.
std::u16string_view line_text(const GpioGroupBits& bits, size_t line, uint32_t pattern);

// Display mark of a read-back truth table cell: 3 for "1", 6 for "0", 2 otherwise.
int32_t truth_cell_mark(std::u16string_view text);

// ---- Entry forms and the set-building scheme ----

// How one GPIO group becomes an entry: word = (pattern << shift) | tag.
struct GpioEntryForm {
  GpioGroupBits bits;
  uint32_t kind;
  unsigned shift;
  uint32_t tag;
  const Message* bad_cell;  // shown when a line cell is bad; the state is refused
};

// When the four-entry limit is checked against the hexadecimal words.
enum class WordLimitCheck {
  AfterAllWords,   // every word is read, then the total is checked
  BeforeEachWord,  // a word arriving when four entries are placed is refused unread
};

// A family's control word entry form and the rules of its set building.
struct CtrlWordForm {
  GpioEntryForm group0;
  GpioEntryForm group1;
  uint32_t hex_kind;
  CtrlWordEntry empty;
  const Message* too_many;
  WordLimitCheck limit_check;
};

// Stored word of a GPIO group entry built from a pattern.
constexpr uint32_t gpio_entry_word(const GpioEntryForm& form, uint32_t pattern) {
  return (pattern << form.shift) | form.tag;
}

// The WCDMA form: kinds 1 and 2 hold the patterns as they are, kind 15 a
// hexadecimal word, the empty entry is {1, 0}.
extern const CtrlWordForm kWcdmaForm;

// Builds the set of one state from column `column` of a truth table stored
// row after row with `columns` cells per row (texts as the host gave them).
// A used GPIO group (at least one line "0" or "1") gives its entry first,
// group 0 before group 1, then the hexadecimal words in row order (each
// read with ReadHex, a refused text counting as 0), then empty entries.
// A bad line cell or more than four entries shows the form's message and
// returns false; the caller then abandons the write.
bool build_ctrl_word_set(const CtrlWordForm& form, const Cells& table, size_t columns, size_t column, CtrlWordSet& set);

}  // namespace calvex::wcdma
