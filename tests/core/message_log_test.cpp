// The tests' message capture (tests/support/message_log.h): logs nest, an
// enclosing log sees every message and stays connected after an inner log ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "calvex.h"
#include "message_log.h"

namespace {

using Messages = std::vector<std::string>;

constexpr const char* kRangeCount = "SheetCommon参数配置有误，请确认！";

// Shows the temperature DAC table's range-count message once (no file is touched).
void show_one_message() { SheetphyCommonTempDacTabWr(nullptr, 0, CalvexTextNew(u"/nonexistent/nv.bin")); }

TEST(MessageLog, NestedLogsEachSeeWhatIsShownInTheirLifetime) {
  calvex_test::MessageLog outer;
  show_one_message();
  {
    calvex_test::MessageLog inner;
    show_one_message();
    EXPECT_EQ(inner.texts(), Messages{kRangeCount});
  }
  EXPECT_EQ(outer.texts(), (Messages{kRangeCount, kRangeCount}));
  show_one_message();
  EXPECT_EQ(outer.texts(), (Messages{kRangeCount, kRangeCount, kRangeCount})) << "the outer log stays connected";
}

TEST(MessageLog, NothingIsCapturedAfterTheLastLogEnds) {
  Messages seen;
  {
    calvex_test::MessageLog log;
    show_one_message();
    seen = log.texts();
  }
  show_one_message();  // reaches the default sink, not a dead log
  EXPECT_EQ(seen, Messages{kRangeCount});
}

}  // namespace
