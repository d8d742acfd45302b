// The self-check of the sheet table: walks every definition and the
// library's operation list and returns one line per bad entry ("SHEET:
// what is wrong"), nothing when the table is sound. Run by the tests; a
// failing line names the entry to mend (docs/adding-a-sheet.md).
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "messages.h"
#include "sheet_def.h"

namespace calvex {

// One operation of the library (ops.inc): its export name, its kind and its body.
enum class OpKind : uint8_t { Write, Read, WriteBack };
struct OpEntry {
  std::string_view name;
  OpKind kind;
  const void* body;
};

// Every operation of ops.inc, in its order.
std::span<const OpEntry> all_ops();

// Every keyword list of keywords.h (the lists the operations compare against).
std::span<const std::span<const std::string_view>> all_keyword_lists();

// Checks the definitions against each other and against the operations:
//  - sheet names unique (ignoring ASCII case), range names unique in a sheet,
//    export names unique across sheets;
//  - every operation has exactly one definition (an LTE layout variant
//    NAME_Lte / NAME_LteMerge belongs to the definition of NAME) and every
//    export a definition names is an operation of its kind, bound to it;
//  - ranges non-empty, every area inside its range, every keyword cell's
//    list one of all_keyword_lists() (non-empty, no word twice);
//  - a table sheet's runs inside its ranges and inside its writable blocks
//    of the run's layout, and every cell of its ranges placed in every
//    layout; read runs inside their ranges; read fill-ins inside theirs;
//  - a sheet's control-word entry runs inside its writable blocks of the
//    run's layout, on bytes no other entry and no placed cell holds;
//  - within one family, no two sheets' writable blocks overlap in a layout
//    unless one side marks its block shared.
std::vector<std::string> check_sheet_defs(std::span<const SheetDef* const> defs, std::span<const OpEntry> ops,
                                          std::span<const std::span<const std::string_view>> keyword_lists);

// Checks the catalogue: every text stands once, every entry has a gloss.
std::vector<std::string> check_catalogue(std::span<const Message> entries);

}  // namespace calvex
