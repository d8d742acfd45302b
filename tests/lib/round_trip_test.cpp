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
#include <cstdio>
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
using calvex::CellSpec;
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
// "X" where X is meaningful (an empty value, an undriven line, an unused
// cell); decimal in "%d" of its value, hexadecimal "0x%x" in lower case
// ("0x" added), MIPI pairs "0x%x,0x%x"; keywords and blanks as written. On
// top of that, a rule per sheet where its image cannot tell (canon_rules()):
//
//   rule          sheets                  why
//   x_reads_zero  GsmTmpComp,             a numeric X cell is stored as 0, so
//                 GsmRampCtrl             it reads "0" ("0x0")
//   unmodelled    the sheets listed       the read is not compared cell by
//                 below                   cell with the written cells yet (its
//                                         rules, per the read note, are not
//                                         written down here); the read of the
//                                         rewrite, its bytes and the bytes of
//                                         the first write still must agree
struct CanonRules {
  bool x_reads_zero = false;
  bool unmodelled = false;
  std::string_view reason = {};
};

const std::map<std::string, CanonRules>& canon_rules() {
  constexpr std::string_view kXZero = "X and 0 store the same bytes";
  constexpr std::string_view kOpen = "not modelled yet: see the read note";
  static const std::map<std::string, CanonRules> table = {
      {"GsmTmpComp", {.x_reads_zero = true, .reason = kXZero}},
      {"GsmRampCtrl", {.x_reads_zero = true, .reason = kXZero}},
      // Differences seen: unstored words and lines read X, X and 0 alike,
      // band lists read as the slots the write built, switches read open.
      {"PinMuxMipiInit", {.unmodelled = true, .reason = kOpen}},
      {"PortInfo", {.unmodelled = true, .reason = kOpen}},
      {"GsmSwitchPaCtrlWord", {.unmodelled = true, .reason = kOpen}},
      {"LteaFlags", {.unmodelled = true, .reason = kOpen}},
      {"LteaPcScale", {.unmodelled = true, .reason = kOpen}},
      {"LteaSwitchPaCtrlWord", {.unmodelled = true, .reason = kOpen}},
      {"LteaTmpComp", {.x_reads_zero = true, .unmodelled = true, .reason = kOpen}},
      {"LteaTxAntSelect", {.unmodelled = true, .reason = kOpen}},
      {"LtePwtAndOtherFlags", {.unmodelled = true, .reason = kOpen}},
      {"LteSwitchPaCtrlWord", {.unmodelled = true, .reason = kOpen}},
      {"LteTmpComp", {.x_reads_zero = true, .unmodelled = true, .reason = kOpen}},
      {"TdscdmaNvCtrl", {.unmodelled = true, .reason = kOpen}},
      {"TdscdmaSwitchPaCtrlWord", {.unmodelled = true, .reason = kOpen}},
      {"WcdmaAntExchange", {.unmodelled = true, .reason = kOpen}},
      {"WcdmaMaxPow", {.unmodelled = true, .reason = kOpen}},
      {"WcdmaNotch", {.unmodelled = true, .reason = kOpen}},
      {"WcdmaSwitchPaCtrlWord", {.unmodelled = true, .reason = kOpen}},
      {"WcdmaTmpComp", {.unmodelled = true, .reason = kOpen}},
  };
  return table;
}

CanonRules canon_rules_of(const SheetDef& def) {
  const auto it = canon_rules().find(std::string(def.name));
  return it == canon_rules().end() ? CanonRules{} : it->second;
}

// The cell as a read shows what the write took from it: numbers in their
// stored width and sign, hexadecimal in lower case with "0x".
std::string canonical(const CellSpec& spec, const std::string& text, bool x_reads_zero = false) {
  if (x_reads_zero && is_x(text) && spec.x_means_empty && (spec.kind == CellKind::Dec || spec.kind == CellKind::Hex))
    return spec.kind == CellKind::Dec ? "0" : "0x0";
  if (is_x(text) && (spec.x_means_empty || spec.kind == CellKind::Line || spec.kind == CellKind::Unused)) return "X";
  if (text.empty()) return text;
  switch (spec.kind) {
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

// Cells whose read differs from their canonical form, "Range cell i: 'in' -> 'read'".
std::vector<std::string> non_canonical(const SheetDef& def, const CanonRules& rules, const Ranges& in,
                                       const Ranges& read) {
  std::vector<std::string> out;
  for (size_t r = 0; r < def.ranges.size(); ++r) {
    const calvex::RangeDef& range = def.ranges[r];
    for (size_t i = 0; i < in[r].size(); ++i) {
      const CellSpec spec = range.spec_at(static_cast<int>(i) / range.cols, static_cast<int>(i) % range.cols);
      const std::string want = canonical(spec, in[r][i], rules.x_reads_zero);
      if (want != read[r][i])
        out.push_back(std::string(range.name) + " cell " + std::to_string(i) + ": '" + in[r][i] + "' -> '" +
                      read[r][i] + "'");
    }
  }
  return out;
}

std::vector<std::string> kind_problems(const SheetDef& def, const Ranges& read) {
  std::vector<std::string> out;
  for (size_t r = 0; r < def.ranges.size(); ++r) {
    const calvex::RangeDef& range = def.ranges[r];
    for (size_t i = 0; i < read[r].size(); ++i) {
      const CellSpec spec = range.spec_at(static_cast<int>(i) / range.cols, static_cast<int>(i) % range.cols);
      if (auto p = calvex::check_cell(spec, u16(read[r][i])))
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
};
ValidWrite write_valid(const SheetDef& def, NvLayout layout, const std::vector<uint8_t>& image,
                       const std::string& path, std::mt19937& rng) {
  const auto fix = fixups().find(std::string(def.name));
  write_file(path, image);
  Outcome first_read;
  const Context ctx{&def, layout, read_ranges(def, path, layout, &first_read)};
  ValidWrite w;
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
    size_t differing_cells = 0;
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

      const CanonRules rules = canon_rules_of(def);
      const std::vector<std::string> differing = non_canonical(def, rules, cells, read);
      differing_cells += differing.size();
      if (!rules.unmodelled) {
        EXPECT_TRUE(differing.empty()) << label(def, layout) << " seed " << seed << ": " << differing.size()
                                       << " cells not read back canonical, first " << differing.front();
      }

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
    if (differing_cells > 0) {
      std::printf("%s: %zu of the cells read back in another form (%s)\n", label(def, layout).c_str(),
                  differing_cells, std::string(canon_rules_of(def).reason).c_str());
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
