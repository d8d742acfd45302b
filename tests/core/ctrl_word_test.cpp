// The control word module: entry bytes, GPIO group words, band lists and the
// four-entry limit of the set building, each from a table of cases.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ctrl_word.h"
#include "sink.h"
#include "text.h"

namespace {

using namespace calvex;

// Captures the catalogue names of the messages shown while it lives.
class Capture {
 public:
  Capture() : scope_(&Capture::observe, this) {}
  std::vector<std::string> names;

 private:
  static void observe(const Message& entry, std::u16string_view, void* context) {
    static_cast<Capture*>(context)->names.emplace_back(message_name(entry.id));
  }
  ScopedMessageObserver scope_;
};

std::vector<uint8_t> entry_bytes(CtrlEntry entry) {
  NvBlock block(0, kCtrlEntrySize);
  put_ctrl_entry(block, 0, entry);
  return block.bytes;
}

TEST(CtrlEntry, BytesAndSixteenBitKind) {
  EXPECT_EQ(entry_bytes({0x1234, 0x89ABCDEF}),
            (std::vector<uint8_t>{0x34, 0x12, 0x00, 0x00, 0xEF, 0xCD, 0xAB, 0x89}));
  NvBlock block(0, kCtrlEntrySize);
  block.bytes = {0x02, 0x00, 0x77, 0x66, 0x01, 0x00, 0x00, 0x00};
  EXPECT_EQ(get_ctrl_entry(block, 0).kind, 0x66770002u);  // all four bytes
  EXPECT_EQ(get_ctrl_entry16(block, 0).kind, 0x0002u);    // the 16-bit kind ignores bytes 2 and 3
  EXPECT_EQ(get_ctrl_entry16(block, 0).word, 1u);
}

struct GroupWordCase {
  const GpioGroupWord* group;
  std::vector<std::u16string> lines;  // cell texts of lines 0, 1, ...
  CtrlEntry expected;
  const char* rule;
};

// Q = (pattern << 5) | code: kind = Q bits 32..47, word = Q bits 0..31.
TEST(GpioGroupWord, Table) {
  const std::vector<std::u16string> group0_line10_high = {u"X", u"X", u"X", u"X", u"X", u"X",
                                                          u"X", u"X", u"X", u"X", u"1"};
  const GroupWordCase cases[] = {
      {&kGpioGroup0Word, {u"X"}, {0, 0x16}, "no line driven: the empty word keeps its code"},
      {&kGpioGroup0Word, {u"1"}, {0, 0x40000416}, "line 0 high: level bit 10, enable bit 30"},
      {&kGpioGroup0Word, {u" 0 "}, {0, 0x40000016}, "line 0 low, blanks ignored: enable bit only"},
      {&kGpioGroup0Word, group0_line10_high, {0x100, 0x00100016}, "line 10: enable bit 40 lands in the kind"},
      {&kGpioGroup1Word, {u"0", u"1"}, {0, 0x06000058}, "GPIO_GROUP1: line 0 low (enable bit 25), line 1 high (level bit 6, enable bit 26)"},
      {&kGpioGroup1Word, {u"2", u""}, {0, 0x18}, "bad and empty cells drive nothing"},
  };
  for (const GroupWordCase& c : cases) {
    uint64_t pattern = 0;
    for (size_t line = 0; line < c.lines.size(); ++line) {
      pattern |= gpio_line_bits(c.group->bits, line, read_gpio_line(c.lines[line]));
    }
    const CtrlEntry entry = gpio_group_entry(*c.group, pattern);
    EXPECT_EQ(entry.kind, c.expected.kind) << c.rule;
    EXPECT_EQ(entry.word, c.expected.word) << c.rule;
  }
}

TEST(BandList, SlotsPastTheCellsAndTheXMark) {
  const std::vector<std::u16string> cells = {u"3", u"X", u" x", u"", u"-7"};
  const BandList list = read_band_list(cells, 7);
  EXPECT_EQ(list.bands, (std::vector<uint32_t>{3, 0, 0, 0, static_cast<uint32_t>(-7), 0, 0}));
  // Only "X"/"x" exactly is empty; a blank or missing cell is band 0 and counts.
  EXPECT_EQ(list.empty, (std::vector<bool>{false, true, false, false, false, false, false}));
  EXPECT_EQ(list.count, 6u);

  // Four cells per slot: slot k's band is cell 4k.
  const std::vector<std::u16string> info = {u"40", u"1", u"2", u"3", u"x", u"9", u"9", u"9"};
  const BandList wide = read_band_list(info, 2, 4);
  EXPECT_EQ(wide.bands, (std::vector<uint32_t>{40, 0}));
  EXPECT_EQ(wide.count, 1u);
}

struct LimitCase {
  WordLimitCheck check;
  std::vector<std::string> messages;
  const char* rule;
};

// Both GPIO groups used and three words, the last one not hexadecimal: five
// entries for four places.
TEST(CtrlSet, FourEntryLimit) {
  const CtrlSetForm base{
      .group0 = {{kGpioGroup0Lines, 0, 16}, 1, 0, 0, &msg::kGpioGroup0Bad},
      .group1 = {{kGpioGroup1Lines, 0, 16}, 2, 0, 0, &msg::kGpioGroup1Bad},
      .word_kind = 15,
      .empty = {1, 0},
      .too_many = &msg::kWcdmaTooManyWords,
      .limit_check = WordLimitCheck::AfterAllWords,
  };
  Cells table(kTruthRows, u"X");
  table[kTruthGroup0Row] = u"1";
  table[kTruthGroup1Row] = u"0";
  table[kTruthWordRow] = u"0x11";
  table[kTruthWordRow + 1] = u"0x22";
  table[kTruthWordRow + 2] = u"zz";

  const LimitCase cases[] = {
      {WordLimitCheck::AfterAllWords, {"kNotHex", "kWcdmaTooManyWords"}, "every word is read, then refused"},
      {WordLimitCheck::BeforeEachWord, {"kWcdmaTooManyWords"}, "the fifth entry is refused unread"},
  };
  for (const LimitCase& c : cases) {
    CtrlSetForm form = base;
    form.limit_check = c.check;
    CtrlSet set{};
    Capture capture;
    EXPECT_FALSE(build_ctrl_set(form, table, 1, 0, set)) << c.rule;
    EXPECT_EQ(capture.names, c.messages) << c.rule;
  }

  // Four entries fit: group 0, group 1, then the words in row order.
  table[kTruthWordRow + 2] = u"X";
  CtrlSet set{};
  Capture capture;
  ASSERT_TRUE(build_ctrl_set(base, table, 1, 0, set));
  EXPECT_TRUE(capture.names.empty());
  EXPECT_EQ(set[0].kind, 1u);
  EXPECT_EQ(set[0].word, 0x10001u);
  EXPECT_EQ(set[1].kind, 2u);
  EXPECT_EQ(set[1].word, 0x10000u);
  EXPECT_EQ(set[2].word, 0x11u);
  EXPECT_EQ(set[3].word, 0x22u);
  EXPECT_EQ(set[3].kind, 15u);
}

}  // namespace
