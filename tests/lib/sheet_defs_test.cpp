// Every sheet definition (sheet_def.h) against its export, through the
// shared library: the definition's shape is accepted, one cell or one range
// fewer is refused with the definition's own message, a write changes no
// byte outside the definition's blocks, and what a read shows, like the
// example sheet files, passes the definition's cell kinds (cell_check.h).
// Every sheet at its edges, in both LTE layouts: a write to a missing image
// creates nothing, a read of one shows zeros, a read with the wrong count
// fills nothing (one table; a row where a sheet's message differs).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "calvex.h"
#include "cell_check.h"
#include "csv.h"
#include "exports_by_name.h"
#include "sheet_cells.h"
#include "sheet_def.h"
#include "test_host.h"
#include "unicode.h"

namespace calvex_test {
namespace {

using calvex::CellKind;
using calvex::CellType;
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

// Sample cells (tests/support/sheet_cells.h) with the ranges' bounds.
std::vector<RangeTexts> sample_ranges(const SheetDef& def, Fill fill, uint32_t seed) {
  std::mt19937 rng(seed);
  SheetTexts texts = sample_sheet(def, fill, rng);
  std::vector<RangeTexts> out;
  for (size_t r = 0; r < def.ranges.size(); ++r)
    out.push_back({std::move(texts[r]), def.ranges[r].rows, def.ranges[r].cols});
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

CellType without_limits(CellType cell_type) {
  cell_type.min = std::numeric_limits<int64_t>::min();
  cell_type.max = std::numeric_limits<int64_t>::max();
  return cell_type;
}

// Problems of a read's output against the kinds ("range r c: 'text': expected ...").
std::vector<std::string> read_problems(const SheetDef& def, const ReadResult& read, bool with_limits) {
  std::vector<std::string> problems;
  const auto targets = read_targets(def);
  for (size_t i = 0; i < targets.size() && i < read.texts.size(); ++i) {
    const auto [r, c] = targets[i];
    if (r < 0) continue;
    const RangeDef& range = def.ranges[static_cast<size_t>(r)];
    CellType cell_type = range.cell_type_at(c / range.cols, c % range.cols);
    if (!with_limits) cell_type = without_limits(cell_type);
    if (auto p = calvex::check_cell(cell_type, calvex_host::utf16_from_utf8(read.texts[i])))
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

// (b) One cell fewer in a range is refused with that range's message; one
// range fewer, one more or none with the sheet's configuration message; the
// image stays as it was.
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
    std::vector<RangeTexts> more = valid;
    more.push_back(valid.back());
    const std::pair<const char*, std::vector<RangeTexts>> wrong_counts[] = {
        {"one range fewer", fewer}, {"one range more", more}, {"no range", {}}};
    for (const auto& [what, ranges] : wrong_counts) {
      MessageLog log;
      write_sheet(def, ranges, path);
      EXPECT_EQ(log.texts(), std::vector<std::string>{utf8(def.range_count_message(layout))})
          << def.name << " (" << layout_name(layout) << "): " << what;
      EXPECT_EQ(read_file(path), image) << def.name << ": " << what;
    }
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
          const auto problem =
              calvex::check_cell(range.cell_type_at(static_cast<int>(c) / range.cols, static_cast<int>(c) % range.cols),
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

// ---- Every sheet at its edges: a missing image, a wrong read count ----

// A write of a sheet's example cells (examples/<family>/job.txt names one
// file per sheet): the cells every sheet takes.
std::vector<RangeTexts> example_ranges(const SheetDef& def) {
  const std::string family_dir = std::string(CALVEX_EXAMPLES_DIR) + "/" + std::string(calvex::family_name(def.family));
  for (const JobLine& j : read_job(family_dir)) {
    if (j.sheet != def.name) continue;
    const calvex_host::RangeCells cells = calvex_host::parse_sheet_file(def, read_text(family_dir + "/" + j.file));
    std::vector<RangeTexts> ranges;
    for (size_t r = 0; r < def.ranges.size(); ++r) ranges.push_back({cells[r], def.ranges[r].rows, def.ranges[r].cols});
    return ranges;
  }
  ADD_FAILURE() << def.name << " has no example sheet file";
  return {};
}

// Where a read stops when its image is missing or its cell count is wrong.
enum class ReadChecks {
  OpenThenCount,  // opens the image, then checks the count: both messages when both fail
  CountFirst,     // checks the count before it opens the image
  OpenStops,      // a missing image ends the read before the count is checked
};

// The messages in which a sheet differs from the common case (literal texts,
// so that a change of the catalogue shows here).
struct EdgeRow {
  std::string_view sheet;
  const char* write_open_failure = kOpenFailedWrite;  // a write's message for a missing image
  const char* read_count_message = kCellCountMismatch;
  ReadChecks read_checks = ReadChecks::OpenThenCount;
  bool missing_image_read_leaves_cells = false;  // else the cells show an image of zeros
};

const EdgeRow kEdgeRows[] = {
    {.sheet = "TempDacTab", .read_count_message = "SheetCommon表格数目不对，请确认", .read_checks = ReadChecks::CountFirst},
    {.sheet = "LteaSwitchPaCtrlWord", .write_open_failure = kOpenFailedRead},  // reads its band list first
    {.sheet = "LteaTmpComp", .write_open_failure = "Bin文件打开失败！", .read_count_message = "温补cell表格个数不符！"},
    {.sheet = "LteaTxAntSelect", .read_checks = ReadChecks::OpenStops, .missing_image_read_leaves_cells = true},
    {.sheet = "LteSwitchPaCtrlWord", .write_open_failure = "bin文件打开失败，请确认！"},
    {.sheet = "TdscdmaTmpComp", .read_count_message = "温补cell表格个数不符！"},
    {.sheet = "WcdmaMaxPow", .read_count_message = "MaxPowAPT的cell表格个数不符！"},
    {.sheet = "WcdmaTmpComp", .read_count_message = "温补cell表格个数不符！"},
};

const EdgeRow& edge_row(const SheetDef& def) {
  static const EdgeRow kCommonCase{};
  for (const EdgeRow& row : kEdgeRows)
    if (row.sheet == def.name) return row;
  return kCommonCase;
}

TEST(SheetEdgeRows, NameSheetsThatExistOnce) {
  std::set<std::string_view> seen;
  for (const EdgeRow& row : kEdgeRows) {
    EXPECT_NE(calvex::find_sheet_def(row.sheet), nullptr) << row.sheet;
    EXPECT_TRUE(seen.insert(row.sheet).second) << row.sheet << " twice";
  }
}

// A run of one text in a read's output: cells [first, first + count) show `text`.
struct TextRun {
  size_t first;
  size_t count;
  const char* text;
};

// What a read of a missing image shows, pinned with literal texts for the
// sheets whose tests stated them (every sheet: as a read of an image of zeros).
struct MissingImageRead {
  std::string_view sheet;
  std::vector<TextRun> runs;
  std::optional<int32_t> mark;  // every cell's mark, where the tests stated it
};

const MissingImageRead kMissingImageReads[] = {
    {"TempDacTab", {{0, 27, "0"}}, 2},
    {"GsmRampCtrl", {{0, 328, "0"}}, std::nullopt},
    {"GsmTmpComp", {{0, 2475, "0"}}, std::nullopt},
    // PA off and the configuration fields, a first word and an empty second word.
    {"GsmSwitchPaCtrlWord", {{0, 1, "0x0"}, {1, 1, "0"}, {6, 1, "0"}, {17, 1, "0x0"}, {18, 1, "X"}, {78, 1, "0x0"}},
     std::nullopt},
    {"LteaFilter", {{0, 6, "0"}}, 17},
    {"LteaMpr", {{0, 42, "0"}}, 17},
    {"LteaPcScale", {{0, 18, "0"}}, 17},
    {"LteaPhse", {{0, 4, "0x0"}}, 17},
    {"LteaCapacity", {{0, 4, "0x0"}}, 17},
    {"LteaFlags", {{0, 2, "0x0"}}, 17},
    // Empty slots and zero offsets.
    {"LteaSwitchPaCtrlWord", {{0, 2448, "X"}, {2448, 64, "0"}}, 2},
    // No band.
    {"LteaTmpComp", {{0, 1936, "X"}}, 2},
    {"TdscdmaNvCtrl", {{0, 10, "0"}, {10, 1, "0x0"}, {11, 2, "0"}, {13, 2, "0x0"}}, std::nullopt},
    {"TdscdmaTmpComp", {{0, 80, "0"}}, std::nullopt},
    // Both switches closed, no band.
    {"WcdmaMaxPow", {{0, 1, "close"}, {1, 1, "0x0"}, {2, 1, "close"}, {3, 1, "0x0"}, {4, 16, "X"}}, std::nullopt},
    {"WcdmaSwitchPaCtrlWord", {{0, 1680, "X"}}, std::nullopt},
};

// The cells a pinned row states, beside what the read showed there.
std::vector<std::string> run_texts(const std::vector<TextRun>& runs) {
  std::vector<std::string> texts;
  for (const TextRun& run : runs) texts.insert(texts.end(), run.count, run.text);
  return texts;
}
std::vector<std::string> texts_at(const std::vector<std::string>& read, const std::vector<TextRun>& runs) {
  std::vector<std::string> texts;
  for (const TextRun& run : runs)
    for (size_t i = run.first; i < run.first + run.count; ++i) texts.push_back(i < read.size() ? read[i] : "(none)");
  return texts;
}

class SheetEdgeCases : public ::testing::TestWithParam<const SheetDef*> {
 protected:
  void TearDown() override { SetLteVersion(0); }
  TempDir dir_;
  const std::string missing_ = dir_.file("missing.bin");
};

// A write of valid cells to a missing image shows the sheet's open failure
// and creates no file, in every layout.
TEST_P(SheetEdgeCases, WriteToAMissingImageCreatesNothing) {
  const SheetDef& def = *GetParam();
  const std::vector<RangeTexts> ranges = example_ranges(def);
  for (NvLayout layout : layouts_of(def)) {
    select_layout(layout);
    MessageLog log;
    write_sheet(def, ranges, missing_);
    EXPECT_EQ(log.texts(), std::vector<std::string>{edge_row(def).write_open_failure})
        << def.name << " (" << layout_name(layout) << ")";
    EXPECT_FALSE(std::filesystem::exists(missing_)) << def.name << " (" << layout_name(layout) << ")";
  }
}

// A read of a missing image shows the read failure, then what a read of an
// image of zeros shows (its messages, texts and marks).
TEST_P(SheetEdgeCases, ReadOfAMissingImageShowsZeros) {
  const SheetDef& def = *GetParam();
  if (!def.has_read_export()) GTEST_SKIP() << def.name << " has no read export";
  const std::string zeros = dir_.file("zeros.bin");
  write_file(zeros, std::vector<uint8_t>(image_size_for(def), 0));
  for (NvLayout layout : layouts_of(def)) {
    select_layout(layout);
    MessageLog zero_log;
    ReadResult expected = call_read_by_name(def.read_export, def.read_count(), zeros);
    std::vector<std::string> expected_messages{kOpenFailedRead};
    if (edge_row(def).missing_image_read_leaves_cells) {
      expected.texts.assign(expected.texts.size(), "?");
      expected.marks.assign(expected.marks.size(), -1);
    } else {
      expected_messages.insert(expected_messages.end(), zero_log.texts().begin(), zero_log.texts().end());
    }
    MessageLog log;
    const ReadResult read = call_read_by_name(def.read_export, def.read_count(), missing_);
    EXPECT_EQ(log.texts(), expected_messages) << def.name << " (" << layout_name(layout) << ")";
    EXPECT_EQ(read.texts, expected.texts) << def.name << " (" << layout_name(layout) << ")";
    EXPECT_EQ(read.marks, expected.marks) << def.name << " (" << layout_name(layout) << ")";
    for (const MissingImageRead& pinned : kMissingImageReads) {
      if (pinned.sheet != def.name) continue;
      EXPECT_EQ(texts_at(read.texts, pinned.runs), run_texts(pinned.runs)) << def.name;
      if (pinned.mark) {
        EXPECT_EQ(read.marks, std::vector<int32_t>(read.marks.size(), *pinned.mark)) << def.name;
      }
    }
  }
}

// A read with one cell too few or too many fills no cell and shows the
// sheet's count message; with a missing image as well, the read failure in
// the order the sheet checks them.
TEST_P(SheetEdgeCases, ReadWithTheWrongCellCountFillsNothing) {
  const SheetDef& def = *GetParam();
  if (!def.has_read_export()) GTEST_SKIP() << def.name << " has no read export";
  const EdgeRow& row = edge_row(def);
  const std::string image = dir_.file("nv.bin");
  write_file(image, random_bytes(image_size_for(def), kImageSeed));
  for (NvLayout layout : layouts_of(def)) {
    select_layout(layout);
    for (int delta : {-1, 1}) {
      const int32_t count = def.read_count() + delta;
      for (const bool missing : {false, true}) {
        std::vector<std::string> expected;
        if (!missing || row.read_checks == ReadChecks::CountFirst) {
          expected = {row.read_count_message};
        } else if (row.read_checks == ReadChecks::OpenStops) {
          expected = {kOpenFailedRead};
        } else {
          expected = {kOpenFailedRead, row.read_count_message};
        }
        MessageLog log;
        const ReadResult read = call_read_by_name(def.read_export, count, missing ? missing_ : image);
        const std::string where = std::string(def.name) + " (" + layout_name(layout) + "), " +
                                  std::to_string(count) + " cells, " + (missing ? "missing image" : "image");
        EXPECT_EQ(log.texts(), expected) << where;
        EXPECT_EQ(read.texts, repeat_text("?", static_cast<size_t>(count))) << where;
        EXPECT_EQ(read.marks, std::vector<int32_t>(static_cast<size_t>(count), -1)) << where;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllSheets, SheetEdgeCases, ::testing::ValuesIn(calvex::all_sheet_defs().begin(),
                                                                      calvex::all_sheet_defs().end()),
                         sheet_param_name);

}  // namespace
}  // namespace calvex_test
