// WCDMA maximum power: the HdelFlag enable word and the BandEn enable word
// with its table of up to 8 {band number, maximum power} entries. Each
// feature's switch cell decides whether the write touches its fields; the
// band table is taken from the sheet only when the BandEn cell holds the
// enable marker. The read side shows as many entries as the band count says.
#include "boundary.h"
#include "ctrl_word.h"
#include "keywords.h"
#include "sheet_engine.h"
#include "sheets.h"
#include "wcdma/wcdma_nv_map.h"

namespace calvex::wcdma {
namespace {

// The enable marker of the BandEn cell, compared as entered.
constexpr std::u16string_view kBandEnMarkers[] = {u"0x13579BDF", u"0x13579bdf"};
// The stored HdelFlag word that the read side shows as "open" (the BandEn
// switch shows "open" when the word's text is one of the markers above).
constexpr uint32_t kHdelFlagOn = 0x11223344;

enum Range : size_t { kHdelSwitch, kHdelEnable, kBandEnSwitch, kBandEnEnable, kMaxPowTable, kRangeCount };
constexpr size_t kPowerCell = kMaxPowEntries;  // power of entry i is cell 8 + i of the table range
// Read side: switch and word cells of both features, then the 8 band
// numbers and the 8 powers.
constexpr size_t kReadHdelSwitch = 0;
constexpr size_t kReadHdelWord = 1;
constexpr size_t kReadBandEnSwitch = 2;
constexpr size_t kReadBandEnWord = 3;
constexpr size_t kReadBands = 4;
constexpr size_t kReadPowers = kReadBands + kMaxPowEntries;
constexpr size_t kReadCells = kReadPowers + kMaxPowEntries;  // 20

bool is_band_en_marker(std::u16string_view text) { return text == kBandEnMarkers[0] || text == kBandEnMarkers[1]; }

void write_max_pow(const WriteArgs& args, const std::u16string& path) {
  auto ranges = take_ranges(args, kWcdmaMaxPowSheet, NvLayout::Any);
  if (!ranges) return;
  const std::vector<Cells>& cells = *ranges;
  const Cells& table_cells = cells[kMaxPowTable];

  std::u16string hdel_text = remove_spaces(cells[kHdelEnable][0]);
  const uint32_t hdel_word = ReadHex(hdel_text);

  // The BandEn word and the table behind it, staged as one block.
  NvBlock band_en(kBandEnOffset, kBandEnAndMaxPowSize);
  if (is_band_en_marker(cells[kBandEnEnable][0])) {
    const BandList bands = read_band_list(table_cells, kMaxPowEntries);
    if (bands.count == 0) {
      show(msg::kNoBand);
      return;
    }
    // The first `count` cells are taken in place, an "X" among them as 0.
    for (size_t i = 0; i < bands.count; ++i) {
      const size_t pos = kEnableWordSize + i * kMaxPowEntrySize;
      band_en.put16(pos, bands.bands[i]);
      band_en.put16(pos + kMaxPowPowerPos, static_cast<uint32_t>(ReadDec(table_cells[kPowerCell + i])));
    }
    std::u16string word_text = remove_spaces(cells[kBandEnEnable][0]);
    band_en.put32(0, ReadHex(word_text));
  } else {
    std::u16string word_text = remove_spaces(cells[kBandEnEnable][0]);
    band_en.put32(0, ReadHex(word_text));
    show(msg::kWcdmaBandEnOff);
  }

  NvBlock hdel(kHdelFlagOffset, kEnableWordSize);
  hdel.put32(0, hdel_word);
  std::vector<const NvBlock*> chosen;
  if (kw::text_is(cells[kHdelSwitch][0], kw::kOpenClose[kw::kOpenWord])) chosen.push_back(&hdel);
  if (kw::text_is(cells[kBandEnSwitch][0], kw::kOpenClose[kw::kOpenWord])) chosen.push_back(&band_en);
  if (!store_sheet_blocks(path, kWcdmaMaxPowSheet, NvLayout::Any, chosen, msg::kOpenFailedWrite)) return;
  show(msg::kDone);
}

// What the read shows in a switch cell.
std::u16string switch_text(bool open) { return widen(kw::kOpenClose[open ? kw::kOpenWord : kw::kCloseWord]); }

void read_max_pow(ReadCells& out, const std::u16string& path) {
  NvBlock head(0, kHeadSize);
  load_blocks(path, NvFile::Mode::ReadOnly, {&head}, &msg::kOpenFailedRead);
  ReadTexts cells(kReadCells, u"X", kMarkPlain);
  const std::u16string hdel_word = hex_text(head.get32(kHdelFlagOffset));
  cells.set(kReadHdelWord, hdel_word, kMarkValue);
  cells.set(kReadHdelSwitch, switch_text(hdel_word == hex_text(kHdelFlagOn)), kMarkHigh);
  const std::u16string band_en_word = hex_text(head.get32(kBandEnOffset));
  cells.set(kReadBandEnWord, band_en_word, kMarkValue);
  cells.set(kReadBandEnSwitch, switch_text(is_band_en_marker(band_en_word)), kMarkHigh);

  const size_t entries = stored_band_slots(head);
  for (size_t i = 0; i < entries; ++i) {
    const uint32_t offset = kMaxPowTableOffset + static_cast<uint32_t>(i * kMaxPowEntrySize);
    cells.set(kReadBands + i, dec_text(head.get16(offset)), kMarkValue);
    cells.set(kReadPowers + i, dec_text(head.get16s(offset + kMaxPowPowerPos)), kMarkValue);
  }
  fill_read(out, cells, msg::kWcdmaMaxPowReadCount);
}

}  // namespace
}  // namespace calvex::wcdma

