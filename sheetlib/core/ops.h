// The library's 65 sheet operations by their export names. Each sheet's
// source binds its operation with CALVEX_DEFINE_WRITE/READ/WRITE_BACK
// (boundary.h); the shared library's exports call them, and in-process
// callers reach them through the sheet definitions (sheet_def.h).
#pragma once

#include "sheet.h"

namespace calvex::ops {

#define CALVEX_WRITE_OP(name) extern const WriteBody name;
#define CALVEX_READ_OP(name) extern const ReadBody name;
#define CALVEX_WRITE_BACK_OP(name) extern const WriteBackBody name;
#include "ops.inc"
#undef CALVEX_WRITE_OP
#undef CALVEX_READ_OP
#undef CALVEX_WRITE_BACK_OP

}  // namespace calvex::ops
