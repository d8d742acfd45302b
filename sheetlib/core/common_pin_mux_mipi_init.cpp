// Common sheet: pin multiplexing of the RF control pins VC1-VC4 (GPIO, two
// MIPI RFFE buses or one), the SIM function of RF control lines 12/13/14,
// and the RFFE bus initialisation words built from each bus's device list.
//
// Devices on one bus that share a USID (RFFE slave address) are given new
// USIDs by register-write words sent to their old address; every device then
// gets a power-mode trigger word. The resulting USIDs are reported in the
// success message and written back into 12 host cells.
#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "boundary.h"
#include "common_nv_map.h"
#include "keywords.h"
#include "marks.h"
#include "sheets.h"

namespace calvex::common {
namespace {

constexpr size_t kModeRange = 0;  // mode text, SIM text
constexpr size_t kBus0Range = 1;
constexpr size_t kBus1Range = 2;
constexpr size_t kDevicesPerBus = 6;
constexpr size_t kCellsPerDevice = 3;  // product ID, manufacturer ID, USID register

// NV values (the blocks: common_nv_map.h).
constexpr size_t kBuses = kRffeBuses;
constexpr size_t kWordsPerBus = kRffeWordsPerBus;
constexpr uint32_t kSimFuncOn = 1;
constexpr uint32_t kSimFuncOff = 0;
// A bus-0 device of this manufacturer needs the modem's special handling.
constexpr uint32_t kSpecialManufacturerId = 0x3D;
constexpr uint32_t kSpecialDeviceMark = 0x99887766;

// RFFE register-write words: USID in bits 19-16, command (0x40 + register)
// in bits 15-8, data in bits 7-0.
constexpr unsigned kUsidShift = 16;
constexpr uint32_t kCmdPowerModeTrigger = 0x5C00;  // register 0x1C
constexpr uint32_t kCmdProductId = 0x5D00;         // register 0x1D
constexpr uint32_t kCmdManufacturerId = 0x5E00;    // register 0x1E
constexpr uint32_t kCmdUsid = 0x5F00;              // register 0x1F
constexpr uint32_t kPowerModeTriggerData = 0x38;
// Register values are 8 bits; a wider cell value is cut so that it cannot
// spill into the command and USID fields of its word.
constexpr uint32_t kDataMask = 0xFF;
constexpr uint32_t kUsidMask = 0x0F;              // USID register bits 3-0
constexpr uint32_t kManufacturerBitsMask = 0x30;  // USID register bits 5-4
constexpr size_t kWordsPerReassignment = 3;

// New USIDs are taken from this list, in this order.
constexpr std::array<uint32_t, 6> kCandidateUsids = {15, 14, 10, 11, 13, 12};
// A reassignment may start only below this word count, and the trigger
// words must leave the bus's last word unused.
constexpr size_t kReassignmentWordLimit = 13;

// Write-back cells: 6 USID reports per bus.
constexpr int32_t kWriteBackCells = 12;
constexpr size_t kWriteBackPerBus = 6;
constexpr std::u16string_view kNoUsidText = u"X";
constexpr std::u16string_view kHexPrefix = u"0x";
constexpr size_t kUsidTextLength = 3;  // "0x" and one digit

struct PinMuxMode {
  std::string_view text;  // compared exactly
  uint32_t pin_mux_value;
  size_t buses;  // MIPI buses built
  const Message* done;
};

constexpr std::array<PinMuxMode, 2> kMipiModes = {{
    {kw::kPinMuxModes[kw::kMipiMode], 0xFEFE, 2, &msg::kPinMuxDoneMipi},
    {kw::kPinMuxModes[kw::kOnlyMipi0Mode], 0xFFFE, 1, &msg::kPinMuxDoneMipi0},
}};
constexpr PinMuxMode kGpioMode{"", 0x0000, 0, &msg::kPinMuxDoneGpio};

constexpr std::array<size_t, kBuses> kBusRanges = {kBus0Range, kBus1Range};
constexpr std::array<const Message*, kBuses> kBusFailedMessages = {&msg::kPinMuxMipi0Failed, &msg::kPinMuxMipi1Failed};

const PinMuxMode& find_mode(std::u16string_view text) {
  for (const PinMuxMode& mode : kMipiModes) {
    if (kw::text_is(text, mode.text)) return mode;
  }
  return kGpioMode;
}

struct Device {
  uint32_t product_id;
  uint32_t manufacturer_id;
  uint32_t usid_register;
  uint32_t usid;  // current, then the one assigned
};

struct BusInit {
  std::array<uint32_t, kWordsPerBus> words{};
  std::u16string report;
};

std::vector<Device> read_devices(const Cells& cells) {
  std::vector<Device> devices;
  for (size_t row = 0; row < kDevicesPerBus; ++row) {
    const size_t first = row * kCellsPerDevice;
    if (is_x_mark(cells[first])) continue;
    std::u16string product = cells[first];
    std::u16string manufacturer = cells[first + 1];
    std::u16string usid_register = cells[first + 2];
    Device d{};
    d.product_id = ReadHex(product);
    d.manufacturer_id = ReadHex(manufacturer);
    d.usid_register = ReadHex(usid_register);
    d.usid = d.usid_register & kUsidMask;
    devices.push_back(d);
  }
  return devices;
}

// Builds the initialisation words of one bus and its report. Sets
// special_mark when a device needs it. On failure (too many words) shows
// kPinMuxTooManyWords and returns false.
bool build_bus(const Cells& cells, size_t bus, BusInit& init, uint32_t& special_mark) {
  std::vector<Device> devices = read_devices(cells);
  for (const Device& d : devices) {
    if (d.manufacturer_id == kSpecialManufacturerId) special_mark = kSpecialDeviceMark;
  }

  // Each device keeps its USID unless an earlier device holds it already;
  // conflicts are collected per first holder, in sheet order.
  std::vector<uint32_t> candidates(kCandidateUsids.begin(), kCandidateUsids.end());
  std::vector<size_t> conflicting;
  std::vector<bool> is_conflicting(devices.size(), false);
  for (size_t b = 0; b < devices.size(); ++b) {
    if (is_conflicting[b]) continue;
    for (size_t later = b + 1; later < devices.size(); ++later) {
      if (!is_conflicting[later] && devices[later].usid == devices[b].usid) {
        is_conflicting[later] = true;
        conflicting.push_back(later);
      }
    }
    std::erase(candidates, devices[b].usid);
  }

  size_t k = 0;
  const auto fail = [] {
    show(msg::kPinMuxTooManyWords);
    return false;
  };
  for (size_t index : conflicting) {
    Device& d = devices[index];
    const uint32_t old_usid = d.usid;
    auto pick = std::find_if(candidates.begin(), candidates.end(), [&](uint32_t c) { return c != old_usid; });
    // Six candidates always cover at most five conflicts; an empty list
    // could only mean a word overflow anyway.
    if (pick == candidates.end()) return fail();
    const uint32_t new_usid = *pick;
    candidates.erase(pick);
    if (k >= kReassignmentWordLimit) return fail();
    const uint32_t address = old_usid << kUsidShift;
    init.words[k++] = address | kCmdProductId | (d.product_id & kDataMask);
    init.words[k++] = address | kCmdManufacturerId | (d.manufacturer_id & kDataMask);
    init.words[k++] = address | kCmdUsid | (d.usid_register & kManufacturerBitsMask) | new_usid;
    d.usid = new_usid;
  }
  static_assert(kReassignmentWordLimit - 1 + kWordsPerReassignment <= kWordsPerBus);

  if (k + devices.size() >= kWordsPerBus) return fail();
  for (const Device& d : devices)
    init.words[k++] = (d.usid << kUsidShift) | kCmdPowerModeTrigger | kPowerModeTriggerData;

  init.report = format_message(msg::kPinMuxBusReportHead,
                               {dec_text(static_cast<int64_t>(bus)), dec_text(static_cast<int64_t>(devices.size()))});
  if (devices.empty()) {
    init.report += u"\r\n";
  } else {
    init.report += msg::kPinMuxBusReportUsids.text;
    for (size_t i = 0; i < devices.size(); ++i) {
      init.report +=
          format_message(msg::kPinMuxBusReportDevice, {dec_text(static_cast<int64_t>(i)), hex_text(devices[i].usid)});
    }
  }
  return true;
}

// Fills the 12 write-back cells from the USIDs ("0x" and one digit) that
// each bus's report lists, in order; cells without a USID show "X".
void write_back_usids(const std::array<BusInit, kBuses>& buses, ReadCells& out) {
  if (out.count() != kWriteBackCells) {
    show(msg::kPinMuxWriteBackCount);
    return;
  }
  for (size_t bus = 0; bus < kBuses; ++bus) {
    const std::u16string& report = buses[bus].report;
    size_t pos = report.find(kHexPrefix);
    for (size_t j = 0; j < kWriteBackPerBus; ++j) {
      const auto cell = static_cast<int32_t>(bus * kWriteBackPerBus + j);
      if (pos == std::u16string::npos) {
        out.assign(cell, kNoUsidText, kMarkPlain);
        continue;
      }
      out.assign(cell, std::u16string_view(report).substr(pos, kUsidTextLength), kMarkHigh);
      pos = report.find(kHexPrefix, pos + kHexPrefix.size());
    }
  }
}

void write_pin_mux(const WriteArgs& args, const std::u16string& path, ReadCells& write_back) {
  // A bus's cells are checked only when the mode uses the bus.
  if (!range_count_ok(args, kPinMuxMipiInitSheet, NvLayout::Any) ||
      !cell_count_ok(args, kPinMuxMipiInitSheet, kModeRange)) {
    return;
  }
  const Cells mode_cells = args.copy_range(kModeRange);
  const PinMuxMode& mode = find_mode(mode_cells[0]);
  const bool sim_func = kw::text_is(mode_cells[1], kw::kSimFunc[0]);

  std::array<Cells, kBuses> bus_cells;
  for (size_t bus = 0; bus < mode.buses; ++bus) {
    if (!cell_count_ok(args, kPinMuxMipiInitSheet, kBusRanges[bus])) return;
    bus_cells[bus] = args.copy_range(static_cast<int32_t>(kBusRanges[bus]));
  }

  std::array<BusInit, kBuses> buses;
  uint32_t special_mark = 0;
  for (size_t bus = 0; bus < mode.buses; ++bus) {
    uint32_t bus_mark = 0;  // only bus 0's devices set the mark
    if (!build_bus(bus_cells[bus], bus, buses[bus], bus == 0 ? special_mark : bus_mark)) {
      show(*kBusFailedMessages[bus]);
      return;
    }
  }

  NvBlock init_words(kRffeInitWordsOffset, kRffeInitWordsSize);
  for (size_t bus = 0; bus < kBuses; ++bus) {
    for (size_t w = 0; w < kWordsPerBus; ++w)
      init_words.put32((bus * kWordsPerBus + w) * kRffeWordSize, buses[bus].words[w]);
  }
  NvBlock pin_mux(kPinMuxOffset, kPinMuxValueSize);
  pin_mux.put16(0, mode.pin_mux_value);
  NvBlock mark(kSpecialDeviceMarkOffset, kSpecialDeviceMarkSize);
  mark.put32(0, special_mark);
  NvBlock sim(kSimFuncOffset, kPinMuxValueSize);
  sim.put16(0, sim_func ? kSimFuncOn : kSimFuncOff);

  std::vector<const NvBlock*> staged = {&pin_mux};
  if (mode.buses > 0) staged.insert(staged.end(), {&init_words, &mark});
  staged.push_back(&sim);
  if (store_sheet_blocks(path, kPinMuxMipiInitSheet, NvLayout::Any, staged, msg::kOpenFailedWrite)) {
    show(*mode.done, {buses[0].report, buses[1].report});
    if (sim_func) show(msg::kPinMuxSimFunc);
  }

  write_back_usids(buses, write_back);
}

}  // namespace
}  // namespace calvex::common

