// The binary boundary: record layouts, text handles (release, retain, the
// assign rule) with a manager of the test's own that counts its calls, and
// the range count rule.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "calvex.h"
#include "message_log.h"
#include "sheet.h"
#include "boundary.h"
#include "text_handle.h"

namespace {

using calvex::TextHeader;
using calvex::TextManager;

TEST(Abi, RecordLayouts) {
  if (sizeof(void*) == 4) {
    EXPECT_EQ(sizeof(CellRange), 20u);
    EXPECT_EQ(sizeof(SheetCell), 8u);
    EXPECT_EQ(sizeof(TextHeader), 16u);
  } else {
    EXPECT_EQ(sizeof(CellRange), 24u);
    EXPECT_EQ(sizeof(SheetCell), 16u);
    EXPECT_EQ(sizeof(TextHeader), 24u);
  }
  EXPECT_EQ(offsetof(CellRange, x1), sizeof(void*));
  EXPECT_EQ(offsetof(CellRange, y2), sizeof(void*) + 12);
  EXPECT_EQ(offsetof(SheetCell, mark), sizeof(void*));
  EXPECT_EQ(offsetof(TextHeader, length), sizeof(void*));
  EXPECT_EQ(offsetof(TextHeader, capacity), sizeof(void*) + 4);
  EXPECT_EQ(offsetof(TextHeader, refs), sizeof(void*) + 8);
}

// A host's text manager: heap blocks, a shared empty text, and call counts.
class CountingManager final : public TextManager {
 public:
  CountingManager() { nil_.header = TextHeader{this, 0, 0, 1}; }
  int allocates = 0, frees = 0, nils = 0, clones = 0;
  bool fail_allocation = false;

  TextHeader* Allocate(int32_t capacity, int32_t charSize) override {
    ++allocates;
    last_char_size = charSize;
    if (fail_allocation) return nullptr;
    auto* h = static_cast<TextHeader*>(std::malloc(sizeof(TextHeader) + (capacity + 1) * sizeof(char16_t)));
    *h = TextHeader{this, 0, capacity, 1};
    calvex::text_of(h)[0] = 0;
    return h;
  }
  void Free(TextHeader* h) override {
    ++frees;
    if (h != &nil_.header) std::free(h);
  }
  TextHeader* Reallocate(TextHeader*, int32_t, int32_t) override { return nullptr; }
  TextHeader* GetNilString() override {
    ++nils;
    ++nil_.header.refs;
    return &nil_.header;
  }
  TextManager* Clone() override {
    ++clones;
    return this;
  }

  CalvexText make(const std::u16string& text, int32_t refs = 1) {
    TextHeader* h = Allocate(static_cast<int32_t>(text.size()), 2);
    --allocates;
    CalvexText units = calvex::text_of(h);
    for (size_t i = 0; i <= text.size(); ++i) units[i] = text.c_str()[i];
    h->length = static_cast<int32_t>(text.size());
    h->refs = refs;
    return calvex::text_of(h);
  }
  CalvexText nil_text() { return calvex::text_of(&nil_.header); }
  int32_t last_char_size = 0;

