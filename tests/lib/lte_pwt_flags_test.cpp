// SheetLtePwtAndOtherFlags end to end: items written only when switched
// "open", the PWT words, the fixed offsets whatever the layout switch says.
#include <gtest/gtest.h>

#include <filesystem>

#include "lte_support.h"

using namespace lte_test;

namespace {

constexpr size_t k2R1TFlagOffset = 0x1792;
constexpr size_t kTxNvFlagOffset = 0x17A0;
constexpr size_t kAptFlagOffset = 0x17A4;
constexpr size_t kPwtEnOffset = 0x17A6;
constexpr size_t kPwtWordAOffset = 0x17A8;
constexpr size_t kPwtWordBOffset = 0x17B0;
constexpr size_t kPwtEnd = 0x17B8;

struct PwtSheet {
  std::string switch_2r1t = "open", flag_2r1t = "-2";
  std::string switch_tx = "open", flag_tx = "12 34";
  std::string switch_apt = "open", flag_apt = "0x1ABCD";
  std::string switch_pwt = "open", pwt_en = "1";
  Texts table = repeat_text("X", 22);

  std::vector<RangeTexts> ranges() const {
    return {{{switch_2r1t}}, {{flag_2r1t}},  {{switch_tx}}, {{flag_tx}}, {{switch_apt}},
            {{flag_apt}},    {{switch_pwt}}, {{pwt_en}},    {table}};
  }
};

// Control word entry bytes: H, 16 zero bits, L.
Bytes entry(uint16_t high, uint32_t low) {
  Bytes bytes(8, 0);
  put_le16(bytes, 0, high);
  put_le32(bytes, 4, low);
  return bytes;
}

Bytes slice(const Bytes& image, size_t offset, size_t size) {
  return Bytes(image.begin() + static_cast<ptrdiff_t>(offset), image.begin() + static_cast<ptrdiff_t>(offset + size));
}

class LtePwtFlags : public LteTest {};

TEST_F(LtePwtFlags, WritesEveryOpenItemAtItsOffset) {
  PwtSheet sheet;
  sheet.flag_2r1t = "- 2";  // blanks removed before the decimal read
  sheet.pwt_en = " 1 ";
  sheet.table[0] = "1";  // word A line 0 high
  for (int32_t layout : {0, 1}) {
    SCOPED_TRACE(layout);
    SetLteVersion(layout);  // the sheet ignores the layout switch
    write_file(image, before);
    EXPECT_EQ(write(SheetLtePwtAndOtherFlags, sheet.ranges()), done());
    const Bytes after = read_file(image);
    EXPECT_EQ(slice(after, k2R1TFlagOffset, 2), (Bytes{0xFE, 0xFF}));
    EXPECT_EQ(slice(after, kTxNvFlagOffset, 4), (Bytes{0x34, 0x12, 0x00, 0x00}));  // blank removed
    EXPECT_EQ(slice(after, kAptFlagOffset, 2), (Bytes{0xCD, 0xAB}));               // low 16 bits
    EXPECT_EQ(slice(after, kPwtEnOffset, 2), (Bytes{0x01, 0x00}));
    // W = (1 << 0) | (1 << 20): Q = 0x02000034. Word B is the empty Group2 word.
    EXPECT_EQ(slice(after, kPwtWordAOffset, 8), entry(0, 0x02000034));
    EXPECT_EQ(slice(after, kPwtWordBOffset, 8), entry(0, 0x14));
    // Nothing else, and no spare block clearing in either layout.
    EXPECT_EQ(changes_outside(before, after, {{k2R1TFlagOffset, 2}, {kTxNvFlagOffset, kPwtEnd - kTxNvFlagOffset}}),
              std::vector<size_t>{});
  }
}

TEST_F(LtePwtFlags, PwtWordsInterleaveTheTableCells) {
  struct Case {
    const char* name;
    size_t cell;
    std::string text;
    Bytes word_a, word_b;
  };
  const Case cases[] = {
      {"cell 21 '0': mask bit 30 of word B becomes bit 35 of Q", 21, "0", entry(0, 0x14), entry(0x0008, 0x14)},
      {"cell 20 ' 1 ': line 10 of word A, blanks removed", 20, " 1 ", entry(0x0008, 0x00008014), entry(0, 0x14)},
      {"cell 3 '1': line 1 of word B", 3, "1", entry(0, 0x14), entry(0, 0x04000054)},
      {"cell 0 '-': not driven", 0, "-", entry(0, 0x14), entry(0, 0x14)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PwtSheet sheet;
    sheet.table[c.cell] = c.text;
    write_file(image, before);
    EXPECT_EQ(write(SheetLtePwtAndOtherFlags, sheet.ranges()), done());
    const Bytes after = read_file(image);
    EXPECT_EQ(slice(after, kPwtWordAOffset, 8), c.word_a);
    EXPECT_EQ(slice(after, kPwtWordBOffset, 8), c.word_b);
  }
}

TEST_F(LtePwtFlags, PwtNotEnabledWritesZeroWords) {
  for (const char* en : {"0", "", "11", "X"}) {
    SCOPED_TRACE(en);
    PwtSheet sheet;
    sheet.pwt_en = en;
    sheet.table = repeat_text("1", 22);
    write_file(image, before);
    EXPECT_EQ(write(SheetLtePwtAndOtherFlags, sheet.ranges()), done());
    EXPECT_EQ(slice(read_file(image), kPwtEnOffset, kPwtEnd - kPwtEnOffset), Bytes(kPwtEnd - kPwtEnOffset, 0));
  }
}

TEST_F(LtePwtFlags, OnlyExactlyOpenSwitchesAnItemOn) {
  PwtSheet sheet;
  sheet.switch_2r1t = "Open";
  sheet.switch_tx = " open";
  sheet.switch_apt = "";
  sheet.switch_pwt = "close";
  EXPECT_EQ(write(SheetLtePwtAndOtherFlags, sheet.ranges()), done());
  EXPECT_EQ(read_file(image), before);

  // A bad hexadecimal flag is reported even when its item is off.
  sheet.flag_tx = "G";
  EXPECT_EQ(write(SheetLtePwtAndOtherFlags, sheet.ranges()), (Texts{"非16进制数！", "修改完成！"}));
  EXPECT_EQ(read_file(image), before);

  // Only the one open item.
  sheet.switch_apt = "open";
  sheet.flag_apt = "123456789";
  EXPECT_EQ(write(SheetLtePwtAndOtherFlags, sheet.ranges()), (Texts{"非16进制数！", "字符长度超过8！", "修改完成！"}));
  EXPECT_EQ(changes_outside(before, read_file(image), {{kAptFlagOffset, 2}}), std::vector<size_t>{});
  EXPECT_EQ(le16(read_file(image), kAptFlagOffset), 0u);
}

TEST_F(LtePwtFlags, RangeAndCellCountRefusals) {
  const char* const names[] = {
      "2R1TFlagSwitch",   "2R1TFlag",    "TxNvFlagSwitch", "TxNvFlag", "AptUseJ11PinFlagSwitch",
      "AptUseJ11PinFlag", "PwtEnSwitch", "PwtEn",          "PwtTable"};
  for (size_t i = 0; i < std::size(names); ++i) {
    SCOPED_TRACE(names[i]);
    auto ranges = PwtSheet{}.ranges();
    ranges[i].cells.push_back("1");
    EXPECT_EQ(write(SheetLtePwtAndOtherFlags, ranges), Texts{std::string(names[i]) + "获取失败，请确认！"});
  }
  auto ranges = PwtSheet{}.ranges();
  ranges.pop_back();
  EXPECT_EQ(write(SheetLtePwtAndOtherFlags, ranges), Texts{"SheetLtePwt参数配置有误，请确认！"});
  EXPECT_EQ(read_file(image), before);

  MessageLog log;
  const std::string missing = dir.file("missing.bin");
  call_write(SheetLtePwtAndOtherFlags, PwtSheet{}.ranges(), missing);
  EXPECT_EQ(log.texts(), Texts{"文件打开失败！"});
  EXPECT_FALSE(std::filesystem::exists(missing));
}

}  // namespace
