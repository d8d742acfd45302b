// Runs the library's sheet operations in this process (the static library),
// with the cells of a sheet file, and collects the messages they show with
// their catalogue id and class.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sheet_def.h"

namespace calvex_host {

struct ShownMessage {
  calvex::MsgId id;
  calvex::MsgClass cls;
  std::u16string text;
};

// What one operation showed, in order.
struct Outcome {
  std::vector<ShownMessage> messages;

  bool has(calvex::MsgClass cls) const;
  // A write succeeded: no error-class message and the success message shown.
  bool write_succeeded() const { return !has(calvex::MsgClass::Error) && has(calvex::MsgClass::Success); }
};

// Cells of every range of a sheet, row after row (UTF-16, as the library reads them).
using SheetCells = std::vector<std::vector<std::u16string>>;

// Runs the sheet's write on the image at path with layout switch value
// `layout`. For a sheet with write-back cells, *write_back receives them
// (def.write_back_cells texts) when write_back is given.
Outcome call_sheet_write(const calvex::SheetDef& def, const SheetCells& cells, const std::u16string& path,
                         int32_t layout, std::vector<std::u16string>* write_back = nullptr);

// Runs the sheet's read on the image at path; out receives def.read_count()
// texts (empty where the read leaves a cell alone).
Outcome call_sheet_read(const calvex::SheetDef& def, std::vector<std::u16string>& out, const std::u16string& path,
                        int32_t layout);

// The read's output cells laid out onto the sheet's ranges (cells no run
// names stay empty, apart from the definition's fill-ins).
SheetCells cells_from_read(const calvex::SheetDef& def, const std::vector<std::u16string>& out);

}  // namespace calvex_host
