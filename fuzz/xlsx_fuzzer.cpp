// The .xlsx reader on arbitrary bytes: a workbook's sheets or a
// WorkbookError, never a crash, a hang or a read outside the input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "xlsx_read.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  try {
    const auto sheets = calvex_host::read_xlsx_bytes(bytes, "fuzz.xlsx");
    for (const auto& sheet : sheets) {
      for (const auto& [at, text] : sheet.cells) {
        if (at.row == 0 || at.col == 0 || at.row > calvex_host::kWorksheetRowMax ||
            at.col > calvex_host::kWorksheetColMax) {
          std::abort();
        }
        (void)text;
      }
    }
  } catch (const calvex_host::WorkbookError&) {
  }
  return 0;
}
