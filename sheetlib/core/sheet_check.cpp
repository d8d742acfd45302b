#include "sheet_check.h"

#include <algorithm>
#include <array>
#include <map>

#include "keywords.h"
#include "ops.h"
#include "text.h"

namespace calvex {
namespace {

constexpr OpEntry kOps[] = {
#define CALVEX_WRITE_OP(name) {#name, OpKind::Write, &ops::name},
#define CALVEX_READ_OP(name) {#name, OpKind::Read, &ops::name},
#define CALVEX_WRITE_BACK_OP(name) {#name, OpKind::WriteBack, &ops::name},
#include "ops.inc"
#undef CALVEX_WRITE_OP
#undef CALVEX_READ_OP
#undef CALVEX_WRITE_BACK_OP
};

constexpr std::span<const std::string_view> kKeywordLists[] = {
    kw::kOpen,    kw::kOpenClose, kw::kOneZero,           kw::kSupport,           kw::kPinMuxModes,
    kw::kSimFunc, kw::kAntTypes,  kw::kTxPortWords.words, kw::kRxPortWords.words,
};

// The LTE layout variants of a write export.
constexpr std::string_view kLayoutSuffixes[] = {"_Lte", "_LteMerge"};

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

std::string hex(uint32_t value) { return to_utf8(hex_text(value)); }

std::vector<NvLayout> layouts_of(const SheetDef& def) {
  const bool per_layout =
      std::any_of(def.blocks.begin(), def.blocks.end(), [](const NvSpan& b) { return b.layout != NvLayout::Any; }) ||
      std::any_of(def.runs.begin(), def.runs.end(), [](const CellRun& r) { return r.layout != NvLayout::Any; }) ||
      std::any_of(def.placed.begin(), def.placed.end(), [](const CellRun& r) { return r.layout != NvLayout::Any; }) ||
      std::any_of(def.entries.begin(), def.entries.end(), [](const EntryRun& r) { return r.layout != NvLayout::Any; });
  if (per_layout) return {NvLayout::Single, NvLayout::Merged};
  return {NvLayout::Any};
}

std::string_view layout_label(NvLayout layout) {
  switch (layout) {
    case NvLayout::Single:
      return " (single layout)";
    case NvLayout::Merged:
      return " (merged layout)";
    case NvLayout::Any:
      break;
  }
  return "";
}

// Does the op belong to the definition?
bool op_of(const OpEntry& op, const SheetDef& def) {
  if (op.kind == OpKind::Read) {
    return (!def.read_export.empty() && op.name == def.read_export) ||
           (!def.shallow_read_export.empty() && op.name == def.shallow_read_export);
  }
  if (op.name == def.write_export) return true;
  for (std::string_view suffix : kLayoutSuffixes) {
    if (op.name.size() == def.write_export.size() + suffix.size() && op.name.starts_with(def.write_export) &&
        op.name.ends_with(suffix)) {
      return true;
    }
  }
  return false;
}

const OpEntry* find_op(std::span<const OpEntry> ops, std::string_view name) {
  for (const OpEntry& op : ops) {
    if (op.name == name) return &op;
  }
  return nullptr;
}

void check_exports(const SheetDef& def, std::span<const OpEntry> ops, std::vector<std::string>& out) {
  const std::string who(def.name);
  const OpEntry* write = find_op(ops, def.write_export);
  if (write == nullptr) {
    out.push_back(who + ": write export '" + std::string(def.write_export) + "' is not an operation of the library");
  } else if (def.write_with_back != nullptr) {
    if (write->kind != OpKind::WriteBack || write->body != def.write_with_back) {
      out.push_back(who + ": write export '" + std::string(def.write_export) +
                    "' is not bound to its write-back operation");
    }
  } else if (write->kind != OpKind::Write || write->body != def.write) {
    out.push_back(who + ": write export '" + std::string(def.write_export) + "' is not bound to its write operation");
  }
  if (def.read_export.empty() != (def.read == nullptr)) {
    out.push_back(who + ": a read export needs its operation and an operation its export");
  } else if (!def.read_export.empty()) {
    const OpEntry* read = find_op(ops, def.read_export);
    if (read == nullptr || read->kind != OpKind::Read || read->body != def.read) {
      out.push_back(who + ": read export '" + std::string(def.read_export) + "' is not bound to its read operation");
    }
  }
  if (!def.shallow_read_export.empty()) {
    const OpEntry* read = find_op(ops, def.shallow_read_export);
    if (read == nullptr || read->kind != OpKind::Read || read->body != def.shallow_read) {
      out.push_back(who + ": read export '" + std::string(def.shallow_read_export) +
                    "' is not bound to its read operation");
    }
  }
}

void check_ranges(const SheetDef& def, std::span<const std::span<const std::string_view>> keyword_lists,
                  std::vector<std::string>& out) {
  const std::string who(def.name);
  std::map<std::string, int> names;
  for (const RangeDef& range : def.ranges) {
    const std::string where = who + ": range " + std::string(range.name);
    if (++names[lower(range.name)] == 2) out.push_back(where + ": name used twice");
    if (range.rows <= 0 || range.cols <= 0) out.push_back(where + ": no cells");
    if (range.on_cell_count == nullptr) out.push_back(where + ": no cell-count message");
    for (const CellArea& a : range.areas) {
      const int last_row = a.rows == 0 ? range.rows - 1 : a.row + a.rows - 1;
      const int last_col = a.cols == 0 ? range.cols - 1 : a.col + a.cols - 1;
      if (a.row < 0 || a.col < 0 || last_row >= range.rows || last_col >= range.cols) {
        out.push_back(where + ": an area reaches outside the range");
      }
    }
    if (range.pair_cols != 0 && (range.pair_cols != 2 || range.cols % range.pair_cols != 0)) {
      out.push_back(where + ": columns that pair up must come two to a slot");
    }
    if (range.slot_names_range != RangeDef::kNoRange) {
      const size_t slots = range.pair_cols == 0 ? 0 : static_cast<size_t>(range.cols / range.pair_cols);
      if (range.slot_names_range >= def.ranges.size() || range.pair_cols == 0) {
        out.push_back(where + ": its slot names are in no range of the sheet");
      } else if (static_cast<size_t>(def.ranges[range.slot_names_range].count()) > slots) {
        out.push_back(where + ": more slot names than slots");
      }
    }
    if ((range.role == RangeRole::TempComp || range.role == RangeRole::RampShape) && range.y_label.empty()) {
      out.push_back(where + ": a charted table needs what its values are (y_label)");
    }
    std::vector<CellType> cell_types = {range.cells};
    for (const CellArea& a : range.areas) cell_types.push_back(a.cells);
    for (const CellType& cell_type : cell_types) {
      if (cell_type.kind != CellKind::Keyword) continue;
      const bool shared = std::any_of(keyword_lists.begin(), keyword_lists.end(), [&](const auto& list) {
        return list.data() == cell_type.keywords.data() && list.size() == cell_type.keywords.size();
      });
      if (!shared) out.push_back(where + ": keyword list is not one of the lists the operations compare against");
      if (cell_type.keywords.empty()) out.push_back(where + ": empty keyword list");
      for (size_t i = 0; i < cell_type.keywords.size(); ++i) {
        for (size_t j = i + 1; j < cell_type.keywords.size(); ++j) {
          if (cell_type.keywords[i] == cell_type.keywords[j]) {
            out.push_back(where + ": keyword '" + std::string(cell_type.keywords[i]) + "' listed twice");
          }
        }
      }
    }
  }
}

bool inside(const NvSpan& block, uint32_t offset, uint32_t size) {
  return offset >= block.offset && size <= block.size && offset - block.offset <= block.size - size;
}

// The runs of `runs` ("run") or `placed` ("placed run").
void check_runs(const SheetDef& def, std::span<const CellRun> runs, std::string_view kind, std::vector<std::string>& out) {
  const std::string who(def.name);
  for (size_t k = 0; k < runs.size(); ++k) {
    const CellRun& run = runs[k];
    const std::string where = who + ": " + std::string(kind) + " " + std::to_string(k);
    if (run.range >= def.ranges.size()) {
      out.push_back(where + ": no range " + std::to_string(run.range));
      continue;
    }
    const RangeDef& range = def.ranges[run.range];
    if (run.width != 1 && run.width != 2 && run.width != 4) out.push_back(where + ": width is not 1, 2 or 4");
    for (const StoredWord& w : run.words) {
      const CellType cell_type = range.cell_type_at(run.first / range.cols, run.first % range.cols);
      if (cell_type.kind != CellKind::Keyword ||
          std::find(cell_type.keywords.begin(), cell_type.keywords.end(), w.word) == cell_type.keywords.end()) {
        out.push_back(where + ": stored word '" + std::string(w.word) + "' is no keyword of range " +
                      std::string(range.name));
      }
    }
    const uint32_t cell_row_step = run.cell_row_step != 0 ? run.cell_row_step : run.cols;
    const uint32_t col_step = run.col_step != 0 ? run.col_step : run.width;
    const int64_t last_cell = run.first + static_cast<int64_t>(run.rows - 1) * cell_row_step + (run.cols - 1);
    if (run.rows == 0 || run.cols == 0 || last_cell >= range.count()) {
      out.push_back(where + ": cells outside range " + std::string(range.name));
    }
    for (NvLayout layout : layouts_of(def)) {
      if (!run.in_layout(layout)) continue;
      for (uint32_t r = 0; r < run.rows; ++r) {
        for (uint32_t c = 0; c < run.cols; ++c) {
          const uint32_t offset = run.offset + r * run.row_step + c * col_step;
          const bool placed = std::any_of(def.blocks.begin(), def.blocks.end(), [&](const NvSpan& b) {
            return b.in_layout(layout) && !b.read_only && inside(b, offset, run.width);
          });
          if (!placed) {
            out.push_back(where + std::string(layout_label(layout)) + ": bytes at " + hex(offset) +
                          " outside the sheet's writable blocks");
            r = run.rows;
            break;
          }
        }
      }
    }
  }
}

void check_read_mapping(const SheetDef& def, std::vector<std::string>& out) {
  const std::string who(def.name);
  int64_t shown = 0;
  for (const ReadRun& run : def.read_runs) {
    shown += run.count;
    const bool ok =
        run.range >= 0 && static_cast<size_t>(run.range) < def.ranges.size() && run.count > 0 && run.first >= 0 &&
        run.step > 0 &&
        run.first + static_cast<int64_t>(run.count - 1) * run.step < def.ranges[static_cast<size_t>(run.range)].count();
    if (!ok) out.push_back(who + ": a read run reaches outside its range");
  }
  if (!def.read_runs.empty() && shown > def.read_count()) {
    out.push_back(who + ": the read runs name more cells than the read shows");
  }
  for (const ReadFill& fill : def.read_fills) {
    const bool ok = fill.range >= 0 && static_cast<size_t>(fill.range) < def.ranges.size() && fill.cell >= 0 &&
                    fill.cell < def.ranges[static_cast<size_t>(fill.range)].count();
    if (!ok) out.push_back(who + ": a read fill-in is outside its range");
  }
}

bool overlap(const NvSpan& a, const NvSpan& b) { return a.offset < b.offset + b.size && b.offset < a.offset + a.size; }

void check_overlaps(std::span<const SheetDef* const> defs, std::vector<std::string>& out) {
  for (size_t i = 0; i < defs.size(); ++i) {
    for (size_t j = i + 1; j < defs.size(); ++j) {
      const SheetDef& a = *defs[i];
      const SheetDef& b = *defs[j];
      if (a.family != b.family) continue;
      for (NvLayout layout : {NvLayout::Single, NvLayout::Merged}) {
        for (const NvSpan& x : a.blocks) {
          for (const NvSpan& y : b.blocks) {
            if (x.read_only || y.read_only || !x.in_layout(layout) || !y.in_layout(layout) || !overlap(x, y)) continue;
            if (x.shared || y.shared) continue;
            if (layout == NvLayout::Merged && x.layout == NvLayout::Any && y.layout == NvLayout::Any) continue;
            const bool per_layout = x.layout != NvLayout::Any || y.layout != NvLayout::Any;
            out.push_back(std::string(a.name) + ": block " + hex(x.offset) + "+" + std::to_string(x.size) +
                          std::string(per_layout ? layout_label(layout) : "") + " overlaps " + std::string(b.name) +
                          "'s block " + hex(y.offset) + "+" + std::to_string(y.size));
          }
        }
      }
    }
  }
}

}  // namespace

std::span<const OpEntry> all_ops() { return kOps; }

std::span<const std::span<const std::string_view>> all_keyword_lists() { return kKeywordLists; }

// The entry runs: inside the writable blocks of their layout, no two
// entries on the same bytes, and none on a placed cell's bytes.
void check_entries(const SheetDef& def, std::vector<std::string>& out) {
  const std::string who(def.name);
  for (NvLayout layout : layouts_of(def)) {
    std::vector<std::pair<uint32_t, uint32_t>> taken;  // [begin, end) of every placed value and entry
    for (const CellRun& run : def.placed) {
      if (!run.in_layout(layout)) continue;
      const uint32_t col_step = run.col_step != 0 ? run.col_step : run.width;
      for (uint32_t r = 0; r < run.rows; ++r) {
        for (uint32_t c = 0; c < run.cols; ++c) {
          const uint32_t at = run.offset + r * run.row_step + c * col_step;
          taken.emplace_back(at, at + run.width);
        }
      }
    }
    for (size_t k = 0; k < def.entries.size(); ++k) {
      const EntryRun& run = def.entries[k];
      if (!run.in_layout(layout)) continue;
      const std::string where = who + ": entry run " + std::to_string(k) + std::string(layout_label(layout));
      if (run.name.empty() || run.count == 0 || run.groups == 0) out.push_back(where + ": no name or no entries");
      for (uint32_t g = 0; g < run.groups; ++g) {
        const uint32_t begin = run.group_offset(g);
        const uint32_t size = run.count * kCtrlEntrySize;
        const bool placed = std::any_of(def.blocks.begin(), def.blocks.end(), [&](const NvSpan& b) {
          return b.in_layout(layout) && !b.read_only && inside(b, begin, size);
        });
        if (!placed) out.push_back(where + ": entries at " + hex(begin) + " outside the sheet's writable blocks");
        const bool clash = std::any_of(taken.begin(), taken.end(), [&](const std::pair<uint32_t, uint32_t>& t) {
          return t.first < begin + size && begin < t.second;
        });
        if (clash) out.push_back(where + ": entries at " + hex(begin) + " on bytes another entry or a placed cell holds");
        taken.emplace_back(begin, begin + size);
      }
    }
  }
  if (!def.entries.empty() && !def.runs.empty()) out.push_back(who + ": entry runs on a table sheet");
}

std::vector<std::string> check_sheet_defs(std::span<const SheetDef* const> defs, std::span<const OpEntry> ops,
                                          std::span<const std::span<const std::string_view>> keyword_lists) {
  std::vector<std::string> out;
  std::map<std::string, std::string_view> sheet_names;
  std::map<std::string_view, int> export_names;
  for (const SheetDef* def : defs) {
    const auto [first, fresh] = sheet_names.emplace(lower(def->name), def->name);
    if (!fresh) out.push_back(std::string(def->name) + ": sheet name already used by " + std::string(first->second));
    for (std::string_view name : {def->write_export, def->read_export, def->shallow_read_export}) {
      if (!name.empty() && ++export_names[name] == 2) {
        out.push_back(std::string(def->name) + ": export '" + std::string(name) + "' named by two sheets");
      }
    }
    if (def->on_range_count == nullptr) out.push_back(std::string(def->name) + ": no range-count message");
    if (def->blocks.empty()) out.push_back(std::string(def->name) + ": no NV blocks");
    check_exports(*def, ops, out);
    check_ranges(*def, keyword_lists, out);
    check_runs(*def, def->runs, "run", out);
    check_runs(*def, def->placed, "placed run", out);
    check_entries(*def, out);
    if (!def->runs.empty() && !def->placed.empty()) out.push_back(std::string(def->name) + ": both runs and placed runs");
    check_read_mapping(*def, out);
  }
  for (const OpEntry& op : ops) {
    const auto owners = std::count_if(defs.begin(), defs.end(), [&](const SheetDef* def) { return op_of(op, *def); });
    if (owners != 1) {
      out.push_back(std::string(op.name) + ": operation has " + std::to_string(owners) + " definitions, not 1");
    }
  }
  check_overlaps(defs, out);
  return out;
}

std::vector<std::string> check_catalogue(std::span<const Message> entries) {
  std::vector<std::string> out;
  std::map<std::u16string_view, std::string_view> seen;
  for (const Message& m : entries) {
    const std::string_view name = message_name(m.id);
    const auto [it, fresh] = seen.emplace(m.text, name);
    if (!fresh) out.push_back(std::string(name) + ": text already stands as " + std::string(it->second));
    if (m.gloss == nullptr || *m.gloss == '\0') out.push_back(std::string(name) + ": no gloss");
  }
  return out;
}

}  // namespace calvex
