// Port info sheet through SheetPortInfoWr.
#include "gsm_support.h"

namespace gsm_test {
namespace {

constexpr size_t kTx = 0x000, kPrx = 0x0A0, kSecondRx = 0x140, kMarker = 0x3FC;
constexpr size_t kRows = 80;

constexpr const char* kConfigMessage = "SheetPortInfo参数配置有误，请确认！";
constexpr const char* kCaMessage = "传入Ca Support数据不正确，请确认！";
constexpr const char* kTableMessage = "传入Transceiver PortInfo不正确，请确认！";
constexpr const char* kBadTx = "Error TxPort";
constexpr const char* kBadRx = "Error PRxPort";

std::vector<std::string> disabled_rows() {
  std::vector<std::string> cells;
  for (size_t i = 0; i < kRows; ++i) cells.insert(cells.end(), {"X", "HB1", "HB1", "HB1"});
  return cells;
}

void set_row(std::vector<std::string>& cells, size_t row, std::vector<std::string> texts) {
  for (size_t i = 0; i < 4; ++i) cells[row * 4 + i] = texts[i];
}

void write_port_info(const std::string& ca, const std::vector<std::string>& table, const std::string& path) {
  call_write(SheetPortInfoWr, {{{ca}}, {table, static_cast<int32_t>(kRows), 4}}, path);
}

using CommonPortInfo = GsmImageTest;

TEST_F(CommonPortInfo, MapsEveryPortNameOfEnabledRows) {
  const char* tx_names[] = {"HB1", "HB2", "MB1", "MB2", "LB1", "LB2", "LB3"};
  const uint32_t tx_values[] = {0x8000, 0x4000, 0x2000, 0x1000, 0x0800, 0x0400, 0x0200};
  const char* rx_names[] = {"HB1", "HB2", "HB3", "MB1", "MB2", "MB3", "MB4", "MB5", "LB4", "LB1", "LB2", "LB3"};
  const uint32_t rx_values[] = {0x0800, 0x0400, 0x0200, 0x0100, 0x0080, 0x0040,
                                0x0020, 0x0010, 0x0008, 0x0004, 0x0002, 0x0001};
  auto table = disabled_rows();
  // Rows 0-11 cycle through the names; rows 12 and up stay disabled.
  for (size_t row = 0; row < 12; ++row) {
    set_row(table, row, {"Support", tx_names[row % 7], rx_names[row], rx_names[11 - row]});
  }
  write_port_info("Support", table, path);
  EXPECT_EQ(log.texts(), Messages{kDone});

  const auto img = image();
  for (size_t row = 0; row < kRows; ++row) {
    SCOPED_TRACE("row " + std::to_string(row));
    const bool on = row < 12;
    EXPECT_EQ(le16(img, kTx + 2 * row), on ? tx_values[row % 7] : 0u);
    EXPECT_EQ(le16(img, kPrx + 2 * row), on ? rx_values[row] : 0u);
    EXPECT_EQ(le16(img, kSecondRx + 2 * row), on ? rx_values[11 - row] : 0u);
  }
  EXPECT_EQ(bytes_at(img, kMarker, 4), (std::vector<uint8_t>{0x44, 0x33, 0x22, 0x11}));
  EXPECT_EQ(changes_outside(before, img, {{0, 480}, {kMarker, 4}}), std::vector<size_t>{});
}

TEST_F(CommonPortInfo, UnknownNamesAreReportedPerCellAndStoredAsZero) {
  auto table = disabled_rows();
  set_row(table, 0, {"Support", "LB3", "LB3", "HB1"});
  set_row(table, 1, {"Support", "MB5", "hb1", "MB5"});    // MB5 is a receive port only
  set_row(table, 2, {"Support", "HB1 ", "LB1", "LB4 "});  // trailing space matches nothing
  set_row(table, 3, {"support", "bad", "bad", "bad"});    // disabled: ports not looked at
  write_port_info("Support", table, path);
  EXPECT_EQ(log.texts(), (Messages{kBadTx, kBadRx, kBadTx, kBadRx, kDone}));

  const auto img = image();
  EXPECT_EQ(le16(img, kTx + 0), 0x0200u);
  EXPECT_EQ(le16(img, kPrx + 0), 0x0001u);
  EXPECT_EQ(le16(img, kSecondRx + 0), 0x0800u);
  EXPECT_EQ(le16(img, kTx + 2), 0u);
  EXPECT_EQ(le16(img, kPrx + 2), 0u);
  EXPECT_EQ(le16(img, kSecondRx + 2), 0x0010u);
  EXPECT_EQ(le16(img, kTx + 4), 0u);
  EXPECT_EQ(le16(img, kPrx + 4), 0x0004u);
  EXPECT_EQ(le16(img, kSecondRx + 4), 0u);
}

TEST_F(CommonPortInfo, RefusedWritesLeaveTheImageAlone) {
  struct Case {
    const char* rule;
    std::vector<RangeTexts> ranges;
    Messages messages;
  };
  const RangeTexts ca{{"Support"}}, table{disabled_rows()};
  const Case cases[] = {
      {"one range", {ca}, {kConfigMessage}},
      {"three ranges", {ca, table, ca}, {kConfigMessage}},
      {"CA switch of two cells", {{{"Support", "Support"}}, table}, {kCaMessage}},
      {"CA not supported: silent", {{{"X"}}, table}, {}},
      {"CA switch is case-sensitive", {{{"support"}}, table}, {}},
      {"CA off stops before the table check", {{{"No"}}, {repeat_text("X", 3)}}, {}},
      {"table one short", {ca, {repeat_text("X", 319)}}, {kTableMessage}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    log.clear();
    call_write(SheetPortInfoWr, c.ranges, path);
    EXPECT_EQ(log.texts(), c.messages);
    EXPECT_EQ(image(), before);
  }
}

}  // namespace
}  // namespace gsm_test
