// Every export of the library, driven by the sheet definitions: each call
// goes through the boundary layer exactly as the C export of the definition's
// operation makes it (calvex::run_write / run_read with the operation). the input picks a sheet, a write or a read, the
// LTE layout, the image (missing, a directory, or short/random bytes in a temporary file), the range count and each
// range's extent (the definition's, a neighbour of it, any, or NULL cells), and the cell texts (the definition's
// keywords, edge values, or any UTF-16 text).
//
// Input: sheet index, flags, image size (le16) and image bytes, then for a
// write the range count mode, per range an extent mode (and extents), the fill
// text of every cell and (cell index le16, text) overrides to the end; for a
// read the output count mode.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "boundary.h"
#include "calvex.h"
#include "fuzz_input.h"
#include "sheet_def.h"
#include "text.h"

namespace {

// Limits that keep one run small: image bytes, cells of a range.
constexpr size_t kMaxImageSize = 0x8000;
constexpr int64_t kMaxRangeCells = 8192;

// Flag bits of the second input byte.
constexpr uint8_t kFlagRead = 0x01;
constexpr uint8_t kFlagMergedLayout = 0x02;
constexpr uint8_t kFlagMissingImage = 0x04;
constexpr uint8_t kFlagDirectoryImage = 0x08;
constexpr uint8_t kFlagImageFillOnes = 0x10;

// Texts a cell may take by a one-byte code: edge values of the readers.
constexpr std::u16string_view kTokens[] = {
    u"0",      u"1",          u"X",           u"x",          u"",           u"-1",     u"65535",       u"65536",
    u"-32768", u"2147483647", u"-2147483648", u"4294967295", u"4294967296", u"0x",     u"0xFFFFFFFF",  u"0x100000000",
    u"FFFF",   u" 1 2",       u"１",          u"+5",         u"1e3",        u"0x1F",   u"12345678901", u"--1",
    u"Open",   u"Close",      u"ON",          u"OFF",        u"\u00A0",     u"0X7fff", u"9",           u"\xD800",
};
// Codes below kTokenCodes name a token; kKeywordCode takes a keyword of the
// cell's kind; kNullCode passes a NULL handle; other codes read a text from
// the input.
constexpr uint8_t kTokenCodes = static_cast<uint8_t>(std::size(kTokens));
constexpr uint8_t kKeywordCode = kTokenCodes;
constexpr uint8_t kNullCode = 0xFF;

// A new handle for one cell's text (nullptr for kNullCode); the caller releases it.
CalvexText take_cell(fuzzing::FuzzInput& in, const calvex::CellType& rule) {
  const uint8_t code = in.take_byte();
  if (code == kNullCode) return nullptr;
  if (code < kTokenCodes) return CalvexTextNew(std::u16string(kTokens[code]).c_str());
  if (code == kKeywordCode) {
    const uint8_t pick = in.take_byte();
    if (rule.keywords.empty()) return CalvexTextNew(u"");
    return CalvexTextNew(calvex::widen(rule.keywords[pick % rule.keywords.size()]).c_str());
  }
  return CalvexTextNew(in.take_text().c_str());
}

// The image file and the message sink of the process.
struct Scene {
  std::filesystem::path dir;
  std::string image_path;
  size_t messages = 0;

