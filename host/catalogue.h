// The host's view of the library's sheet definitions (sheet_def.h): the
// shapes of every range of a sheet file and how a read's output cells map
// back onto those ranges come from the definitions, never restated here.
#pragma once

#include <span>
#include <string_view>

#include "sheet_def.h"

namespace calvex_host {

using SheetEntry = calvex::SheetDef;
using RangeShape = calvex::RangeDef;
using ReadRun = calvex::ReadRun;

// Every sheet, family by family.
inline std::span<const SheetEntry* const> all_sheets() { return calvex::all_sheet_defs(); }

// Looks a sheet up by name (case-insensitive); nullptr if unknown.
inline const SheetEntry* find_sheet(std::string_view name) { return calvex::find_sheet_def(name); }

}  // namespace calvex_host
