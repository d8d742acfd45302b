// The six layout-neutral LTE exports follow the layout switch at each call.
#include <gtest/gtest.h>

#include "lte_support.h"

using namespace lte_test;

namespace {

struct Dispatcher {
  const char* name;
  WriteFn neutral;
  WriteFn single;
  WriteFn merged;
  std::vector<RangeTexts> ranges;
};

std::vector<Dispatcher> dispatchers() {
  const std::vector<RangeTexts> switch_pa = {{{"GPIO"}}, {repeat_text("3", 48)}, {repeat_text("X", kTruthCells)}};
  const std::vector<RangeTexts> tmp_comp = {{repeat_text("7", 12)}, {repeat_text("-5", 1920)}};
  return {
      {"filter", SheetLteFilterWr, SheetLteFilterWr_Lte, SheetLteFilterWr_LteMerge, {{repeat_text("9", 6)}}},
      {"mpr", SheetLteMprWr, SheetLteMprWr_Lte, SheetLteMprWr_LteMerge, {{repeat_text("9", 24)}}},
      {"phse", SheetLtePhseWr, SheetLtePhseWr_Lte, SheetLtePhseWr_LteMerge, {{repeat_text("9", 8)}}},
      {"capacity", SheetLteCapacityWr, SheetLteCapacityWr_Lte, SheetLteCapacityWr_LteMerge, {{repeat_text("9", 2)}}},
      {"switch/pa", SheetLteSwitchPaCtrlWordWr, SheetLteSwitchPaCtrlWordWr_Lte, SheetLteSwitchPaCtrlWordWr_LteMerge,
       switch_pa},
      {"tmp comp", SheetLteTmpCompWr, SheetLteTmpCompWr_Lte, SheetLteTmpCompWr_LteMerge, tmp_comp},
  };
}

class LteDispatch : public LteTest {
 protected:
  // The image and messages that fn leaves on a fresh copy of `before`.
  std::pair<Bytes, Texts> run(WriteFn fn, const std::vector<RangeTexts>& ranges) {
    write_file(image, before);
    Texts messages = write(fn, ranges);
    return {read_file(image), messages};
  }
};

TEST_F(LteDispatch, EachCallTakesTheLayoutTheSwitchHoldsThen) {
  for (const Dispatcher& d : dispatchers()) {
    const auto single = run(d.single, d.ranges);
    const auto merged = run(d.merged, d.ranges);
    ASSERT_NE(single.first, merged.first) << d.name;
    for (int32_t value : {0, 1, -1, 5, 0}) {
      SCOPED_TRACE(std::string(d.name) + ", switch " + std::to_string(value));
      SetLteVersion(value);
      EXPECT_EQ(IsLteMerge(), value);
      EXPECT_EQ(run(d.neutral, d.ranges), value != 0 ? merged : single);
    }
  }
}

TEST_F(LteDispatch, ForwardsRefusalsUnchangedAndShowsNothingItself) {
  SetLteVersion(1);
  EXPECT_EQ(write(SheetLteSwitchPaCtrlWordWr, {}), Texts{"SheetLteaSwitchPa参数配置有误，请确认！"});
  SetLteVersion(0);
  EXPECT_EQ(write(SheetLteSwitchPaCtrlWordWr, {}), Texts{"SheetLteSwitchPa参数配置有误，请确认！"});
  EXPECT_EQ(read_file(image), before);
}

}  // namespace
