// The numbered warnings and error boxes about files, records and requests.
// Callers name a message by number and pass up to two texts (a file name, a
// field name, a limit); this module owns every caption, icon, button set and
// text, and ends the program after the fatal ones.
//
//   const std::string name = file.Name();
//   co_await StandardMessage(30, name);
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "ui/backend.h"
#include "ui/task.h"

namespace mirabo::app {

constexpr int kFirstStandardMessage = 1;
constexpr int kLastStandardMessage = 38;

// The current error state as the messages show it: the error text and code
// ("File Not Found (2)"), or for a file-system error (90) the driver's own
// text and code; at most 150 characters.
std::string ErrorDescription();

// Why the last file operation failed, for a message about an output: the
// system's words when a driver knew them ("No space left on device"), with
// the runtime's description after them; else the description alone.
std::string FailureReason();

// The progress text of a long run (a report, a copy) for a percentage after
// the start: the number in picture "N3" followed by "% Completed".
std::string PercentText(int percent);

// The box that message `number` shows now (texts with trailing blanks
// removed, error description from the current error state); nullopt for a
// number outside 1 to 38.
std::optional<ui::MessageRequest> StandardMessageRequest(int number, std::string_view text1 = {},
                                                         std::string_view text2 = {});

// The text the program halts with after message `number` was answered with
// `pressed`; empty when the message returns to its caller.
std::string StandardMessageHaltText(int number, int pressed);

// Shows message `number` and returns the button pressed.  A halting message
// shows the "Halt" box after it and never returns.  A number outside 1 to 38
// shows nothing and returns 0.
ui::Task<int> StandardMessage(int number, std::string text1, std::string text2);
// The short forms.  They are plain functions, so the texts they add are not
// temporaries of the caller's co_await expression (which GCC 12 mishandles).
ui::Task<int> StandardMessage(int number, std::string text1);
ui::Task<int> StandardMessage(int number);

}  // namespace mirabo::app
