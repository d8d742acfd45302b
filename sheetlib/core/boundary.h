// The boundary layer: turns the host's text handles, ranges and output cells
// into the plain values of sheet.h, runs a sheet operation so that no
// exception leaves the export, and releases binPath on every path.
#pragma once

#include <string>

#include "calvex.h"
#include "sheet.h"

namespace calvex {

using WriteBody = void (*)(const WriteArgs& args, const std::u16string& path);
using ReadBody = void (*)(ReadCells& out, const std::u16string& path);
using WriteBackBody = void (*)(const WriteArgs& args, const std::u16string& path, ReadCells& writeBack);
using WriteExport = void(CALVEX_CALL*)(const CellRange*, int32_t, CalvexText);

// Runs a write operation: body sees the ranges and the path; binPath is
// released after everything else. IoError becomes "bin文件读写出错，操作未完成！".
void run_write(const CellRange* ranges, int32_t rangeCount, CalvexText binPath, WriteBody body) noexcept;
// Runs a write operation that also fills write-back cells.
void run_write(const CellRange* ranges, int32_t rangeCount, CalvexText binPath, SheetCell* writeBack,
               int32_t writeBackCount, WriteBackBody body) noexcept;
// Runs a read operation: body sees the output cells and the path.
void run_read(SheetCell* cells, int32_t cellCount, CalvexText binPath, ReadBody body) noexcept;

// Calls target with ranges, rangeCount and a retained copy of binPath, then
// releases binPath (the LTE layout dispatchers).
void forward_write(const CellRange* ranges, int32_t rangeCount, CalvexText binPath, WriteExport target) noexcept;

// The process-wide LTE layout switch (0: single layout, else merged).
int32_t lte_layout_switch();

}  // namespace calvex

// Defines a write export whose operation is body.
#define CALVEX_DEFINE_WRITE(name, body)                                                            \
  extern "C" CALVEX_API void CALVEX_CALL name(const CellRange* ranges, int32_t rangeCount,          \
                                              CalvexText binPath) {                                \
    ::calvex::run_write(ranges, rangeCount, binPath, body);                                        \
  }

// Defines a read export whose operation is body.
#define CALVEX_DEFINE_READ(name, body)                                                                        \
  extern "C" CALVEX_API void CALVEX_CALL name(SheetCell* cells, int32_t cellCount, CalvexText binPath) { \
    ::calvex::run_read(cells, cellCount, binPath, body);                                                     \
  }
