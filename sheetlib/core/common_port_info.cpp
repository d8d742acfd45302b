// Common sheet: transceiver port info. For each of 80 table rows the TX port
// and the two receive ports, each a one-hot mask chosen by port name, written
// only when the sheet's carrier-aggregation switch reads "Support".
#include <array>
#include <string_view>

#include "boundary.h"
#include "common_nv_map.h"
#include "keywords.h"
#include "sheets.h"

namespace calvex::common {
namespace {

constexpr size_t kCaSwitchRange = 0;
constexpr size_t kPortTableRange = 1;
constexpr size_t kCellsPerRow = 4;  // row switch, TX port, PRX port, second RX port
constexpr std::string_view kSupport = kw::kSupport[0];

// Exact, case-sensitive lookup; an unknown name shows on_unknown and gives 0.
template <size_t N>
uint16_t map_port(const kw::PortName (&table)[N], std::u16string_view name, const Message& on_unknown) {
  for (const kw::PortName& port : table) {
    if (kw::text_is(name, port.name)) return port.mask;
  }
  show(on_unknown);
  return 0;
}

void write_port_info(const WriteArgs& args, const std::u16string& path) {
  // The port table's cell count matters only when CA is supported.
  if (!range_count_ok(args, kPortInfoSheet, NvLayout::Any) || !cell_count_ok(args, kPortInfoSheet, kCaSwitchRange)) {
    return;
  }
  if (!kw::text_is(args.copy_range(kCaSwitchRange)[0], kSupport)) return;  // CA not supported: nothing to write
  if (!cell_count_ok(args, kPortInfoSheet, kPortTableRange)) return;
  const Cells table = args.copy_range(kPortTableRange);

  NvBlock tx(kTxPortOffset, kPortBlockSize);
  NvBlock prx(kPrxPortOffset, kPortBlockSize);
  NvBlock second_rx(kSecondRxPortOffset, kPortBlockSize);
  for (size_t row = 0; row < kPortRows; ++row) {
    const size_t cell = row * kCellsPerRow;
    if (!kw::text_is(table[cell], kSupport)) continue;
    const size_t pos = row * kPortValueSize;
    tx.put16(pos, map_port(kw::kTxPorts, table[cell + 1], msg::kPortInfoBadTxPort));
    prx.put16(pos, map_port(kw::kRxPorts, table[cell + 2], msg::kPortInfoBadRxPort));
    second_rx.put16(pos, map_port(kw::kRxPorts, table[cell + 3], msg::kPortInfoBadRxPort));
  }
  NvBlock marker(kPortInfoMarkerOffset, kPortInfoMarkerSize);
  marker.put32(0, kPortInfoMarker);

  if (!store_sheet_blocks(path, kPortInfoSheet, NvLayout::Any, {&marker, &tx, &prx, &second_rx}, msg::kOpenFailedWrite))
    return;
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
std::u16string port_name(const kw::PortName (&table)[N], uint32_t value) {
  for (const kw::PortName& port : table) {
    if (port.mask == value) return widen(port.name);
  }
  return std::u16string(kNotWritten);
}

void decode_port_info(ReadCells& out, const std::u16string& path) {
  NvBlock tables(kTxPortOffset, kPortTablesSize);
  NvBlock marker(kPortInfoMarkerOffset, kPortInfoMarkerSize);
  load_blocks(path, NvFile::Mode::ReadOnly, {&tables, &marker}, &msg::kOpenFailedRead);

  const std::u16string support = widen(kSupport);
  const size_t switch_cells = static_cast<size_t>(kPortInfoSheet.ranges[kCaSwitchRange].count());
  ReadTexts texts(static_cast<size_t>(kPortInfoSheet.read_count()), kNotWritten, kMarkValue);
  if (marker.get32(0) == kPortInfoMarker) texts.set(0, support, kMarkValue);
  for (size_t row = 0; row < kPortRows; ++row) {
    const size_t pos = row * kPortValueSize;
    const uint32_t tx = tables.get16(kTxPortOffset - kTxPortOffset + pos);
    const uint32_t prx = tables.get16(kPrxPortOffset - kTxPortOffset + pos);
    const uint32_t second_rx = tables.get16(kSecondRxPortOffset - kTxPortOffset + pos);
    if (tx == 0 && prx == 0 && second_rx == 0) continue;
    const size_t cell = switch_cells + row * kCellsPerRow;
    texts.set(cell, support, kMarkValue);
    texts.set(cell + 1, port_name(kw::kTxPorts, tx), kMarkValue);
    texts.set(cell + 2, port_name(kw::kRxPorts, prx), kMarkValue);
    texts.set(cell + 3, port_name(kw::kRxPorts, second_rx), kMarkValue);
  }
  fill_read(out, texts, msg::kCellCountMismatch);
}

}  // namespace
}  // namespace calvex::common

const calvex::ReadBody calvex::decoders::kPortInfo = calvex::common::decode_port_info;