  Scene() {
    // Memory-backed where the system has it: every stored write ends in a sync.
    const std::filesystem::path base =
        std::filesystem::is_directory("/dev/shm") ? "/dev/shm" : std::filesystem::temp_directory_path();
    std::string templ = (base / "calvex-export-fuzzer-XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) std::abort();
    dir = templ;
    image_path = (dir / "nv.bin").string();
  }
  ~Scene() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

Scene& scene() {
  static Scene s;
  return s;
}

void CALVEX_CALL count_message(const CalvexChar* text, void* context) {
  // Reads the whole text: a message must be a terminated string.
  static_cast<Scene*>(context)->messages += std::u16string_view(text).size() + 1;
}

// The bytes of the file at path (empty if there is none).
std::vector<uint8_t> file_bytes(const std::string& path) {
  std::vector<uint8_t> bytes;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return bytes;
  uint8_t buf[4096];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) bytes.insert(bytes.end(), buf, buf + n);
  std::fclose(f);
  return bytes;
}

// True when every byte that differs between before and after (the image
// grown past its old end included) lies in a block the sheet may write in the
// layout.
bool changes_inside_blocks(const calvex::SheetDef& def, calvex::NvLayout layout, const std::vector<uint8_t>& before,
                           const std::vector<uint8_t>& after) {
  const auto in_blocks = [&](size_t offset) {
    for (const calvex::NvSpan& b : def.blocks) {
      if (!b.read_only && b.in_layout(layout) && offset >= b.offset && offset - b.offset < b.size) return true;
    }
    return false;
  };
  for (size_t i = 0; i < after.size(); ++i) {
    const bool changed = i >= before.size() ? after[i] != 0 : after[i] != before[i];
    if (changed && !in_blocks(i)) return false;
  }
  return true;
}

// Puts the image in place and returns the path the export gets.
std::string place_image(fuzzing::FuzzInput& in, uint8_t flags) {
  Scene& s = scene();
  std::error_code ec;
  std::filesystem::remove(s.image_path, ec);
  const size_t size = static_cast<size_t>(in.take_le(2)) % kMaxImageSize;
  if (flags & kFlagDirectoryImage) return s.dir.string();
  if (flags & kFlagMissingImage) return s.image_path;
  std::vector<uint8_t> image = in.take_bytes(size);
  image.resize(size, (flags & kFlagImageFillOnes) ? 0xFF : 0x00);
  FILE* f = std::fopen(s.image_path.c_str(), "wb");
  if (f == nullptr) std::abort();
  if (!image.empty() && std::fwrite(image.data(), 1, image.size(), f) != image.size()) std::abort();
  std::fclose(f);
  return s.image_path;
}

CalvexText path_text(const std::string& path) { return CalvexTextNew(calvex::widen(path).c_str()); }

// Extent modes of one range (a byte): the definition's (most codes), one
// cell fewer, one more, NULL cells with the definition's extent, any extent.
enum ExtentMode : uint8_t { kExact, kOneFewer, kOneMore, kNullCells, kAnyExtent, kExtentModes = 16 };

struct HostRange {
  CellRange range{};
  std::vector<CalvexText> cells;
  const calvex::RangeDef* def = nullptr;  // null for a range the sheet does not have
};

void run_write(const calvex::SheetDef& def, fuzzing::FuzzInput& in, const std::string& path) {
  const uint8_t count_mode = in.take_byte();
  int32_t range_count = static_cast<int32_t>(def.ranges.size());
  bool null_ranges = false;
  if (count_mode == 0xFF) null_ranges = true;
  if (count_mode == 0xFE) ++range_count;
  if (count_mode == 0xFD) --range_count;
  if (count_mode == 0xFC) range_count = static_cast<int32_t>(in.take_le(4));

  std::vector<HostRange> ranges(static_cast<size_t>(range_count > 0 && range_count <= 64 ? range_count : 0));
  for (size_t r = 0; r < ranges.size(); ++r) {
    HostRange& h = ranges[r];
    h.def = r < def.ranges.size() ? &def.ranges[r] : nullptr;
    const int32_t rows = h.def != nullptr ? h.def->rows : 1;
    const int32_t cols = h.def != nullptr ? h.def->cols : 1;
    h.range = CellRange{nullptr, 0, 0, cols - 1, rows - 1};
    switch (in.take_byte() % kExtentModes) {
      case kOneFewer:
        h.range.x2 -= 1;
        break;
      case kOneMore:
        h.range.y2 += 1;
        break;
      case kNullCells:
        continue;
      case kAnyExtent:
        h.range.x1 = static_cast<int32_t>(in.take_le(4));
        h.range.y1 = static_cast<int32_t>(in.take_le(4));
        h.range.x2 = static_cast<int32_t>(in.take_le(4));
        h.range.y2 = static_cast<int32_t>(in.take_le(4));
        break;
      default:
        break;
    }
    int64_t n = 0;
    if (__builtin_mul_overflow(int64_t{h.range.y2} - h.range.y1 + 1, int64_t{h.range.x2} - h.range.x1 + 1, &n) ||
        n > kMaxRangeCells) {
      continue;  // passed with NULL cells
    }
    h.cells.resize(static_cast<size_t>(n > 0 ? n : 1), nullptr);
    h.range.cells = h.cells.data();
  }

  // Fill texts, then overrides.
  for (HostRange& h : ranges) {
    if (h.cells.empty()) continue;
    const CalvexText fill = take_cell(in, h.def != nullptr ? h.def->cells : calvex::CellType{});
    for (CalvexText& c : h.cells) c = CalvexTextRetain(fill);
    CalvexTextRelease(fill);
  }
  size_t total = 0;
  for (const HostRange& h : ranges) total += h.cells.size();
  while (total > 0 && in.remaining() > 0) {
    size_t at = static_cast<size_t>(in.take_le(2)) % total;
    for (HostRange& h : ranges) {
      if (at >= h.cells.size()) {
        at -= h.cells.size();
        continue;
      }
      calvex::CellType rule = h.def != nullptr ? h.def->cells : calvex::CellType{};
      if (h.def != nullptr && h.def->cols > 0) {
        rule = h.def->cell_type_at(static_cast<int>(at) / h.def->cols, static_cast<int>(at) % h.def->cols);
      }
      CalvexTextRelease(h.cells[at]);
      h.cells[at] = take_cell(in, rule);
      break;
    }
  }

  std::vector<CellRange> host;
  for (const HostRange& h : ranges) host.push_back(h.range);
  const CellRange* passed = null_ranges ? nullptr : host.data();
  if (def.write_with_back != nullptr) {
    std::vector<SheetCell> back(static_cast<size_t>(def.write_back_cells));
    calvex::run_write(passed, range_count, path_text(path), back.data(), static_cast<int32_t>(back.size()),
                      *def.write_with_back);
    for (SheetCell& c : back) CalvexTextRelease(c.text);
  } else {
    calvex::run_write(passed, range_count, path_text(path), *def.write);
  }
  for (HostRange& h : ranges) {
    for (CalvexText c : h.cells) CalvexTextRelease(c);
  }
}

void run_read(const calvex::SheetDef& def, fuzzing::FuzzInput& in, const std::string& path) {
  const uint8_t mode = in.take_byte();
  int32_t count = def.read_count();
  bool null_cells = false;
  if (mode == 0xFF) null_cells = true;
  if (mode == 0xFE) ++count;
  if (mode == 0xFD) --count;
  if (mode == 0xFC) count = static_cast<int32_t>(in.take_le(2)) - 1;
  std::vector<SheetCell> cells(static_cast<size_t>(count > 0 ? count : 0));
  for (SheetCell& c : cells) c = SheetCell{CalvexTextNew(u"?"), -1};
  calvex::run_read(null_cells ? nullptr : cells.data(), count, path_text(path), *def.reader());
  for (SheetCell& c : cells) CalvexTextRelease(c.text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::FuzzInput in(data, size);
  const auto defs = calvex::all_sheet_defs();
  const calvex::SheetDef& def = *defs[in.take_byte() % defs.size()];
  const uint8_t flags = in.take_byte();
  Scene& s = scene();
  CalvexSetMessageSink(&count_message, &s);
  SetLteVersion((flags & kFlagMergedLayout) ? 1 : 0);
  const std::string path = place_image(in, flags);
  const std::vector<uint8_t> before = file_bytes(s.image_path);
  if ((flags & kFlagRead) && def.has_read()) {
    run_read(def, in, path);
    // A read never changes the image.
    if (file_bytes(s.image_path) != before) std::abort();
  } else {
    run_write(def, in, path);
    // A write never shortens the image and stays inside the sheet's blocks.
    const std::vector<uint8_t> after = file_bytes(s.image_path);
    const calvex::NvLayout layout = (flags & kFlagMergedLayout) ? calvex::NvLayout::Merged : calvex::NvLayout::Single;
    if (after.size() < before.size() || !changes_inside_blocks(def, layout, before, after)) std::abort();
  }
  return 0;
}
