// calvex's sheet-file reading on arbitrary bytes: decoding (UTF-8, UTF-16,
// GB18030), separator detection and the sheet-file parser for one sheet
// chosen by the first byte. Every outcome is cells of the sheet's shape or a
// FormatError; positions stay within the text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "csv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const auto sheets = calvex_host::all_sheets();
  const calvex_host::SheetEntry& sheet = *sheets[data[0] % sheets.size()];
  const std::vector<uint8_t> bytes(data + 1, data + size);
  try {
    const std::string text = calvex_host::decode_text(bytes);
    const calvex_host::SheetFileCells parsed = calvex_host::parse_sheet_file_at(sheet, text);
    if (parsed.cells.size() != sheet.ranges.size() || parsed.positions.size() != sheet.ranges.size()) std::abort();
    for (size_t r = 0; r < sheet.ranges.size(); ++r) {
      if (parsed.cells[r].size() != static_cast<size_t>(sheet.ranges[r].count())) std::abort();
      if (parsed.positions[r].size() != parsed.cells[r].size()) std::abort();
      for (const calvex_host::CellPosition& at : parsed.positions[r]) {
        if (at.line == 0 || at.column == 0 || at.line > text.size() + 1) std::abort();
      }
    }
  } catch (const calvex_host::FormatError&) {
  }
  return 0;
}
