#include <array>
#include <vector>

#include "sheet_def.h"

namespace calvex {

std::string_view family_name(Family family) {
  switch (family) {
    case Family::Common:
      return "common";
    case Family::Gsm:
      return "gsm";
    case Family::Ltea:
      return "ltea";
    case Family::Lte:
      return "lte";
    case Family::Tdscdma:
      return "tdscdma";
    case Family::Wcdma:
      break;
  }
  return "wcdma";
}

std::span<const SheetDef* const> all_sheet_defs() {
  static const std::vector<const SheetDef*> table = [] {
    std::vector<const SheetDef*> out;
    for (auto family : {common_sheet_defs(), gsm_sheet_defs(), ltea_sheet_defs(), lte_sheet_defs(),
                        tdscdma_sheet_defs(), wcdma_sheet_defs()}) {
      for (const SheetDef* def : family) out.push_back(def);
    }
    return out;
  }();
  return table;
}

const SheetDef* find_sheet_def(std::string_view name) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  for (const SheetDef* def : all_sheet_defs()) {
    if (def->name.size() != name.size()) continue;
    bool same = true;
    for (size_t i = 0; i < name.size() && same; ++i) same = lower(def->name[i]) == lower(name[i]);
    if (same) return def;
  }
  return nullptr;
}

}  // namespace calvex
