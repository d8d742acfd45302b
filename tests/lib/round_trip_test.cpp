// Round trip of every sheet in every layout, through calvex's in-process path
// (host/library.h: the read export's operation or the sheet's decoder), over
// seeded random valid sheets (tests/support/sheet_cells.h, with the rules
// between cells below) and random images:
//   - write(cells) then read shows the canonical form of the cells: each cell
//     as the write takes it back ("%d", "0x%x", the keyword), with the
//     sheet's rules where its image cannot tell (kCanonRules);
//   - writing what the read shows, onto the written image or onto the image
//     the cells were first written to, gives the same bytes, and reading
//     that shows the same cells;
//   - a read never shows an error on a random image and never changes it.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "cell_check.h"
#include "library.h"
#include "sheet_cells.h"
#include "sheet_def.h"
#include "test_host.h"
#include "unicode.h"

namespace calvex_test {
namespace {

using calvex::CellKind;
using calvex::CellType;
using calvex::NvLayout;
using calvex::SheetDef;
using calvex_host::Outcome;
using calvex_host::SheetCells;

constexpr uint32_t kSeedBase = 20270117;
constexpr int kSheetsPerLayout = 12;   // random valid sheets per sheet and layout
constexpr int kRandomImages = 6;       // random images read per sheet and layout
constexpr int kTriesForValidCells = 200;
constexpr size_t kImageSlack = 256;

std::vector<NvLayout> layouts_of(const SheetDef& def) {
  if (def.family == calvex::Family::Lte) return {NvLayout::Single, NvLayout::Merged};
  return {NvLayout::Any};
}
int32_t switch_value(NvLayout l) { return l == NvLayout::Merged ? 1 : 0; }
std::string label(const SheetDef& def, NvLayout l) {
  return std::string(def.name) + (l == NvLayout::Merged ? " (merged)" : l == NvLayout::Single ? " (single)" : "");
}

size_t image_size_for(const SheetDef& def) {
  size_t end = 0;
  for (const calvex::NvSpan& s : def.blocks) end = std::max(end, static_cast<size_t>(s.offset) + s.size);
  return end + kImageSlack;
}

using Ranges = SheetTexts;

// What makes random cells of a kind a sheet the write accepts, where the
// kinds alone do not: a rule between cells, or cells that must match the image.
struct Context {
  const SheetDef* def;
  NvLayout layout;
  Ranges image_read;  // what the read shows of the image written to
};
using Fixup = std::function<void(Ranges&, const Context&, std::mt19937&)>;

size_t range_index(const SheetDef& def, std::string_view name) {
  for (size_t r = 0; r < def.ranges.size(); ++r)
    if (def.ranges[r].name == name) return r;
  ADD_FAILURE() << def.name << " has no range " << name;
  return 0;
}

// Truth tables of 19 rows per state (11 + 4 lines, 4 words): at most
// `entries` entries per state, the used groups counting one each.
void limit_words(std::vector<std::string>& table, size_t columns, size_t entries) {
  constexpr size_t kWordRow = 15;
  constexpr size_t kWordRows = 4;
  for (size_t c = 0; c < columns; ++c) {
    size_t used = 0;
    for (size_t first : {size_t{0}, size_t{11}}) {
      const size_t lines = first == 0 ? 11 : 4;
      for (size_t r = first; r < first + lines; ++r) {
        const std::string& t = table[r * columns + c];
        if (t == "0" || t == "1") {
          ++used;
          break;
        }
      }
    }
    for (size_t r = kWordRow; r < kWordRow + kWordRows; ++r) {
      std::string& t = table[r * columns + c];
      if (t == "X" || t == "x") continue;
      if (used < entries) {
        ++used;
      } else {
        t = "X";
      }
    }
  }
}

// LTE switch/PA truth table: cell 128 * row + 8 * slot + state; MipiType
// drives no GPIO line in a PA state and only GPIO_GROUP1 lines in a switch
// state, with one or two MIPI words per state; GPIO type has no MIPI word,
// and GPIO_GROUP1 lines in switch states only.
void lte_switch_pa(Ranges& ranges, const Context&, std::mt19937& rng) {
  const bool mipi = ranges[0][0] == "MIPI";
  std::vector<std::string>& t = ranges[2];
  constexpr size_t kRowCells = 128;
  for (size_t slot = 0; slot < 16; ++slot) {
    for (size_t state = 0; state < 8; ++state) {
      const bool pa = state < 4;
      const auto at = [&](size_t row) -> std::string& { return t[row * kRowCells + slot * 8 + state]; };
      for (size_t row = 0; row < 26; ++row) {
        const bool group1 = row >= 11 && row < 15;
        const bool allowed = mipi ? (!pa && group1) : (pa ? !group1 : group1);
        if (!allowed) at(row) = "X";
      }
      const size_t words = mipi ? 1 + rng() % 2 : 0;
      for (size_t w = 0; w < 4; ++w) {
        if (w >= words) {
          at(26 + w) = "X";
        } else if (at(26 + w) == "X" || at(26 + w) == "x") {
          at(26 + w) = hex_of(rng() % 0x100000) + "," + hex_of(rng() % 0x100000);
        }
      }
    }
  }
}

// Band lists that must be the image's: the band cells as its read shows them.
Fixup bands_of_image(std::string_view range) {
  return [range](Ranges& ranges, const Context& ctx, std::mt19937&) {
    const size_t r = range_index(*ctx.def, range);
    ranges[r] = ctx.image_read[r];
  };
}

const std::map<std::string, Fixup>& fixups() {
  static const std::map<std::string, Fixup> table = {
      // Merged layout: one value per FDD/TDD pair, the two texts identical.
      {"LtePhse",
       [](Ranges& r, const Context& ctx, std::mt19937&) {
         if (ctx.layout != NvLayout::Merged) return;
         for (auto [fdd, tdd] : {std::pair{0, 2}, {1, 3}, {4, 6}, {5, 7}}) r[0][tdd] = r[0][fdd];
       }},
      {"LteSwitchPaCtrlWord", lte_switch_pa},
      {"WcdmaSwitchPaCtrlWord", [](Ranges& r, const Context&, std::mt19937&) { limit_words(r[1], 88, 4); }},
      {"TdscdmaSwitchPaCtrlWord", [](Ranges& r, const Context&, std::mt19937&) { limit_words(r[0], 14, 4); }},
      // At most four entries per state (the GPIO groups one each), 128 columns.
      {"LteaSwitchPaCtrlWord", [](Ranges& r, const Context&, std::mt19937&) { limit_words(r[2], 128, 4); }},
      {"WcdmaTmpComp", bands_of_image("BandInfo")},
      {"LteaTmpComp", bands_of_image("Band")},
  };
  return table;
}

// ---- The in-process path ----

std::u16string u16(const std::string& s) { return calvex_host::utf16_from_utf8(s); }

SheetCells utf16(const Ranges& ranges) {
  SheetCells out;
  for (const auto& r : ranges) {
    out.emplace_back();
    for (const std::string& c : r) out.back().push_back(u16(c));
  }
  return out;
}

Ranges utf8(const SheetCells& cells) {
  Ranges out;
  for (const auto& r : cells) {
    out.emplace_back();
    for (const std::u16string& c : r) out.back().push_back(calvex_host::utf8_from_utf16(c));
  }
  return out;
}

std::string shown(const Outcome& o) {
  std::string text;
  for (const auto& m : o.messages) text += (text.empty() ? "" : " | ") + calvex_host::utf8_from_utf16(m.text);
  return text;
}

Outcome write_ranges(const SheetDef& def, const Ranges& ranges, const std::string& path, NvLayout l) {
  return calvex_host::call_sheet_write(def, utf16(ranges), u16(path), switch_value(l));
}

Ranges read_ranges(const SheetDef& def, const std::string& path, NvLayout l, Outcome* outcome) {
  std::vector<std::u16string> texts;
  *outcome = calvex_host::call_sheet_read(def, texts, u16(path), switch_value(l));
  return utf8(calvex_host::cells_from_read(def, texts));
}

// ---- The canonical form of a cell ----

bool is_x(const std::string& t) { return t == "X" || t == "x"; }

// ---- The canonical form of a sheet ----
//
// Every sheet: a cell reads back as canonical() below says: "X" for "x" and
// "X" where X is meaningful (an empty value, an undriven line) and in an
// unused cell, empty or not; decimal in "%d" of its value, hexadecimal "0x%x" in lower case
// ("0x" added), MIPI pairs "0x%x,0x%x"; keywords and blanks as written. On
// top of that, the rules of a sheet whose image cannot tell what was
// written (canon_rules()): each turns the canonical cells into what the
// read shows, and says why; the sheet's read note says the same.

// The cells of range `name` of the sheet.
std::vector<std::string>& cells_of(Ranges& ranges, const SheetDef& def, std::string_view name) {
  return ranges[range_index(def, name)];
}
const std::vector<std::string>& cells_of(const Ranges& ranges, const SheetDef& def, std::string_view name) {
  return ranges[range_index(def, name)];
}

size_t columns_of(const SheetDef& def, std::string_view name) {
  return static_cast<size_t>(def.ranges[range_index(def, name)].cols);
}

// A rule: `want` holds the canonical form of the written cells `in`.
using CanonFn = std::function<void(Ranges& want, const Ranges& in, const Context& ctx)>;
struct CanonRule {
  std::string_view reason;
  CanonFn apply;
};
struct CanonRules {
  bool x_reads_zero = false;  // a numeric X cell is stored as 0, so it reads "0" ("0x0")
  std::vector<CanonRule> rules = {};
};

bool drives(const std::string& t) { return t == "0" || t == "1"; }

// Truth tables of GPIO lines, a column per state: rows [0, 11) are
// GPIO_GROUP0's lines, [11, 15) GPIO_GROUP1's.
constexpr size_t kGroup0Lines = 11;
constexpr size_t kGroup1Lines = 4;

// A state's entry holds one GPIO group, GPIO_GROUP0 where it drives a line:
// GPIO_GROUP1's lines then read X.
CanonFn group1_x_where_group0_drives(std::string_view range) {
  return [range](Ranges& want, const Ranges&, const Context& ctx) {
    std::vector<std::string>& t = cells_of(want, *ctx.def, range);
    const size_t cols = columns_of(*ctx.def, range);
    for (size_t c = 0; c < cols; ++c) {
      bool group0 = false;
      for (size_t r = 0; r < kGroup0Lines; ++r) group0 = group0 || drives(t[r * cols + c]);
      if (!group0) continue;
      for (size_t r = kGroup0Lines; r < kGroup0Lines + kGroup1Lines; ++r) t[r * cols + c] = "X";
    }
  };
}

// The words of a truth table's state, rows [15, 19): stored one after the
// other with X skipped, so they read from the first word row on, X after.
constexpr size_t kWordRow = kGroup0Lines + kGroup1Lines;
constexpr size_t kWordRows = 4;
CanonFn words_packed(std::string_view range) {
  return [range](Ranges& want, const Ranges&, const Context& ctx) {
    std::vector<std::string>& t = cells_of(want, *ctx.def, range);
    const size_t cols = columns_of(*ctx.def, range);
    for (size_t c = 0; c < cols; ++c) {
      std::vector<std::string> words;
      for (size_t r = kWordRow; r < kWordRow + kWordRows; ++r)
        if (t[r * cols + c] != "X") words.push_back(t[r * cols + c]);
      for (size_t w = 0; w < kWordRows; ++w) t[(kWordRow + w) * cols + c] = w < words.size() ? words[w] : "X";
    }
  };
}

size_t bands_in(const std::vector<std::string>& bands) {
  return static_cast<size_t>(std::count_if(bands.begin(), bands.end(), [](const std::string& b) { return b != "X"; }));
}

// A band list stored packed: the bands read from the first cell on, X after.
CanonFn bands_packed(std::string_view range) {
  return [range](Ranges& want, const Ranges&, const Context& ctx) {
    std::vector<std::string>& bands = cells_of(want, *ctx.def, range);
    std::stable_partition(bands.begin(), bands.end(), [](const std::string& b) { return b != "X"; });
  };
}

// A table whose columns are `per_slot` to a band slot, stored for the first
// slots, as many as `bands` holds bands (whichever cells are X): the columns
// of the other slots read X.
CanonFn slots_past_bands_x(std::string_view table, std::string_view bands, size_t per_slot) {
  return [=](Ranges& want, const Ranges&, const Context& ctx) {
    const size_t used = bands_in(cells_of(want, *ctx.def, bands));
    std::vector<std::string>& t = cells_of(want, *ctx.def, table);
    const size_t cols = columns_of(*ctx.def, table);
    for (size_t i = 0; i < t.size(); ++i)
      if (i % cols >= used * per_slot) t[i] = "X";
  };
}

// Cells that must match the image: they read as the image read before the write.
CanonFn as_in_image(std::string_view range) {
  return [range](Ranges& want, const Ranges&, const Context& ctx) {
    cells_of(want, *ctx.def, range) = cells_of(ctx.image_read, *ctx.def, range);
  };
}

// PinMuxMipiInit: the devices of a MIPI bus as its read shows them. The
// write keeps each device's USID (register bits 3-0) unless an earlier device
// holds it; such a device gets a new USID by three words that keep its IDs
// and its old USID register (bits 5-4 and the old USID); a device that kept
// its USID is stored as that USID only (IDs 0, the first one of bus 0
// manufacturer 0x3D where a bus-0 device of that manufacturer was not moved).
// Devices fill the rows from the first, X after them.
void mipi_bus_read(std::vector<std::string>& rows, bool bus0) {
  constexpr size_t kRowCells = 3;  // product ID, manufacturer ID, USID register
  constexpr uint64_t kUsidMask = 0x0F;
  constexpr uint64_t kManufacturerBits = 0x30;
  constexpr uint64_t kSpecialManufacturer = 0x3D;
  const auto value = [](const std::string& t) -> uint64_t { return t == "X" ? 0 : std::stoull(t, nullptr, 16); };
  struct Device {
    uint64_t product, manufacturer, usid_register;
  };
  std::vector<Device> devices;
  for (size_t row = 0; row * kRowCells < rows.size(); ++row) {
    if (rows[row * kRowCells] == "X") continue;
    devices.push_back({value(rows[row * kRowCells]), value(rows[row * kRowCells + 1]), value(rows[row * kRowCells + 2])});
  }
  std::vector<bool> moved(devices.size(), false);
  for (size_t b = 0; b < devices.size(); ++b) {
    if (moved[b]) continue;
    for (size_t later = b + 1; later < devices.size(); ++later)
      if (!moved[later] && (devices[later].usid_register & kUsidMask) == (devices[b].usid_register & kUsidMask))
        moved[later] = true;
  }
  bool mark_shown = false;
  bool mark = false;
  for (size_t d = 0; d < devices.size(); ++d) {
    mark = mark || (bus0 && devices[d].manufacturer == kSpecialManufacturer);
    mark_shown = mark_shown || (moved[d] && devices[d].manufacturer == kSpecialManufacturer);
  }
  std::fill(rows.begin(), rows.end(), "X");
  for (size_t d = 0; d < devices.size(); ++d) {
    Device shown = devices[d];
    shown.usid_register &= kUsidMask | (moved[d] ? kManufacturerBits : 0);
    if (!moved[d]) {
      shown.product = 0;
      shown.manufacturer = mark && !mark_shown ? kSpecialManufacturer : 0;
      mark_shown = mark_shown || mark;
    }
    rows[d * kRowCells] = hex_of(shown.product);
    rows[d * kRowCells + 1] = hex_of(shown.manufacturer);
    rows[d * kRowCells + 2] = hex_of(shown.usid_register);
  }
}

// A numeric range whose X is stored as 0: its X cells read `zero`.
CanonFn x_reads(std::string_view range, std::string zero) {
  return [range, zero](Ranges& want, const Ranges&, const Context& ctx) {
    for (std::string& c : cells_of(want, *ctx.def, range))
      if (c == "X") c = zero;
  };
}

// A cell the read does not show: it reads empty.
CanonFn not_shown(std::string_view range) {
  return [range](Ranges& want, const Ranges&, const Context& ctx) {
    for (std::string& c : cells_of(want, *ctx.def, range)) c.clear();
  };
}

// LteSwitchPaCtrlWord: truth table cell 128 * row + 8 * slot + state (16
// slots, PA states 0-3, switch states 4-7; MIPI words in rows 26-29); four
// band values per slot for the sheet's 12 slots.
void lte_switch_pa_read(Ranges& want, const Ranges&, const Context& ctx) {
  constexpr size_t kSheetSlots = 12;
  constexpr size_t kSlots = 16;
  constexpr size_t kUncelled = kSlots - kSheetSlots;  // counted by the write, no record
  constexpr size_t kStates = 8;
  constexpr size_t kPaStates = 4;
  constexpr size_t kRowCells = kSlots * kStates;
  constexpr size_t kMipiRow = 26;
  constexpr size_t kMipiRows = 4;
  constexpr size_t kRows = kMipiRow + kMipiRows;
  constexpr size_t kBandTexts = 4;
  const bool mipi = cells_of(want, *ctx.def, "AntType")[0] == "MIPI";
  const bool single = ctx.layout != NvLayout::Merged;
  std::vector<std::string>& bands = cells_of(want, *ctx.def, "BandInfo");
  std::vector<std::string>& t = cells_of(want, *ctx.def, "SwitchPa");

  // Band cells: a slot X stores zeros, as does one whose values are all 0;
  // the other values of a counted slot X or empty store 0.
  size_t non_x = 0;
  size_t nonzero = 0;
  std::vector<bool> zero(kSheetSlots, true);
  for (size_t b = 0; b < kSheetSlots; ++b) {
    std::string* v = &bands[kBandTexts * b];
    if (v[0] == "X") continue;
    ++non_x;
    for (size_t i = 1; i < kBandTexts; ++i)
      if (v[i] == "X" || v[i].empty()) v[i] = i == 1 ? "0" : "0x0";
    zero[b] = v[0] == "0" && v[1] == "0" && v[2] == "0x0" && v[3] == "0x0";
    nonzero += zero[b] ? 0 : 1;
  }
  const size_t built = std::min(kSheetSlots, non_x + kUncelled);
  const size_t needed = built - std::min(built, kUncelled);
  size_t extra = needed > nonzero ? needed - nonzero : 0;
  const size_t shown = nonzero + extra;
  for (size_t b = 0; b < kSheetSlots; ++b) {
    if (!zero[b]) continue;
    const bool show_zero = extra > 0;
    extra -= show_zero ? 1 : 0;
    for (size_t i = 0; i < kBandTexts; ++i) bands[kBandTexts * b + i] = !show_zero ? "X" : i < 2 ? "0" : "0x0";
  }

  const auto at = [&](size_t row, size_t slot, size_t state) -> std::string& {
    return t[row * kRowCells + slot * kStates + state];
  };
  const size_t placeholders = std::min(shown + kUncelled, kSlots);
  for (size_t slot = 0; slot < kSlots; ++slot) {
    std::vector<size_t> words_of(kStates, 0);
    for (size_t state = 0; state < kStates; ++state) {
      if (slot >= built) {
        for (size_t row = 0; row < kRows; ++row) at(row, slot, state) = "X";
        if (mipi && slot >= kSheetSlots && slot < placeholders) at(kMipiRow, slot, state) = "0x0,0x0";
        continue;
      }
      std::vector<std::string> words;
      for (size_t row = kMipiRow; row < kRows; ++row)
        if (at(row, slot, state) != "X") words.push_back(at(row, slot, state));
      // A single-layout PA state keeps its first MIPI word.
      if (single && state < kPaStates && words.size() > 1) words.resize(1);
      words_of[state] = words.size();
      for (size_t w = 0; w < kMipiRows; ++w) at(kMipiRow + w, slot, state) = w < words.size() ? words[w] : "X";
    }
    // Single layout: with one word in state 7, the write copies state 3's
    // word over the second word of states 5 and 7, which the read drops.
    constexpr size_t kState5 = 5;
    constexpr size_t kState7 = 7;
    if (single && mipi && slot < built && words_of[kState7] == 1) {
      for (size_t w = 1; w < kMipiRows; ++w) at(kMipiRow + w, slot, kState5) = "X";
    }
  }
}

// Values written only when their switch (a one-cell range) is `on`: with the
// switch off the write leaves them alone, so the switch and the values read
// as the image read before the write; with it on the switch reads `on`.
CanonFn switched(std::string_view sw, std::vector<std::string_view> values, std::string on = "open") {
  return [sw, values, on](Ranges& want, const Ranges&, const Context& ctx) {
    if (cells_of(want, *ctx.def, sw)[0] == on) return;
    cells_of(want, *ctx.def, sw) = cells_of(ctx.image_read, *ctx.def, sw);
    for (std::string_view v : values) cells_of(want, *ctx.def, v) = cells_of(ctx.image_read, *ctx.def, v);
  };
}

const std::map<std::string, CanonRules>& canon_rules() {
  static const std::map<std::string, CanonRules> table = {
      {"GsmTmpComp", {.x_reads_zero = true}},
      {"GsmRampCtrl", {.x_reads_zero = true}},
      {"GsmSwitchPaCtrlWord",
       {.x_reads_zero = true,
        .rules = {{"a state stores one bit per line, X as 0: a line X reads 0",
                   [](Ranges& want, const Ranges&, const Context& ctx) {
                     constexpr size_t kColumns = 15;
                     constexpr size_t kLines = 11;
                     std::vector<std::string>& t = cells_of(want, *ctx.def, "TruthTable");
                     for (size_t i = 0; i < t.size(); ++i)
                       if (i % kColumns < kLines && t[i] == "X") t[i] = "0";
                   }}}}},
      {"PinMuxMipiInit",
       {.rules = {{"any mode but the two MIPI modes stores GPIO's value; a bus the mode does not build reads X; a "
                   "device that kept its USID is stored as that USID only",
                   [](Ranges& want, const Ranges&, const Context& ctx) {
                     std::string& mode = cells_of(want, *ctx.def, "PinMux")[0];
                     const size_t buses = mode == "MIPI MODE" ? 2 : mode == "ONLY MIPI0 MODE" ? 1 : 0;
                     if (buses == 0) mode = "GPIO";
                     for (size_t bus = 0; bus < 2; ++bus) {
                       std::vector<std::string>& rows = cells_of(want, *ctx.def, bus == 0 ? "Mipi0Devices" : "Mipi1Devices");
                       if (bus < buses) {
                         mipi_bus_read(rows, bus == 0);
                       } else {
                         std::fill(rows.begin(), rows.end(), "X");
                       }
                     }
                   }}}}},
      {"PortInfo",
       {.rules = {{"with CaSupport other than \"Support\" the write stores nothing; a row that is off, or names no "
                   "port, stores zeros and reads X; a port X or empty stores no mask and reads X",
                   [](Ranges& want, const Ranges&, const Context& ctx) {
                     if (cells_of(want, *ctx.def, "CaSupport")[0] != "Support") {
                       want = ctx.image_read;
                       return;
                     }
                     constexpr size_t kRowCells = 4;  // switch, TX, PRX, second RX port
                     std::vector<std::string>& t = cells_of(want, *ctx.def, "PortInfo");
                     for (size_t row = 0; row * kRowCells < t.size(); ++row) {
                       const auto cell = t.begin() + static_cast<std::ptrdiff_t>(row * kRowCells);
                       for (auto port = cell + 1; port != cell + kRowCells; ++port)
                         if (port->empty()) *port = "X";
                       const bool any_port = std::any_of(cell + 1, cell + kRowCells, [](const std::string& p) { return p != "X"; });
                       if (*cell != "Support" || !any_port) std::fill(cell, cell + kRowCells, "X");
                     }
                   }}}}},
      {"LteaFlags",
       {.rules = {{"TxNvFlag is stored only when its switch is \"open\"; switches leave no trace and read \"open\"",
                   switched("TxNvFlagSwitch", {"TxNvFlag"})},
                  {"TxPowerESF is stored only when its switch is \"open\"", switched("TxPowerESFSwitch", {"TxPowerESF"})}}}},
      {"LteaPcScale",
       {.rules = {{"the values are stored only when the switch is \"1\", zeros otherwise: then the switch reads \"0\" "
                   "and every value 0",
                   [](Ranges& want, const Ranges&, const Context& ctx) {
                     std::string& on = cells_of(want, *ctx.def, "PcScaleSwitch")[0];
                     if (on == "1") return;
                     on = "0";
                     for (std::string& v : cells_of(want, *ctx.def, "PcScale")) v = "0";
                   }}}}},
      {"LteaTxAntSelect",
       {.rules = {{"an antenna's entry holds GPIO_GROUP0 where it drives a line, else GPIO_GROUP1",
                   group1_x_where_group0_drives("TxAntSelect")}}}},
      {"LtePwtAndOtherFlags",
       {.rules = {{"with PwtEn other than \"1\" the PWT item is stored as zeros: PwtEn reads \"0\" and the lines X",
                   [](Ranges& want, const Ranges&, const Context& ctx) {
                     std::string& en = cells_of(want, *ctx.def, "PwtEn")[0];
                     if (en == "1") return;
                     en = "0";
                     for (std::string& line : cells_of(want, *ctx.def, "PwtTable")) line = "X";
                   }},
                  {"each item is stored only when its switch is \"open\"; switches leave no trace and read \"open\"",
                   switched("2R1TFlagSwitch", {"2R1TFlag"})},
                  {"as above", switched("TxNvFlagSwitch", {"TxNvFlag"})},
                  {"as above", switched("AptUseJ11PinFlagSwitch", {"AptUseJ11PinFlag"})},
                  {"as above", switched("PwtEnSwitch", {"PwtEn", "PwtTable"})}}}},
      {"TdscdmaNvCtrl",
       {.rules = {{"the four values kept in 32 bits store their low 16 bits: they read as signed 16-bit values",
                   [](Ranges& want, const Ranges&, const Context&) {
                     for (size_t i = 6; i < 10; ++i)
                       want[0][i] = std::to_string(static_cast<int16_t>(static_cast<uint16_t>(std::stoll(want[0][i]))));
                   }},
                  {"the two values behind the enable word are stored only when it is the enable marker as written "
                   "(0 otherwise)",
                   [](Ranges& want, const Ranges& in, const Context&) {
                     if (in[0][10] == "0x13579BDF" || in[0][10] == "0x13579bdf") return;
                     want[0][11] = want[0][12] = "0";
                   }}}}},
      {"WcdmaAntExchange",
       {.rules = {{"a state's entry holds GPIO_GROUP0 where it drives a line, else GPIO_GROUP1",
                   group1_x_where_group0_drives("AntExchange")}}}},
      {"LteaSwitchPaCtrlWord",
       {.rules = {{"MipiSel is not stored", not_shown("MipiSel")},
                  {"the write builds the states of the first slots, as many as there are bands",
                   slots_past_bands_x("TruthTable", "BandInfoMain", 8)},
                  {"a state's MIPI words are stored one after the other", words_packed("TruthTable")},
                  {"a PA timing offset X is stored as 0", x_reads("PaTimingOffset", "0")}}}},
      {"LteSwitchPaCtrlWord",
       {.rules = {{"an empty slot (X) and band 0 store the same bytes; the write builds the first slots, as many as "
                   "it counts (each band cell not X and the four slots without a cell); a single-layout PA state "
                   "keeps one MIPI word; the slots without band cells keep nothing",
                   lte_switch_pa_read}}}},
      {"LteTmpComp",
       {.x_reads_zero = true,
        .rules = {{"the write fills the records of the first slots, as many as it counts (each band cell not X and "
                   "the four slots without a cell), and zeros the others; the layout keeps 12 records (merged: 14)",
                   [](Ranges& want, const Ranges& in, const Context& ctx) {
                     constexpr size_t kSlotsWithoutCell = 4;
                     constexpr size_t kColumns = 32;
                     constexpr size_t kPerSlot = 2;
                     const std::vector<std::string>& bands = cells_of(in, *ctx.def, "Band");
                     const size_t counted = kSlotsWithoutCell + static_cast<size_t>(std::count_if(
                                                bands.begin(), bands.end(), [](const std::string& b) { return !is_x(b); }));
                     const size_t records = ctx.layout == NvLayout::Merged ? 14 : 12;
                     std::vector<std::string>& t = cells_of(want, *ctx.def, "TmpComp");
                     for (size_t i = 0; i < t.size(); ++i)
                       if ((i % kColumns) / kPerSlot >= std::min(counted, records)) t[i] = "0";
                   }}}}},
      {"TdscdmaSwitchPaCtrlWord",
       {.rules = {{"a state's words are stored one after the other", words_packed("TruthTable")}}}},
      {"WcdmaSwitchPaCtrlWord",
       {.rules = {{"the band list is stored packed", bands_packed("BandInfo")},
                  {"the write builds the states of the first slots, as many as there are bands",
                   slots_past_bands_x("TruthTable", "BandInfo", 11)},
                  {"a state's words are stored one after the other", words_packed("TruthTable")}}}},
      {"WcdmaTmpComp",
       {.x_reads_zero = true,
        .rules = {{"the band cells must be the image's", as_in_image("BandInfo")},
                  {"the write stores the columns of the first slots, as many as there are bands",
                   slots_past_bands_x("TmpComp", "BandInfo", 2)}}}},
      {"LteaTmpComp",
       {.x_reads_zero = true,
        .rules = {{"the band cells must be the image's", as_in_image("Band")},
                  {"the write stores the columns of the first slots, as many as there are bands",
                   slots_past_bands_x("TmpComp", "Band", 2)}}}},
      {"WcdmaMaxPow",
       {.rules = {{"HdelFlag is stored only when its switch is \"open\"; switches leave no trace and read \"open\"",
                   switched("HdelFlagSwitch", {"HdelFlag"})},
                  {"the band table is stored only under the enable marker as written: its first entries, as many as "
                   "there are bands, in place (X as 0); the read shows them up to the last one holding a band or a "
                   "power (one at least under the marker), X after them",
                   [](Ranges& want, const Ranges& in, const Context& ctx) {
                     constexpr size_t kEntries = 8;
                     constexpr std::string_view kMarker = "0x13579bdf";
                     const std::string& text = cells_of(in, *ctx.def, "BandEn")[0];
                     const bool marker_text = text == "0x13579BDF" || text == kMarker;
                     const bool marker_stored = cells_of(want, *ctx.def, "BandEn")[0] == kMarker;
                     std::vector<std::string>& table = cells_of(want, *ctx.def, "BandMaxPow");
                     size_t count = 0;
                     if (marker_text) {
                       for (size_t i = 0; i < kEntries; ++i) count += table[i] == "X" ? 0 : 1;
                       for (std::string& c : table)
                         if (c == "X") c = "0";
                     }
                     size_t shown = marker_stored ? 1 : 0;
                     for (size_t i = 0; i < count; ++i)
                       if (table[i] != "0" || table[kEntries + i] != "0") shown = std::max(shown, i + 1);
                     for (size_t i = 0; i < kEntries; ++i) {
                       if (i < shown && i < count) continue;
                       table[i] = table[kEntries + i] = i < shown ? "0" : "X";
                     }
                   }},
                  {"the BandEn word and table are stored only when the switch is \"open\"",
                   switched("BandEnSwitch", {"BandEn", "BandMaxPow"})}}}},
      {"WcdmaNotch",
       {.rules = {{"the read shows the parameters of the stored count, X after them (a count X stores 0: every cell "
                   "reads X); an X parameter within the count is stored as 0",
                   [](Ranges& want, const Ranges&, const Context& ctx) {
                     std::string& count = cells_of(want, *ctx.def, "NotchCount")[0];
                     const size_t points = count == "X" ? 0 : std::stoul(count);
                     std::vector<std::string>& params = cells_of(want, *ctx.def, "NotchParams");
                     for (size_t j = 0; j < params.size(); ++j)
                       params[j] = j >= 2 * points ? "X" : params[j] == "X" ? "0" : params[j];
                   }}}}},
  };
  return table;
}

CanonRules canon_rules_of(const SheetDef& def) {
  const auto it = canon_rules().find(std::string(def.name));
  return it == canon_rules().end() ? CanonRules{} : it->second;
}

// The cell as a read shows what the write took from it: numbers in their
// stored width and sign, hexadecimal in lower case with "0x".
std::string canonical(const CellType& cell_type, const std::string& text, bool x_reads_zero = false) {
  if (x_reads_zero && is_x(text) && cell_type.x_means_empty &&
      (cell_type.kind == CellKind::Dec || cell_type.kind == CellKind::Hex))
    return cell_type.kind == CellKind::Dec ? "0" : "0x0";
  if (cell_type.kind == CellKind::Unused) return "X";  // empty or X: the sheet keeps nothing of it
  if (is_x(text) && (cell_type.x_means_empty || cell_type.kind == CellKind::Line)) return "X";
  if (text.empty()) return text;
  switch (cell_type.kind) {
    case CellKind::Dec:
      return std::to_string(std::stoll(text));
    case CellKind::Hex:
      return hex_of(std::stoull(text, nullptr, 16));
    case CellKind::MipiPair: {
      const size_t comma = text.find(',');
      return hex_of(std::stoull(text.substr(0, comma), nullptr, 16)) + "," +
             hex_of(std::stoull(text.substr(comma + 1), nullptr, 16));
    }
    default:
      return text;
  }
}

// What the read of the written cells shows: their canonical form, then the
// sheet's rules.
Ranges canonical_read(const Context& ctx, const CanonRules& rules, const Ranges& in) {
  const SheetDef& def = *ctx.def;
  Ranges want = in;
  for (size_t r = 0; r < def.ranges.size(); ++r) {
    const calvex::RangeDef& range = def.ranges[r];
    for (size_t i = 0; i < in[r].size(); ++i) {
      const CellType cell_type = range.cell_type_at(static_cast<int>(i) / range.cols, static_cast<int>(i) % range.cols);
      want[r][i] = canonical(cell_type, in[r][i], rules.x_reads_zero);
    }
  }
  for (const CanonRule& rule : rules.rules) rule.apply(want, in, ctx);
  return want;
}

// Cells whose read differs from their canonical form, "Range cell i: 'in' -> 'read' (want 'w')".
std::vector<std::string> non_canonical(const Context& ctx, const CanonRules& rules, const Ranges& in,
                                       const Ranges& read) {
  const SheetDef& def = *ctx.def;
  const Ranges want = canonical_read(ctx, rules, in);
  std::vector<std::string> out;
  for (size_t r = 0; r < def.ranges.size(); ++r) {
    for (size_t i = 0; i < in[r].size(); ++i) {
      if (want[r][i] != read[r][i])
        out.push_back(std::string(def.ranges[r].name) + " cell " + std::to_string(i) + ": '" + in[r][i] + "' -> '" +
                      read[r][i] + "' (want '" + want[r][i] + "')");
    }
  }
  return out;
}

std::vector<std::string> kind_problems(const SheetDef& def, const Ranges& read) {
  std::vector<std::string> out;
  for (size_t r = 0; r < def.ranges.size(); ++r) {
    const calvex::RangeDef& range = def.ranges[r];
    for (size_t i = 0; i < read[r].size(); ++i) {
      const CellType cell_type = range.cell_type_at(static_cast<int>(i) / range.cols, static_cast<int>(i) % range.cols);
      if (auto p = calvex::check_cell(cell_type, u16(read[r][i])))
        out.push_back(std::string(range.name) + " cell " + std::to_string(i) + ": '" + read[r][i] + "': " + *p);
    }
  }
  return out;
}

bool has_error(const Outcome& o) { return o.has(calvex::MsgClass::Error); }

class RoundTripTest : public ::testing::TestWithParam<const SheetDef*> {
 protected:
  TempDir dir_;
};

// Sheets whose write checks its cells against a band list that another
// sheet of the family writes: the image gets a valid sheet of that one first.
const std::map<std::string, std::string>& band_list_writers() {
  static const std::map<std::string, std::string> table = {
      {"LteaTmpComp", "LteaSwitchPaCtrlWord"},
      {"WcdmaTmpComp", "WcdmaSwitchPaCtrlWord"},
  };
  return table;
}

// Writes random valid cells of `def` onto `image` at `path`: the first cells
// (of up to kTriesForValidCells) that the write takes without an error. The
// image at `path` then holds what the write left.
struct ValidWrite {
  Ranges cells;
  Outcome outcome;
  Ranges image_read;  // what the read showed of `image` before the write
};
ValidWrite write_valid(const SheetDef& def, NvLayout layout, const std::vector<uint8_t>& image,
                       const std::string& path, std::mt19937& rng) {
  const auto fix = fixups().find(std::string(def.name));
  write_file(path, image);
  Outcome first_read;
  const Context ctx{&def, layout, read_ranges(def, path, layout, &first_read)};
  ValidWrite w;
  w.image_read = ctx.image_read;
  int tries = 0;
  do {
    w.cells = sample_sheet(def, Fill::Random, rng);
    if (fix != fixups().end()) fix->second(w.cells, ctx, rng);
    write_file(path, image);
    w.outcome = write_ranges(def, w.cells, path, layout);
  } while (has_error(w.outcome) && ++tries < kTriesForValidCells);
  return w;
}

// The image a sheet's round trip starts from: random bytes, with a valid
// band list where the sheet needs one.
std::vector<uint8_t> start_image(const SheetDef& def, NvLayout layout, const std::string& path, uint32_t seed,
                                 std::mt19937& rng) {
  std::vector<uint8_t> image = random_bytes(image_size_for(def), seed);
  const auto writer = band_list_writers().find(std::string(def.name));
  if (writer == band_list_writers().end()) return image;
  const SheetDef* bands = calvex::find_sheet_def(writer->second);
  if (bands == nullptr) {
    ADD_FAILURE() << "no sheet " << writer->second;
    return image;
  }
  image.resize(std::max(image.size(), image_size_for(*bands)));
  const ValidWrite w = write_valid(*bands, layout, image, path, rng);
  EXPECT_FALSE(has_error(w.outcome)) << writer->second << " seed " << seed << ": " << shown(w.outcome);
  return read_file(path);
}

TEST_P(RoundTripTest, ValidSheetsReadBackCanonicalAndRewriteTheSameBytes) {
  const SheetDef& def = *GetParam();
  ASSERT_TRUE(def.has_read()) << def.name;
  const std::string path = dir_.file("nv.bin");
  const std::string again = dir_.file("again.bin");
  for (NvLayout layout : layouts_of(def)) {
    for (int n = 0; n < kSheetsPerLayout; ++n) {
      const uint32_t seed = kSeedBase + static_cast<uint32_t>(n) * 7919u;
      std::mt19937 rng(seed);
      const std::vector<uint8_t> image = start_image(def, layout, path, seed, rng);
      const ValidWrite written = write_valid(def, layout, image, path, rng);
      ASSERT_FALSE(has_error(written.outcome)) << label(def, layout) << " seed " << seed
                                               << ": no valid sheet found, last: " << shown(written.outcome);
      const Ranges& cells = written.cells;
      const std::vector<uint8_t> after_write = read_file(path);

      Outcome read_outcome;
      const Ranges read = read_ranges(def, path, layout, &read_outcome);
      EXPECT_FALSE(has_error(read_outcome)) << label(def, layout) << " seed " << seed << ": " << shown(read_outcome);
      if (def.reads_by_decoder()) {
        EXPECT_EQ(shown(read_outcome), "") << label(def, layout) << ": a decoder shows nothing";
      }
      EXPECT_EQ(read_file(path), after_write) << label(def, layout) << " seed " << seed << ": the read changed the image";

      const std::vector<std::string> bad_kinds = kind_problems(def, read);
      EXPECT_TRUE(bad_kinds.empty()) << label(def, layout) << " seed " << seed << ": " << bad_kinds.size()
                                     << " cells the write would refuse, first " << bad_kinds.front();

      const Context ctx{&def, layout, written.image_read};
      const std::vector<std::string> differing = non_canonical(ctx, canon_rules_of(def), cells, read);
      EXPECT_TRUE(differing.empty()) << label(def, layout) << " seed " << seed << ": " << differing.size()
                                     << " cells not read back canonical, first " << differing.front();

      // The read written onto the written image changes nothing ...
      Outcome rewrite = write_ranges(def, read, path, layout);
      EXPECT_FALSE(has_error(rewrite)) << label(def, layout) << " seed " << seed << ": " << shown(rewrite);
      EXPECT_EQ(read_file(path), after_write) << label(def, layout) << " seed " << seed
                                              << ": writing the read changed the image";
      // ... and shows the same cells again: the read is its own canonical form ...
      Outcome reread_outcome;
      const Ranges reread = read_ranges(def, path, layout, &reread_outcome);
      EXPECT_EQ(reread, read) << label(def, layout) << " seed " << seed << ": the read of the rewrite differs";
      // ... and onto the image the cells were written to gives the same bytes.
      write_file(again, image);
      rewrite = write_ranges(def, read, again, layout);
      EXPECT_EQ(read_file(again), after_write) << label(def, layout) << " seed " << seed
                                               << ": the read does not say what the cells said";
      if (::testing::Test::HasFailure()) return;
    }
  }
}

TEST_P(RoundTripTest, ReadOfRandomImagesShowsNoErrorAndChangesNothing) {
  const SheetDef& def = *GetParam();
  const std::string path = dir_.file("nv.bin");
  for (NvLayout layout : layouts_of(def)) {
    for (int n = 0; n <= kRandomImages; ++n) {
      const uint32_t seed = kSeedBase + 1 + static_cast<uint32_t>(n);
      const std::vector<uint8_t> image =
          n == kRandomImages ? std::vector<uint8_t>(image_size_for(def), 0) : random_bytes(image_size_for(def), seed);
      write_file(path, image);
      Outcome outcome;
      const Ranges read = read_ranges(def, path, layout, &outcome);
      EXPECT_FALSE(has_error(outcome)) << label(def, layout) << " seed " << seed << ": " << shown(outcome);
      EXPECT_EQ(read_file(path), image) << label(def, layout) << " seed " << seed;
      ASSERT_EQ(read.size(), def.ranges.size());
    }
  }
}

// A decoder on an image it cannot open behaves as the read exports do.
TEST_P(RoundTripTest, DecoderOnAMissingImageShowsTheReadFailure) {
  const SheetDef& def = *GetParam();
  if (!def.reads_by_decoder()) GTEST_SKIP() << def.name << " is read by its export";
  for (NvLayout layout : layouts_of(def)) {
    Outcome outcome;
    read_ranges(def, dir_.file("missing.bin"), layout, &outcome);
    EXPECT_EQ(shown(outcome), "获取bin文件失败！") << label(def, layout);
  }
}

std::string sheet_param_name(const ::testing::TestParamInfo<const SheetDef*>& info) {
  return std::string(info.param->name);
}

INSTANTIATE_TEST_SUITE_P(AllSheets, RoundTripTest,
                         ::testing::ValuesIn(calvex::all_sheet_defs().begin(), calvex::all_sheet_defs().end()),
                         sheet_param_name);

}  // namespace
}  // namespace calvex_test
