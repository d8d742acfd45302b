// The self-check of the sheet table: the real table passes, and each kind of
// bad entry, made on purpose in a copy of the table, gives its line.
#include "sheet_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "keywords.h"
#include "lte/lte_nv_map.h"
#include "ltea/ltea_nv_map.h"
#include "sheets.h"

namespace calvex {
namespace {

std::string joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

std::vector<std::string> check(std::span<const SheetDef* const> defs) {
  return check_sheet_defs(defs, all_ops(), all_keyword_lists());
}

// The table with one definition replaced.
struct Patched {
  std::vector<const SheetDef*> defs;
  SheetDef copy;

  explicit Patched(const SheetDef& original) : copy(original) {
    for (const SheetDef* def : all_sheet_defs()) defs.push_back(def == &original ? &copy : def);
  }
};

TEST(SheetCheck, TheTableIsSound) {
  EXPECT_EQ(joined(check(all_sheet_defs())), "");
  EXPECT_EQ(joined(check_catalogue(catalogue())), "");
}

TEST(SheetCheck, EveryOperationIsInTheList) {
  // 63 sheet operations (with SetLteVersion and IsLteMerge, the library's 65
  // exports): 41 writes, 21 reads, 1 write with write-back cells.
  EXPECT_EQ(all_ops().size(), 63u);
  EXPECT_EQ(
      std::count_if(all_ops().begin(), all_ops().end(), [](const OpEntry& op) { return op.kind == OpKind::Read; }), 21);
}

// One bad entry each; the expected line names the entry.
TEST(SheetCheck, EachBadEntryGivesItsLine) {
  struct Case {
    const char* what;
    const SheetDef* sheet;
    void (*spoil)(SheetDef&);
    std::string line;
  };
  static constexpr RangeDef kTwoSameRanges[] = {{"Filter", 3, 1, &msg::kLteaFilterRange, dec(2, false)},
                                                {"filter", 3, 1, &msg::kLteaFilterRange, dec(2, false)}};
  static constexpr std::string_view kOwnWords[] = {"open"};
  static constexpr RangeDef kOwnKeywordRange[] = {
      {"TxNvFlagSwitch", 1, 1, &msg::kTxNvFlagSwitchCells, keyword(kOwnWords, true)},
      {"TxNvFlag", 1, 1, &msg::kTxNvFlagCells, hex(4)},
      {"TxPowerESFSwitch", 1, 1, &msg::kLteaTxPowerEsfSwitchRange, keyword(kw::kOpen, true)},
      {"TxPowerESF", 1, 1, &msg::kLteaTxPowerEsfRange, hex(2)}};
  static constexpr NvSpan kShortBlock[] = {{388, 10}};
  static constexpr NvSpan kGsmRampOverTmpComp[] = {{0x3E4, 16}};
  static constexpr CellRun kRunPastRange[] = {cell_row(0, 0, 7, 388, 2)};
  static constexpr StoredWord kNoKeyword[] = {{1, "on"}};
  static constexpr CellRun kSwitchStoredAsNoKeyword[] = {
      {.range = 0, .offset = ltea::kPcScaleMarkerOffset, .width = 4, .words = kNoKeyword}};
  // LteaTxAntSelect's two antenna entries, and the diversity one again.
  static constexpr EntryRun kEntriesTwice[] = {
      {.name = "Ant", .offset = ltea::kAntMainEntryOffset, .groups = 2, .group_step = 8},
      {.name = "Div", .offset = ltea::kAntDiversityEntryOffset}};
  static constexpr EntryRun kEntryPastBlock[] = {{.name = "Main", .offset = ltea::kAntMainEntryOffset + 4}};
  // LtePwtAndOtherFlags' entries moved back onto its PwtEn flag.
  static constexpr EntryRun kEntryOnPlacedCell[] = {{.name = "Pwt", .offset = lte::kPwtEnOffset, .count = 1}};
  const Case cases[] = {
      {"a sheet named twice", &kLteaMprSheet, [](SheetDef& d) { d.name = "ltEAfilter"; },
       "ltEAfilter: sheet name already used by LteaFilter"},
      {"a range named twice", &kLteaFilterSheet, [](SheetDef& d) { d.ranges = kTwoSameRanges; },
       "LteaFilter: range filter: name used twice"},
      {"an export bound to another operation", &kGsmTmpCompSheet,
       [](SheetDef& d) { d.write = &ops::SheetGsmRampCtrlWr; },
       "GsmTmpComp: write export 'SheetGsmTmpCompWr' is not bound to its write operation"},
      {"an operation without its definition", &kGsmRampCtrlSheet,
       [](SheetDef& d) {
         d.read_export = {};
         d.read = nullptr;
       },
       "SheetGsmRampCtrlRd: operation has 0 definitions, not 1"},
      {"a keyword list of its own", &kLteaFlagsSheet, [](SheetDef& d) { d.ranges = kOwnKeywordRange; },
       "LteaFlags: range TxNvFlagSwitch: keyword list is not one of the lists the operations compare against"},
      {"a run outside the blocks", &kLteaFilterSheet, [](SheetDef& d) { d.blocks = kShortBlock; },
       "LteaFilter: run 0: bytes at 0x18e outside the sheet's writable blocks"},
      {"a run outside its range", &kLteaFilterSheet, [](SheetDef& d) { d.runs = kRunPastRange; },
       "LteaFilter: run 0: cells outside range Filter"},
      {"a placed run outside the blocks", &kLteaFlagsSheet, [](SheetDef& d) { d.blocks = kShortBlock; },
       "LteaFlags: placed run 0: bytes at 0x329c outside the sheet's writable blocks"},
      {"a stored word that is no keyword of its cell", &kLteaPcScaleSheet,
       [](SheetDef& d) { d.placed = kSwitchStoredAsNoKeyword; },
       "LteaPcScale: placed run 0: stored word 'on' is no keyword of range PcScaleSwitch"},
      {"runs and placed runs both", &kLteaFilterSheet, [](SheetDef& d) { d.placed = d.runs; },
       "LteaFilter: both runs and placed runs"},
      {"an entry past its block", &kLteaTxAntSelectSheet, [](SheetDef& d) { d.entries = kEntryPastBlock; },
       "LteaTxAntSelect: entry run 0: entries at 0x194 outside the sheet's writable blocks"},
      {"an entry held twice", &kLteaTxAntSelectSheet, [](SheetDef& d) { d.entries = kEntriesTwice; },
       "LteaTxAntSelect: entry run 1: entries at 0x198 on bytes another entry or a placed cell holds"},
      {"an entry on a placed cell", &kLtePwtAndOtherFlagsSheet, [](SheetDef& d) { d.entries = kEntryOnPlacedCell; },
       "LtePwtAndOtherFlags: entry run 0: entries at 0x17a6 on bytes another entry or a placed cell holds"},
      {"entries on a table sheet", &kLteaFilterSheet, [](SheetDef& d) { d.entries = kEntryPastBlock; },
       "LteaFilter: entry runs on a table sheet"},
      {"blocks of two sheets overlapping", &kGsmRampCtrlSheet, [](SheetDef& d) { d.blocks = kGsmRampOverTmpComp; },
       "GsmTmpComp: block 0x3e4+60 overlaps GsmRampCtrl's block 0x3e4+16"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Patched table(*c.sheet);
    c.spoil(table.copy);
    const std::vector<std::string> lines = check(table.defs);
    EXPECT_NE(std::find(lines.begin(), lines.end(), c.line), lines.end()) << joined(lines);
  }
}

TEST(SheetCheck, AMessageTextWrittenTwiceIsNamed) {
  std::vector<Message> entries(catalogue().begin(), catalogue().end());
  entries[1].text = entries[0].text;
  const std::vector<std::string> lines = check_catalogue(entries);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], std::string(message_name(entries[1].id)) + ": text already stands as " +
                          std::string(message_name(entries[0].id)));
}

}  // namespace
}  // namespace calvex

