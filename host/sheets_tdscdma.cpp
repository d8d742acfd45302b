#include "catalogue.h"

namespace calvex_host {

std::span<const SheetEntry> tdscdma_sheets() { return {}; }

}  // namespace calvex_host
