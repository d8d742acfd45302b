// calvex map: a family's NV image layout, generated from the sheet
// definitions alone (sheet_def.h), as a Kaitai Struct description (.ksy),
// as JSON data and as an ImHex pattern.
//
// Every sheet of the family becomes a type; every run of cells that the
// definition places (CellRun) becomes a field: an array of values of one
// width and signedness at an absolute offset (a stride apart), its doc naming
// the sheet, the range and the cells it shows; a keyword cell gets an enum of
// the values its words are stored as. The bytes of a sheet's writable blocks
// that no cell shows one value each (words its operation packs, bytes it
// clears) are byte fields of its type, apart from the control-word entries
// the definition lists (EntryRun), which are arrays of a type of their own:
// a 32-bit kind, then a 32-bit word. Bytes of no sheet's blocks stay unnamed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "catalogue.h"
#include "commands.h"

namespace calvex_host {

// A cell of a range, numbered from 1 as the sheet file's rows and columns.
struct MapCell {
  int row;
  int col;
};

// One field: `count` values of `width` bytes from `offset`, each `stride`
// bytes after the one before; element k shows cells[k]. A raw field is
// `width` bytes that no cell shows one value each.
struct MapField {
  std::string id;  // unique in its sheet's type (lower snake case)
  uint64_t offset = 0;
  uint32_t width = 0;
  uint32_t stride = 0;
  uint32_t count = 0;
  bool is_signed = false;
  bool hex = false;        // the read shows the value as 0x...
  bool raw = false;        // a block of bytes the sheet's operation packs (cells empty)
  bool entry = false;      // control-word entries (width 8: kind, then word; cells empty)
  bool shown_only = false; // the write stores these cells elsewhere (the bytes equal them)
  std::vector<calvex::StoredWord> words;  // a keyword cell: the value each word is stored as
  std::string range;       // empty for a raw block
  std::vector<MapCell> cells;
  std::string doc;

  // A field of cells (neither raw bytes nor control-word entries).
  bool shows_cells() const { return !raw && !entry; }
};

struct MapSheet {
  const SheetEntry* def = nullptr;
  std::string type_id;  // lower snake case of the sheet's name
  std::vector<MapField> fields;
};

struct NvMap {
  calvex::Family family = calvex::Family::Common;
  calvex::NvLayout layout = calvex::NvLayout::Any;  // Single or Merged for LTE, Any otherwise
  std::string id;                                   // "calvex_gsm", "calvex_lte_merged"
  std::vector<MapSheet> sheets;
};

// "TempInterval" -> "temp_interval", "2R1TFlag" -> "f_2r1t_flag".
std::string snake_id(std::string_view name);

// The map of a family in a layout (LTE: Single or Merged; other families: Any).
NvMap build_nv_map(calvex::Family family, calvex::NvLayout layout);
// The map of the given sheets (the tests' small fixtures).
NvMap build_nv_map(calvex::Family family, calvex::NvLayout layout, const std::vector<const SheetEntry*>& sheets);

std::string map_ksy(const NvMap& map);
std::string map_json(const NvMap& map);
std::string map_hexpat(const NvMap& map);

// calvex map --family F [--layout L] [--format ksy|json|hexpat] [-o FILE].
int cmd_map(calvex::Family family, const Options& options, const std::string& format);

}  // namespace calvex_host