namespace calvex {
namespace {

// An operation may store only what its definition lists, in its layout.
TEST(SheetBlocks, OnlyTheDefinitionsWritableBlocksMayBeStored) {
  struct Case {
    const char* what;
    const SheetDef* sheet;
    NvLayout layout;
    uint32_t offset;
    size_t size;
    bool allowed;
  };
  const Case cases[] = {
      {"a whole block", &kLteaFilterSheet, NvLayout::Any, 388, 12, true},
      {"part of a block", &kLteaFilterSheet, NvLayout::Any, 390, 2, true},
      {"one byte past the block", &kLteaFilterSheet, NvLayout::Any, 388, 13, false},
      {"one byte before the block", &kLteaFilterSheet, NvLayout::Any, 387, 2, false},
      {"a block the write only reads", &kWcdmaTmpCompSheet, NvLayout::Any, 6068, 4, false},
      {"two adjacent blocks as one", &kLteaPcScaleSheet, NvLayout::Any, ltea::kPcScaleMarkerOffset,
       4 + 2 * ltea::kPcScaleCount, true},
      {"two adjacent blocks and one byte more", &kLteaPcScaleSheet, NvLayout::Any, ltea::kPcScaleMarkerOffset,
       4 + 2 * ltea::kPcScaleCount + 1, false},
      {"the spare block in the merged layout", &kLteFilterSheet, NvLayout::Merged, lte::kMergedSpareOffset,
       lte::kMergedSpareSize, true},
      {"the spare block in the single layout", &kLteFilterSheet, NvLayout::Single, lte::kMergedSpareOffset,
       lte::kMergedSpareSize, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const NvBlock block(c.offset, c.size);
    const std::vector<const NvBlock*> blocks = {&block};
    if (c.allowed) {
      EXPECT_NO_THROW(require_in_blocks(*c.sheet, c.layout, blocks));
    } else {
      EXPECT_THROW(require_in_blocks(*c.sheet, c.layout, blocks), std::logic_error);
    }
  }
}

}  // namespace
}  // namespace calvex
