// What a sheet file is, told by its bytes rather than its name: a text
// sheet file (CSV), a zip package (an .xlsx workbook, or an OpenDocument
// spreadsheet), or a compound file (a legacy .xls workbook, an encrypted
// workbook). Every command that reads a sheet file asks here first, so that
// a file is read as what it is and named as what it is when it cannot be.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace calvex_host {

enum class SheetFileKind {
  kText,      // none of the below: read as a sheet file (CSV)
  kZip,       // a zip archive: read as an .xlsx workbook
  kCompound,  // a compound file (.xls, an encrypted workbook): named, never read
};

// Bytes of a file's start that tell its kind (sniff_sheet_file).
inline constexpr size_t kSheetFileHeadBytes = 8;

// The kind of a file by its first bytes (fewer than kSheetFileHeadBytes: text).
SheetFileKind sniff_sheet_file(std::span<const uint8_t> head);

// For a file's whole bytes: why it is no .xlsx workbook calvex reads when its
// content says so, as the words after "NAME: ", e.g. "an OpenDocument
// spreadsheet (.ods), not .xlsx; save it as an .xlsx workbook". A compound
// file is named by the streams of its directory (Workbook or Book: a legacy
// .xls workbook; EncryptedPackage: an encrypted one), a zip package by its
// OpenDocument mimetype entry. nullopt for anything else (an .xlsx package,
// or text, which its own reader judges).
std::optional<std::string> foreign_workbook(std::span<const uint8_t> bytes);

// True when the file at path is a regular file whose first bytes make it a
// zip archive or a compound file: a workbook of some kind, whatever its
// name. A special file is never opened.
bool is_workbook_content(const std::string& path);

// The kind of the regular file at path by its first bytes; kText when it
// is no regular file or cannot be read (its reader then says why).
SheetFileKind sniff_sheet_path(const std::string& path);

}  // namespace calvex_host
