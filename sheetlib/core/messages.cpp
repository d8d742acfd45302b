#include "messages.h"

namespace calvex {
namespace {

constexpr Message kCatalogue[] = {
#define CALVEX_MSG(name, cls, text, gloss) msg::name,
#include "messages.inc"
#undef CALVEX_MSG
};

constexpr std::string_view kNames[] = {
#define CALVEX_MSG(name, cls, text, gloss) #name,
#include "messages.inc"
#undef CALVEX_MSG
};

static_assert(std::size(kCatalogue) == std::size(kNames));

}  // namespace

std::span<const Message> catalogue() { return kCatalogue; }

std::string_view message_name(MsgId id) {
  const auto i = static_cast<size_t>(id);
  return i < std::size(kNames) ? kNames[i] : std::string_view("?");
}

std::string_view class_name(MsgClass cls) {
  switch (cls) {
    case MsgClass::Success:
      return "success";
    case MsgClass::Warning:
      return "warning";
    case MsgClass::Error:
      break;
  }
  return "error";
}

}  // namespace calvex
