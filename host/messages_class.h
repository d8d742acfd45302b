// How the host classes each message the library shows, from the library's
// own catalogue: success, warning (the operation went on) or error.
#pragma once

#include <string_view>

namespace calvex_host {

enum class MessageClass { Success, Warning, Error };

// The class of a shown text; texts the catalogue does not know are errors.
MessageClass classify_message(std::u16string_view text);

}  // namespace calvex_host
