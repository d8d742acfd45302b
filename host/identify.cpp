// Families and layouts an image is consistent with (identify.h).
#include "identify.h"

#include <algorithm>

#include "cell_check.h"
#include "cmd_common.h"
#include "json_out.h"
#include "library.h"
#include "nvfile.h"
#include "safe_file.h"
#include "unicode.h"

namespace calvex_host {
namespace {

constexpr calvex::Family kFamilies[] = {calvex::Family::Common, calvex::Family::Gsm,     calvex::Family::Ltea,
                                        calvex::Family::Lte,    calvex::Family::Tdscdma, calvex::Family::Wcdma};
constexpr int32_t kSingleLayout = 0;
constexpr int32_t kMergedLayout = 1;
constexpr uint32_t kPerMille = 1000;
// The Info sheet of a dump and its keys (book.h writes them).
constexpr const char* kInfoSheetName = "Info";
constexpr const char* kInfoFamilyKey = "family";
constexpr const char* kInfoSizeKey = "size";
constexpr const char* kInfoLayoutKeyName = "LTE layout";
constexpr size_t kMaxSizeDigits = 19;
constexpr uint64_t kDecimalBase = 10;

std::vector<const SheetEntry*> family_reads(calvex::Family family) {
  std::vector<const SheetEntry*> out;
  for (const SheetEntry* s : all_sheets()) {
    if (s->family == family && s->has_read()) out.push_back(s);
  }
  return out;
}

// The layout switch value a sheet of the candidate is read in.
int32_t candidate_layout(const SheetEntry& sheet, const Candidate& c) {
  if (c.layout) return *c.layout;
  return sheet.layout == calvex::NvLayout::Merged ? kMergedLayout : kSingleLayout;
}

void try_candidate(const std::string& copy, const std::vector<uint8_t>& bytes, Candidate* c) {
  const uint64_t size = bytes.size();
  const auto sheets = family_reads(c->family);
  for (const SheetEntry* s : sheets) c->needed = std::max(c->needed, required_size(*s, candidate_layout(*s, *c)));
  c->fits = !sheets.empty() && c->needed <= size;
  if (!c->fits) return;
  bool read_failed = false;
  // Every read and the write-back run on the bytes in memory, under a name
  // that names no file: no temporary file, nothing on disk touched.
  std::vector<SheetCells> read(sheets.size());
  {
    const calvex::MemoryImage source(utf16_from_utf8(copy), bytes);
    if (!source.registered()) {
      read_failed = true;
    } else {
      for (size_t k = 0; k < sheets.size(); ++k) {
        const SheetEntry* s = sheets[k];
        const Outcome outcome = read_sheet(*s, copy, candidate_layout(*s, *c), &read[k]);
        if (outcome.has(calvex::MsgClass::Error)) read_failed = true;
        const SheetCells& cells = read[k];
        for (size_t r = 0; r < s->ranges.size() && r < cells.size(); ++r) {
          const calvex::RangeDef& range = s->ranges[r];
          for (size_t i = 0; i < cells[r].size(); ++i) {
            const int row = static_cast<int>(i) / range.cols;
            const int col = static_cast<int>(i) % range.cols;
            ++c->cells;
            if (!calvex::check_cell(range.cell_type_at(row, col), cells[r][i])) ++c->valid;
          }
        }
      }
    }
  }
  // The cells read, written back onto a copy: the image's own family gives
  // its bytes back.
  {
    const calvex::MemoryImage scratch(utf16_from_utf8(copy), bytes);
    if (!scratch.registered()) {
      read_failed = true;
    } else {
      for (size_t k = 0; k < sheets.size(); ++k) {
        const SheetEntry* s = sheets[k];
        const Outcome written = call_sheet_write(*s, read[k], utf16_from_utf8(copy), candidate_layout(*s, *c));
        if (!written.write_succeeded()) ++c->failed_writes;
      }
      const std::vector<uint8_t>& after = scratch.bytes();
      for (size_t k = 0; k < after.size() || k < bytes.size(); ++k) {
        if (k >= after.size() || k >= bytes.size() || after[k] != bytes[k]) ++c->changed;
      }
    }
  }
  // The distinct bytes of the blocks (sheets share some).
  std::vector<bool> covered(static_cast<size_t>(c->needed), false);
  for (const SheetEntry* s : sheets) {
    const auto layout = candidate_layout(*s, *c) != 0 ? calvex::NvLayout::Merged : calvex::NvLayout::Single;
    for (const calvex::NvSpan& b : s->blocks) {
      if (b.layout != calvex::NvLayout::Any && b.layout != layout) continue;
      for (uint64_t k = b.offset; k < static_cast<uint64_t>(b.offset) + b.size && k < covered.size(); ++k)
        covered[k] = true;
    }
  }
  c->block_bytes = static_cast<uint64_t>(std::count(covered.begin(), covered.end(), true));
  c->consistent =
      !read_failed && c->failed_writes == 0 && c->cells > 0 &&
      static_cast<uint64_t>(c->valid) * kPerMille >= static_cast<uint64_t>(c->cells) * kConsistentPerMille &&
      static_cast<uint64_t>(c->changed) * kPerMille <= c->block_bytes * kRewrittenPerMille;
}

bool same_candidate(const Candidate& c, calvex::Family family, int32_t layout) {
  return c.family == family && (!c.layout || *c.layout == layout);
}

std::string names_of(const std::vector<const Candidate*>& list) {
  std::string text;
  for (size_t i = 0; i < list.size(); ++i) {
    if (i > 0) text += i + 1 == list.size() ? " or " : ", ";
    text += candidate_name(*list[i]);
  }
  return text;
}

std::vector<const Candidate*> consistent_ones(const std::vector<Candidate>& candidates) {
  std::vector<const Candidate*> out;
  for (const Candidate& c : candidates) {
    if (c.consistent) out.push_back(&c);
  }
  return out;
}

}  // namespace

std::string candidate_name(const Candidate& c) {
  std::string name(calvex::family_name(c.family));
  if (c.layout) name += *c.layout != 0 ? " (merged layout)" : " (single layout)";
  return name;
}

bool identify_image(const std::vector<uint8_t>& bytes, std::vector<Candidate>* candidates, std::string* error) {
  (void)error;
  // The name the reads and write-backs reach the bytes in memory by.
  const std::string memory_name = "calvex-identify.memory";
  candidates->clear();
  for (calvex::Family family : kFamilies) {
    if (family == calvex::Family::Lte) {
      for (int32_t layout : {kSingleLayout, kMergedLayout}) {
        Candidate c;
        c.family = family;
        c.layout = layout;
        candidates->push_back(c);
      }
    } else {
      Candidate c;
      c.family = family;
      candidates->push_back(c);
    }
  }
  for (Candidate& c : *candidates) try_candidate(memory_name, bytes, &c);
  return true;
}

std::optional<std::string> family_mismatch(const std::vector<Candidate>& candidates, calvex::Family family,
                                           int32_t layout) {
  const auto found = consistent_ones(candidates);
  if (found.empty()) return std::nullopt;
  for (const Candidate* c : found) {
    if (same_candidate(*c, family, layout)) return std::nullopt;
  }
  return std::string("the image is consistent only with ") + names_of(found);
}

bool image_matches_sheets(const std::string& image, const std::vector<uint8_t>& bytes,
                          const std::vector<const SheetEntry*>& sheets, const Options& options) {
  if (options.force || sheets.empty()) return true;
  std::vector<Candidate> candidates;
  std::string error;
  if (!identify_image(bytes, &candidates, &error)) {
    err("error: " + error);
    return false;
  }
  const SheetEntry& first = *sheets.front();
  const int32_t layout = layout_value(first, options);
  const auto mismatch = family_mismatch(candidates, first.family, layout);
  if (!mismatch) return true;
  Candidate wanted;
  wanted.family = first.family;
  if (first.family == calvex::Family::Lte) wanted.layout = layout;
  err("error: image '" + image + "': " + *mismatch + ", not with " + candidate_name(wanted) + " (the family of " +
      std::string(first.name) + "); nothing was written (`calvex identify` shows why; --force writes anyway)");
  return false;
}

bool is_info_worksheet(const WorkbookSheet& ws) {
  return ws.kind == SheetKind::kWorksheet && lower_ascii(ws.name) == lower_ascii(kInfoSheetName);
}

BookInfo book_info(const std::vector<WorkbookSheet>& book) {
  BookInfo info;
  for (const WorkbookSheet& ws : book) {
    if (!is_info_worksheet(ws)) continue;
    for (const auto& [at, key] : ws.cells) {
      const auto value_cell = ws.cells.find(CellRef{at.row, at.col + 1});
      if (value_cell == ws.cells.end()) continue;
      const std::string& value = value_cell->second;
      if (key == kInfoFamilyKey) {
        for (calvex::Family f : kFamilies) {
          if (calvex::family_name(f) == value) info.family = f;
        }
      } else if (key == kInfoSizeKey) {
        uint64_t n = 0;
        size_t digits = 0;
        while (digits < value.size() && value[digits] >= '0' && value[digits] <= '9' && digits < kMaxSizeDigits) {
          n = n * kDecimalBase + static_cast<uint64_t>(value[digits] - '0');
          ++digits;
        }
        if (digits > 0) info.size = n;
      } else if (key == kInfoLayoutKeyName) {
        if (value == "single") info.layout = kSingleLayout;
        if (value == "merged") info.layout = kMergedLayout;
      }
    }
  }
  return info;
}

bool book_matches_image(const std::string& book_name, const BookInfo& info, const std::string& image,
                        const std::vector<uint8_t>& bytes, const std::vector<const SheetEntry*>& sheets,
                        const Options& options) {
  if (sheets.empty()) return true;
  const calvex::Family sheets_family = sheets.front()->family;
  const std::string nothing = "; nothing was written";
  if (info.family && *info.family != sheets_family) {
    err("error: " + book_name + ": its Info sheet names the " + std::string(calvex::family_name(*info.family)) +
        " family, its sheets are of " + std::string(calvex::family_name(sheets_family)) + nothing);
    return false;
  }
  if (!options.force && info.size && *info.size != bytes.size()) {
    err("error: " + book_name + " was dumped from an image of " + std::to_string(*info.size) + " bytes (" +
        std::string(calvex::family_name(sheets_family)) + "); image '" + image + "' holds " +
        std::to_string(bytes.size()) + " bytes" + nothing + " (--force writes anyway)");
    return false;
  }
  return image_matches_sheets(image, bytes, sheets, options);
}

int cmd_identify(const std::string& image, const Options&) {
  std::vector<uint8_t> bytes;
  std::string error;
  TempFile copy;
  if (!snapshot_image(image, &copy, &bytes, &error)) {
    err("error: " + error);
    return kExitUsage;
  }
  std::vector<Candidate> candidates;
  if (!identify_image(bytes, &candidates, &error)) {
    err("error: " + error);
    return kExitUsage;
  }
  if (json_output()) json_identify(image, bytes.size(), candidates);
  std::string text;
  for (const Candidate& c : candidates) {
    text += candidate_name(c) + ": ";
    if (!c.fits) {
      text += "no (its blocks reach " + std::to_string(c.needed) + " bytes, the image holds " +
              std::to_string(bytes.size()) + ")\n";
      continue;
    }
    text += std::string(c.consistent ? "consistent" : "no") + " (" + std::to_string(c.valid) + " of " +
            std::to_string(c.cells) + " cells valid; written back, " + std::to_string(c.changed) + " of " +
            std::to_string(c.block_bytes) + " block bytes change" +
            (c.failed_writes == 0   ? std::string()
             : c.failed_writes == 1 ? std::string(", 1 sheet refuses its cells")
                                    : ", " + std::to_string(c.failed_writes) + " sheets refuse their cells") +
            ")\n";
  }
  const auto found = consistent_ones(candidates);
  int status = kExitRefused;
  if (found.empty()) {
    text += "verdict: consistent with no family; the bytes cannot tell (--family and --layout stand)\n";
  } else if (found.size() == 1) {
    text += "verdict: " + candidate_name(*found.front()) + "\n";
    status = kExitOk;
  } else {
    text += "verdict: consistent with " + names_of(found) + "; the bytes cannot tell (--family and --layout stand)\n";
  }
  out(text);
  return status;
}

}  // namespace calvex_host
