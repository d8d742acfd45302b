#include "message_log.h"

#include <cstdlib>
#include <string_view>

#include "unicode.h"

namespace calvex_test {
namespace {

// The log the library's sink points at now; nullptr when none is alive.
MessageLog* innermost = nullptr;

}  // namespace

MessageLog::MessageLog() : outer_(innermost) {
  innermost = this;
  CalvexSetMessageSink(&MessageLog::sink, this);
}

MessageLog::~MessageLog() {
  // A log that ends out of order would leave the sink on a dead object.
  if (innermost != this) std::abort();
  innermost = outer_;
  if (outer_ != nullptr) {
    CalvexSetMessageSink(&MessageLog::sink, outer_);
  } else {
    CalvexSetMessageSink(nullptr, nullptr);
  }
}

void CALVEX_CALL MessageLog::sink(const CalvexChar* text, void* context) {
  const std::string utf8 = text == nullptr ? std::string() : calvex_host::utf8_from_utf16(std::u16string_view(text));
  for (MessageLog* log = static_cast<MessageLog*>(context); log != nullptr; log = log->outer_)
    log->texts_.push_back(utf8);
}

}  // namespace calvex_test
