// calvex diff against every single-byte change of every family's example
// image (the example sheets written, as the main job leaves it; LTE in both
// layouts): each flipped byte makes diff exit 1 and name a differing cell or
// a byte run that holds the offset. In-process (diff_images), every offset.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "catalogue.h"
#include "commands.h"
#include "csv.h"
#include "library.h"
#include "unicode.h"

// The sanitizer build walks every 97th offset: what that build is for is the
// memory checks, and every offset takes it too long. Every other build walks
// every offset.
#ifndef CALVEX_SCAN_STRIDE
#define CALVEX_SCAN_STRIDE 1
#endif

namespace {

namespace fs = std::filesystem;
using calvex_host::Options;

std::vector<uint8_t> slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void spill(const fs::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

calvex::Family family_of(std::string_view name) {
  for (const calvex::SheetDef* def : calvex::all_sheet_defs())
    if (calvex::family_name(def->family) == name) return def->family;
  ADD_FAILURE() << "no family " << name;
  return calvex::Family::Common;
}

struct Scan {
  const char* family;
  const char* layout;  // "" for the job's own layouts
};

class DiffScan : public ::testing::TestWithParam<Scan> {
 protected:
  void SetUp() override {
    // Scratch copies go to memory where the system has it: the scan writes one per flipped byte.
    std::error_code ec;
    dir_ = fs::exists("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
    dir_ /= "calvex-diff-scan-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
            std::to_string(reinterpret_cast<uintptr_t>(this));
    fs::create_directories(dir_);
    old_tmpdir_ = std::getenv("TMPDIR") != nullptr ? std::getenv("TMPDIR") : "";
    setenv("TMPDIR", dir_.c_str(), 1);
  }
  void TearDown() override {
    if (old_tmpdir_.empty()) {
      unsetenv("TMPDIR");
    } else {
      setenv("TMPDIR", old_tmpdir_.c_str(), 1);
    }
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  fs::path dir_;
  std::string old_tmpdir_;
};

// The example image with every job sheet written.
std::vector<uint8_t> example_image(const Scan& scan, const fs::path& path, Options& options) {
  const fs::path family_dir = fs::path(CALVEX_EXAMPLES) / scan.family;
  spill(path, slurp(family_dir / "nv.bin"));
  std::ifstream job(family_dir / "job.txt");
  std::string line;
  while (std::getline(job, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string sheet_name, file, layout;
    fields >> sheet_name >> file >> layout;
    const calvex::SheetDef* def = calvex::find_sheet_def(sheet_name);
    if (def == nullptr) {
      ADD_FAILURE() << sheet_name;
      continue;
    }
    if (*scan.layout != '\0') layout = scan.layout;
    const int32_t value = layout == "merged" ? 1 : 0;
    const calvex_host::RangeCells cells =
        calvex_host::parse_sheet_file(*def, calvex_host::decode_text(slurp(family_dir / file)));
    calvex_host::SheetCells texts;
    for (const auto& r : cells) {
      texts.emplace_back();
      for (const std::string& c : r) texts.back().push_back(calvex_host::utf16_from_utf8(c));
    }
    const calvex_host::Outcome outcome =
        calvex_host::call_sheet_write(*def, texts, calvex_host::utf16_from_utf8(path.string()), value);
    EXPECT_FALSE(outcome.has(calvex::MsgClass::Error)) << sheet_name;
    if (def->family == calvex::Family::Lte) options.layout = value;
  }
  return slurp(path);
}

// True when the report has a cell line or a byte run holding offset k.
bool names_offset_or_cell(const std::string& report, size_t k) {
  std::istringstream lines(report);
  std::string line;
  while (std::getline(lines, line)) {
    unsigned long long first = 0;
    unsigned long long last = 0;
    if (std::sscanf(line.c_str(), "bytes 0x%llx..0x%llx", &first, &last) == 2) {
      if (first <= k && k <= last) return true;
    } else if (!line.empty()) {
      return true;
    }
  }
  return false;
}

TEST_P(DiffScan, EveryFlippedByteIsReported) {
  const Scan scan = GetParam();
  Options options;
  const fs::path a = dir_ / "a.bin";
  const fs::path b = dir_ / "b.bin";
  const std::vector<uint8_t> image = example_image(scan, a, options);
  ASSERT_FALSE(image.empty());
  std::string report;
  spill(b, image);
  ASSERT_EQ(calvex_host::diff_images(a.string(), b.string(), family_of(scan.family), options, false, &report), 0)
      << report;
  EXPECT_EQ(report, "");
  size_t missed = 0;
  size_t by_cell = 0;
  for (size_t k = 0; k < image.size(); k += CALVEX_SCAN_STRIDE) {
    std::vector<uint8_t> flipped = image;
    flipped[k] ^= 0xFF;
    spill(b, flipped);
    const int status =
        calvex_host::diff_images(a.string(), b.string(), family_of(scan.family), options, false, &report);
    const bool named = names_offset_or_cell(report, k);
    if (status != 1 || !named) {
      if (++missed <= 5)
        ADD_FAILURE() << scan.family << " " << scan.layout << " offset " << k << ": status " << status << "\n"
                      << report;
    }
    if (report.rfind("bytes ", 0) != 0) ++by_cell;
  }
  EXPECT_EQ(missed, 0u) << scan.family << " " << scan.layout << ": " << missed << " of " << image.size();
  std::printf("%s%s%s: %zu offsets, %zu reported equal, %zu reported as cells first\n", scan.family,
              *scan.layout ? ":" : "", scan.layout, image.size(), missed, by_cell);
}

INSTANTIATE_TEST_SUITE_P(Families, DiffScan,
                         ::testing::Values(Scan{"common", ""}, Scan{"gsm", ""}, Scan{"ltea", ""}, Scan{"lte", ""},
                                           Scan{"lte", "merged"}, Scan{"tdscdma", ""}, Scan{"wcdma", ""}),
                         [](const ::testing::TestParamInfo<Scan>& info) {
                           return std::string(info.param.family) + (*info.param.layout ? "_merged" : "");
                         });

}  // namespace
