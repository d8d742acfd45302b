// TD-SCDMA temperature compensation end to end.
#include "wcdma_support.h"

using namespace cdma_test;

namespace {

constexpr size_t kTableA = 420;
constexpr size_t kTableB = 500;

class TdscdmaTmpComp : public CdmaImageTest {};

TEST_F(TdscdmaTmpComp, WritesBothTablesWholeAndReadsThemBack) {
  std::vector<std::string> cells = repeat_text("X", 80);  // "X" is written as 0
  cells[0] = "100";
  cells[1] = "-20";
  cells[2] = "200";
  cells[3] = "-30";
  cells[4 * 19 + 0] = "-1";
  cells[4 * 19 + 3] = "40000";
  call_write(SheetTdscdmaTmpCompWr, {{cells}}, path);
  EXPECT_EQ(log.texts(), Messages{kDone});
  const auto after = image();
  EXPECT_EQ(std::vector<uint8_t>(after.begin() + kTableA, after.begin() + kTableA + 4),
            (std::vector<uint8_t>{0x64, 0x00, 0xEC, 0xFF}));
  EXPECT_EQ(std::vector<uint8_t>(after.begin() + kTableB, after.begin() + kTableB + 4),
            (std::vector<uint8_t>{0xC8, 0x00, 0xE2, 0xFF}));
  EXPECT_EQ(le16(after, kTableA + 76), 0xFFFFu);
  EXPECT_EQ(le16(after, kTableB + 78), 0x9C40u);
  EXPECT_TRUE(all_zero(after, kTableA + 4, 72));
  EXPECT_TRUE(all_zero(after, kTableB + 4, 72));
  EXPECT_EQ(changes_outside(before, after, {{kTableA, 160}}), std::vector<size_t>{});

  const ReadResult r = call_read(SheetTdscdmaTmpCompRd, 80, path);
  std::vector<std::string> expected = repeat_text("0", 80);
  expected[0] = "100";
  expected[1] = "-20";
  expected[2] = "200";
  expected[3] = "-30";
  expected[4 * 19 + 0] = "65535";
  expected[4 * 19 + 3] = "-25536";
  EXPECT_EQ(r.texts, expected);
  EXPECT_EQ(r.marks, std::vector<int32_t>(80, 17));
}

TEST_F(TdscdmaTmpComp, Refusals) {
  const auto cells = repeat_text("1", 80);
  call_write(SheetTdscdmaTmpCompWr, {}, path);
  call_write(SheetTdscdmaTmpCompWr, {{repeat_text("1", 79)}}, path);
  call_write(SheetTdscdmaTmpCompWr, {{cells}}, missing_path());
  EXPECT_EQ(log.texts(),
            (Messages{"SheetTdscdmaTmpComp参数配置有误，请确认！", "温度输入数据有误，请确认！", kOpenFailedWrite}));
  EXPECT_EQ(image(), before);
}

}  // namespace
