#include "library.h"

#include "boundary.h"
#include "sheet.h"
#include "sink.h"
#include "unicode.h"

namespace calvex_host {
namespace {

class VectorArgs final : public calvex::WriteArgs {
 public:
  explicit VectorArgs(const SheetCells& cells) : cells_(cells) {}
  int32_t range_count() const override { return static_cast<int32_t>(cells_.size()); }
  int64_t cell_count(int32_t i) const override {
    return i >= 0 && static_cast<size_t>(i) < cells_.size() ? static_cast<int64_t>(cells_[static_cast<size_t>(i)].size())
                                                             : 0;
  }
  calvex::Cells copy_range(int32_t i) const override {
    if (i < 0 || static_cast<size_t>(i) >= cells_.size()) return {};
    return cells_[static_cast<size_t>(i)];
  }

 private:
  const SheetCells& cells_;
};

class VectorCells final : public calvex::ReadCells {
 public:
  explicit VectorCells(std::vector<std::u16string>& texts) : texts_(texts) {}
  int32_t count() const override { return static_cast<int32_t>(texts_.size()); }
  void assign(int32_t i, std::u16string_view text, int32_t) override { set_text(i, text); }
  void set_text(int32_t i, std::u16string_view text) override {
    if (i >= 0 && static_cast<size_t>(i) < texts_.size()) texts_[static_cast<size_t>(i)] = std::u16string(text);
  }

 private:
  std::vector<std::u16string>& texts_;
};

void collect(const calvex::Message& entry, std::u16string_view text, void* context) {
  static_cast<Outcome*>(context)->messages.push_back({entry.id, entry.cls, std::u16string(text)});
}

// Sets the layout switch for one call and puts the previous value back.
class LayoutScope {
 public:
  explicit LayoutScope(int32_t layout) : previous_(calvex::lte_layout_switch()) {
    calvex::set_lte_layout_switch(layout);
  }
  ~LayoutScope() { calvex::set_lte_layout_switch(previous_); }
  LayoutScope(const LayoutScope&) = delete;
  LayoutScope& operator=(const LayoutScope&) = delete;

 private:
  int32_t previous_;
};

}  // namespace

bool Outcome::has(calvex::MsgClass cls) const {
  for (const ShownMessage& m : messages) {
    if (m.cls == cls) return true;
  }
  return false;
}

Outcome call_sheet_write(const calvex::SheetDef& def, const SheetCells& cells, const std::u16string& path,
                         int32_t layout, std::vector<std::u16string>* write_back) {
  Outcome outcome;
  const calvex::ScopedMessageObserver observer(collect, &outcome);
  const LayoutScope layout_scope(layout);
  const VectorArgs args(cells);
  if (def.write_with_back != nullptr) {
    std::vector<std::u16string> back(static_cast<size_t>(def.write_back_cells));
    VectorCells out(back);
    calvex::call_write_back(*def.write_with_back, args, path, out);
    if (write_back != nullptr) *write_back = std::move(back);
  } else if (def.write != nullptr) {
    calvex::call_write(*def.write, args, path);
  }
  return outcome;
}

Outcome call_sheet_read(const calvex::SheetDef& def, std::vector<std::u16string>& out, const std::u16string& path,
                        int32_t layout) {
  Outcome outcome;
  out.assign(static_cast<size_t>(def.read_count()), std::u16string());
  if (def.reader() == nullptr) return outcome;
  const calvex::ScopedMessageObserver observer(collect, &outcome);
  const LayoutScope layout_scope(layout);
  VectorCells cells(out);
  calvex::call_read(*def.reader(), cells, path);
  return outcome;
}

SheetCells cells_from_read(const calvex::SheetDef& def, const std::vector<std::u16string>& out) {
  SheetCells cells(def.ranges.size());
  for (size_t r = 0; r < def.ranges.size(); ++r) cells[r].assign(static_cast<size_t>(def.ranges[r].count()), u"");
  size_t k = 0;
  if (def.read_runs.empty()) {
    for (auto& range : cells) {
      for (auto& cell : range) {
        if (k < out.size()) cell = out[k++];
      }
    }
  } else {
    for (const calvex::ReadRun& run : def.read_runs) {
      for (int i = 0; i < run.count && k < out.size(); ++i, ++k) {
        auto& range = cells[static_cast<size_t>(run.range)];
        const size_t at = static_cast<size_t>(run.first + i * run.step);
        if (at < range.size()) range[at] = out[k];
      }
    }
  }
  for (const calvex::ReadFill& fill : def.read_fills) {
    auto& range = cells[static_cast<size_t>(fill.range)];
    if (static_cast<size_t>(fill.cell) < range.size()) range[static_cast<size_t>(fill.cell)] = utf16_from_utf8(fill.text);
  }
  return cells;
}

}  // namespace calvex_host
