#include "catalogue.h"

namespace calvex_host {

std::span<const SheetEntry> wcdma_sheets() { return {}; }

}  // namespace calvex_host
