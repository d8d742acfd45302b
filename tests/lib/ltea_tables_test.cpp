// LTE-A simple tables: filter, MPR, PC scale, phase, capacity and flags.
#include "ltea_support.h"

using namespace ltea_test;

namespace {

using WriteFn = void(CALVEX_CALL*)(const CellRange*, int32_t, CalvexText);
using ReadFn = void(CALVEX_CALL*)(SheetCell*, int32_t, CalvexText);

std::vector<RangeTexts> one_range(std::vector<std::string> cells) { return {RangeTexts{std::move(cells)}}; }

std::vector<RangeTexts> flags_ranges(const std::string& nv_switch, const std::string& nv_flag,
                                     const std::string& esf_switch, const std::string& esf) {
  return {RangeTexts{{nv_switch}}, RangeTexts{{nv_flag}}, RangeTexts{{esf_switch}}, RangeTexts{{esf}}};
}

// ---- Filter ----

using LteaFilter = LteaImageTest;

TEST_F(LteaFilter, WritesLow16BitsAsOneBlockAndReadsUnsigned) {
  call_write(SheetLteaFilterWr, one_range({"1", "70000", "-1", "0", "abc", " 32767"}), path);
  EXPECT_EQ(log.texts(), Messages({kDone}));
  const auto after = image();
  EXPECT_EQ(bytes_at(after, 388, 12),
            std::vector<uint8_t>({0x01, 0x00, 0x70, 0x11, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00, 0xFF, 0x7F}));
  EXPECT_TRUE(changes_outside(before, after, {{388, 12}}).empty());

  log.clear();
  const ReadResult r = call_read(SheetLteaFilterRd, 6, path);
  EXPECT_TRUE(log.texts().empty());
  EXPECT_EQ(r.texts, std::vector<std::string>({"1", "4464", "65535", "0", "0", "32767"}));
  EXPECT_EQ(r.marks, std::vector<int32_t>(6, 17));
}

TEST_F(LteaFilter, ImageShorterThanHeadReadsAsZeros) {
  std::vector<uint8_t> short_image(390, 0);
  put_le16(short_image, 388, 0x1234);
  write_file(path, short_image);
  const ReadResult r = call_read(SheetLteaFilterRd, 6, path);
  EXPECT_TRUE(log.texts().empty());
  EXPECT_EQ(r.texts, std::vector<std::string>({"4660", "0", "0", "0", "0", "0"}));
}

// ---- Mpr ----

using LteaMpr = LteaImageTest;

TEST_F(LteaMpr, WritesEachEntryAtItsOffsetAndReadsSigned) {
  std::vector<std::string> cells;
  for (int i = 0; i < 42; ++i) cells.push_back(std::to_string(i - 3));  // -3 .. 38
  call_write(SheetLteaMprWr, one_range(cells), path);
  EXPECT_EQ(log.texts(), Messages({kDone}));
  const auto after = image();
  EXPECT_EQ(le16(after, 4), 0xFFFDu);
  EXPECT_EQ(le16(after, 4 + 2 * 41), 38u);
  EXPECT_TRUE(changes_outside(before, after, {{4, 84}}).empty());

  const ReadResult r = call_read(SheetLteaMprRd, 42, path);
  EXPECT_EQ(r.texts, cells);
  EXPECT_EQ(r.marks, std::vector<int32_t>(42, 17));
}

// ---- PcScale ----

using LteaPcScale = LteaImageTest;

std::vector<std::string> one_to_seventeen() {
  std::vector<std::string> values;
  for (int i = 1; i <= 17; ++i) values.push_back(std::to_string(i));
  return values;
}

TEST_F(LteaPcScale, SwitchOnWritesMarkerAndValues) {
  call_write(SheetLteaPcScaleWr, {RangeTexts{{"1"}}, RangeTexts{one_to_seventeen()}}, path);
  EXPECT_EQ(log.texts(), Messages({kDone}));
  const auto after = image();
  EXPECT_EQ(bytes_at(after, 324, 4), std::vector<uint8_t>({0x6C, 0x61, 0x63, 0x69}));
  for (size_t i = 0; i < 17; ++i) EXPECT_EQ(le16(after, 328 + 2 * i), i + 1) << "value " << i;
  EXPECT_TRUE(changes_outside(before, after, {{324, 4 + 34}}).empty());

  const ReadResult r = call_read(SheetLteaPcScaleRd, 18, path);
  std::vector<std::string> expected = {"1"};
  for (const auto& v : one_to_seventeen()) expected.push_back(v);
  EXPECT_EQ(r.texts, expected);
  EXPECT_EQ(r.marks, std::vector<int32_t>(18, 17));
}

TEST_F(LteaPcScale, AnyOtherSwitchTextWritesZerosWithoutParsingValues) {
  for (const char* text : {"0", "on", " 1", "01", ""}) {
    SCOPED_TRACE(std::string("switch text '") + text + "'");
    write_file(path, before);
    log.clear();
    call_write(SheetLteaPcScaleWr, {RangeTexts{{text}}, RangeTexts{one_to_seventeen()}}, path);
    EXPECT_EQ(log.texts(), Messages({kDone}));
    const auto after = image();
    EXPECT_EQ(bytes_at(after, 324, 38), std::vector<uint8_t>(38, 0));
    EXPECT_TRUE(changes_outside(before, after, {{324, 38}}).empty());
    const ReadResult r = call_read(SheetLteaPcScaleRd, 18, path);
    EXPECT_EQ(r.texts, std::vector<std::string>(18, "0"));
  }
}

// ---- Phse and Capacity: cell i goes to pair 0, 2, 1, 3 ----

struct PairCase {
  const char* name;
  WriteFn write;
  ReadFn read;
  size_t field_in_pair;
};

class LteaPairSheet : public LteaImageTest, public ::testing::WithParamInterface<PairCase> {};

TEST_P(LteaPairSheet, CellsGoToPairsInOrder0213AndReadBackInPlace) {
  const PairCase& c = GetParam();
  call_write(c.write, one_range({"1", "0x2", "3", "FFFFFFFF"}), path);
  EXPECT_EQ(log.texts(), Messages({kDone}));
  const auto after = image();
  const size_t base = 12920 + c.field_in_pair;
  EXPECT_EQ(le32(after, base + 0), 1u);
  EXPECT_EQ(le32(after, base + 8), 3u);
  EXPECT_EQ(le32(after, base + 16), 2u);
  EXPECT_EQ(le32(after, base + 24), 0xFFFFFFFFu);
  EXPECT_TRUE(changes_outside(before, after, {{base, 4}, {base + 8, 4}, {base + 16, 4}, {base + 24, 4}}).empty());

  const ReadResult r = call_read(c.read, 4, path);
  EXPECT_EQ(r.texts, std::vector<std::string>({"0x1", "0x2", "0x3", "0xffffffff"}));
  EXPECT_EQ(r.marks, std::vector<int32_t>(4, 17));
}

TEST_P(LteaPairSheet, RefusedHexCellIsWrittenAsZeroAndTheCallGoesOn) {
  const PairCase& c = GetParam();
  call_write(c.write, one_range({"1", "G", "3", "4"}), path);
  EXPECT_EQ(log.texts(), Messages({kNotHex, kDone}));
  EXPECT_EQ(le32(image(), 12920 + c.field_in_pair + 16), 0u);
}

INSTANTIATE_TEST_SUITE_P(Ltea, LteaPairSheet,
                         ::testing::Values(PairCase{"Phse", SheetLteaPhseWr, SheetLteaPhseRd, 0},
                                           PairCase{"Capacity", SheetLteaCapacityWr, SheetLteaCapacityRd, 4}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- Flags ----

using LteaFlags = LteaImageTest;

TEST_F(LteaFlags, OpenSwitchesWriteTheirFieldsAfterRemovingSpaces) {
  call_write(SheetLteaFlagsWr, flags_ranges("open", "0x1234 5678", "open", "0x1 2345"), path);
  EXPECT_EQ(log.texts(), Messages({kDone}));
  const auto after = image();
  EXPECT_EQ(le32(after, 12956), 0x12345678u);
  EXPECT_EQ(le16(after, 12966), 0x2345u);
  EXPECT_TRUE(changes_outside(before, after, {{12956, 4}, {12966, 2}}).empty());

  const ReadResult r = call_read(SheetLteaFlagsRd, 2, path);
  EXPECT_EQ(r.texts, std::vector<std::string>({"0x12345678", "0x2345"}));
  EXPECT_EQ(r.marks, std::vector<int32_t>(2, 17));
}

TEST_F(LteaFlags, EachSwitchGuardsOnlyItsOwnField) {
  call_write(SheetLteaFlagsWr, flags_ranges("Open", "0x11", "open", "0x22"), path);
  const auto after = image();
  EXPECT_TRUE(changes_outside(before, after, {{12966, 2}}).empty());
  EXPECT_EQ(le16(after, 12966), 0x22u);

  write_file(path, before);
  call_write(SheetLteaFlagsWr, flags_ranges("open", "0x11", "OPEN", "0x22"), path);
  const auto after2 = image();
  EXPECT_TRUE(changes_outside(before, after2, {{12956, 4}}).empty());
  EXPECT_EQ(le32(after2, 12956), 0x11u);
}

TEST_F(LteaFlags, SwitchesOffLeaveImageUnchangedButValuesAreStillParsed) {
  call_write(SheetLteaFlagsWr, flags_ranges("close", "zz", "", "0x1"), path);
  EXPECT_EQ(log.texts(), Messages({kNotHex, kDone}));
  EXPECT_EQ(image(), before);
}

// ---- Refusals and open failures, all six simple sheets ----

struct RefusalCase {
  const char* name;
  WriteFn write;
  std::vector<RangeTexts> ranges;
  const char* message;
};

class LteaSimpleRefusal : public LteaImageTest, public ::testing::WithParamInterface<RefusalCase> {};

TEST_P(LteaSimpleRefusal, LeavesImageUnchanged) {
  const RefusalCase& c = GetParam();
  call_write(c.write, c.ranges, path);
  EXPECT_EQ(log.texts(), Messages({c.message}));
  EXPECT_EQ(image(), before);
}

std::vector<RangeTexts> ranges_of(std::vector<size_t> counts) {
  std::vector<RangeTexts> out;
  for (size_t n : counts) out.push_back(RangeTexts{repeat_text("1", n)});
  return out;
}

INSTANTIATE_TEST_SUITE_P(
    Ltea, LteaSimpleRefusal,
    ::testing::Values(
        RefusalCase{"FilterRangeCount", SheetLteaFilterWr, ranges_of({6, 6}), "SheetLteaFilter参数配置有误，请确认！"},
        RefusalCase{"FilterCells", SheetLteaFilterWr, ranges_of({5}), "主载波Filter获取失败，请确认！"},
        RefusalCase{"MprRangeCount", SheetLteaMprWr, ranges_of({}), "SheetLteaMpr参数配置有误，请确认！"},
        RefusalCase{"MprCells", SheetLteaMprWr, ranges_of({43}), "主载波Mpr获取失败，请确认！"},
        RefusalCase{"PcScaleRangeCount", SheetLteaPcScaleWr, ranges_of({18}), "SheetLteaScale参数配置有误，请确认！"},
        RefusalCase{"PcScaleSwitchCells", SheetLteaPcScaleWr, ranges_of({2, 17}), "主载波Scale获取失败，请确认！"},
        RefusalCase{"PcScaleValueCells", SheetLteaPcScaleWr, ranges_of({1, 16}), "主载波Scale获取失败，请确认！"},
        RefusalCase{"PhseRangeCount", SheetLteaPhseWr, ranges_of({4, 4}), "SheetLteaPhse参数配置有误，请确认！"},
        RefusalCase{"PhseCells", SheetLteaPhseWr, ranges_of({3}), "主载波Phse获取失败，请确认！"},
        RefusalCase{"CapacityRangeCount", SheetLteaCapacityWr, ranges_of({}),
                    "SheetLteaCapacity参数配置有误，请确认！"},
        RefusalCase{"CapacityCells", SheetLteaCapacityWr, ranges_of({5}), "主载波Capacity获取失败，请确认！"},
        RefusalCase{"FlagsRangeCount", SheetLteaFlagsWr, ranges_of({1, 1, 1}), "SheetMergeLte参数配置有误，请确认！"},
        RefusalCase{"FlagsRange0", SheetLteaFlagsWr, ranges_of({2, 1, 1, 1}), "TxNvFlagSwitch获取失败，请确认！"},
        RefusalCase{"FlagsRange1", SheetLteaFlagsWr, ranges_of({1, 0, 1, 1}), "TxNvFlag获取失败，请确认！"},
        RefusalCase{"FlagsRange2", SheetLteaFlagsWr, ranges_of({1, 1, 2, 1}), "TxPowerESFSwitch获取失败，请确认！"},
        RefusalCase{"FlagsRange3", SheetLteaFlagsWr, ranges_of({1, 1, 1, 2}), "TxPowerESF获取失败，请确认！"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
