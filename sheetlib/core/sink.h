// Showing messages. Every message box of the library goes through show():
// the boundary layer hands it to the host's sink or to the platform's box.
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

// Hands a finished text to the current sink (boundary layer).
void deliver_message(std::u16string_view text);

}  // namespace calvex
