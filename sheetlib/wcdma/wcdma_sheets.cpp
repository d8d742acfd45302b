// Definitions of the WCDMA sheets.
#include <array>
#include <climits>

#include "decoders.h"
#include "keywords.h"
#include "sheets.h"
#include "wcdma/wcdma_nv_map.h"

namespace calvex {
namespace {

using namespace wcdma;  // the WCDMA head (wcdma_nv_map.h)

// ---- Cell kinds ----

// Switches: "open" writes the feature; "close" (what the read shows for a
// feature that is off) or empty leaves it alone.
constexpr CellType kSwitchCell = keyword(kw::kOpenClose, true);
// A band number of a band list: X marks an empty slot; a band 0 would read back as one.
constexpr CellType kBandCell = or_x(in_range(dec(4, true), 1, INT32_MAX));
// Notch points: the table holds 10.
constexpr int64_t kNotchPointsMax = 10;

// 15 lines (GPIO_GROUP0 0-10, GPIO_GROUP1 0-3) x 2 states (exchange, no exchange).
constexpr RangeDef kAntExchangeRanges[] = {{"AntExchange", 15, 2, &msg::kWcdmaAntCells, line_cell()}};
// Switches and enable words (hex; "0x13579BDF" turns the band table on);
// band numbers (row 0, unsigned 16-bit) and maximum powers (row 1, signed
// 16-bit) of 8 entries, X for an empty entry.
constexpr CellArea kMaxPowAreas[] = {{1, 0, 1, 0, or_x(dec(2, true))}};
constexpr RangeDef kMaxPowRanges[] = {
    {"HdelFlagSwitch", 1, 1, &msg::kWcdmaHdelSwitchCells, kSwitchCell},
    {"HdelFlag", 1, 1, &msg::kWcdmaHdelEnableCells, hex(4)},
    {"BandEnSwitch", 1, 1, &msg::kWcdmaBandEnSwitchCells, kSwitchCell},
    {"BandEn", 1, 1, &msg::kWcdmaBandEnEnableCells, hex(4)},
    {"BandMaxPow", 2, 8, &msg::kWcdmaMaxPowTableCells, or_x(dec(2, false)), kMaxPowAreas}};
// Number of interference points (1-10; the read shows X for none); 10
// points x (first parameter unsigned 32-bit, second signed 32-bit), X past the count.
constexpr CellArea kNotchParamAreas[] = {{0, 1, 0, 1, or_x(dec(4, true))}};
constexpr RangeDef kNotchRanges[] = {
    {"NotchCount", 1, 1, &msg::kWcdmaNotchCountCells, or_x(in_range(dec(4, true), 1, kNotchPointsMax))},
    {"NotchParams", 10, 2, &msg::kWcdmaNotchParamCells, or_x(dec(4, false)), kNotchParamAreas}};
// Band list; 19 rows (GPIO_GROUP0 lines 0-10, GPIO_GROUP1 lines 0-3,
// hexadecimal words 1-4, X for none) x 88 columns (8 band slots x 11 states).
constexpr CellArea kSwitchPaTruthAreas[] = {{15, 0, 4, 0, or_x(hex(4))}};
constexpr RangeDef kSwitchPaRanges[] = {
    {"BandInfo", 1, 8, &msg::kBandInfoCells, kBandCell},
    with_labels({"TruthTable", 19, 88, &msg::kSwitchPaTruthTableCells, line_cell(), kSwitchPaTruthAreas},
                "line / word", "slot state")};
// Band list (must match the image's); 40 rows x 16 columns (8 band slots x
// value pair: first unsigned, second signed 16-bit; X past the band count).
constexpr CellArea kTmpCompAreas[] = {{0, 1, 0, 1, or_x(dec(2, true))},  {0, 3, 0, 1, or_x(dec(2, true))},
                                      {0, 5, 0, 1, or_x(dec(2, true))},  {0, 7, 0, 1, or_x(dec(2, true))},
                                      {0, 9, 0, 1, or_x(dec(2, true))},  {0, 11, 0, 1, or_x(dec(2, true))},
                                      {0, 13, 0, 1, or_x(dec(2, true))}, {0, 15, 0, 1, or_x(dec(2, true))}};
constexpr RangeDef kTmpCompRanges[] = {
    with_labels({"BandInfo", 1, 8, &msg::kWcdmaTmpCompBandCells, kBandCell}, "band", "band slot"),
    with_pairs(with_labels(with_role(RangeDef{"TmpComp", 40, 16, &msg::kTmpCompDataCells, or_x(dec(2, false)),
                                              kTmpCompAreas},
                                     RangeRole::TempComp),
                           "row", "band slot"),
               0, "first value", "compensation")};

// ---- NV blocks ----

constexpr NvSpan kAntExchangeBlocks[] = {{kAntExchangeOffset, kAntExchangeSize}};
constexpr NvSpan kMaxPowBlocks[] = {{kHdelFlagOffset, kEnableWordSize}, {kBandEnOffset, kBandEnAndMaxPowSize}};
constexpr NvSpan kNotchBlocks[] = {{kNotchCountOffset, kNotchBlockSize}};

// Switch/PA: the band list and count, and the control word area of every band slot.
constexpr size_t kSwitchPaSpanCount = 1 + kBandSlots;
constexpr std::array<NvSpan, kSwitchPaSpanCount> switch_pa_blocks() {
  std::array<NvSpan, kSwitchPaSpanCount> spans{};
  size_t n = 0;
  spans[n++] = {kBandListOffset, kBandListAndCountSize};
  for (size_t k = 0; k < kBandSlots; ++k) spans[n++] = {band_slot_block(k) + kCtrlAreaInBlock, kCtrlAreaSize};
  return spans;
}
constexpr auto kSwitchPaBlocks = switch_pa_blocks();

// Temperature compensation: reads the band list and count (the check),
// writes the table at the start of the block of each slot in use.
constexpr size_t kTmpCompSpanCount = 1 + kBandSlots;
constexpr std::array<NvSpan, kTmpCompSpanCount> tmp_comp_blocks() {
  std::array<NvSpan, kTmpCompSpanCount> spans{};
  size_t n = 0;
  spans[n++] = {kBandListOffset, kBandListAndCountSize, NvLayout::Any, true};
  for (size_t k = 0; k < kBandSlots; ++k) spans[n++] = {band_slot_block(k), kTmpCompTableSize};
  return spans;
}
constexpr auto kTmpCompBlocks = tmp_comp_blocks();

// ---- Control-word entries ----

constexpr EntryRun kAntExchangeEntries[] = {
    {.name = "AntEntries", .what = "the exchange state's GPIO entry, then the no-exchange state's",
     .offset = kAntExchangeOffset, .count = kAntStates}};

constexpr uint16_t kSetEntries = static_cast<uint16_t>(kEntriesPerSet);
constexpr EntryRun kSwitchPaEntries[] = {
    {.name = "FirstSets",
     .what = "a band slot's sets of states 0, 4, an empty set, 1, 2, 5, an empty set, 3 and 6, four entries each "
             "(zero while the slot holds no band)",
     .offset = kBandSlotBlockOffset + kCtrlAreaInBlock + kFirstSetsPos,
     .count = kFirstSets * kSetEntries,
     .groups = kBandSlots,
     .group_step = kBandSlotBlockSize},
    {.name = "SecondSets",
     .what = "a band slot's sets of states 7 to 10, four entries each (zero while the slot holds no band)",
     .offset = kBandSlotBlockOffset + kCtrlAreaInBlock + kSecondSetsPos,
     .count = kSecondSets * kSetEntries,
     .groups = kBandSlots,
     .group_step = kBandSlotBlockSize}};

}  // namespace

// The read export does not read the entries back (it only empties the
// first cell); calvex reads the sheet through its decoder.
constexpr SheetDef kWcdmaAntExchangeSheet{
    .name = "WcdmaAntExchange",
    .family = Family::Wcdma,
    .summary = "WCDMA antenna exchange: GPIO words of the exchange and no-exchange states",
    CALVEX_SHEET_WRITE(SheetWcdmaAntExchangeWr),
    CALVEX_SHEET_SHALLOW_READ(SheetWcdmaAntExchangeRd),
    .decode = &decoders::kWcdmaAntExchange,
    .on_range_count = &msg::kWcdmaAntConfig,
    .ranges = kAntExchangeRanges,
    .blocks = kAntExchangeBlocks,
    .entries = kAntExchangeEntries,
    .read_note = "GPIO_GROUP1's lines read X in a state where GPIO_GROUP0 drives a line (the write ignores them)"};

constexpr SheetDef kWcdmaMaxPowSheet{
    .name = "WcdmaMaxPow",
    .family = Family::Wcdma,
    .summary = "WCDMA HdelFlag and BandEn switches and enable words, per-band maximum power",
    CALVEX_SHEET_WRITE(SheetWcdmaMaxPowWr),
    CALVEX_SHEET_READ(SheetWcdmaMaxPowRd),
    // The export shows a switch "close" for a word the write stored, and as
    // many table entries as the switch/PA sheet's band count says.
    .decode = &decoders::kWcdmaMaxPow,
    .decode_over_export = true,
    .on_range_count = &msg::kWcdmaMaxPowConfig,
    .ranges = kMaxPowRanges,
    .blocks = kMaxPowBlocks,
    .read_note =
        "a switch leaves no trace in the image: HdelFlagSwitch reads open, BandEnSwitch open where the word "
        "is the enable marker or the table is all zeros (close where the write left the block alone); the "
        "table shows the entries up to the last one holding a band or a power (one at least under the "
        "marker), X after them and without the marker"};

constexpr SheetDef kWcdmaNotchSheet{
    .name = "WcdmaNotch",
    .family = Family::Wcdma,
    .summary = "WCDMA notch filter: number of interference points and 10 parameter pairs",
    CALVEX_SHEET_WRITE(SheetWcdmaNotchWr),
    CALVEX_SHEET_READ(SheetWcdmaNotchRd),
    .on_range_count = &msg::kWcdmaNotchConfig,
    .ranges = kNotchRanges,
    .blocks = kNotchBlocks,
    .read_note = "the parameters past the count read X (a count X stores 0, and every cell reads X); an X parameter "
                 "within the count is stored as 0 and reads 0"};

constexpr SheetDef kWcdmaSwitchPaCtrlWordSheet{
    .name = "WcdmaSwitchPaCtrlWord",
    .family = Family::Wcdma,
    .summary = "WCDMA band list and truth table (19 rows x 8 bands x 11 states) of switch/PA control words",
    CALVEX_SHEET_WRITE(SheetWcdmaSwitchPaCtrlWordWr),
    CALVEX_SHEET_READ(SheetWcdmaSwitchPaCtrlWordRd),
    .on_range_count = &msg::kWcdmaSwitchPaConfig,
    .ranges = kSwitchPaRanges,
    .blocks = kSwitchPaBlocks,
    .entries = kSwitchPaEntries,
    .read_note = "the band list is stored packed: the bands read from the first cell on, X after them; the write "
                 "builds the states of the first slots, as many as there are bands, the others read X; a state's "
                 "words read one after the other, X after them"};

constexpr SheetDef kWcdmaTmpCompSheet{
    .name = "WcdmaTmpComp",
    .family = Family::Wcdma,
    .summary = "WCDMA temperature compensation: 40 value pairs per band of the band list",
    CALVEX_SHEET_WRITE(SheetWcdmaTmpCompWr),
    CALVEX_SHEET_READ(SheetWcdmaTmpCompRd),
    .on_range_count = &msg::kWcdmaTmpCompConfig,
    .ranges = kTmpCompRanges,
    .blocks = kTmpCompBlocks,
    .read_note = "X and 0 store the same bytes: X values read 0; the write stores the columns of the first slots, as "
                 "many as there are bands, the others read X"};

std::span<const SheetDef* const> wcdma_sheet_defs() {
  static constexpr const SheetDef* kSheets[] = {&kWcdmaAntExchangeSheet, &kWcdmaMaxPowSheet, &kWcdmaNotchSheet,
                                                &kWcdmaSwitchPaCtrlWordSheet, &kWcdmaTmpCompSheet};
  return kSheets;
}

}  // namespace calvex
