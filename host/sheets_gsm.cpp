#include "catalogue.h"

namespace calvex_host {

std::span<const SheetEntry> gsm_sheets() { return {}; }

}  // namespace calvex_host