 private:
  struct {
    TextHeader header;
    char16_t terminator[1] = {0};
  } nil_;
};

void noop_write(const calvex::WriteArgs&, const std::u16string&) {}

TEST(TextHandles, BinPathIsReleasedOnEveryPath) {
  CountingManager m;
  // A write refused at its range count still releases binPath.
  CalvexText path = m.make(u"/nonexistent/nv.bin");
  SheetphyCommonTempDacTabWr(nullptr, 0, path);
  EXPECT_EQ(m.frees, 1);

  // A retained handle is decremented, not freed.
  CalvexText kept = m.make(u"/nonexistent/nv.bin", 2);
  calvex::run_write(nullptr, 0, kept, noop_write);
  EXPECT_EQ(m.frees, 1);
  EXPECT_EQ(calvex::header_of(kept)->refs, 1);
  CalvexTextRelease(kept);
  EXPECT_EQ(m.frees, 2);

  // A locked buffer is never freed.
  CalvexText locked = m.make(u"/nonexistent/nv.bin", -1);
  SheetphyCommonTempDacTabRd(nullptr, 0, locked);
  EXPECT_EQ(m.frees, 2);
  EXPECT_EQ(calvex::header_of(locked)->refs, -1);
  calvex::header_of(locked)->refs = 1;
  CalvexTextRelease(locked);
}

TEST(TextHandles, AssignAllocatesFromTheOldBuffersManagerAndReleasesTheOldBuffer) {
  CountingManager m;
  CalvexText cell = m.make(u"old text");
  ASSERT_TRUE(calvex::assign_text(&cell, u"1234"));
  EXPECT_EQ(m.clones, 1);
  EXPECT_EQ(m.allocates, 1);
  EXPECT_EQ(m.last_char_size, 2);
  EXPECT_EQ(m.frees, 1);
  const TextHeader* h = calvex::header_of(cell);
  EXPECT_EQ(h->manager, &m);
  EXPECT_EQ(h->length, 4);
  EXPECT_EQ(h->refs, 1);
  EXPECT_EQ(std::u16string(cell), u"1234");  // terminated
  CalvexTextRelease(cell);
  EXPECT_EQ(m.frees, 2);
}

TEST(TextHandles, AssignEmptyTakesTheNilString) {
  CountingManager m;
  CalvexText cell = m.make(u"old");
  ASSERT_TRUE(calvex::assign_text(&cell, u""));
  EXPECT_EQ(m.nils, 1);
  EXPECT_EQ(m.allocates, 0);
  EXPECT_EQ(m.frees, 1);
  EXPECT_EQ(cell, m.nil_text());
}

TEST(TextHandles, FailedAllocationLeavesTheHandleAsItWas) {
  CountingManager m;
  CalvexText cell = m.make(u"old");
  m.fail_allocation = true;
  EXPECT_FALSE(calvex::assign_text(&cell, u"new"));
  EXPECT_EQ(m.frees, 0);
  EXPECT_EQ(std::u16string(cell), u"old");
  m.fail_allocation = false;
  CalvexTextRelease(cell);
}

TEST(TextHandles, SharedBufferIsNotFreedByAssign) {
  CountingManager m;
  CalvexText cell = m.make(u"shared", 2);
  CalvexText other_owner = cell;
  ASSERT_TRUE(calvex::assign_text(&cell, u"mine"));
  EXPECT_EQ(m.frees, 0);
  EXPECT_EQ(calvex::header_of(other_owner)->refs, 1);
  EXPECT_EQ(std::u16string(other_owner), u"shared");
  CalvexTextRelease(cell);
  CalvexTextRelease(other_owner);
  EXPECT_EQ(m.frees, 2);
}

TEST(TextHandles, LibraryHelpers) {
  CalvexText t = CalvexTextNew(u"abc");
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(calvex::header_of(t)->length, 3);
  EXPECT_EQ(calvex::header_of(t)->refs, 1);
  EXPECT_EQ(CalvexTextRetain(t), t);
  EXPECT_EQ(calvex::header_of(t)->refs, 2);
  CalvexTextRelease(t);
  EXPECT_EQ(calvex::header_of(t)->refs, 1);
  CalvexTextRelease(t);

  CalvexText empty = CalvexTextNew(nullptr);
  ASSERT_NE(empty, nullptr);
  EXPECT_EQ(calvex::header_of(empty)->length, 0);
  EXPECT_EQ(empty[0], 0);
  CalvexTextRelease(empty);
  CalvexTextRelease(nullptr);  // ignored
}

TEST(TextHandles, HostCellTextsAreNeverChangedByAWrite) {
  CountingManager m;
  std::vector<CalvexText> cells;
  for (int i = 0; i < 27; ++i) cells.push_back(m.make(u"100"));
  CellRange range{cells.data(), 0, 0, 0, 26};
  SheetphyCommonTempDacTabWr(&range, 1, m.make(u"/nonexistent/nv.bin"));
  for (CalvexText c : cells) {
    EXPECT_EQ(calvex::header_of(c)->refs, 1);
    EXPECT_EQ(std::u16string(c), u"100");
  }
  for (CalvexText c : cells) CalvexTextRelease(c);
}

// The range count rule: only the 64-bit product of the two extents counts.
struct ShapeCase {
  CellRange bounds;  // cells filled in by the test
  bool accepted;  // the product is 27
  const char* rule;
};

TEST(RangeCount, OnlyTheProductCounts) {
  const ShapeCase cases[] = {
      {{nullptr, 0, 0, 0, 26}, true, "one column of 27"},
      {{nullptr, 0, 0, 26, 0}, true, "one row of 27"},
      {{nullptr, 5, 7, 13, 9}, true, "9 x 3 at an offset"},
      {{nullptr, 26, 0, 0, 0}, false, "reversed columns: -25 x 1"},
      {{nullptr, 26, 2, 0, 0}, false, "both reversed: (-25) x (-1) = 25"},
      {{nullptr, 2, 8, 0, 0}, false, "both reversed: (-1) x (-7) = 7"},
      {{nullptr, 2, 0, 0, -28}, true, "both reversed: (-1) x (-27) = 27"},
      {{nullptr, 0, 0, -1, 26}, false, "x2 = x1 - 1: zero cells"},
      {{nullptr, -1000000000, 0, 1576980382, 0}, false, "2576980383 cells: 27 only modulo 2^32"},
      {{nullptr, INT32_MIN, INT32_MIN, INT32_MAX, INT32_MAX}, false, "2^64 cells: 0 only modulo 2^64"},
  };
  std::vector<CalvexText> texts;
  for (int i = 0; i < 27; ++i) texts.push_back(CalvexTextNew(u"100"));
  for (const ShapeCase& c : cases) {
    SCOPED_TRACE(c.rule);
    CellRange r = c.bounds;
    r.cells = texts.data();
    const bool expect = c.accepted;
    calvex_test::MessageLog log;
    SheetphyCommonTempDacTabWr(&r, 1, CalvexTextNew(u"/nonexistent/nv.bin"));
    const std::vector<std::string>& seen = log.texts();
    ASSERT_EQ(seen.size(), 1u);
    // Accepted shapes get as far as the open; refused ones stop at the count.
    EXPECT_EQ(seen[0], expect ? "文件打开失败！" : "传入数据不正确，请确认！");
  }
  for (CalvexText t : texts) CalvexTextRelease(t);
}

TEST(LayoutSwitch, StoresTheValueUnchanged) {
  EXPECT_EQ(IsLteMerge(), 0);
  for (int32_t v : {5, -1, 1, 0}) {
    SetLteVersion(v);
    EXPECT_EQ(IsLteMerge(), v);
  }
}

}  // namespace
