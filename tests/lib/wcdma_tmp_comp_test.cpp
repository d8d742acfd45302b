// WCDMA temperature compensation end to end: the band check against the
// image, the per-slot tables, and the read-back.
#include "wcdma_support.h"

using namespace cdma_test;

namespace {

constexpr size_t kBandList = 6068;
constexpr size_t kBandCount = 6100;
constexpr size_t kReadCells = 648;

size_t table_offset(size_t slot) { return 308 + 720 * slot; }

class WcdmaTmpComp : public CdmaImageTest {
 protected:
  void SetUp() override {
    CdmaImageTest::SetUp();
    poke32(kBandCount, 2);
    poke32(kBandList, 1);
    poke32(kBandList + 4, 2);
    poke32(kBandList + 8, 0);
  }
  std::vector<std::string> bands = {"1", "2", "X", "X", "X", "X", "X", "X"};
  std::vector<std::string> table = repeat_text("X", 640);
  void write() { call_write(SheetWcdmaTmpCompWr, {{bands}, {table}}, path); }
};

TEST_F(WcdmaTmpComp, WritesFortyEntriesPerBandInTheImageOrder) {
  for (size_t r = 0; r < 40; ++r) {
    table[16 * r + 0] = std::to_string(100 + r);
    table[16 * r + 1] = std::to_string(-static_cast<int>(r));
    table[16 * r + 2] = std::to_string(2000 + r);
    table[16 * r + 3] = std::to_string(r);
  }
  table[16 * 5 + 0] = "-1";     // low half 0xFFFF
  table[16 * 6 + 3] = "70000";  // 4464 in 16 bits
  write();
  EXPECT_EQ(log.texts(), Messages{kDone});
  const auto after = image();
  for (size_t r = 0; r < 40; ++r) {
    SCOPED_TRACE("row " + std::to_string(r));
    if (r != 5) {
      EXPECT_EQ(le16(after, table_offset(0) + 4 * r), 100 + r);
    }
    EXPECT_EQ(le16s(after, table_offset(0) + 4 * r + 2), -static_cast<int32_t>(r));
    EXPECT_EQ(le16(after, table_offset(1) + 4 * r), 2000 + r);
    if (r != 6) {
      EXPECT_EQ(le16(after, table_offset(1) + 4 * r + 2), r);
    }
  }
  EXPECT_EQ(le16(after, table_offset(0) + 20), 0xFFFFu);
  EXPECT_EQ(le16(after, table_offset(1) + 26), 4464u);
  EXPECT_EQ(changes_outside(before, after, {{table_offset(0), 160}, {table_offset(1), 160}}), std::vector<size_t>{});

  const ReadResult r = call_read(SheetWcdmaTmpCompRd, kReadCells, path);
  EXPECT_EQ(r.texts[0], "1");
  EXPECT_EQ(r.marks[0], 17);
  EXPECT_EQ(r.texts[2], "X");
  EXPECT_EQ(r.marks[2], 2);
  EXPECT_EQ(r.texts[8 + 16 * 5], "65535");
  EXPECT_EQ(r.texts[8 + 16 * 5 + 1], "-5");
  EXPECT_EQ(r.texts[8 + 16 * 6 + 3], "4464");
  EXPECT_EQ(r.marks[8 + 16 * 6 + 3], 17);
  EXPECT_EQ(r.texts[8 + 16 * 6 + 4], "X");  // slot 2 is beyond the count
  EXPECT_EQ(r.marks[8 + 16 * 6 + 4], 2);
}

TEST_F(WcdmaTmpComp, BandsMustMatchTheImage) {
  struct Case {
    const char* rule;
    std::vector<std::string> bands;
  };
  const Case cases[] = {
      {"order swapped", {"2", "1", "X", "X", "X", "X", "X", "X"}},
      {"one band too few", {"1", "X", "X", "X", "X", "X", "X", "X"}},
      {"X first: band 0 in slot 0", {"X", "1", "X", "X", "X", "X", "X", "X"}},
      {"an empty cell is band 0 and counts", {"1", "2", "", "X", "X", "X", "X", "X"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    log.clear();
    call_write(SheetWcdmaTmpCompWr, {{c.bands}, {repeat_text("7", 640)}}, path);
    EXPECT_EQ(log.texts(), Messages{"温补表格填写的Band顺序与原始NV中不一致，请重新确认！"});
    EXPECT_EQ(image(), before);
  }
}

TEST_F(WcdmaTmpComp, RefusalsBeforeOpening) {
  struct Case {
    const char* rule;
    std::vector<RangeTexts> ranges;
    std::string message;
  };
  const Case cases[] = {
      {"three ranges", {{bands}, {table}, {bands}}, "SheetWcdmaTmpComp参数配置有误，请确认！"},
      {"nine band cells", {{repeat_text("1", 9)}, {table}}, "Band输入数据有误，请确认！"},
      {"short table", {{bands}, {repeat_text("1", 639)}}, "温度输入数据有误，请确认！"},
      {"no band", {{repeat_text("x", 8)}, {table}}, "无有效Band输入！"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    log.clear();
    call_write(SheetWcdmaTmpCompWr, c.ranges, path);
    EXPECT_EQ(log.texts(), Messages{c.message});
    EXPECT_EQ(image(), before);
  }
}

TEST_F(WcdmaTmpComp, ReadClampsTheStoredCountAndChecksTheCellCount) {
  poke32(kBandCount, 0x7FFFFFFF);
  const ReadResult r = call_read(SheetWcdmaTmpCompRd, kReadCells, path);
  EXPECT_EQ(log.texts(), Messages{});
  // All 8 slots show values from the image.
  EXPECT_EQ(r.texts[8 + 16 * 39 + 15], std::to_string(le16s(before, table_offset(7) + 4 * 39 + 2)));
  EXPECT_EQ(r.marks[8 + 16 * 39 + 15], 17);

  poke32(kBandCount, 0);
  const ReadResult none = call_read(SheetWcdmaTmpCompRd, kReadCells, path);
  EXPECT_EQ(none.texts[1], "2");  // the band list is shown whatever the count
  EXPECT_EQ(std::vector<std::string>(none.texts.begin() + 8, none.texts.end()), repeat_text("X", 640));
}

}  // namespace
