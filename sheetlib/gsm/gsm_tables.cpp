// The GSM table sheets, run by the table engine from their definitions
// (gsm_sheets.cpp). Every cell is read with ReadDecOrX and every read-back
// cell carries the plain mark.
#include "boundary.h"
#include "sheet_engine.h"
#include "sheets.h"

namespace calvex::gsm {
namespace {

constexpr TableSheet kRampCtrl{.def = &kGsmRampCtrlSheet, .read_mark = kMarkPlain};
constexpr TableSheet kTmpComp{.def = &kGsmTmpCompSheet, .read_mark = kMarkPlain};

}  // namespace
}  // namespace calvex::gsm
CALVEX_DEFINE_WRITE(SheetGsmRampCtrlWr, calvex::write_table_op<calvex::gsm::kRampCtrl>)
CALVEX_DEFINE_READ(SheetGsmRampCtrlRd, calvex::read_table_op<calvex::gsm::kRampCtrl>)
CALVEX_DEFINE_WRITE(SheetGsmTmpCompWr, calvex::write_table_op<calvex::gsm::kTmpComp>)
CALVEX_DEFINE_READ(SheetGsmTmpCompRd, calvex::read_table_op<calvex::gsm::kTmpComp>)
