// The library's sheet exports by name: the table is made from the export
// list (sheetlib/core/ops.inc) and the exports' declarations (calvex.h), so a
// test can reach the export that a sheet definition names.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "calvex.h"
#include "test_host.h"

namespace calvex_test {

using WriteExport = void(CALVEX_CALL*)(const CellRange*, int32_t, CalvexText);
using ReadExport = void(CALVEX_CALL*)(SheetCell*, int32_t, CalvexText);
using WriteBackExport = void(CALVEX_CALL*)(const CellRange*, int32_t, CalvexText, SheetCell*, int32_t);

struct SheetExport {
  std::string_view name;
  WriteExport write = nullptr;           // a plain write
  ReadExport read = nullptr;             // a read
  WriteBackExport write_back = nullptr;  // a write that fills write-back cells
};

// The export of that name; nullptr when the library has none.
const SheetExport* find_export(std::string_view name);

// Calls the write export `name` (plain or with write-back cells; the latter
// gets write_back_cells cells, their texts returned in *write_back when given).
void call_write_by_name(std::string_view name, const std::vector<RangeTexts>& ranges, const std::string& path,
                        int32_t write_back_cells = 0, std::vector<std::string>* write_back = nullptr);

// Calls the read export `name` with cellCount cells.
ReadResult call_read_by_name(std::string_view name, int32_t cellCount, const std::string& path);

}  // namespace calvex_test
