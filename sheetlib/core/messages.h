// The message catalogue: every text the library shows, with its class.
// Texts are the system's own and are shown exactly as they stand; "%s" in a
// text is a placeholder that the caller fills (see show() in sink.h).
#pragma once

#include <cstddef>

namespace calvex {

enum class MsgClass { Success, Warning, Error };

struct Message {
  const char16_t* text;
  MsgClass cls;
};

namespace msg {
#define CALVEX_MSG(name, cls, text) inline constexpr Message name{text, MsgClass::cls};
#include "messages.inc"
#undef CALVEX_MSG
}  // namespace msg

// Every entry of the catalogue, in catalogue order.
const Message* catalogue_begin();
const Message* catalogue_end();

}  // namespace calvex
