#include "catalogue.h"

#include <cctype>

namespace calvex_host {

std::vector<const SheetEntry*> all_sheets() {
  std::vector<const SheetEntry*> out;
  for (auto family : {common_sheets(), gsm_sheets(), ltea_sheets(), lte_sheets(), tdscdma_sheets(), wcdma_sheets()}) {
    for (const SheetEntry& e : family) out.push_back(&e);
  }
  return out;
}

const SheetEntry* find_sheet(std::string_view name) {
  for (const SheetEntry* e : all_sheets()) {
    const std::string_view candidate(e->name);
    if (candidate.size() != name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i) {
      same = std::tolower(static_cast<unsigned char>(candidate[i])) == std::tolower(static_cast<unsigned char>(name[i]));
    }
    if (same) return e;
  }
  return nullptr;
}

}  // namespace calvex_host
