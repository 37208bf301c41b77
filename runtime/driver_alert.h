// Boxes that a file driver shows to the user: a warning about a declaration,
// or the stop box that asks whether to end the program after a file error.
//
// A driver runs inside a procedure's file statement and cannot wait for the
// user there, so it raises the box through the sink that the program puts in
// place.  The window layer's scheduler installs itself as the sink while it
// exists: it shows the box on the procedure's thread before that thread next
// waits, and a stop box answered with Abort ends the program at that point.
// Without a sink (the loader, tools) a box is written to standard error and
// the operation goes on as if the user had chosen to.
#pragma once

#include <functional>
#include <string>

namespace mirabo {

struct DriverAlert {
  enum class Kind {
    kExclamation,  // a message box with an exclamation icon and OK
    kStop,         // the runtime's stop box: "Stop", Abort ends the program, Ignore goes on
  };
  Kind kind = Kind::kExclamation;
  std::string caption;  // the message box's title; a stop box is always "Stop"
  std::string text;     // Windows-1252
};

using DriverAlertSink = std::function<void(const DriverAlert&)>;

// Puts `sink` in place; an empty sink restores standard error.
void SetDriverAlertSink(DriverAlertSink sink);

// Hands `alert` to the sink now in place.
void RaiseDriverAlert(const DriverAlert& alert);

}  // namespace mirabo
