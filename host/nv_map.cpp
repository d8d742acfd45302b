// calvex map: see nv_map.h.
#include "nv_map.h"

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <nlohmann/json.hpp>
#include <set>

#include "cmd_common.h"
#include "commands.h"
#include "safe_file.h"

namespace calvex_host {
namespace {

constexpr unsigned kBitsPerByte = 8;

std::string hex_text(uint64_t v) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
  return buf;
}

// A YAML (and JSON) double-quoted scalar.
std::string quoted(const std::string& text) { return nlohmann::json(text).dump(-1, ' ', true); }

std::string layout_word(calvex::NvLayout layout) {
  return layout == calvex::NvLayout::Merged ? "merged" : layout == calvex::NvLayout::Single ? "single" : "";
}

// One value a run places: the cell it shows and its offset.
struct Element {
  MapCell cell;
  uint64_t offset;
};

// The run's values, row after row (column_order: column after column).
std::vector<Element> run_elements(const calvex::CellRun& run, const calvex::RangeDef& range, bool column_order) {
  const uint32_t col_step = run.col_step == 0 ? run.width : run.col_step;
  const uint32_t cell_row_step = run.cell_row_step == 0 ? run.cols : run.cell_row_step;
  std::vector<Element> elements;
  const auto add = [&](uint32_t r, uint32_t c) {
    const int64_t cell = static_cast<int64_t>(run.first) + static_cast<int64_t>(r) * cell_row_step + c;
    elements.push_back({{static_cast<int>(cell / range.cols) + 1, static_cast<int>(cell % range.cols) + 1},
                        static_cast<uint64_t>(run.offset) + static_cast<uint64_t>(r) * run.row_step +
                            static_cast<uint64_t>(c) * col_step});
  };
  if (column_order) {
    for (uint32_t c = 0; c < run.cols; ++c)
      for (uint32_t r = 0; r < run.rows; ++r) add(r, c);
  } else {
    for (uint32_t r = 0; r < run.rows; ++r)
      for (uint32_t c = 0; c < run.cols; ++c) add(r, c);
  }
  return elements;
}

// The elements as stretches of one stride each (greedy, in order; a stretch
// of one value has the stride `width`).
std::vector<std::vector<Element>> stretches(const std::vector<Element>& elements, uint32_t width) {
  std::vector<std::vector<Element>> pieces;
  for (const Element& e : elements) {
    if (!pieces.empty()) {
      std::vector<Element>& last = pieces.back();
      const uint64_t stride = last.size() >= 2 ? last[1].offset - last[0].offset : 0;
      const bool fits = e.offset > last.back().offset &&
                        (last.size() == 1 ? e.offset - last.back().offset >= width
                                          : e.offset - last.back().offset == stride);
      if (fits) {
        last.push_back(e);
        continue;
      }
    }
    pieces.push_back({e});
  }
  return pieces;
}

// The run's values as fields: stretches of values one stride apart, row
// after row or column after column, whichever takes fewer fields (row
// order on a tie).
std::vector<std::vector<Element>> run_pieces(const calvex::CellRun& run, const calvex::RangeDef& range) {
  std::vector<std::vector<Element>> rows = stretches(run_elements(run, range, false), run.width);
  std::vector<std::vector<Element>> cols = stretches(run_elements(run, range, true), run.width);
  return cols.size() < rows.size() ? cols : rows;
}

std::string span_text(int lo, int hi) { return lo == hi ? std::to_string(lo) : std::to_string(lo) + "-" + std::to_string(hi); }

// Which cells a piece shows, in words: "row 1, columns 1-15", "rows 1-20 x
// columns 1-15, column after column".
std::string cells_text(const std::vector<MapCell>& cells) {
  int r0 = cells.front().row, r1 = r0, c0 = cells.front().col, c1 = c0;
  for (const MapCell& e : cells) {
    r0 = std::min(r0, e.row);
    r1 = std::max(r1, e.row);
    c0 = std::min(c0, e.col);
    c1 = std::max(c1, e.col);
  }
  std::string text = (r0 == r1 ? "row " : "rows ") + span_text(r0, r1) + (c0 == c1 ? ", column " : ", columns ") +
                     span_text(c0, c1);
  if (r0 != r1 && c0 != c1) {
    const bool column_order = cells.size() > 1 && cells[1].row != cells[0].row;
    text += column_order ? ", column after column" : ", row after row";
  }
  const bool in_order = std::is_sorted(cells.begin(), cells.end(), [](const MapCell& a, const MapCell& b) {
    return a.row != b.row ? a.row < b.row : a.col < b.col;
  });
  if (!in_order && (r0 == r1 || c0 == c1)) {
    text += ", in the order";
    for (const MapCell& e : cells) text += " " + std::to_string(r0 == r1 ? e.col : e.row);
  }
  return text;
}

std::string value_text(uint32_t width, bool is_signed, bool hex) {
  return std::string(is_signed ? "signed " : "unsigned ") + std::to_string(width * kBitsPerByte) + "-bit" +
         (hex ? ", shown as hex" : "");
}

// "\"1\" stored as 0x6963616c, \"0\" as 0x0; any other value shows \"0\"".
std::string words_text(const std::vector<calvex::StoredWord>& words) {
  std::string text;
  for (const calvex::StoredWord& w : words) {
    text += (text.empty() ? "'" : ", '") + std::string(w.word) + "' stored as " + hex_text(w.value);
  }
  return text + "; any other value shows '" + std::string(words.back().word) + "'";
}

void add_run_fields(MapSheet& sheet, const calvex::CellRun& run) {
  const calvex::RangeDef& range = sheet.def->ranges[run.range];
  for (const std::vector<Element>& piece : run_pieces(run, range)) {
    MapField f;
    f.offset = piece.front().offset;
    f.width = run.width;
    f.stride = piece.size() > 1 ? static_cast<uint32_t>(piece[1].offset - piece[0].offset) : run.width;
    f.words.assign(run.words.begin(), run.words.end());
    f.count = static_cast<uint32_t>(piece.size());
    f.is_signed = run.format == calvex::ValueFormat::Signed;
    f.hex = run.format == calvex::ValueFormat::Hex;
    f.shown_only = run.read_only;
    f.range = std::string(range.name);
    for (const Element& e : piece) f.cells.push_back(e.cell);
    sheet.fields.push_back(std::move(f));
  }
}

// Fields of one range and kind where each follows the one before without a
// gap become one (single cells that runs of their own place side by side).
void join_fields(MapSheet& sheet) {
  std::vector<MapField> joined;
  for (MapField& f : sheet.fields) {
    if (!joined.empty()) {
      MapField& a = joined.back();
      const bool same = a.range == f.range && a.width == f.width && a.is_signed == f.is_signed && a.hex == f.hex &&
                        a.shown_only == f.shown_only && a.words.empty() && f.words.empty();
      if (same && a.stride == a.width && f.stride == f.width && f.offset == a.offset + uint64_t{a.count} * a.width) {
        a.cells.insert(a.cells.end(), f.cells.begin(), f.cells.end());
        a.count += f.count;
        continue;
      }
    }
    joined.push_back(std::move(f));
  }
  sheet.fields = std::move(joined);
}

void describe_fields(MapSheet& sheet) {
  for (MapField& f : sheet.fields) {
    if (!f.shows_cells()) continue;
    f.doc = std::string(sheet.def->name) + ", range " + f.range + ": " + cells_text(f.cells) + " (" +
            std::to_string(f.count) + (f.count == 1 ? " value" : " values") + ", " +
            value_text(f.width, f.is_signed, f.hex) +
            (f.stride != f.width ? ", one every " + std::to_string(f.stride) + " bytes" : std::string()) +
            (f.words.empty() ? std::string() : ", a keyword: " + words_text(f.words)) + ")" +
            (f.shown_only ? "; only shown: the write stores these cells at their partner's place" : "");
  }
}

// Every group of the definition's entry runs in the layout, as a field of
// control-word entries.
void add_entry_fields(MapSheet& sheet, calvex::NvLayout layout) {
  for (const calvex::EntryRun& run : sheet.def->entries) {
    if (!run.in_layout(layout)) continue;
    for (uint32_t g = 0; g < run.groups; ++g) {
      MapField f;
      f.offset = run.group_offset(g);
      f.width = calvex::kCtrlEntrySize;
      f.stride = f.width;
      f.count = run.count;
      f.entry = true;
      f.id = snake_id(run.name) + (run.groups > 1 ? "_" + std::to_string(g) : std::string());
      f.doc = std::string(sheet.def->name) + ": " + std::string(run.what) +
              (run.groups > 1 ? " (" + std::to_string(g + 1) + " of " + std::to_string(run.groups) + ", one every " +
                                    std::to_string(run.group_step) + " bytes)"
                              : std::string()) +
              "; " + std::to_string(run.count) + (run.count == 1 ? " control-word entry" : " control-word entries") +
              " of 8 bytes: a 32-bit kind, then a 32-bit word";
      sheet.fields.push_back(std::move(f));
    }
  }
}

// The bytes of the sheet's writable blocks that no field shows, as byte
// fields: a whole block where the sheet places no cell of it.
void add_block_fields(MapSheet& sheet, calvex::NvLayout layout) {
  std::vector<std::pair<uint64_t, uint64_t>> shown;  // [begin, end) of every value
  for (const MapField& f : sheet.fields) {
    for (uint32_t k = 0; k < f.count; ++k) shown.emplace_back(f.offset + uint64_t{k} * f.stride, f.offset + uint64_t{k} * f.stride + f.width);
  }
  for (const calvex::NvSpan& b : sheet.def->blocks) {
    if (!b.in_layout(layout) || b.read_only) continue;
    std::vector<bool> free(b.size, true);
    for (const auto& [begin, end] : shown) {
      for (uint64_t at = std::max<uint64_t>(begin, b.offset); at < std::min<uint64_t>(end, uint64_t{b.offset} + b.size); ++at)
        free[at - b.offset] = false;
    }
    for (uint32_t i = 0; i < b.size;) {
      if (!free[i]) {
        ++i;
        continue;
      }
      uint32_t j = i;
      while (j < b.size && free[j]) ++j;
      const bool whole = i == 0 && j == b.size;
      MapField f;
      f.offset = uint64_t{b.offset} + i;
      f.id = (whole ? "block_" : "bytes_") + hex_text(f.offset).substr(2);
      f.width = j - i;
      f.stride = f.width;
      f.count = 1;
      f.raw = true;
      f.doc = std::string(sheet.def->name) + ": " +
              (whole ? "NV block " : "bytes " + hex_text(f.offset) + ".." + hex_text(uint64_t{b.offset} + j - 1) +
                                         " of NV block ") +
              hex_text(b.offset) + ".." + hex_text(static_cast<uint64_t>(b.offset) + b.size - 1) + " (" +
              std::to_string(f.width) + " bytes)" +
              (whole ? " that the sheet's own operation packs; no cell of it is one value at a fixed place"
                     : " that no cell shows one value each") +
              (b.shared ? "; another sheet of the family stores the block too" : "");
      sheet.fields.push_back(std::move(f));
      i = j;
    }
  }
}

// Field ids: the range's name where one field shows the range, else the
// range's name and the first cell's row and column; an id already taken
// gets the field's offset.
void name_fields(MapSheet& sheet) {
  std::vector<size_t> per_range(sheet.def->ranges.size());
  for (const MapField& f : sheet.fields) {
    for (size_t i = 0; i < sheet.def->ranges.size(); ++i)
      if (f.shows_cells() && sheet.def->ranges[i].name == f.range) ++per_range[i];
  }
  std::set<std::string> taken;
  for (MapField& f : sheet.fields) {
    if (!f.shows_cells()) {
      taken.insert(f.id);
      continue;
    }
    size_t index = 0;
    while (sheet.def->ranges[index].name != f.range) ++index;
    std::string id = snake_id(f.range);
    if (per_range[index] > 1) id += "_r" + std::to_string(f.cells.front().row) + "c" + std::to_string(f.cells.front().col);
    if (taken.count(id) != 0) id += "_at_" + hex_text(f.offset).substr(2);
    taken.insert(id);
    f.id = id;
  }
}

// The type of a control-word entry, in every format, and its parts
// (ctrl_word.h), each a 32-bit unsigned value, in their order.
constexpr const char* kEntryType = "ctrl_entry";
struct EntryPart {
  const char* id;
  size_t offset;
};
constexpr EntryPart kEntryParts[] = {{"kind", calvex::kCtrlEntryKindPos}, {"word", calvex::kCtrlEntryWordPos}};
constexpr size_t kEntryPartSize = 4;
static_assert(kEntryParts[0].offset == 0 && kEntryParts[1].offset == kEntryPartSize &&
                  std::size(kEntryParts) * kEntryPartSize == calvex::kCtrlEntrySize,
              "a .ksy seq reads the parts one after the other");

std::string ksy_type(const MapField& f) {
  if (f.entry) return kEntryType;
  return std::string(f.is_signed ? "s" : "u") + std::to_string(f.width);
}

std::string hexpat_type(const MapField& f) {
  if (f.entry) return kEntryType;
  return std::string(f.is_signed ? "s" : "u") + std::to_string(f.width * kBitsPerByte);
}

bool has_entries(const NvMap& map) {
  return std::any_of(map.sheets.begin(), map.sheets.end(), [](const MapSheet& s) {
    return std::any_of(s.fields.begin(), s.fields.end(), [](const MapField& f) { return f.entry; });
  });
}

constexpr const char* kEntryDoc = "A control-word entry: a 32-bit kind, then a 32-bit word (little-endian).";

bool strided(const MapField& f) { return !f.raw && f.count > 1 && f.stride != f.width; }

// The helper type of a strided field: one value at base + stride * index.
std::string strided_type(const MapField& f) { return "strided_" + ksy_type(f); }

// An enum value's id: the word in lower snake case ("word_1" for "1").
std::string word_id(std::string_view word) {
  const std::string id = snake_id(word);
  return id.rfind("f_", 0) == 0 ? "word_" + id.substr(2) : id;
}

std::string family_title(const NvMap& map) {
  std::string title = "calvex NV image, " + std::string(calvex::family_name(map.family)) + " family";
  if (map.layout != calvex::NvLayout::Any) title += ", " + layout_word(map.layout) + " layout";
  return title;
}

}  // namespace

