#include "catalogue.h"

namespace calvex_host {

std::span<const SheetEntry> ltea_sheets() { return {}; }

}  // namespace calvex_host
