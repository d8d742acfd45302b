// The message catalogue: every text the library shows, with its id and class.
// Texts are the system's own and are shown exactly as they stand; "%s" in a
// text is a placeholder that the caller fills (see show() in sink.h).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace calvex {

enum class MsgClass : uint8_t { Success, Warning, Error };

// One id per catalogue entry, in catalogue order.
enum class MsgId : uint16_t {
#define CALVEX_MSG(name, cls, text, gloss) name,
#include "messages.inc"
#undef CALVEX_MSG
};

struct Message {
  const char16_t* text;
  MsgClass cls;
  MsgId id;
  const char* gloss;  // a short English reading of text, for command-line users
};

namespace msg {
#define CALVEX_MSG(name, cls, text, gloss) inline constexpr Message name{text, MsgClass::cls, MsgId::name, gloss};
#include "messages.inc"
#undef CALVEX_MSG
}  // namespace msg

// Every entry of the catalogue, indexed by id.
std::span<const Message> catalogue();

// The entry's name in the catalogue ("kDone").
std::string_view message_name(MsgId id);

// "success", "warning" or "error".
std::string_view class_name(MsgClass cls);

}  // namespace calvex