std::string snake_id(std::string_view name) {
  std::string id;
  for (size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    const bool upper = c >= 'A' && c <= 'Z';
    if (upper && i > 0) {
      const char before = name[i - 1];
      const bool next_lower = i + 1 < name.size() && name[i + 1] >= 'a' && name[i + 1] <= 'z';
      const bool before_upper = before >= 'A' && before <= 'Z';
      if ((!before_upper || next_lower) && before != '_' && !id.empty() && id.back() != '_') id += '_';
    }
    if (upper) {
      id += static_cast<char>(c - 'A' + 'a');
    } else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
      id += c;
    } else if (!id.empty() && id.back() != '_') {
      id += '_';
    }
  }
  if (id.empty() || (id[0] >= '0' && id[0] <= '9')) id = "f_" + id;
  return id;
}

NvMap build_nv_map(calvex::Family family, calvex::NvLayout layout, const std::vector<const SheetEntry*>& sheets) {
  NvMap map;
  map.family = family;
  map.layout = layout;
  map.id = "calvex_" + std::string(calvex::family_name(family));
  if (layout != calvex::NvLayout::Any) map.id += "_" + layout_word(layout);
  for (const SheetEntry* def : sheets) {
    MapSheet sheet;
    sheet.def = def;
    sheet.type_id = snake_id(def->name);
    for (const calvex::CellRun& run : def->runs.empty() ? def->placed : def->runs) {
      if (run.in_layout(layout)) add_run_fields(sheet, run);
    }
    join_fields(sheet);
    describe_fields(sheet);
    add_entry_fields(sheet, layout);
    add_block_fields(sheet, layout);
    name_fields(sheet);
    map.sheets.push_back(std::move(sheet));
  }
  return map;
}

