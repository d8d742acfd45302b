// Common sheet: transceiver port info. For each of 80 table rows the TX port
// and the two receive ports, each a one-hot mask chosen by port name, written
// only when the sheet's carrier-aggregation switch reads "Support".
#include <array>
#include <string_view>

#include "boundary.h"
#include "common_nv_map.h"

namespace calvex::common {
namespace {

constexpr int32_t kPortInfoRangeCount = 2;
constexpr int32_t kCaSwitchRange = 0;
constexpr int32_t kPortTableRange = 1;
constexpr int64_t kCaSwitchCells = 1;
constexpr size_t kCellsPerRow = 4;  // row switch, TX port, PRX port, second RX port
constexpr int64_t kPortTableCells = kPortRows * kCellsPerRow;

constexpr std::u16string_view kSupport = u"Support";

struct PortName {
  std::u16string_view name;
  uint16_t value;
};

constexpr std::array<PortName, 7> kTxPorts = {{
    {u"HB1", 0x8000},
    {u"HB2", 0x4000},
    {u"MB1", 0x2000},
    {u"MB2", 0x1000},
    {u"LB1", 0x0800},
    {u"LB2", 0x0400},
    {u"LB3", 0x0200},
}};

constexpr std::array<PortName, 12> kRxPorts = {{
    {u"HB1", 0x0800},
    {u"HB2", 0x0400},
    {u"HB3", 0x0200},
    {u"MB1", 0x0100},
    {u"MB2", 0x0080},
    {u"MB3", 0x0040},
    {u"MB4", 0x0020},
    {u"MB5", 0x0010},
    {u"LB4", 0x0008},
    {u"LB1", 0x0004},
    {u"LB2", 0x0002},
    {u"LB3", 0x0001},
}};

// Exact, case-sensitive lookup; an unknown name shows on_unknown and gives 0.
template <size_t N>
uint16_t map_port(const std::array<PortName, N>& table, std::u16string_view name, const Message& on_unknown) {
  for (const PortName& port : table) {
    if (port.name == name) return port.value;
  }
  show(on_unknown);
  return 0;
}

void write_port_info(const WriteArgs& args, const std::u16string& path) {
  if (args.range_count() != kPortInfoRangeCount) {
    show(msg::kPortInfoConfig);
    return;
  }
  if (args.cell_count(kCaSwitchRange) != kCaSwitchCells) {
    show(msg::kPortInfoCaCells);
    return;
  }
  if (args.copy_range(kCaSwitchRange)[0] != kSupport) return;  // CA not supported: nothing to write
  if (args.cell_count(kPortTableRange) != kPortTableCells) {
    show(msg::kPortInfoTableCells);
    return;
  }
  const Cells table = args.copy_range(kPortTableRange);

  NvBlock tx(kTxPortOffset, kPortBlockSize);
  NvBlock prx(kPrxPortOffset, kPortBlockSize);
  NvBlock second_rx(kSecondRxPortOffset, kPortBlockSize);
  for (size_t row = 0; row < kPortRows; ++row) {
    const size_t cell = row * kCellsPerRow;
    if (table[cell] != kSupport) continue;
    const size_t pos = row * kPortValueSize;
    tx.put16(pos, map_port(kTxPorts, table[cell + 1], msg::kPortInfoBadTxPort));
    prx.put16(pos, map_port(kRxPorts, table[cell + 2], msg::kPortInfoBadRxPort));
    second_rx.put16(pos, map_port(kRxPorts, table[cell + 3], msg::kPortInfoBadRxPort));
  }
  NvBlock marker(kPortInfoMarkerOffset, kPortInfoMarkerSize);
  marker.put32(0, kPortInfoMarker);

  if (!store_blocks(path, {&marker, &tx, &prx, &second_rx}, msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

}  // namespace
}  // namespace calvex::common

CALVEX_DEFINE_WRITE(SheetPortInfoWr, calvex::common::write_port_info)

// ---- Decoder (decoders.h) ----
//
// CaSupport shows "Support" when the port info marker is stored, else "X"
// (the write then leaves the image alone). A row whose three masks are all
// zero was not written and shows "X" in every cell; any other row shows
// "Support" and the name of each mask ("X" for a mask that names no port).

#include "decoders.h"
#include "marks.h"
#include "sheet_engine.h"

namespace calvex::common {
namespace {

constexpr std::u16string_view kNotWritten = u"X";

template <size_t N>
std::u16string_view port_name(const std::array<PortName, N>& table, uint32_t value) {
  for (const PortName& port : table) {
    if (port.value == value) return port.name;
  }
  return kNotWritten;
}

void decode_port_info(ReadCells& out, const std::u16string& path) {
  NvBlock tables(kTxPortOffset, kPortTablesSize);
  NvBlock marker(kPortInfoMarkerOffset, kPortInfoMarkerSize);
  load_blocks(path, NvFile::Mode::ReadOnly, {&tables, &marker}, &msg::kOpenFailedRead);

  ReadTexts texts(static_cast<size_t>(kCaSwitchCells + kPortTableCells), kNotWritten, kMarkValue);
  if (marker.get32(0) == kPortInfoMarker) texts.set(0, kSupport, kMarkValue);
  for (size_t row = 0; row < kPortRows; ++row) {
    const size_t pos = row * kPortValueSize;
    const uint32_t tx = tables.get16(kTxPortOffset - kTxPortOffset + pos);
    const uint32_t prx = tables.get16(kPrxPortOffset - kTxPortOffset + pos);
    const uint32_t second_rx = tables.get16(kSecondRxPortOffset - kTxPortOffset + pos);
    if (tx == 0 && prx == 0 && second_rx == 0) continue;
    const size_t cell = static_cast<size_t>(kCaSwitchCells) + row * kCellsPerRow;
    texts.set(cell, kSupport, kMarkValue);
    texts.set(cell + 1, port_name(kTxPorts, tx), kMarkValue);
    texts.set(cell + 2, port_name(kRxPorts, prx), kMarkValue);
    texts.set(cell + 3, port_name(kRxPorts, second_rx), kMarkValue);
  }
  fill_read(out, texts, msg::kCellCountMismatch);
}

}  // namespace
}  // namespace calvex::common

const calvex::ReadBody calvex::decoders::kPortInfo = calvex::common::decode_port_info;
