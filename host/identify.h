// Which family and LTE layout an NV image belongs to, as far as its bytes
// tell. NV images carry no header naming either, so calvex decodes the image
// with every family's reads (in both layouts for the LTE sheets) and checks
// every read cell against its cell kind (the strict cell check): the
// family/layout whose sheets read back as valid cells is the image's.
//
// A family/layout is consistent with an image when the image holds all of
// its sheets' blocks, at least kConsistentPerMille of its read cells are
// valid, and writing the cells read back onto a copy succeeds for every
// sheet and changes at most kRewrittenPerMille of its blocks' bytes: the
// cell check alone cannot tell (a hexadecimal cell takes any bytes), but a
// foreign image does not survive the round trip through another family's
// cells (flags, band lists and padding are stored anew). The families' example images, written by their example jobs, are
// consistent with their own family/layout only; an image whose bytes cannot
// tell (all 0x00, all 0xFF, a fresh image) is consistent with several, and
// then the user's --family / --layout stands.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "commands.h"
#include "xlsx_read.h"

namespace calvex_host {

// At least this share (per mille) of a family/layout's read cells are valid
// cells when the image is consistent with it.
inline constexpr uint32_t kConsistentPerMille = 990;
// Writing those cells back changes at most this share (per mille) of its
// blocks' bytes (a read shows some cells in a canonical form).
inline constexpr uint32_t kRewrittenPerMille = 2;

// One family (and, for LTE, one layout) tried on an image.
struct Candidate {
  calvex::Family family = calvex::Family::Common;
  std::optional<int32_t> layout;  // the LTE layout switch value; none for other families
  uint64_t needed = 0;            // the bytes its sheets' blocks reach
  bool fits = false;              // the image holds them
  size_t cells = 0;               // cells its reads gave
  size_t valid = 0;               // of them, valid cells of their kind
  size_t changed = 0;              // bytes that writing the read cells back changes
  uint64_t block_bytes = 0;        // the bytes of its sheets' blocks
  size_t failed_writes = 0;        // sheets whose write of the read cells did not succeed
  bool consistent = false;
};

// "gsm", "lte (single layout)".
std::string candidate_name(const Candidate& c);

// Every family/layout tried on the image bytes, in the order of the families.
// False with *error set when no private copy of the bytes could be made.
bool identify_image(const std::vector<uint8_t>& bytes, std::vector<Candidate>* candidates, std::string* error);

// The verdict on writing sheets of `family` in `layout` into an image:
// nullopt when the write may go on (the image is consistent with that
// family/layout, or the bytes cannot decide: consistent with none, or with
// it among others); otherwise why not, naming what calvex found
// ("the image is consistent only with gsm").
std::optional<std::string> family_mismatch(const std::vector<Candidate>& candidates, calvex::Family family,
                                           int32_t layout);

// The same check run on image bytes for the sheets about to be written:
// prints the refusal (with --force as the way through) and returns false, or
// returns true. --force skips the check.
bool image_matches_sheets(const std::string& image, const std::vector<uint8_t>& bytes,
                          const std::vector<const SheetEntry*>& sheets, const Options& options);

// What a dump recorded of its image in the workbook's Info sheet: the values
// beside the keys "family", "size" ("8192 bytes") and "LTE layout"
// ("single"/"merged"), wherever they stand; each empty when absent or not
// understood.
struct BookInfo {
  std::optional<calvex::Family> family;
  std::optional<uint64_t> size;
  std::optional<int32_t> layout;
};
BookInfo book_info(const std::vector<WorkbookSheet>& book);
// Whether ws is the Info worksheet that book_info reads (its name in any case).
bool is_info_worksheet(const WorkbookSheet& ws);

// Whether a workbook's sheets may be written into an image of `size` bytes
// (before anything is written): the Info sheet's family is the family of the
// sheets and of --family, its size is the image's (unless --force), and the
// image's bytes are consistent with the family and layout (image_matches_sheets).
// Prints the refusal, naming both sides, and returns false.
bool book_matches_image(const std::string& book_name, const BookInfo& info, const std::string& image,
                        const std::vector<uint8_t>& bytes, const std::vector<const SheetEntry*>& sheets,
                        const Options& options);

// calvex identify IMAGE: one line per family/layout on standard output,
// then the verdict. Exit 0 when the bytes name exactly one family/layout, 1
// when they cannot decide, 2 on errors.
int cmd_identify(const std::string& image, const Options& options);

}  // namespace calvex_host