NvMap build_nv_map(calvex::Family family, calvex::NvLayout layout) {
  std::vector<const SheetEntry*> sheets;
  for (const SheetEntry* s : all_sheets()) {
    if (s->family == family) sheets.push_back(s);
  }
  return build_nv_map(family, layout, sheets);
}

std::string map_ksy(const NvMap& map) {
  std::string y;
  y += "# " + family_title(map) + ": generated by `calvex map` from the sheet definitions.\n";
  y += "meta:\n";
  y += "  id: " + map.id + "\n";
  y += "  title: " + quoted(family_title(map)) + "\n";
  y += "  file-extension: bin\n";
  y += "  endian: le\n";
  y += "doc: " +
       quoted("Every sheet of the family is a type, read from the start of the image; each field is at its "
              "absolute NV offset, little-endian. Bytes that no sheet places have no field.") +
       "\n";
  y += "instances:\n";
  for (const MapSheet& s : map.sheets) {
    y += "  " + s.type_id + ":\n";
    y += "    pos: 0\n";
    y += "    type: " + s.type_id + "\n";
    y += "    doc: " + quoted(std::string(s.def->name) + ": " + std::string(s.def->summary)) + "\n";
  }
  y += "types:\n";
  for (const MapSheet& s : map.sheets) {
    y += "  " + s.type_id + ":\n";
    y += "    doc: " + quoted("Sheet " + std::string(s.def->name) + ": " + std::string(s.def->summary)) + "\n";
    y += "    instances:\n";
    for (const MapField& f : s.fields) {
      y += "      " + f.id + ":\n";
      if (f.raw) {
        y += "        pos: " + hex_text(f.offset) + "\n";
        y += "        size: " + std::to_string(f.width) + "\n";
      } else if (strided(f)) {
        // Each element is an object whose `value` is read at its own place.
        y += "        type: " + strided_type(f) + "(" + hex_text(f.offset) + ", " + std::to_string(f.stride) +
             ", _index)\n";
        y += "        repeat: expr\n";
        y += "        repeat-expr: " + std::to_string(f.count) + "\n";
      } else {
        y += "        pos: " + hex_text(f.offset) + "\n";
        y += "        type: " + ksy_type(f) + "\n";
        if (!f.words.empty()) y += "        enum: " + f.id + "\n";
        if (f.count > 1) {
          y += "        repeat: expr\n";
          y += "        repeat-expr: " + std::to_string(f.count) + "\n";
        }
      }
      y += "        doc: " + quoted(f.doc + (strided(f) ? "; element k's value is at offset + " +
                                                             std::to_string(f.stride) + " * k"
                                                       : "")) +
           "\n";
    }
    bool has_enums = false;
    for (const MapField& f : s.fields) {
      if (f.words.empty()) continue;
      if (!has_enums) y += "    enums:\n";
      has_enums = true;
      y += "      " + f.id + ":\n";
      for (const calvex::StoredWord& w : f.words) {
        y += "        " + hex_text(w.value) + ":\n";
        y += "          id: " + word_id(w.word) + "\n";
        y += "          doc: " + quoted("the cell text '" + std::string(w.word) + "'") + "\n";
      }
    }
  }
  if (has_entries(map)) {
    y += std::string("  ") + kEntryType + ":\n";
    y += "    doc: " + quoted(kEntryDoc) + "\n";
    y += "    seq:\n";
    for (const EntryPart& part : kEntryParts) y += std::string("      - id: ") + part.id + "\n        type: u4\n";
  }
  std::set<std::string> helpers;
  for (const MapSheet& s : map.sheets) {
    for (const MapField& f : s.fields) {
      if (!strided(f) || !helpers.insert(ksy_type(f)).second) continue;
      y += "  " + strided_type(f) + ":\n";
      y += "    doc: " + quoted("One value of a strided field, at base + stride * index.") + "\n";
      y += "    params:\n";
      y += "      - id: base\n        type: u4\n";
      y += "      - id: stride\n        type: u4\n";
      y += "      - id: index\n        type: u4\n";
      y += "    instances:\n";
      y += "      value:\n";
      y += "        pos: base + stride * index\n";
      y += "        type: " + ksy_type(f) + "\n";
    }
  }
  return y;
}

