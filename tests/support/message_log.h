// The one message capture of the tests: every message box the library shows
// while a MessageLog is alive (CalvexSetMessageSink), as UTF-8 texts in order.
//
// Logs nest: a log made while another is alive captures what is shown in its
// lifetime, and every enclosing log sees those messages too; when it goes,
// the enclosing log is the sink again (the outermost restores the default
// sink). Logs must end in the reverse order of their making (scopes and
// members do).
#pragma once

#include <string>
#include <vector>

#include "calvex.h"

namespace calvex_test {

class MessageLog {
 public:
  MessageLog();
  ~MessageLog();
  MessageLog(const MessageLog&) = delete;
  MessageLog& operator=(const MessageLog&) = delete;
  const std::vector<std::string>& texts() const { return texts_; }
  void clear() { texts_.clear(); }

 private:
  static void CALVEX_CALL sink(const CalvexChar* text, void* context);
  MessageLog* outer_;
  std::vector<std::string> texts_;
};

}  // namespace calvex_test
