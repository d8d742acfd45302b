// Times reading a sheet file that ends in a million empty rows (as a
// spreadsheet saves a sheet whose formatting reaches far down), in the forms
// spreadsheets save: bare line ends, rows padded with separators, and UTF-16
// "Unicode text"; then the same through a file on disk. Prints the time per
// form and the process's peak resident memory after each.
//
//   sheet_file_bench [rows]      (default 1000000)
//
// Every time is the best of a few runs.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "catalogue.h"
#include "csv.h"

namespace {

using namespace calvex_host;
using Clock = std::chrono::steady_clock;

constexpr int kRuns = 3;
constexpr size_t kDefaultRows = 1'000'000;
constexpr size_t kKiBPerMiB = 1024;
constexpr int kTempDacFirstCode = 1650;
constexpr int kTempDacCodeStep = 250;

double best_seconds(const std::function<void()>& run) {
  double best = 1e300;
  for (int i = 0; i < kRuns; ++i) {
    const auto start = Clock::now();
    run();
    best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
  }
  return best;
}

long peak_rss_mib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / static_cast<long>(kKiBPerMiB);
}

std::string temp_dac_sheet(const SheetEntry& entry, char separator, size_t empty_rows, size_t padding) {
  const std::string pad(padding, separator);
  std::string text = "#sheet" + std::string(1, separator) + std::string(entry.name) + pad + "\r\n";
  text += "#range" + std::string(1, separator) + std::string(entry.ranges[0].name) + pad + "\r\n";
  for (int r = 0; r < entry.ranges[0].rows; ++r)
    text += std::to_string(kTempDacFirstCode + r * kTempDacCodeStep) + pad + "\r\n";
  const std::string empty_row = pad + "\r\n";
  text.reserve(text.size() + empty_row.size() * empty_rows);
  for (size_t i = 0; i < empty_rows; ++i) text += empty_row;
  return text;
}

std::vector<uint8_t> utf16le_with_bom(const std::string& ascii) {
  std::vector<uint8_t> bytes = {0xFF, 0xFE};
  bytes.reserve(2 + 2 * ascii.size());
  for (char c : ascii) {
    bytes.push_back(static_cast<uint8_t>(c));
    bytes.push_back(0);
  }
  return bytes;
}

void report(const char* form, size_t bytes, double seconds) {
  std::printf("  %-44s %8.1f MiB %9.1f ms   peak RSS %ld MiB\n", form,
              static_cast<double>(bytes) / (kKiBPerMiB * kKiBPerMiB), seconds * 1e3, peak_rss_mib());
}

}  // namespace

int main(int argc, char** argv) {
  const size_t rows = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : kDefaultRows;
  const SheetEntry* entry = find_sheet("TempDacTab");
  if (entry == nullptr) return 1;
  std::printf("TempDacTab followed by %zu empty rows\n", rows);

  const std::string bare = temp_dac_sheet(*entry, ',', rows, 0);
  report("UTF-8, bare line ends", bare.size(), best_seconds([&] { parse_sheet_file(*entry, bare); }));
  const std::string padded = temp_dac_sheet(*entry, ';', rows, 7);
  report("UTF-8, semicolon rows padded to 8 fields", padded.size(),
         best_seconds([&] { parse_sheet_file(*entry, padded); }));
  const std::vector<uint8_t> unicode = utf16le_with_bom(temp_dac_sheet(*entry, '\t', rows, 7));
  report("UTF-16 LE tab rows padded to 8 fields", unicode.size(),
         best_seconds([&] { parse_sheet_file(*entry, decode_text(unicode)); }));

  const std::filesystem::path path = std::filesystem::temp_directory_path() / "sheet_file_bench.txt";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(unicode.data()), static_cast<std::streamsize>(unicode.size()));
  report("the same from a file (read, decode, parse)", unicode.size(),
         best_seconds([&] { read_sheet_file(*entry, path.string()); }));
  std::filesystem::remove(path);
  return 0;
}
