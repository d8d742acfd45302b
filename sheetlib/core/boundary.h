// The boundary layer: turns the host's text handles, ranges and output cells
// into the plain values of sheet.h, runs a sheet operation so that no
// exception leaves the export, and releases binPath on every path.
#pragma once

#include <string>

#include "calvex.h"
#include "ops.h"
#include "sheet.h"

namespace calvex {

// Runs a write operation: body sees the ranges and the path; binPath is
// released after everything else. IoError becomes "bin文件读写出错，操作未完成！".
void run_write(const CellRange* ranges, int32_t rangeCount, CalvexText binPath, WriteBody body) noexcept;
// Runs a write operation that also fills write-back cells.
void run_write(const CellRange* ranges, int32_t rangeCount, CalvexText binPath, SheetCell* writeBack,
               int32_t writeBackCount, WriteBackBody body) noexcept;
// Runs a read operation: body sees the output cells and the path.
void run_read(SheetCell* cells, int32_t cellCount, CalvexText binPath, ReadBody body) noexcept;

// The process-wide LTE layout switch (0: single layout, else merged).
int32_t lte_layout_switch();
void set_lte_layout_switch(int32_t value);

// The exported message sink (CalvexSetMessageSink); nullptr restores the
// platform's message box.
void set_message_sink(CalvexMessageSink sink, void* context);

}  // namespace calvex

// Binds a sheet operation to its name: calvex::ops::name (ops.h) becomes body.
// The shared library exports the operation under the same name (exports/).
#define CALVEX_DEFINE_WRITE(name, body) const ::calvex::WriteBody calvex::ops::name = body;
#define CALVEX_DEFINE_READ(name, body) const ::calvex::ReadBody calvex::ops::name = body;
#define CALVEX_DEFINE_WRITE_BACK(name, body) const ::calvex::WriteBackBody calvex::ops::name = body;