CALVEX_DEFINE_WRITE_BACK(SheetCommonPinMuxSelAndMipiInitWr, calvex::common::write_pin_mux)

// ---- Decoder (decoders.h) ----
//
// The mode from the pin multiplexing value ("GPIO" for any value but the two
// MIPI modes'), "SIM FUNC" or empty from the SIM value. The devices of each
// bus the mode builds, from its words: the reassignment triples, then one
// power-mode trigger word per device in sheet order. A reassigned device
// shows its product and manufacturer IDs and its USID register (the old USID
// and manufacturer bits 5-4); a device that kept its USID is stored as its
// USID only and shows product and manufacturer ID 0 (0x3D for the first one
// on bus 0 when the special device mark is set and no reassigned device
// carries it) and the USID. Devices fill the rows from the first; the other
// rows, and every row of a bus the mode does not build, show "X".

#include "decoders.h"
#include "sheet_engine.h"

namespace calvex::common {
namespace {

constexpr uint32_t kCmdMask = 0xFF00;
constexpr uint32_t kTriggerMask = 0xFFFF;
constexpr uint32_t kTriggerLow = kCmdPowerModeTrigger | kPowerModeTriggerData;
constexpr unsigned kAboveUsidShift = kUsidShift + 4;  // bits above the USID field are 0
constexpr std::u16string_view kAbsent = u"X";

bool is_command(uint32_t word, uint32_t command) {
  return (word & kCmdMask) == command && (word >> kAboveUsidShift) == 0;
}
uint32_t word_usid(uint32_t word) { return (word >> kUsidShift) & kUsidMask; }

struct Reassignment {
  uint32_t old_usid, product_id, manufacturer_id, manufacturer_bits, new_usid;
  bool taken = false;
};

// Shows the devices of one bus from its words.
void show_bus(const NvBlock& words, size_t bus, bool special_mark, ReadTexts& texts) {
  size_t first_cell = 0;  // the bus range's first output cell
  for (size_t r = 0; r < kBusRanges[bus]; ++r)
    first_cell += static_cast<size_t>(kPinMuxMipiInitSheet.ranges[r].count());
  const auto word = [&](size_t w) { return words.get32((bus * kWordsPerBus + w) * kRffeWordSize); };
  std::vector<Reassignment> moved;
  size_t k = 0;
  while (k + kWordsPerReassignment <= kWordsPerBus && is_command(word(k), kCmdProductId) &&
         is_command(word(k + 1), kCmdManufacturerId) && is_command(word(k + 2), kCmdUsid)) {
    moved.push_back({word_usid(word(k)), word(k) & kDataMask, word(k + 1) & kDataMask,
                     word(k + 2) & kManufacturerBitsMask, word(k + 2) & kUsidMask});
    k += kWordsPerReassignment;
  }
  bool mark_shown = std::any_of(moved.begin(), moved.end(),
                                [](const Reassignment& r) { return r.manufacturer_id == kSpecialManufacturerId; });
  for (size_t device = 0; device < kDevicesPerBus && k < kWordsPerBus; ++device, ++k) {
    const uint32_t w = word(k);
    if ((w & kTriggerMask) != kTriggerLow || (w >> kAboveUsidShift) != 0) break;
    const uint32_t usid = word_usid(w);
    Device d{0, 0, usid, usid};
    auto it =
        std::find_if(moved.begin(), moved.end(), [&](const Reassignment& r) { return !r.taken && r.new_usid == usid; });
    if (it != moved.end()) {
      it->taken = true;
      d = {it->product_id, it->manufacturer_id, it->manufacturer_bits | it->old_usid, it->old_usid};
    } else if (bus == 0 && special_mark && !mark_shown) {
      d.manufacturer_id = kSpecialManufacturerId;
      mark_shown = true;
    }
    const size_t cell = first_cell + device * kCellsPerDevice;
    texts.set(cell, hex_text(d.product_id), kMarkValue);
    texts.set(cell + 1, hex_text(d.manufacturer_id), kMarkValue);
    texts.set(cell + 2, hex_text(d.usid_register), kMarkValue);
  }
}

void decode_pin_mux(ReadCells& out, const std::u16string& path) {
  NvBlock init_words(kRffeInitWordsOffset, kRffeInitWordsSize);
  NvBlock pin_mux(kPinMuxOffset, kPinMuxAndSimFuncSize);
  NvBlock mark(kSpecialDeviceMarkOffset, kSpecialDeviceMarkSize);
  load_blocks(path, NvFile::Mode::ReadOnly, {&init_words, &pin_mux, &mark}, &msg::kOpenFailedRead);

  ReadTexts texts(static_cast<size_t>(kPinMuxMipiInitSheet.read_count()), kAbsent, kMarkValue);
  const uint32_t pin_mux_value = pin_mux.get16(0);
  size_t buses = 0;
  texts.set(0, widen(kw::kPinMuxModes[kw::kGpioMode]), kMarkValue);
  for (const PinMuxMode& mode : kMipiModes) {
    if (mode.pin_mux_value == pin_mux_value) {
      texts.set(0, widen(mode.text), kMarkValue);
      buses = mode.buses;
    }
  }
  const bool sim_func = pin_mux.get16(kSimFuncOffset - kPinMuxOffset) == kSimFuncOn;
  texts.set(1, sim_func ? widen(kw::kSimFunc[0]) : u"", kMarkValue);
  for (size_t bus = 0; bus < buses; ++bus) show_bus(init_words, bus, mark.get32(0) == kSpecialDeviceMark, texts);
  fill_read(out, texts, msg::kCellCountMismatch);
}

}  // namespace
}  // namespace calvex::common

const calvex::ReadBody calvex::decoders::kPinMuxMipiInit = calvex::common::decode_pin_mux;