std::string map_json(const NvMap& map) {
  nlohmann::ordered_json j;
  j["id"] = map.id;
  j["family"] = std::string(calvex::family_name(map.family));
  j["layout"] = map.layout == calvex::NvLayout::Any ? nlohmann::ordered_json(nullptr)
                                                    : nlohmann::ordered_json(layout_word(map.layout));
  j["endian"] = "little";
  nlohmann::ordered_json sheets = nlohmann::ordered_json::array();
  for (const MapSheet& s : map.sheets) {
    nlohmann::ordered_json sheet;
    sheet["sheet"] = std::string(s.def->name);
    sheet["type"] = s.type_id;
    sheet["summary"] = std::string(s.def->summary);
    nlohmann::ordered_json blocks = nlohmann::ordered_json::array();
    for (const calvex::NvSpan& b : s.def->blocks) {
      if (!b.in_layout(map.layout)) continue;
      blocks.push_back({{"offset", b.offset}, {"size", b.size}, {"read_only", b.read_only}, {"shared", b.shared}});
    }
    sheet["blocks"] = blocks;
    nlohmann::ordered_json fields = nlohmann::ordered_json::array();
    for (const MapField& f : s.fields) {
      nlohmann::ordered_json field;
      field["id"] = f.id;
      field["offset"] = f.offset;
      field["size"] = f.width;
      field["count"] = f.count;
      field["stride"] = f.stride;
      field["type"] = f.raw ? "bytes" : ksy_type(f);
      field["sheet"] = std::string(s.def->name);
      if (!f.shows_cells()) {
        field["range"] = nullptr;
        field["cells"] = nlohmann::ordered_json::array();
        if (f.entry) {
          field["parts"] = nlohmann::ordered_json::array();
          for (const EntryPart& part : kEntryParts)
            field["parts"].push_back({{"id", part.id}, {"offset", part.offset}, {"type", "u4"}});
        }
      } else {
        field["range"] = f.range;
        field["shown_as"] = f.hex ? "hex" : "decimal";
        nlohmann::ordered_json cells = nlohmann::ordered_json::array();
        for (const MapCell& c : f.cells) cells.push_back({{"row", c.row}, {"col", c.col}});
        field["cells"] = cells;
        if (f.shown_only) field["shown_only"] = true;
        if (!f.words.empty()) {
          nlohmann::ordered_json words = nlohmann::ordered_json::array();
          for (const calvex::StoredWord& w : f.words) words.push_back({{"word", std::string(w.word)}, {"value", w.value}});
          field["keywords"] = words;
        }
      }
      field["doc"] = f.doc;
      fields.push_back(field);
    }
    sheet["fields"] = fields;
    sheets.push_back(sheet);
  }
  j["sheets"] = sheets;
  return j.dump(2) + "\n";
}

