#include "sheet_format.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <fstream>
#include <string_view>
#include <vector>

#include "book.h"
#include "le.h"

namespace calvex_host {
namespace {

using calvex::load_le16;
using calvex::load_le32;

// A zip archive starts with a local file header: "PK\3\4".
constexpr std::array<uint8_t, 4> kZipMagic = {'P', 'K', 3, 4};
// A compound file's header signature.
constexpr std::array<uint8_t, 8> kCompoundMagic = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};

// The zip local file header: compression method, compressed size, name and
// extra field lengths, and where the name starts.
constexpr size_t kZipMethodOffset = 8;
constexpr size_t kZipCompressedSizeOffset = 18;
constexpr size_t kZipNameLengthOffset = 26;
constexpr size_t kZipExtraLengthOffset = 28;
constexpr size_t kZipNameOffset = 30;
constexpr uint32_t kZipMethodStored = 0;
// An OpenDocument package's first entry: "mimetype", stored, holding its type.
constexpr std::string_view kOpenDocumentMimeEntry = "mimetype";
constexpr std::string_view kOpenDocumentPrefix = "application/vnd.oasis.opendocument.";
constexpr std::string_view kOpenDocumentSpreadsheet = "application/vnd.oasis.opendocument.spreadsheet";
constexpr size_t kMimeTypeLengthMax = 128;

// The compound file header: the sector size as a power of two, the first
// sector of the directory, and the first kDifatInHeader sectors of the
// allocation table. Sector n starts at (n + 1) << shift.
constexpr size_t kCompoundHeaderBytes = 512;
constexpr size_t kSectorShiftOffset = 0x1E;
constexpr size_t kDirectoryStartOffset = 0x30;
constexpr size_t kDifatOffset = 0x4C;
constexpr uint32_t kDifatInHeader = 109;
constexpr uint32_t kSectorShiftMin = 9;   // 512-byte sectors
constexpr uint32_t kSectorShiftMax = 12;  // 4096-byte sectors
constexpr uint32_t kLastRegularSector = 0xFFFFFFF9;  // above: end of chain, free, table sectors
constexpr size_t kFatEntryBytes = 4;
// A directory entry: a UTF-16LE name of up to 32 code units (the length in
// bytes, with its terminator, at byte 64) and its object type at byte 66.
constexpr size_t kDirectoryEntryBytes = 128;
constexpr size_t kEntryNameBytesMax = 64;
constexpr size_t kEntryNameLengthOffset = 64;
constexpr size_t kEntryTypeOffset = 66;
constexpr uint8_t kEntryTypeStream = 2;
// Directory sectors followed at the most (a workbook's directory takes one or two).
constexpr size_t kDirectorySectorsMax = 256;

// The streams that say what a compound file holds.
constexpr std::string_view kEncryptedPackageStream = "EncryptedPackage";
constexpr std::string_view kBiff8WorkbookStream = "Workbook";
constexpr std::string_view kBiff5WorkbookStream = "Book";

constexpr const char* kOdsWorkbook = "an OpenDocument spreadsheet (.ods), not .xlsx; save it as an .xlsx workbook";
constexpr const char* kLegacyWorkbook =
    "a legacy .xls workbook (Excel 97-2003), not .xlsx; save it as an .xlsx workbook";
constexpr const char* kEncryptedWorkbook =
    "an encrypted workbook (it has a password); save it as an .xlsx workbook without a password";
// A compound file whose directory cannot be read: either of the two.
constexpr const char* kCompoundWorkbook =
    "an encrypted or legacy .xls workbook, not .xlsx; save it as an unprotected .xlsx workbook";

template <size_t N>
bool starts_with(std::span<const uint8_t> bytes, const std::array<uint8_t, N>& magic) {
  return bytes.size() >= N && std::equal(magic.begin(), magic.end(), bytes.begin());
}

// The type an OpenDocument package's mimetype entry names, or empty.
std::string open_document_type(std::span<const uint8_t> bytes) {
  if (bytes.size() < kZipNameOffset) return {};
  const size_t name_length = load_le16(&bytes[kZipNameLengthOffset]);
  const size_t extra_length = load_le16(&bytes[kZipExtraLengthOffset]);
  const size_t size = load_le32(&bytes[kZipCompressedSizeOffset]);
  if (load_le16(&bytes[kZipMethodOffset]) != kZipMethodStored || name_length != kOpenDocumentMimeEntry.size()) return {};
  if (bytes.size() - kZipNameOffset < name_length) return {};
  const std::string_view name(reinterpret_cast<const char*>(&bytes[kZipNameOffset]), name_length);
  if (name != kOpenDocumentMimeEntry || size > kMimeTypeLengthMax) return {};
  const size_t data = kZipNameOffset + name_length + extra_length;
  if (data > bytes.size() || bytes.size() - data < size) return {};
  std::string type(reinterpret_cast<const char*>(&bytes[data]), size);
  return type.starts_with(kOpenDocumentPrefix) ? type : std::string();
}

// The stream names of a compound file's directory (ASCII names only),
// following its chain through the allocation table; empty when the header
// or the chain cannot be read.
std::vector<std::string> compound_streams(std::span<const uint8_t> bytes) {
  std::vector<std::string> names;
  if (bytes.size() < kCompoundHeaderBytes) return names;
  const uint32_t shift = load_le16(&bytes[kSectorShiftOffset]);
  if (shift < kSectorShiftMin || shift > kSectorShiftMax) return names;
  const size_t sector_bytes = size_t{1} << shift;
  const auto sector_at = [&](uint32_t sector) -> std::span<const uint8_t> {
    const uint64_t start = (static_cast<uint64_t>(sector) + 1) << shift;
    if (sector > kLastRegularSector || start > bytes.size() || bytes.size() - start < sector_bytes) return {};
    return bytes.subspan(static_cast<size_t>(start), sector_bytes);
  };
  const size_t entries_per_fat_sector = sector_bytes / kFatEntryBytes;
  const auto next_sector = [&](uint32_t sector) -> uint32_t {
    const size_t fat_index = sector / entries_per_fat_sector;
    if (fat_index >= kDifatInHeader) return UINT32_MAX;
    const auto fat = sector_at(load_le32(&bytes[kDifatOffset + fat_index * kFatEntryBytes]));
    if (fat.empty()) return UINT32_MAX;
    return load_le32(&fat[(sector % entries_per_fat_sector) * kFatEntryBytes]);
  };
  uint32_t sector = load_le32(&bytes[kDirectoryStartOffset]);
  for (size_t followed = 0; followed < kDirectorySectorsMax && sector <= kLastRegularSector; ++followed) {
    const auto entries = sector_at(sector);
    if (entries.empty()) break;
    for (size_t at = 0; at + kDirectoryEntryBytes <= entries.size(); at += kDirectoryEntryBytes) {
      const auto entry = entries.subspan(at, kDirectoryEntryBytes);
      if (entry[kEntryTypeOffset] != kEntryTypeStream) continue;
      const size_t name_bytes = std::min<size_t>(load_le16(&entry[kEntryNameLengthOffset]), kEntryNameBytesMax);
      std::string name;
      for (size_t k = 0; k + 1 < name_bytes; k += 2) {
        const uint32_t unit = load_le16(&entry[k]);
        if (unit == 0) break;
        name.push_back(unit < 0x80 ? static_cast<char>(unit) : '?');
      }
      names.push_back(std::move(name));
    }
    sector = next_sector(sector);
  }
  return names;
}

// The first bytes of the regular file at path (at most n), or nothing.
std::vector<uint8_t> head_of(const std::string& path, size_t n) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(fs_path(path), ec)) return {};
  std::ifstream in(fs_path(path), std::ios::binary);
  std::vector<uint8_t> head(n);
  in.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(n));
  head.resize(static_cast<size_t>(std::max<std::streamsize>(in.gcount(), 0)));
  return head;
}

}  // namespace

