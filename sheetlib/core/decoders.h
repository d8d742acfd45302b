// Reads of the sheets whose read the library does not export, or whose
// exported read does not show the sheet as its write takes it back
// (SheetDef::decode_over_export). Each decoder
// has the shape of a read operation (sheet.h ReadBody) and lives in the
// static core only: calvex and the tests reach it through the sheet's
// definition (SheetDef::decode); the shared library's export table does not
// hold it. Each is defined at the end of its sheet's own source unit.
//
// A decoder loads the sheet's blocks (a failed open shows "获取bin文件失败！"
// and the blocks read as zeros), shows every cell of every range in range
// and cell order as the sheet file that the sheet's write takes back (the
// canonical form: decimal "%d", hexadecimal "0x%x", keywords as the write
// compares them, "X" for an undriven line or an item the image does not
// hold), and fills the host's output cells; an output cell count other than
// the sheet's cell count shows "cell表格个数不符！" and fills nothing. It shows
// no other message and never writes. The LTE decoders read the layout
// switch at the call, as the LTE write dispatchers do.
#pragma once

#include "sheet.h"

namespace calvex::decoders {

extern const ReadBody kPortInfo;             // common_port_info.cpp
extern const ReadBody kPinMuxMipiInit;       // common_pin_mux_mipi_init.cpp
extern const ReadBody kLteaSwitchPaCtrlWord; // ltea/ltea_switch_pa_ctrl_word.cpp
extern const ReadBody kLteaTmpComp;          // ltea/ltea_tmp_comp.cpp
extern const ReadBody kLteFilter;            // lte/lte_tables.cpp
extern const ReadBody kLteMpr;               // lte/lte_tables.cpp
extern const ReadBody kLtePhse;              // lte/lte_tables.cpp
extern const ReadBody kLteCapacity;          // lte/lte_tables.cpp
extern const ReadBody kLtePwtAndOtherFlags;  // lte/lte_pwt_flags.cpp
extern const ReadBody kLteSwitchPaCtrlWord;  // lte/lte_switch_pa_ctrl_word.cpp
extern const ReadBody kLteTmpComp;           // lte/lte_tmp_comp.cpp
extern const ReadBody kTdscdmaNvCtrl;        // tdscdma/tdscdma_nv_ctrl.cpp
extern const ReadBody kWcdmaAntExchange;     // wcdma/wcdma_ant_exchange.cpp
extern const ReadBody kWcdmaMaxPow;          // wcdma/wcdma_max_pow.cpp

}  // namespace calvex::decoders
