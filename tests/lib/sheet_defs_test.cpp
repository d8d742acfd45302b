// Every sheet definition (sheet_def.h) against its export, through the
// shared library: the definition's shape is accepted, one cell or one range
// fewer is refused with the definition's own message, a write changes no
// byte outside the definition's blocks, and what a read shows, like the
// example sheet files, passes the definition's cell kinds (cell_check.h).
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "calvex.h"
#include "cell_check.h"
#include "csv.h"
#include "exports_by_name.h"
#include "sheet_def.h"
#include "test_host.h"
#include "unicode.h"

namespace calvex_test {
namespace {

using calvex::CellKind;
using calvex::CellSpec;
using calvex::NvLayout;
using calvex::NvSpan;
using calvex::RangeDef;
using calvex::SheetDef;

constexpr uint32_t kImageSeed = 20261210;
// Images reach this far past the last block of a sheet, so that a write
// past its blocks shows as a change.
constexpr size_t kImageSlack = 4096;

std::string utf8(const calvex::Message* m) { return calvex_host::utf8_from_utf16(m->text); }

std::vector<NvLayout> layouts_of(const SheetDef& def) {
  if (def.family == calvex::Family::Lte) return {NvLayout::Single, NvLayout::Merged};
  return {NvLayout::Any};
}

const char* layout_name(NvLayout l) {
  return l == NvLayout::Single ? "single" : l == NvLayout::Merged ? "merged" : "any";
}

void select_layout(NvLayout l) { SetLteVersion(l == NvLayout::Merged ? 1 : 0); }

size_t image_size_for(const SheetDef& def) {
  size_t end = 0;
  for (const NvSpan& s : def.blocks) end = std::max(end, static_cast<size_t>(s.offset) + s.size);
  return end + kImageSlack;
}

std::vector<Span> written_spans(const SheetDef& def, NvLayout layout) {
  std::vector<Span> spans;
  for (const NvSpan& s : def.blocks)
    if (!s.read_only && s.in_layout(layout)) spans.push_back({s.offset, s.size});
  return spans;
}

// How sample cells are made from the kinds.
enum class Fill {
  Plain,   // a value: "0" (or the minimum), "0x0", the first keyword, line "0"
  XFirst,  // "X" where X is allowed, else as Plain
  Random,  // a random valid cell
};

std::string hex_of(uint64_t v) {
  std::ostringstream s;
  s << "0x" << std::hex << v;
  return s.str();
}

std::string sample_cell(const CellSpec& spec, Fill fill, std::mt19937& rng) {
  if (fill == Fill::XFirst && spec.x_means_empty) return "X";
  if (fill == Fill::Random && (spec.x_means_empty || spec.blank_ok) && rng() % 4 == 0)
    return spec.x_means_empty ? "X" : "";
  const int64_t lo = calvex::cell_min(spec);
  const int64_t hi = calvex::cell_max(spec);
  const auto pick = [&]() -> int64_t {
    if (fill != Fill::Random) return std::max<int64_t>(lo, std::min<int64_t>(0, hi));
    std::uniform_int_distribution<int64_t> d(lo, hi);
    return d(rng);
  };
  switch (spec.kind) {
    case CellKind::Dec:
      return std::to_string(pick());
    case CellKind::Hex:
      return hex_of(static_cast<uint64_t>(pick()));
    case CellKind::MipiPair:
      return hex_of(static_cast<uint64_t>(pick())) + "," + hex_of(static_cast<uint64_t>(pick()));
    case CellKind::Keyword:
      if (spec.keywords.empty()) return "";
      return std::string(spec.keywords[fill == Fill::Random ? rng() % spec.keywords.size() : 0]);
    case CellKind::Line:
      return fill == Fill::Random ? std::string(1, "01X"[rng() % 3]) : "0";
    case CellKind::Unused:
      return "X";
    case CellKind::Text:
      return spec.blank_ok ? "" : "X";
  }
  return "";
}

std::vector<RangeTexts> sample_ranges(const SheetDef& def, Fill fill, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<RangeTexts> out;
  for (const RangeDef& r : def.ranges) {
    RangeTexts t;
    t.rows = r.rows;
    t.cols = r.cols;
    for (int row = 0; row < r.rows; ++row)
      for (int col = 0; col < r.cols; ++col) t.cells.push_back(sample_cell(r.spec_at(row, col), fill, rng));
    out.push_back(std::move(t));
  }
  return out;
}

// The texts of the configuration and cell-count messages of a sheet.
std::set<std::string> shape_messages(const SheetDef& def, NvLayout layout) {
  std::set<std::string> texts{utf8(def.range_count_message(layout))};
  for (const RangeDef& r : def.ranges) texts.insert(utf8(r.on_cell_count));
  return texts;
}

void write_sheet(const SheetDef& def, const std::vector<RangeTexts>& ranges, const std::string& path) {
  call_write_by_name(def.write_export, ranges, path, def.write_back_cells);
}

// Where output cell i of a read lands: (range, cell) or range -1.
std::vector<std::pair<int, int>> read_targets(const SheetDef& def) {
  std::vector<std::pair<int, int>> targets;
  if (def.read_runs.empty()) {
    for (size_t r = 0; r < def.ranges.size(); ++r)
      for (int64_t c = 0; c < def.ranges[r].count(); ++c) targets.emplace_back(static_cast<int>(r), static_cast<int>(c));
    return targets;
  }
  targets.assign(static_cast<size_t>(def.read_count()), {-1, -1});
  size_t out = 0;
  for (const calvex::ReadRun& run : def.read_runs)
    for (int i = 0; i < run.count && out < targets.size(); ++i) targets[out++] = {run.range, run.first + i * run.step};
  return targets;
}

CellSpec without_limits(CellSpec spec) {
  spec.min = std::numeric_limits<int64_t>::min();
  spec.max = std::numeric_limits<int64_t>::max();
  return spec;
}

// Problems of a read's output against the kinds ("range r c: 'text': expected ...").
std::vector<std::string> read_problems(const SheetDef& def, const ReadResult& read, bool with_limits) {
  std::vector<std::string> problems;
  const auto targets = read_targets(def);
  for (size_t i = 0; i < targets.size() && i < read.texts.size(); ++i) {
    const auto [r, c] = targets[i];
    if (r < 0) continue;
    const RangeDef& range = def.ranges[static_cast<size_t>(r)];
    CellSpec spec = range.spec_at(c / range.cols, c % range.cols);
    if (!with_limits) spec = without_limits(spec);
    if (auto p = calvex::check_cell(spec, calvex_host::utf16_from_utf8(read.texts[i])))
      problems.push_back(std::string(range.name) + " cell " + std::to_string(c) + ": '" + read.texts[i] + "': " + *p);
  }
  return problems;
}

// Read output cells laid onto the ranges, with the definition's read fills
// (texts a host puts where the read gives nothing); other cells the read does
// not give are Plain samples.
std::vector<RangeTexts> ranges_from_read(const SheetDef& def, const ReadResult& read) {
  std::vector<RangeTexts> ranges = sample_ranges(def, Fill::Plain, 0);
  const auto targets = read_targets(def);
  for (size_t i = 0; i < targets.size() && i < read.texts.size(); ++i)
    if (targets[i].first >= 0) ranges[static_cast<size_t>(targets[i].first)].cells[static_cast<size_t>(targets[i].second)] = read.texts[i];
  for (const calvex::ReadFill& f : def.read_fills)
    ranges[static_cast<size_t>(f.range)].cells[static_cast<size_t>(f.cell)] = std::string(f.text);
  return ranges;
}

std::string describe_offsets(const std::vector<size_t>& offsets) {
  std::ostringstream s;
  for (size_t i = 0; i < offsets.size() && i < 8; ++i) s << (i ? ", " : "") << "0x" << std::hex << offsets[i];
  if (offsets.size() > 8) s << " ... (" << std::dec << offsets.size() << " bytes)";
  return s.str();
}

class SheetDefTest : public ::testing::TestWithParam<const SheetDef*> {
 protected:
  void TearDown() override { SetLteVersion(0); }
  TempDir dir_;
};

TEST_P(SheetDefTest, ExportsExist) {
  const SheetDef& def = *GetParam();
  const SheetExport* w = find_export(def.write_export);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(def.write_with_back != nullptr, w->write_back != nullptr);
  if (def.has_read_export()) {
    const SheetExport* r = find_export(def.read_export);
    ASSERT_NE(r, nullptr);
    EXPECT_NE(r->read, nullptr);
  }
  EXPECT_FALSE(def.blocks.empty());
}

// (a) The definition's shape with valid cells shows no configuration or
// cell-count message.
TEST_P(SheetDefTest, ShapeIsAccepted) {
  const SheetDef& def = *GetParam();
  for (NvLayout layout : layouts_of(def)) {
    select_layout(layout);
    for (Fill fill : {Fill::Plain, Fill::XFirst, Fill::Random}) {
      const std::string path = dir_.file("nv.bin");
      write_file(path, random_bytes(image_size_for(def), kImageSeed));
      MessageLog log;
      write_sheet(def, sample_ranges(def, fill, kImageSeed), path);
      const std::set<std::string> refused = shape_messages(def, layout);
      for (const std::string& m : log.texts())
        EXPECT_EQ(refused.count(m), 0u) << def.name << " (" << layout_name(layout) << "): " << m;
    }
  }
}

// (b) One cell fewer in a range is refused with that range's message, one
// range fewer with the sheet's configuration message; the image stays as it was.
TEST_P(SheetDefTest, WrongShapeIsRefusedWithItsMessage) {
  const SheetDef& def = *GetParam();
  for (NvLayout layout : layouts_of(def)) {
    select_layout(layout);
    const std::string path = dir_.file("nv.bin");
    const std::vector<uint8_t> image = random_bytes(image_size_for(def), kImageSeed);
    write_file(path, image);
    const std::vector<RangeTexts> valid = sample_ranges(def, Fill::Plain, kImageSeed);
    for (size_t r = 0; r < def.ranges.size(); ++r) {
      std::vector<RangeTexts> ranges = valid;
      ranges[r].cells.pop_back();
      ranges[r].rows = -1;
      ranges[r].cols = 1;
      MessageLog log;
      write_sheet(def, ranges, path);
      EXPECT_EQ(log.texts(), std::vector<std::string>{utf8(def.ranges[r].on_cell_count)})
          << def.name << " range " << def.ranges[r].name << " (" << layout_name(layout) << ")";
      EXPECT_EQ(read_file(path), image) << def.name << " range " << def.ranges[r].name;
    }
    std::vector<RangeTexts> fewer = valid;
    fewer.pop_back();
    MessageLog log;
    write_sheet(def, fewer, path);
    EXPECT_EQ(log.texts(), std::vector<std::string>{utf8(def.range_count_message(layout))})
        << def.name << " (" << layout_name(layout) << ")";
    EXPECT_EQ(read_file(path), image) << def.name;
  }
}

// (c) Every byte a write changes lies inside the definition's blocks: valid
// cells of every fill, and (sheets with a read) the read's own output.
TEST_P(SheetDefTest, WriteStaysInsideItsBlocks) {
  const SheetDef& def = *GetParam();
  for (NvLayout layout : layouts_of(def)) {
    select_layout(layout);
    const std::vector<Span> spans = written_spans(def, layout);
    std::vector<std::vector<RangeTexts>> inputs;
    for (Fill fill : {Fill::Plain, Fill::XFirst, Fill::Random}) inputs.push_back(sample_ranges(def, fill, kImageSeed));
    for (uint32_t seed = 1; seed <= 4; ++seed) inputs.push_back(sample_ranges(def, Fill::Random, kImageSeed + seed));
    const std::string path = dir_.file("nv.bin");
    const std::vector<uint8_t> image = random_bytes(image_size_for(def), kImageSeed);
    if (def.has_read_export()) {
      write_file(path, image);
      MessageLog log;
      std::vector<RangeTexts> back = ranges_from_read(def, call_read_by_name(def.read_export, def.read_count(), path));
      inputs.push_back(back);
      // The read's cells with the last range changed: sheets that check
      // their cells against the image (band lists) write this one.
      back.back() = sample_ranges(def, Fill::Random, kImageSeed).back();
      inputs.push_back(back);
    }
    bool changed = false;
    for (size_t i = 0; i < inputs.size(); ++i) {
      write_file(path, image);
      MessageLog log;
      write_sheet(def, inputs[i], path);
      const std::vector<uint8_t> after = read_file(path);
      changed = changed || after != image;
      EXPECT_EQ(describe_offsets(changes_outside(image, after, spans)), "")
          << def.name << " (" << layout_name(layout) << ") input " << i;
    }
    // A sheet that checks its cells against the image (read-only blocks: a
    // band list) may refuse every input on a random image; the example
    // test below writes those on images that hold their band lists.
    const bool checks_image =
        std::any_of(def.blocks.begin(), def.blocks.end(), [](const NvSpan& s) { return s.read_only; });
    if (!checks_image) {
      EXPECT_TRUE(changed) << def.name << " (" << layout_name(layout) << "): no input changed the image";
    }
  }
}

// (d) What a read shows of a random image has the kinds of the cells (by
// width and sign: a random image holds values the write would refuse).
TEST_P(SheetDefTest, ReadOutputHasTheKinds) {
  const SheetDef& def = *GetParam();
  if (!def.has_read_export()) GTEST_SKIP() << def.name << " has no read";
  for (NvLayout layout : layouts_of(def)) {
    select_layout(layout);
    for (uint32_t seed : {kImageSeed, kImageSeed + 1, 0u}) {
      const std::string path = dir_.file("nv.bin");
      write_file(path, seed == 0 ? std::vector<uint8_t>(image_size_for(def), 0) : random_bytes(image_size_for(def), seed));
      MessageLog log;
      const ReadResult read = call_read_by_name(def.read_export, def.read_count(), path);
      const std::vector<std::string> problems = read_problems(def, read, false);
      EXPECT_TRUE(problems.empty()) << def.name << " seed " << seed << ": " << problems.size() << " cells, first "
                                    << problems.front();
    }
  }
}

std::string sheet_param_name(const ::testing::TestParamInfo<const SheetDef*>& info) {
  return std::string(info.param->name);
}

INSTANTIATE_TEST_SUITE_P(AllSheets, SheetDefTest, ::testing::ValuesIn(calvex::all_sheet_defs().begin(),
                                                                    calvex::all_sheet_defs().end()),
                         sheet_param_name);

// ---- The example sheet files and images ----

struct JobLine {
  std::string sheet;
  std::string file;
  std::string layout;
};

std::vector<JobLine> read_job(const std::string& family_dir) {
  std::ifstream in(family_dir + "/job.txt");
  std::vector<JobLine> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream s(line);
    JobLine j;
    s >> j.sheet >> j.file >> j.layout;
    if (!j.sheet.empty()) lines.push_back(j);
  }
  return lines;
}

std::string read_text(const std::string& path) {
  const std::vector<uint8_t> bytes = read_file(path);
  return calvex_host::decode_text(bytes);
}

// Every cell of every example sheet file passes its kind; written into the
// family's example image in job order, each changes the image inside its
// blocks only, and every readable sheet reads back cells that pass their
// kinds, limits included.
TEST(SheetDefExamples, ExampleSheetsAndTheirReadBackPassTheKinds) {
  TempDir dir;
  size_t sheets_seen = 0;
  // The LTE files also go into a fresh image in the merged layout (job.txt).
  const std::pair<const char*, const char*> runs[] = {{"common", ""}, {"gsm", ""},     {"ltea", ""},
                                                      {"lte", ""},    {"lte", "merged"}, {"tdscdma", ""},
                                                      {"wcdma", ""}};
  for (const auto& [family, forced_layout] : runs) {
    const std::string family_dir = std::string(CALVEX_EXAMPLES_DIR) + "/" + family;
    const std::vector<JobLine> job = read_job(family_dir);
    ASSERT_FALSE(job.empty()) << family;
    const std::string image = dir.file(std::string(family) + forced_layout + ".bin");
    write_file(image, read_file(family_dir + "/nv.bin"));
    for (const JobLine& j : job) {
      const SheetDef* def = calvex::find_sheet_def(j.sheet);
      ASSERT_NE(def, nullptr) << j.sheet;
      if (*forced_layout == '\0') ++sheets_seen;
      const calvex_host::RangeCells cells = calvex_host::parse_sheet_file(*def, read_text(family_dir + "/" + j.file));
      std::vector<RangeTexts> ranges;
      for (size_t r = 0; r < def->ranges.size(); ++r) {
        const RangeDef& range = def->ranges[r];
        for (size_t c = 0; c < cells[r].size(); ++c) {
          const std::string& text = cells[r][c];
          const auto problem = calvex::check_cell(range.spec_at(static_cast<int>(c) / range.cols, static_cast<int>(c) % range.cols),
                                                  calvex_host::utf16_from_utf8(text));
          EXPECT_FALSE(problem) << j.file << " range " << range.name << " cell " << c << ": '" << text << "': " << *problem;
        }
        ranges.push_back({cells[r], range.rows, range.cols});
      }
      const std::string layout_text = *forced_layout != '\0' ? forced_layout : j.layout;
      const NvLayout layout = def->family != calvex::Family::Lte ? NvLayout::Any
                              : layout_text == "merged"              ? NvLayout::Merged
                                                                     : NvLayout::Single;
      select_layout(layout);
      const std::vector<uint8_t> before = read_file(image);
      MessageLog log;
      write_sheet(*def, ranges, image);
      SetLteVersion(0);
      const std::vector<uint8_t> after = read_file(image);
      EXPECT_NE(before, after) << j.sheet << " (" << layout_name(layout) << "): the example changed nothing";
      EXPECT_EQ(describe_offsets(changes_outside(before, after, written_spans(*def, layout))), "")
          << j.sheet << " (" << layout_name(layout) << ")";
    }
    for (const JobLine& j : job) {
      const SheetDef* def = calvex::find_sheet_def(j.sheet);
      if (!def->has_read_export()) continue;
      MessageLog log;
      const ReadResult read = call_read_by_name(def->read_export, def->read_count(), image);
      const std::vector<std::string> problems = read_problems(*def, read, true);
      EXPECT_TRUE(problems.empty()) << j.sheet << ": " << problems.size() << " cells, first " << problems.front();
    }
  }
  EXPECT_EQ(sheets_seen, calvex::all_sheet_defs().size());
}

// ---- check_cell: one row per rule ----

struct CellCase {
  CellSpec spec;
  const char* text;
  bool ok;
  const char* rule;
};

constexpr std::string_view kWords[] = {"open", "MIPI MODE"};

TEST(CheckCell, FollowsTheStrictRules) {
  const CellCase cases[] = {
      {calvex::dec(2, true), "-32768", true, "signed 16-bit minimum"},
      {calvex::dec(2, true), "32767", true, "signed 16-bit maximum"},
      {calvex::dec(2, true), "32768", false, "beyond the signed width"},
      {calvex::dec(2, true), "+7", true, "a plus sign"},
      {calvex::dec(2, false), "65535", true, "unsigned 16-bit maximum"},
      {calvex::dec(2, false), "-1", false, "negative in an unsigned field"},
      {calvex::dec(2, false), "99999", false, "beyond the unsigned width"},
      {calvex::dec(4, true), "1,600", false, "thousands separator"},
      {calvex::dec(4, true), "2.0E+01", false, "exponent"},
      {calvex::dec(4, true), " 5", false, "leading blank"},
      {calvex::dec(4, true), "5 ", false, "trailing blank"},
      {calvex::dec(4, true), "abc", false, "no digits"},
      {calvex::dec(4, true), "-", false, "a sign alone"},
      {calvex::dec(4, true), "", false, "blank where blank means nothing"},
      {calvex::dec(4, true), "X", false, "X where X means nothing"},
      {calvex::dec(4, false), "4294967295", true, "unsigned 32-bit maximum"},
      {calvex::dec(4, false), "99999999999999999999999", false, "far beyond any width"},
      {calvex::in_range(calvex::dec(2, false), 1, 8191), "0", false, "below min"},
      {calvex::in_range(calvex::dec(2, false), 1, 8191), "8191", true, "max"},
      {calvex::in_range(calvex::dec(2, false), 1, 8191), "8192", false, "above max"},
      {calvex::or_x(calvex::dec(2, true)), "x", true, "x where allowed"},
      {calvex::or_blank(calvex::dec(2, true)), "", true, "blank where allowed"},
      {calvex::hex(2), "0xFFFF", true, "hex of the full width"},
      {calvex::hex(2), "ffff", true, "hex without prefix"},
      {calvex::hex(2), "0x10000", false, "hex beyond the width"},
      {calvex::hex(2), "0x", false, "prefix alone"},
      {calvex::hex(2), "0x1g", false, "not a hex digit"},
      {calvex::hex(4), "0x0x12", false, "a second prefix"},
      {calvex::hex(4), "-1", false, "a sign"},
      {calvex::in_range(calvex::hex(4), 0, 0xFFFFF), "0x100000", false, "above max"},
      {calvex::keyword(kWords), "open", true, "keyword"},
      {calvex::keyword(kWords), "Open", false, "keyword in another case"},
      {calvex::keyword(kWords), " open", false, "keyword with a blank"},
      {calvex::keyword(kWords), "MIPI MODE", true, "keyword with its own blank"},
      {calvex::keyword(kWords), "", false, "blank keyword not allowed"},
      {calvex::keyword(kWords, true), "", true, "blank keyword allowed"},
      {calvex::line_cell(), "1", true, "line high"},
      {calvex::line_cell(), "X", true, "line undriven"},
      {calvex::line_cell(), "2", false, "not a line state"},
      {calvex::line_cell(), "", false, "blank line"},
      {calvex::mipi_pair(1), "0x1c,0x38", true, "MIPI pair"},
      {calvex::mipi_pair(1), "1c,38", true, "MIPI pair without prefixes"},
      {calvex::mipi_pair(1), "0x1c", false, "MIPI pair without data"},
      {calvex::mipi_pair(1), "0x1c,0x138", false, "MIPI data beyond a byte"},
      {calvex::unused(), "X", true, "unused cell X"},
      {calvex::unused(), "", true, "unused cell blank"},
      {calvex::unused(), "0", false, "a value in an unused cell"},
      {calvex::text(), "anything, really", true, "free text"},
  };
  for (const CellCase& c : cases) {
    const auto problem = calvex::check_cell(c.spec, calvex_host::utf16_from_utf8(c.text));
    EXPECT_EQ(!problem, c.ok) << "'" << c.text << "': " << c.rule << (problem ? " -> " + *problem : "");
  }
}

TEST(CheckCell, SaysWhatWasExpected) {
  EXPECT_EQ(calvex::check_cell(calvex::in_range(calvex::dec(2, false), 1, 8191), u"0"),
            std::optional<std::string>("expected a decimal integer 1..8191"));
  EXPECT_EQ(calvex::check_cell(calvex::or_x(calvex::dec(2, true)), u"a"),
            std::optional<std::string>("expected a decimal integer -32768..32767, or X"));
  EXPECT_EQ(calvex::describe_cell(calvex::keyword(kWords, true)), "one of 'open', 'MIPI MODE', or empty");
}

}  // namespace
}  // namespace calvex_test
