// WCDMA maximum power end to end: the two switches, the enable marker, the
// band table, and the read side's use of the band count.
#include "wcdma_support.h"

using namespace cdma_test;

namespace {

constexpr size_t kHdelFlag = 76;
constexpr size_t kBandEn = 164;
constexpr size_t kTable = 168;
constexpr size_t kBandCount = 6100;
constexpr const char* kBandEnOff = "注意！您没有打开使能标志！MaxPower与Band信息已被默认置0！";

struct MaxPowSheet {
  std::string hdel_switch = "close";
  std::string hdel_word = "0x0";
  std::string band_en_switch = "close";
  std::string band_en_word = "0x0";
  std::vector<std::string> table = repeat_text("X", 16);

  std::vector<RangeTexts> ranges() const {
    return {{{hdel_switch}}, {{hdel_word}}, {{band_en_switch}}, {{band_en_word}}, {table}};
  }
};

class WcdmaMaxPow : public CdmaImageTest {
 protected:
  MaxPowSheet sheet;
  void write() { call_write(SheetWcdmaMaxPowWr, sheet.ranges(), path); }
};

TEST_F(WcdmaMaxPow, HdelFlagAloneTouchesOnlyItsWord) {
  sheet.hdel_switch = "open";
  sheet.hdel_word = "0x1122 3344";
  sheet.band_en_switch = "Open";  // not "open": BandEn fields stay
  write();
  EXPECT_EQ(log.texts(), (Messages{kBandEnOff, kDone}));
  const auto after = image();
  EXPECT_EQ(le32(after, kHdelFlag), 0x11223344u);
  EXPECT_EQ(changes_outside(before, after, {{kHdelFlag, 4}}), std::vector<size_t>{});

  const ReadResult r = call_read(SheetWcdmaMaxPowRd, 20, path);
  EXPECT_EQ(r.texts[0], "open");
  EXPECT_EQ(r.marks[0], 3);
  EXPECT_EQ(r.texts[1], "0x11223344");
  EXPECT_EQ(r.marks[1], 17);
}

TEST_F(WcdmaMaxPow, BandEnWithoutTheMarkerWritesTheWordAndAZeroTable) {
  sheet.band_en_switch = "open";
  sheet.band_en_word = "0x12345678";
  sheet.table[0] = "1";
  sheet.table[8] = "20";
  write();
  EXPECT_EQ(log.texts(), (Messages{kBandEnOff, kDone}));
  const auto after = image();
  EXPECT_EQ(le32(after, kBandEn), 0x12345678u);
  EXPECT_TRUE(all_zero(after, kTable, 32));
  EXPECT_EQ(changes_outside(before, after, {{kBandEn, 36}}), std::vector<size_t>{});

  const ReadResult r = call_read(SheetWcdmaMaxPowRd, 20, path);
  EXPECT_EQ(r.texts[2], "close");
  EXPECT_EQ(r.texts[3], "0x12345678");
}

TEST_F(WcdmaMaxPow, TheMarkerTurnsTheBandTableOn) {
  sheet.band_en_switch = "open";
  sheet.band_en_word = "0x13579BDF";
  sheet.table = {"1", "2", "70000", "X", "X", "X", "X", "X", "24", "-3", "21", "9", "9", "9", "9", "9"};
  write();
  EXPECT_EQ(log.texts(), Messages{kDone});
  const auto after = image();
  EXPECT_EQ(le32(after, kBandEn), 0x13579BDFu);
  EXPECT_EQ(std::vector<uint8_t>(after.begin() + kTable, after.begin() + kTable + 12),
            (std::vector<uint8_t>{0x01, 0x00, 0x18, 0x00, 0x02, 0x00, 0xFD, 0xFF, 0x70, 0x11, 0x15, 0x00}));
  EXPECT_TRUE(all_zero(after, kTable + 12, 20));
  EXPECT_EQ(changes_outside(before, after, {{kBandEn, 36}}), std::vector<size_t>{});

  // The read shows as many entries as the band count says.
  poke32(kBandCount, 2);
  const ReadResult r = call_read(SheetWcdmaMaxPowRd, 20, path);
  EXPECT_EQ(r.texts,
            (std::vector<std::string>{"close", r.texts[1], "open", "0x13579bdf", "1", "2", "X", "X", "X", "X",
                                      "X",     "X",        "24",   "-3",         "X", "X", "X", "X", "X", "X"}));
  EXPECT_EQ(r.marks[4], 17);
  EXPECT_EQ(r.marks[13], 17);
  EXPECT_EQ(r.marks[6], 2);
}

TEST_F(WcdmaMaxPow, AnXAmongTheFirstEntriesReadsAsZero) {
  sheet.band_en_switch = "open";
  sheet.band_en_word = "0x13579bdf";
  sheet.table = {"X", "5", "X", "X", "X", "X", "X", "X", "7", "8", "9", "9", "9", "9", "9", "9"};
  write();
  const auto after = image();
  // One band cell counts, so only entry 0 is taken: its "X" gives band 0.
  EXPECT_EQ(le32(after, kTable), 0x00070000u);
  EXPECT_TRUE(all_zero(after, kTable + 4, 28));
}

TEST_F(WcdmaMaxPow, Refusals) {
  struct Case {
    const char* rule;
    std::vector<RangeTexts> ranges;
    std::string message;
  };
  MaxPowSheet marker;
  marker.band_en_word = "0x13579BDF";  // with every band cell "X"
  const auto good = sheet.ranges();
  auto with = [&](size_t range, RangeTexts r) {
    auto ranges = good;
    ranges[range] = std::move(r);
    return ranges;
  };
  const Case cases[] = {
      {"four ranges", {good.begin(), good.begin() + 4}, "SheetWcdmaMaxPowWr参数配置有误，请确认！"},
      {"range 0", with(0, {repeat_text("open", 2)}), "HdelFlag小开关获取失败，请确认！"},
      {"range 1", with(1, {{}}), "HdelFlag使能标志获取失败，请确认！"},
      {"range 2", with(2, {repeat_text("open", 2)}), "BandEn小开关获取失败，请确认！"},
      {"range 3", with(3, {repeat_text("0", 3)}), "BandEn使能标志获取失败，请确认！"},
      {"range 4", with(4, {repeat_text("1", 15)}), "Band最大功率获取失败，请确认！"},
      {"marker without bands, switches closed", marker.ranges(), "无有效Band输入！"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    log.clear();
    call_write(SheetWcdmaMaxPowWr, c.ranges, path);
    EXPECT_EQ(log.texts(), Messages{c.message});
    EXPECT_EQ(image(), before);
  }
}

TEST_F(WcdmaMaxPow, ReadClampsTheCountAndFailsSoftly) {
  poke32(kBandCount, 9);
  const ReadResult r = call_read(SheetWcdmaMaxPowRd, 20, path);
  EXPECT_EQ(r.texts[11], std::to_string(le16(before, kTable + 28)));
  EXPECT_EQ(r.texts[19], std::to_string(le16s(before, kTable + 30)));
  EXPECT_EQ(log.texts(), Messages{});
}

}  // namespace
