// TD-SCDMA NV control: 15 control values in the block 168..209. The two
// 16-bit values behind the enable word are taken from the sheet only when
// the enable cell holds the enable marker, and are written as 0 otherwise.
#include "boundary.h"

namespace calvex::tdscdma {
namespace {

// How a cell is parsed on write and formatted on read.
enum class NvCtrlField {
  Unsigned16,  // decimal, cut to 16 bits; read as unsigned 16-bit
  Dec16In32,   // decimal, cut to 16 bits, stored zero-extended in 32; read as signed 32-bit
  EnableWord,  // the enable word: hexadecimal, 32 bits
  Enabled16,   // decimal, 16 bits, 0 unless the enable marker is set; read as signed 16-bit
  Hex32,       // hexadecimal, 32 bits
  Hex16,       // hexadecimal, cut to 16 bits; read as unsigned 16-bit
};

struct NvCtrlCell {
  uint32_t offset;
  NvCtrlField field;
};

// Cells in sheet order, which is also the write order.
constexpr NvCtrlCell kNvCtrlCells[] = {
    {168, NvCtrlField::Unsigned16}, {170, NvCtrlField::Unsigned16}, {172, NvCtrlField::Unsigned16},
    {174, NvCtrlField::Unsigned16}, {176, NvCtrlField::Unsigned16}, {178, NvCtrlField::Unsigned16},
    {180, NvCtrlField::Dec16In32},  {184, NvCtrlField::Dec16In32},  {188, NvCtrlField::Dec16In32},
    {192, NvCtrlField::Dec16In32},  {196, NvCtrlField::EnableWord}, {200, NvCtrlField::Enabled16},
    {202, NvCtrlField::Enabled16},  {204, NvCtrlField::Hex32},      {208, NvCtrlField::Hex16},
};
constexpr size_t kNvCtrlCellCount = std::size(kNvCtrlCells);  // 15
static_assert(kNvCtrlCellCount == 15);

constexpr uint32_t kNvCtrlOffset = 168;  // 0xA8
// The read takes 172 bytes from 168, more than the 42 bytes of the block.
constexpr size_t kNvCtrlReadSize = 172;
static_assert(kNvCtrlCells[kNvCtrlCellCount - 1].offset + 2 <= kNvCtrlOffset + kNvCtrlReadSize);

// The enable marker, compared with the cell text as entered.
constexpr std::u16string_view kEnableMarkers[] = {u"0x13579BDF", u"0x13579bdf"};

constexpr int32_t kMarkValue = 17;

constexpr RangeRule kRanges[] = {{kNvCtrlCellCount, &msg::kTdNvCtrlCells}};

bool is_wide(NvCtrlField field) {
  return field == NvCtrlField::Dec16In32 || field == NvCtrlField::EnableWord || field == NvCtrlField::Hex32;
}

void write_nv_ctrl(const WriteArgs& args, const std::u16string& path) {
  auto ranges = take_ranges(args, msg::kTdNvCtrlConfig, kRanges);
  if (!ranges) return;
  Cells& cells = (*ranges)[0];

  bool enabled = false;
  uint32_t values[kNvCtrlCellCount] = {};
  for (size_t i = 0; i < kNvCtrlCellCount; ++i) {
    std::u16string& text = cells[i];
    switch (kNvCtrlCells[i].field) {
      case NvCtrlField::Unsigned16:
      case NvCtrlField::Dec16In32:
        values[i] = static_cast<uint16_t>(ReadDec(text));
        break;
      case NvCtrlField::EnableWord:
        enabled = text == kEnableMarkers[0] || text == kEnableMarkers[1];
        text = remove_spaces(text);
        values[i] = ReadHex(text);
        break;
      case NvCtrlField::Enabled16:
        values[i] = enabled ? static_cast<uint16_t>(ReadDec(text)) : 0;
        break;
      case NvCtrlField::Hex32:
      case NvCtrlField::Hex16:
        text = remove_spaces(text);
        values[i] = ReadHex(text);
        if (kNvCtrlCells[i].field == NvCtrlField::Hex16) values[i] = static_cast<uint16_t>(values[i]);
        break;
    }
  }

  std::vector<NvBlock> staged;
  for (size_t i = 0; i < kNvCtrlCellCount; ++i) {
    staged.push_back(
        value_block(kNvCtrlCells[i].offset, values[i], is_wide(kNvCtrlCells[i].field) ? kLe32Size : kLe16Size));
  }
  if (!store_blocks(path, block_refs(staged), msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

std::u16string format_cell(const NvBlock& block, const NvCtrlCell& cell) {
  const size_t pos = cell.offset - kNvCtrlOffset;
  switch (cell.field) {
    case NvCtrlField::Unsigned16:
      return dec_text(block.get16(pos));
    case NvCtrlField::Dec16In32:
      return dec_text(block.get32s(pos));
    case NvCtrlField::Enabled16:
      return dec_text(block.get16s(pos));
    case NvCtrlField::EnableWord:
    case NvCtrlField::Hex32:
      return hex_text(block.get32(pos));
    case NvCtrlField::Hex16:
      return hex_text(block.get16(pos));
  }
  return {};
}

void read_nv_ctrl(ReadCells& out, const std::u16string& path) {
  NvBlock block(kNvCtrlOffset, kNvCtrlReadSize);
  load_blocks(path, NvFile::Mode::ReadOnly, {&block}, &msg::kOpenFailedRead);
  if (out.count() != static_cast<int32_t>(kNvCtrlCellCount)) {
    show(msg::kCellCountMismatch);
    return;
  }
  for (size_t i = 0; i < kNvCtrlCellCount; ++i) {
    out.assign(static_cast<int32_t>(i), format_cell(block, kNvCtrlCells[i]), kMarkValue);
  }
}

}  // namespace
}  // namespace calvex::tdscdma

CALVEX_DEFINE_WRITE(SheetTdscdmaNvCtrlWr, calvex::tdscdma::write_nv_ctrl)
CALVEX_DEFINE_READ(SheetTdscdmaNvCtrlRd, calvex::tdscdma::read_nv_ctrl)