std::string map_hexpat(const NvMap& map) {
  std::string p;
  p += "// " + family_title(map) + ": generated by `calvex map` from the sheet definitions.\n";
  p += "#pragma endian little\n\n";
  std::set<std::string> helpers;
  for (const MapSheet& s : map.sheets) {
    for (const MapField& f : s.fields) {
      const std::string name = "stride_" + hexpat_type(f) + "_" + std::to_string(f.stride);
      if (!strided(f) || !helpers.insert(name).second) continue;
      p += "// One value every " + std::to_string(f.stride) + " bytes.\n";
      p += "struct " + name + " { " + hexpat_type(f) + " value; padding[" + std::to_string(f.stride - f.width) + "]; };\n";
    }
  }
  if (has_entries(map)) {
    p += std::string("// ") + kEntryDoc + "\n";
    p += std::string("struct ") + kEntryType + " {";
    for (const EntryPart& part : kEntryParts) p += std::string(" u32 ") + part.id + ";";
    p += " };\n";
  }
  if (!helpers.empty() || has_entries(map)) p += "\n";
  for (const MapSheet& s : map.sheets) {
    p += "// Sheet " + std::string(s.def->name) + ": " + std::string(s.def->summary) + "\n";
    for (const MapField& f : s.fields) {
      const std::string name = s.type_id + "__" + f.id;
      p += "// " + f.doc + "\n";
      if (f.raw) {
        p += "u8 " + name + "[" + std::to_string(f.width) + "] @ " + hex_text(f.offset) + ";\n";
      } else if (strided(f)) {
        p += "stride_" + hexpat_type(f) + "_" + std::to_string(f.stride) + " " + name + "[" + std::to_string(f.count) +
             "] @ " + hex_text(f.offset) + ";\n";
      } else if (f.count > 1) {
        p += hexpat_type(f) + " " + name + "[" + std::to_string(f.count) + "] @ " + hex_text(f.offset) + ";\n";
      } else {
        p += hexpat_type(f) + " " + name + " @ " + hex_text(f.offset) + ";\n";
      }
    }
    p += "\n";
  }
  return p;
}

int cmd_map(calvex::Family family, const Options& options, const std::string& format) {
  calvex::NvLayout layout = calvex::NvLayout::Any;
  if (family == calvex::Family::Lte) {
    layout = options.layout.value_or(0) != 0 ? calvex::NvLayout::Merged : calvex::NvLayout::Single;
  } else if (options.layout) {
    err("calvex: --layout is for the lte family only; the " + std::string(calvex::family_name(family)) +
        " family has one layout");
    return kExitUsage;
  }
  const NvMap map = build_nv_map(family, layout);
  const std::string text = format == "json" ? map_json(map) : format == "hexpat" ? map_hexpat(map) : map_ksy(map);
  std::string error;
  if (!write_file_safely(options.output.value_or("-"), text, &error)) {
    err("calvex: " + error);
    return kExitUsage;
  }
  return kExitOk;
}

}  // namespace calvex_host
