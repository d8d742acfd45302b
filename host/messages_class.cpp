#include "messages_class.h"

#include <string_view>

namespace calvex_host {
namespace {

struct Entry {
  std::u16string_view text;
  MessageClass cls;
};

constexpr Entry kEntries[] = {
#define CALVEX_MSG(name, cls, text) {text, MessageClass::cls},
#include "messages.inc"
#undef CALVEX_MSG
};

// Matches text against a catalogue text whose "%s" stand for any run of characters.
bool matches(std::u16string_view pattern, std::u16string_view text) {
  const size_t hole = pattern.find(u"%s");
  if (hole == std::u16string_view::npos) return pattern == text;
  const std::u16string_view head = pattern.substr(0, hole);
  if (text.substr(0, head.size()) != head) return false;
  const std::u16string_view rest = pattern.substr(hole + 2);
  for (size_t start = head.size(); start <= text.size(); ++start) {
    if (matches(rest, text.substr(start))) return true;
  }
  return false;
}

}  // namespace

MessageClass classify_message(std::u16string_view text) {
  for (const Entry& e : kEntries) {
    if (e.text == text) return e.cls;
  }
  for (const Entry& e : kEntries) {
    if (e.text.find(u"%s") != std::u16string_view::npos && matches(e.text, text)) return e.cls;
  }
  return MessageClass::Error;
}

}  // namespace calvex_host
