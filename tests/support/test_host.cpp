#include "test_host.h"

#include "unicode.h"

#include <gtest/gtest.h>


namespace calvex_test {
namespace {

std::string to_utf8(const CalvexChar* text) {
  return text == nullptr ? std::string() : calvex_host::utf8_from_utf16(std::u16string_view(text));
}

std::u16string to_utf16(const std::string& s) { return calvex_host::utf16_from_utf8(s); }

// Handles for one call, released afterwards.
struct Handles {
  std::vector<std::vector<CalvexText>> ranges;
  ~Handles() {
    for (auto& r : ranges)
      for (CalvexText t : r) CalvexTextRelease(t);
  }
  CalvexText* add(const std::vector<std::string>& cells) {
    ranges.emplace_back();
    for (const std::string& c : cells) ranges.back().push_back(CalvexTextNew(to_utf16(c).c_str()));
    return ranges.back().data();
  }
};

CalvexText path_handle(const std::string& path) { return CalvexTextNew(to_utf16(path).c_str()); }

}  // namespace

void call_write(void(CALVEX_CALL* fn)(const CellRange*, int32_t, CalvexText), const std::vector<RangeTexts>& ranges,
                const std::string& path) {
  Handles handles;
  std::vector<CellRange> records;
  for (const RangeTexts& r : ranges) {
    CalvexText* cells = handles.add(r.cells);
    const int32_t rows = r.rows < 0 ? static_cast<int32_t>(r.cells.size()) : r.rows;
    records.push_back(CellRange{cells, 0, 0, r.cols - 1, rows - 1});
  }
  fn(records.data(), static_cast<int32_t>(records.size()), path_handle(path));
}

void call_write_bounded(void(CALVEX_CALL* fn)(const CellRange*, int32_t, CalvexText),
                        const std::vector<BoundedRange>& ranges, const std::string& path) {
  Handles handles;
  std::vector<CellRange> records;
  for (const BoundedRange& r : ranges) records.push_back(CellRange{handles.add(r.cells), r.x1, r.y1, r.x2, r.y2});
  fn(records.data(), static_cast<int32_t>(records.size()), path_handle(path));
}

ReadResult call_read(void(CALVEX_CALL* fn)(SheetCell*, int32_t, CalvexText), int32_t cellCount,
                     const std::string& path) {
  std::vector<SheetCell> cells(static_cast<size_t>(cellCount > 0 ? cellCount : 0));
  for (SheetCell& c : cells) c = SheetCell{CalvexTextNew(u"?"), -1};
  fn(cells.data(), cellCount, path_handle(path));
  ReadResult r;
  for (SheetCell& c : cells) {
    r.texts.push_back(to_utf8(c.text));
    r.marks.push_back(c.mark);
    CalvexTextRelease(c.text);
  }
  return r;
}

}  // namespace calvex_test