CALVEX_DEFINE_WRITE(SheetWcdmaMaxPowWr, calvex::wcdma::write_max_pow)
CALVEX_DEFINE_READ(SheetWcdmaMaxPowRd, calvex::wcdma::read_max_pow)

// ---- Decoder (decoders.h) ----
//
// calvex's read of the sheet (the export above stays as it is): a switch
// leaves no trace in the image, so the decoder shows each switch as the
// write that left these bytes would have had it. HdelFlag: "open" (writing
// the stored word back changes nothing). BandEn: "open" where the word is
// the enable marker or the table behind it is all zeros (an open switch with
// another word stores a zeroed table), "close" otherwise (the write did not
// touch the block). The table shows entries up to the last one holding a
// band or a power (at least one under the marker: the write wants a band),
// in the stored form ("%d", the power signed), X after them; the write takes
// as many entries as the band cells are not X, in place.

#include <algorithm>

#include "decoders.h"

namespace calvex::wcdma {
namespace {

constexpr std::u16string_view kNoEntry = u"X";
constexpr size_t kMinMarkerEntries = 1;

void decode_max_pow(ReadCells& out, const std::u16string& path) {
  NvBlock hdel(kHdelFlagOffset, kEnableWordSize);
  NvBlock band_en(kBandEnOffset, kBandEnAndMaxPowSize);
  load_blocks(path, NvFile::Mode::ReadOnly, {&hdel, &band_en}, &msg::kOpenFailedRead);
  ReadTexts cells(kReadCells, kNoEntry, kMarkPlain);
  cells.set(kReadHdelWord, hex_text(hdel.get32(0)), kMarkValue);
  cells.set(kReadHdelSwitch, switch_text(true), kMarkHigh);

  const std::u16string word = hex_text(band_en.get32(0));
  const bool marker = is_band_en_marker(word);
  size_t entries = 0;
  for (size_t i = 0; i < kMaxPowEntries; ++i) {
    const size_t pos = kEnableWordSize + i * kMaxPowEntrySize;
    if (band_en.get16(pos) != 0 || band_en.get16(pos + kMaxPowPowerPos) != 0) entries = i + 1;
  }
  const bool open = marker || entries == 0;
  if (marker) entries = std::max(entries, kMinMarkerEntries);
  cells.set(kReadBandEnWord, word, kMarkValue);
  cells.set(kReadBandEnSwitch, switch_text(open), kMarkHigh);
  for (size_t i = 0; marker && i < entries; ++i) {
    const size_t pos = kEnableWordSize + i * kMaxPowEntrySize;
    cells.set(kReadBands + i, dec_text(band_en.get16(pos)), kMarkValue);
    cells.set(kReadPowers + i, dec_text(band_en.get16s(pos + kMaxPowPowerPos)), kMarkValue);
  }
  fill_read(out, cells, msg::kCellCountMismatch);
}

}  // namespace
}  // namespace calvex::wcdma

const calvex::ReadBody calvex::decoders::kWcdmaMaxPow = calvex::wcdma::decode_max_pow;