SheetFileKind sniff_sheet_file(std::span<const uint8_t> head) {
  if (starts_with(head, kZipMagic)) return SheetFileKind::kZip;
  if (starts_with(head, kCompoundMagic)) return SheetFileKind::kCompound;
  return SheetFileKind::kText;
}

std::optional<std::string> foreign_workbook(std::span<const uint8_t> bytes) {
  switch (sniff_sheet_file(bytes)) {
    case SheetFileKind::kText:
      return std::nullopt;
    case SheetFileKind::kZip: {
      const std::string type = open_document_type(bytes);
      if (type.empty()) return std::nullopt;
      if (type.starts_with(kOpenDocumentSpreadsheet)) return kOdsWorkbook;
      return "an OpenDocument file (" + type + "), not a workbook";
    }
    case SheetFileKind::kCompound:
      break;
  }
  const std::vector<std::string> streams = compound_streams(bytes);
  const auto holds = [&](std::string_view name) { return std::find(streams.begin(), streams.end(), name) != streams.end(); };
  if (holds(kEncryptedPackageStream)) return kEncryptedWorkbook;
  if (holds(kBiff8WorkbookStream) || holds(kBiff5WorkbookStream)) return kLegacyWorkbook;
  return kCompoundWorkbook;
}

bool is_workbook_content(const std::string& path) { return sniff_sheet_path(path) != SheetFileKind::kText; }

SheetFileKind sniff_sheet_path(const std::string& path) {
  const std::vector<uint8_t> head = head_of(path, kSheetFileHeadBytes);
  return sniff_sheet_file(head);
}

}  // namespace calvex_host
