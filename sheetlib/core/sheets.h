// Every sheet definition by name, for the operations that run from their
// own definition (each is defined in its family's <family>_sheets.cpp).
#pragma once

#include "sheet_def.h"

namespace calvex {

// common_sheets.cpp
extern const SheetDef kTempDacTabSheet;
extern const SheetDef kPinMuxMipiInitSheet;
extern const SheetDef kPortInfoSheet;

// gsm_sheets.cpp
extern const SheetDef kGsmSwitchPaCtrlWordSheet;
extern const SheetDef kGsmTmpCompSheet;
extern const SheetDef kGsmRampCtrlSheet;

// ltea_sheets.cpp
extern const SheetDef kLteaFilterSheet;
extern const SheetDef kLteaFlagsSheet;
extern const SheetDef kLteaMprSheet;
extern const SheetDef kLteaPcScaleSheet;
extern const SheetDef kLteaPhseSheet;
extern const SheetDef kLteaCapacitySheet;
extern const SheetDef kLteaSwitchPaCtrlWordSheet;
extern const SheetDef kLteaTmpCompSheet;
extern const SheetDef kLteaTxAntSelectSheet;

// lte_sheets.cpp
extern const SheetDef kLteFilterSheet;
extern const SheetDef kLteMprSheet;
extern const SheetDef kLtePhseSheet;
extern const SheetDef kLteCapacitySheet;
extern const SheetDef kLtePwtAndOtherFlagsSheet;
extern const SheetDef kLteSwitchPaCtrlWordSheet;
extern const SheetDef kLteTmpCompSheet;

// tdscdma_sheets.cpp
extern const SheetDef kTdscdmaNvCtrlSheet;
extern const SheetDef kTdscdmaSwitchPaCtrlWordSheet;
extern const SheetDef kTdscdmaTmpCompSheet;

// wcdma_sheets.cpp
extern const SheetDef kWcdmaAntExchangeSheet;
extern const SheetDef kWcdmaMaxPowSheet;
extern const SheetDef kWcdmaNotchSheet;
extern const SheetDef kWcdmaSwitchPaCtrlWordSheet;
extern const SheetDef kWcdmaTmpCompSheet;

}  // namespace calvex
