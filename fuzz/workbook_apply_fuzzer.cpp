// apply's path on arbitrary bytes: the workbook read whole, every worksheet
// that holds a sheet (by its "#sheet" row or its name) mapped onto the
// sheet's ranges and every cell checked against its rule. Every outcome is cells of the sheet's shape or a
// WorkbookError / FormatError; never a crash, a hang, or memory beyond the
// reader's budgets (the smoke run sets -malloc_limit_mb).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "book.h"
#include "cell_check.h"
#include "unicode.h"
#include "worksheet_match.h"
#include "xlsx_read.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> bytes(data, data + size);
  std::vector<calvex_host::WorkbookSheet> book;
  try {
    book = calvex_host::read_xlsx_bytes(bytes, "fuzz.xlsx");
  } catch (const calvex_host::WorkbookError&) {
    return 0;
  }
  for (const calvex_host::WorkbookSheet& ws : book) {
    const calvex_host::WorksheetMatch match = calvex_host::match_worksheet(ws);
    if (match.kind != calvex_host::WorksheetMatch::Kind::kSheet) continue;
    const calvex_host::SheetEntry* sheet = match.sheet;
    try {
      const calvex_host::WorksheetCells cells = calvex_host::worksheet_cells(*sheet, ws);
      if (cells.cells.size() != sheet->ranges.size()) std::abort();
      for (size_t r = 0; r < sheet->ranges.size(); ++r) {
        const calvex::RangeDef& range = sheet->ranges[r];
        if (cells.cells[r].size() != static_cast<size_t>(range.count())) std::abort();
        for (size_t i = 0; i < cells.cells[r].size(); ++i) {
          const int row = static_cast<int>(i) / range.cols;
          const int col = static_cast<int>(i) % range.cols;
          const calvex::CellType rule = range.cell_type_at(row, col);
          (void)calvex::check_cell(rule, calvex_host::utf16_from_utf8(cells.cells[r][i]));
          const calvex_host::CellPosition& at = cells.positions[r][i];
          const auto number = ws.numbers.find({static_cast<uint32_t>(at.line), static_cast<uint32_t>(at.column)});
          if (number != ws.numbers.end()) (void)calvex_host::number_cell_problem(rule, number->second, cells.cells[r][i]);
        }
      }
    } catch (const calvex_host::FormatError&) {
    }
  }
  return 0;
}
