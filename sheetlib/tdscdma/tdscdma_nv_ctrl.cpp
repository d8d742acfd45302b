// TD-SCDMA NV control: 15 control values in the block 168..209. The two
// 16-bit values behind the enable word are taken from the sheet only when
// the enable cell holds the enable marker, and are written as 0 otherwise.
#include "boundary.h"
#include "sheet_engine.h"
#include "sheets.h"
#include "tdscdma/tdscdma_nv_map.h"

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

// A cell's field: byte position in the NV control block and kind.
struct NvCtrlCell {
  uint32_t pos;
  NvCtrlField field;
};

// Cells in sheet order; together they fill the block.
constexpr NvCtrlCell kNvCtrlCells[] = {
    {kNvCtrlCellPos[0], NvCtrlField::Unsigned16},  {kNvCtrlCellPos[1], NvCtrlField::Unsigned16},
    {kNvCtrlCellPos[2], NvCtrlField::Unsigned16},  {kNvCtrlCellPos[3], NvCtrlField::Unsigned16},
    {kNvCtrlCellPos[4], NvCtrlField::Unsigned16},  {kNvCtrlCellPos[5], NvCtrlField::Unsigned16},
    {kNvCtrlCellPos[6], NvCtrlField::Dec16In32},   {kNvCtrlCellPos[7], NvCtrlField::Dec16In32},
    {kNvCtrlCellPos[8], NvCtrlField::Dec16In32},   {kNvCtrlCellPos[9], NvCtrlField::Dec16In32},
    {kNvCtrlCellPos[10], NvCtrlField::EnableWord}, {kNvCtrlCellPos[11], NvCtrlField::Enabled16},
    {kNvCtrlCellPos[12], NvCtrlField::Enabled16},  {kNvCtrlCellPos[13], NvCtrlField::Hex32},
    {kNvCtrlCellPos[14], NvCtrlField::Hex16},
};
static_assert(std::size(kNvCtrlCells) == kNvCtrlCellCount);
static_assert(kNvCtrlCells[kNvCtrlCellCount - 1].pos + kLe16Size == kNvCtrlSize);

// The enable marker, compared with the cell text as entered.
constexpr std::u16string_view kEnableMarkers[] = {u"0x13579BDF", u"0x13579bdf"};

bool is_wide(NvCtrlField field) {
  return field == NvCtrlField::Dec16In32 || field == NvCtrlField::EnableWord || field == NvCtrlField::Hex32;
}

void write_nv_ctrl(const WriteArgs& args, const std::u16string& path) {
  auto ranges = take_ranges(args, kTdscdmaNvCtrlSheet, NvLayout::Any);
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

  NvBlock block(kNvCtrlOffset, kNvCtrlSize);
  for (size_t i = 0; i < kNvCtrlCellCount; ++i) {
    if (is_wide(kNvCtrlCells[i].field)) {
      block.put32(kNvCtrlCells[i].pos, values[i]);
    } else {
      block.put16(kNvCtrlCells[i].pos, values[i]);
    }
  }
  if (!store_sheet_blocks(path, kTdscdmaNvCtrlSheet, NvLayout::Any, {&block}, msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

// How a read shows the 16-bit values kept in 32 bits: the export's "%d" of
// the 32 bits (-1 shows 65535), or the decoder's "%d" of the 16 bits as a
// signed value, as the sheet file writes them (-1 shows -1).
enum class WideDec { As32, Signed16 };

std::u16string format_cell(const NvBlock& block, const NvCtrlCell& cell, WideDec wide = WideDec::As32) {
  const size_t pos = cell.pos;
  switch (cell.field) {
    case NvCtrlField::Unsigned16:
      return dec_text(block.get16(pos));
    case NvCtrlField::Dec16In32:
      return wide == WideDec::Signed16 ? dec_text(block.get16s(pos)) : dec_text(block.get32s(pos));
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

void read_cells(ReadCells& out, const std::u16string& path, WideDec wide) {
  NvBlock block(kNvCtrlOffset, kNvCtrlReadSize);
  load_blocks(path, NvFile::Mode::ReadOnly, {&block}, &msg::kOpenFailedRead);
  Cells texts;
  for (const NvCtrlCell& cell : kNvCtrlCells) texts.push_back(format_cell(block, cell, wide));
  fill_read(out, texts, kMarkValue, msg::kCellCountMismatch);
}

void read_nv_ctrl(ReadCells& out, const std::u16string& path) { read_cells(out, path, WideDec::As32); }

}  // namespace
}  // namespace calvex::tdscdma

CALVEX_DEFINE_WRITE(SheetTdscdmaNvCtrlWr, calvex::tdscdma::write_nv_ctrl)
CALVEX_DEFINE_READ(SheetTdscdmaNvCtrlRd, calvex::tdscdma::read_nv_ctrl)

// ---- Decoder (decoders.h) ----
//
// calvex's read of the sheet (the export above stays as it is). The write
// keeps the low 16 bits of the four values stored in 32 bits, zero-extended,
// so the export shows a negative value plus 65536 (-1 as 65535). The decoder
// shows them as signed 16-bit values, the form the sheet file holds, and
// every other cell as the export does.

#include "decoders.h"

namespace calvex::tdscdma {
namespace {

void decode_nv_ctrl(ReadCells& out, const std::u16string& path) { read_cells(out, path, WideDec::Signed16); }

}  // namespace
}  // namespace calvex::tdscdma

const calvex::ReadBody calvex::decoders::kTdscdmaNvCtrl = calvex::tdscdma::decode_nv_ctrl;
