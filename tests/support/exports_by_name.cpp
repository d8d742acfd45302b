#include "exports_by_name.h"

#include <stdexcept>

#include "unicode.h"

namespace calvex_test {
namespace {

constexpr SheetExport kExports[] = {
#define CALVEX_WRITE_OP(name) {#name, &::name, nullptr, nullptr},
#define CALVEX_READ_OP(name) {#name, nullptr, &::name, nullptr},
#define CALVEX_WRITE_BACK_OP(name) {#name, nullptr, nullptr, &::name},
#include "ops.inc"
#undef CALVEX_WRITE_OP
#undef CALVEX_READ_OP
#undef CALVEX_WRITE_BACK_OP
};

const SheetExport& export_or_throw(std::string_view name) {
  const SheetExport* e = find_export(name);
  if (e == nullptr) throw std::invalid_argument("no export " + std::string(name));
  return *e;
}

}  // namespace

const SheetExport* find_export(std::string_view name) {
  for (const SheetExport& e : kExports)
    if (e.name == name) return &e;
  return nullptr;
}

void call_write_by_name(std::string_view name, const std::vector<RangeTexts>& ranges, const std::string& path,
                        int32_t write_back_cells, std::vector<std::string>* write_back) {
  const SheetExport& e = export_or_throw(name);
  if (e.write != nullptr) {
    call_write(e.write, ranges, path);
    return;
  }
  if (e.write_back == nullptr) throw std::invalid_argument("not a write export: " + std::string(name));
  std::vector<std::vector<CalvexText>> handles;
  std::vector<CellRange> records;
  for (const RangeTexts& r : ranges) {
    handles.emplace_back();
    for (const std::string& c : r.cells)
      handles.back().push_back(CalvexTextNew(calvex_host::utf16_from_utf8(c).c_str()));
    const int32_t rows = r.rows < 0 ? static_cast<int32_t>(r.cells.size()) : r.rows;
    records.push_back(CellRange{handles.back().data(), 0, 0, r.cols - 1, rows - 1});
  }
  std::vector<SheetCell> back(static_cast<size_t>(write_back_cells > 0 ? write_back_cells : 0));
  for (SheetCell& c : back) c = SheetCell{CalvexTextNew(u""), -1};
  e.write_back(records.data(), static_cast<int32_t>(records.size()),
               CalvexTextNew(calvex_host::utf16_from_utf8(path).c_str()), back.data(), write_back_cells);
  for (auto& h : handles)
    for (CalvexText t : h) CalvexTextRelease(t);
  if (write_back != nullptr) write_back->clear();
  for (SheetCell& c : back) {
    if (write_back != nullptr)
      write_back->push_back(calvex_host::utf8_from_utf16(c.text == nullptr ? u"" : std::u16string_view(c.text)));
    CalvexTextRelease(c.text);
  }
}

ReadResult call_read_by_name(std::string_view name, int32_t cellCount, const std::string& path) {
  const SheetExport& e = export_or_throw(name);
  if (e.read == nullptr) throw std::invalid_argument("not a read export: " + std::string(name));
  return call_read(e.read, cellCount, path);
}

}  // namespace calvex_test
