// Which sheet a worksheet of a workbook holds, and what a workbook's number
// cells may not stand for.
#pragma once

#include <optional>
#include <string>

#include "catalogue.h"
#include "xlsx_read.h"

namespace calvex_host {

struct WorksheetMatch {
  enum class Kind {
    kNotASheet,  // a chart sheet, or a worksheet without markers named after no sheet (notes, an overview)
    kSheet,      // it holds `sheet`
    kUnmatched,  // it holds markers, but which sheet cannot be told: `why` says so
  };
  Kind kind = Kind::kNotASheet;
  const SheetEntry* sheet = nullptr;
  std::string why;  // kUnmatched: one English clause, e.g. "its '#sheet' row names 'GsmTmp', ..."
  CellRef at;       // kUnmatched: the cell the reason points at (the name after "#sheet", a "#range")
};

// The sheet a worksheet holds. Its "#sheet" row decides: the cell right of the
// first "#sheet" cell names the sheet (blanks around it dropped), whatever the
// worksheet is called ("GsmTmpComp (2)", "温补"); a name that is not a
// sheet's, or a worksheet named after another sheet than its row names, is
// kUnmatched. Without a "#sheet" row the worksheet's name decides (case
// aside); a worksheet with "#range" rows named after no sheet is kUnmatched,
// one with no marker at all kNotASheet.
WorksheetMatch match_worksheet(const WorkbookSheet& worksheet);

// What is wrong with a workbook cell that held a number, for a cell of this
// rule, or nullopt: a date (a number under a date format) anywhere; any
// number in a hexadecimal or MIPI pair cell (the spreadsheet made '1E3' 1000
// and dropped leading zeros); a number in a keyword cell unless its text is
// one of the keywords. The text says what the cell held and ends with the
// hint "format the column as Text and type the value again".
std::optional<std::string> number_cell_problem(const calvex::CellType& rule, NumberCell number,
                                               const std::string& text);

}  // namespace calvex_host
