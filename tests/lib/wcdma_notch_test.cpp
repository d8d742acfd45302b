// WCDMA notch filter end to end: the count rules, the parameter table and
// the read-back of the points the stored count covers.
#include "wcdma_support.h"

using namespace cdma_test;

namespace {

constexpr size_t kCount = 80;
constexpr size_t kTable = 84;
constexpr const char* kParamMissing = "干扰点参数与干扰点数目不符，请确认！";

class WcdmaNotch : public CdmaImageTest {
 protected:
  std::vector<std::string> params = repeat_text("X", 20);
  void write(const std::string& count) { call_write(SheetWcdmaNotchWr, {{{count}}, {params}}, path); }
};

TEST_F(WcdmaNotch, WritesTheCountAndTheWholeTable) {
  params[0] = "10700";
  params[1] = "-3";
  params[2] = "10750";
  params[3] = "5";
  write("2");
  EXPECT_EQ(log.texts(), Messages{kDone});  // the "X" cells lie beyond the count
  const auto after = image();
  EXPECT_EQ(std::vector<uint8_t>(after.begin() + kCount, after.begin() + kTable + 16),
            (std::vector<uint8_t>{0x02, 0x00, 0x00, 0x00, 0xCC, 0x29, 0x00, 0x00, 0xFD, 0xFF,
                                  0xFF, 0xFF, 0xFE, 0x29, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00}));
  EXPECT_TRUE(all_zero(after, kTable + 16, 64));
  EXPECT_EQ(changes_outside(before, after, {{kCount, 84}}), std::vector<size_t>{});

  const ReadResult r = call_read(SheetWcdmaNotchRd, 21, path);
  EXPECT_EQ(r.texts, (std::vector<std::string>{"2", "10700", "-3", "10750", "5", "X", "X", "X", "X", "X", "X",
                                               "X", "X",     "X",  "X",     "X", "X", "X", "X", "X", "X"}));
  EXPECT_EQ(r.marks[0], 17);
  EXPECT_EQ(r.marks[1], 17);
  EXPECT_EQ(r.marks[2], 3);
  EXPECT_EQ(r.marks[5], 2);
}

TEST_F(WcdmaNotch, AnXWithinTheCountWarnsAndStoresZero) {
  params[0] = "-1";  // unsigned parsing: 0xFFFFFFFF
  params[1] = "x";
  write("1");
  EXPECT_EQ(log.texts(), (Messages{kParamMissing, kDone}));
  const auto after = image();
  EXPECT_EQ(le32(after, kTable), 0xFFFFFFFFu);
  EXPECT_EQ(le32(after, kTable + 4), 0u);
  const ReadResult r = call_read(SheetWcdmaNotchRd, 21, path);
  EXPECT_EQ(r.texts[1], "4294967295");
}

TEST_F(WcdmaNotch, CountRules) {
  struct Case {
    const char* rule;
    std::string count;
    Messages messages;
    bool written;
  };
  const Case cases[] = {
      {"the text 0 is refused", "0", {"干扰点的数目不能为0，请确认！"}, false},
      {"00 stores a count of 0", "00", {kDone}, true},
      {"0 behind a blank stores 0", " 0", {kDone}, true},
      {"above the 10 points", "11", {"干扰点的数目超出范围，请确认！"}, false},
      {"far above", "50", {"干扰点的数目超出范围，请确认！"}, false},
      {"negative", "-1", {"干扰点的数目超出范围，请确认！"}, false},
  };
  params = repeat_text("7", 20);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    write_file(path, before);
    log.clear();
    write(c.count);
    EXPECT_EQ(log.texts(), c.messages);
    const auto after = image();
    if (c.written) {
      EXPECT_TRUE(all_zero(after, kCount, 84));
    } else {
      EXPECT_EQ(after, before);
    }
  }
}

TEST_F(WcdmaNotch, TenPointsFillTheTable) {
  for (size_t i = 0; i < 20; ++i) params[i] = std::to_string(i + 1);
  write("10");
  EXPECT_EQ(log.texts(), Messages{kDone});
  EXPECT_EQ(le32(image(), kTable + 76), 20u);
}

TEST_F(WcdmaNotch, RangeChecks) {
  struct Case {
    const char* rule;
    std::vector<RangeTexts> ranges;
    std::string message;
  };
  const Case cases[] = {
      {"one range", {{{"1"}}}, "SheetWcdmaNotch配置有误，请确认！"},
      {"two count cells", {{{"1", "1"}}, {params}}, "干扰点数目输入数据有误，请确认！"},
      {"21 parameters", {{{"1"}}, {repeat_text("1", 21)}}, "陷波器参数输入数据有误，请确认！"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    log.clear();
    call_write(SheetWcdmaNotchWr, c.ranges, path);
    EXPECT_EQ(log.texts(), Messages{c.message});
    EXPECT_EQ(image(), before);
  }
}

TEST_F(WcdmaNotch, ReadOfStoredCounts) {
  poke32(kCount, 0);
  ReadResult r = call_read(SheetWcdmaNotchRd, 21, path);
  EXPECT_EQ(log.texts(), Messages{"bin文件中没有干扰点数目！"});
  EXPECT_EQ(r.texts, repeat_text("X", 21));
  EXPECT_EQ(r.marks, std::vector<int32_t>(21, 17));

  // A count above the table's 10 points: the count cell shows it, the parameters stop at 10.
  log.clear();
  poke32(kCount, 1000);
  r = call_read(SheetWcdmaNotchRd, 21, path);
  EXPECT_EQ(log.texts(), Messages{});
  EXPECT_EQ(r.texts[0], "1000");
  EXPECT_EQ(r.texts[20], std::to_string(static_cast<int32_t>(le32(before, kTable + 76))));

  // A negative stored count is shown as it is and covers no point.
  poke32(kCount, 0xFFFFFFFF);
  r = call_read(SheetWcdmaNotchRd, 21, path);
  EXPECT_EQ(log.texts(), Messages{});
  EXPECT_EQ(r.texts[0], "-1");
  EXPECT_EQ(r.marks[0], 17);
  EXPECT_EQ(std::vector<std::string>(r.texts.begin() + 1, r.texts.end()), repeat_text("X", 20));

  poke32(kCount, 3);
  r = call_read(SheetWcdmaNotchRd, 21, path);
  EXPECT_EQ(r.texts[6], std::to_string(static_cast<int32_t>(le32(before, kTable + 20))));
  EXPECT_EQ(r.texts[7], "X");
  EXPECT_EQ(r.marks[7], 2);

  r = call_read(SheetWcdmaNotchRd, 21, missing_path());
  EXPECT_EQ(log.texts(), (Messages{kOpenFailedRead, "bin文件中没有干扰点数目！"}));
  log.clear();
  r = call_read(SheetWcdmaNotchRd, 20, path);
  EXPECT_EQ(log.texts(), Messages{kCellCountMismatch});
  EXPECT_EQ(r.texts, repeat_text("?", 20));
}

}  // namespace
