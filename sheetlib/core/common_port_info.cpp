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

  if (!store_blocks(path, {&marker, &tx, &prx, &second_rx}, msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

}  // namespace
}  // namespace calvex::common

CALVEX_DEFINE_WRITE(SheetPortInfoWr, calvex::common::write_port_info)
