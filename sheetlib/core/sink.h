// Showing messages. Every message box of the library goes through show():
// inside the static library a message observer (the command-line host) gets
// the catalogue entry and its text; otherwise the boundary layer hands the
// text to the host's sink or to the platform's box.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

#include "messages.h"

namespace calvex {

// Shows a catalogue message as one message box.
void show(const Message& m);

// Shows a catalogue message with each "%s" replaced, in order, by the next
// argument (missing arguments leave the placeholder as it stands).
void show(const Message& m, std::initializer_list<std::u16string_view> args);

// The text show() would display for m and args.
std::u16string format_message(const Message& m, std::initializer_list<std::u16string_view> args);

// Receives every message shown while it is installed: its catalogue entry
// (id and class) and the text as shown.
using MessageObserver = void (*)(const Message& entry, std::u16string_view text, void* context);

// Installs an observer for the lifetime of this object; messages then reach
// the observer only (not the exported sink). Restores the previous one.
class ScopedMessageObserver {
 public:
  ScopedMessageObserver(MessageObserver observer, void* context);
  ~ScopedMessageObserver();
  ScopedMessageObserver(const ScopedMessageObserver&) = delete;
  ScopedMessageObserver& operator=(const ScopedMessageObserver&) = delete;

 private:
  MessageObserver previous_;
  void* previous_context_;
};

}  // namespace calvex
