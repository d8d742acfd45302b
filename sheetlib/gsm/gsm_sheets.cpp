// Definitions of the GSM sheets.
#include "gsm/gsm_nv_map.h"
#include "sheets.h"

namespace calvex {
namespace {

using gsm::kGsmBlocks;

// Control words are stored with bit 21 set and read back as bits 19-0.
using gsm::kCtrlWordPayloadMax;
// PA/switch configuration: c2 and c3 are bits 0 and 1 of one word, c4 its bits 16-27.
constexpr int64_t kGsmConfigBitMax = 1;
using gsm::kConfigC4Max;

// 4G-PA-off word (32 bits, X for 0); configuration numbers c0-c4; 13 states x
// (11 lines, 2 control words, 2 unused). The second control word of states
// 0-3 is not stored (the read shows X there).
constexpr CellArea kConfigAreas[] = {
    {0, 2, 1, 2, in_range(dec(1, false), 0, kGsmConfigBitMax)},
    {0, 4, 1, 1, in_range(dec(2, false), 0, kConfigC4Max)},
};
constexpr CellArea kTruthAreas[] = {
    {0, 11, 0, 2, or_x(in_range(hex(4), 0, kCtrlWordPayloadMax))},
    {0, 12, 4, 1, unused()},
    {0, 13, 0, 2, unused()},
};
constexpr RangeDef kSwitchPaRanges[] = {
    {"PaOff4G", 1, 1, &msg::kGsmPaOffCells, or_x(hex(4))},
    {"PaSwitchConfig", 1, 5, &msg::kGsmPaSwitchConfigCells, dec(4, true), kConfigAreas},
    {"TruthTable", 13, 15, &msg::kGsmTruthTableCells, line_cell(), kTruthAreas}};
constexpr NvSpan kSwitchPaBlocks[] = {{kGsmBlocks.truth_a_offset, gsm::kTruthBlockASize},
                                      {kGsmBlocks.pa_config_offset, gsm::kPaConfigSize},
                                      {kGsmBlocks.truth_b_offset, gsm::kTruthBlockBSize},
                                      {kGsmBlocks.ctrl_word_offset, gsm::kCtrlWordSize}};

// Every value is a signed 16-bit number; X stands for 0.
constexpr CellSpec kTmpCompCell = or_x(dec(2, true));
// Temperature intervals; 8 TX tables of 20 rows x 15 intervals; RX 4 rows x 15 intervals.
constexpr RangeDef kTmpCompRanges[] = {
    {"TempInterval", 1, 15, &msg::kGsmTempIntervalCells, kTmpCompCell},
    {"Tx1", 20, 15, &msg::kGsmTxTmpCompCells, kTmpCompCell},
    {"Tx2", 20, 15, &msg::kGsmTxTmpCompCells, kTmpCompCell},
    {"Tx3", 20, 15, &msg::kGsmTxTmpCompCells, kTmpCompCell},
    {"Tx4", 20, 15, &msg::kGsmTxTmpCompCells, kTmpCompCell},
    {"Tx5", 20, 15, &msg::kGsmTxTmpCompCells, kTmpCompCell},
    {"Tx6", 20, 15, &msg::kGsmTxTmpCompCells, kTmpCompCell},
    {"Tx7", 20, 15, &msg::kGsmTxTmpCompCells, kTmpCompCell},
    {"Tx8", 20, 15, &msg::kGsmTxTmpCompCells, kTmpCompCell},
    {"Rx", 4, 15, &msg::kGsmRxTmpCompCells, kTmpCompCell},
};
constexpr NvSpan kTmpCompBlocks[] = {{gsm::kTmpCompHeadOffset, gsm::kTmpCompHeadSize},
                                     {gsm::kTmpCompTxAOffset, gsm::kTmpCompTxTableSize},
                                     {gsm::kTmpCompTxBOffset, gsm::kTmpCompTxTableSize},
                                     {gsm::kTmpCompRxOffset, gsm::kTmpCompRxSize}};

// Ramp time signed 16-bit; backoff the low byte, read back unsigned; ramp
// data unsigned 16-bit. X stands for 0.
constexpr RangeDef kRampCtrlRanges[] = {{"RampTime", 4, 2, &msg::kGsmRampTimeCells, or_x(dec(2, true))},
                                        {"MultiSlotBackoff", 8, 4, &msg::kGsmBackoffCells, or_x(dec(1, false))},
                                        {"RampData", 18, 16, &msg::kGsmRampDataCells, or_x(dec(2, false))}};
constexpr NvSpan kRampCtrlBlocks[] = {{kGsmBlocks.ramp_time_offset, gsm::kRampTimeSize},
                                      {kGsmBlocks.ramp_data_offset, gsm::kRampDataSize},
                                      {kGsmBlocks.backoff_offset, gsm::kBackoffSize}};

}  // namespace

constexpr SheetDef kGsmSwitchPaCtrlWordSheet{
    .name = "GsmSwitchPaCtrlWord",
    .family = Family::Gsm,
    .summary = "GSM truth table (13 states x 11 lines), control words, 4G PA off word, PA/switch config",
    CALVEX_SHEET_WRITE(SheetGsmSwitchPaCtrlWordWr),
    CALVEX_SHEET_READ(SheetGsmSwitchPaCtrlWordRd),
    .on_range_count = &msg::kGsmSwitchPaConfig,
    .ranges = kSwitchPaRanges,
    .blocks = kSwitchPaBlocks};

constexpr SheetDef kGsmTmpCompSheet{.name = "GsmTmpComp",
                                    .family = Family::Gsm,
                                    .summary = "GSM temperature intervals and TX/RX temperature compensation",
                                    CALVEX_SHEET_WRITE(SheetGsmTmpCompWr),
                                    CALVEX_SHEET_READ(SheetGsmTmpCompRd),
                                    .on_range_count = &msg::kGsmTmpCompConfig,
                                    .ranges = kTmpCompRanges,
                                    .blocks = kTmpCompBlocks};

constexpr SheetDef kGsmRampCtrlSheet{.name = "GsmRampCtrl",
                                     .family = Family::Gsm,
                                     .summary = "GSM ramp time, multi-slot power backoff and ramp data",
                                     CALVEX_SHEET_WRITE(SheetGsmRampCtrlWr),
                                     CALVEX_SHEET_READ(SheetGsmRampCtrlRd),
                                     .on_range_count = &msg::kGsmRampCtrlConfig,
                                     .ranges = kRampCtrlRanges,
                                     .blocks = kRampCtrlBlocks};

std::span<const SheetDef* const> gsm_sheet_defs() {
  static constexpr const SheetDef* kSheets[] = {&kGsmSwitchPaCtrlWordSheet, &kGsmTmpCompSheet, &kGsmRampCtrlSheet};
  return kSheets;
}

}  // namespace calvex
