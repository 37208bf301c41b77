// The model's key codes (ui/event.h) as the platform's keys, for the keys of
// menu items.
#pragma once

#include <QKeySequence>

namespace mirabo::ui::qt {

// The key sequence of a key code: its virtual key (a letter, a digit, Enter,
// Escape, the page, arrow and editing keys, F1 to F12) with the modifiers
// the code carries.  Empty for a code the platform has no key for.
QKeySequence KeySequenceOf(int code);

}  // namespace mirabo::ui::qt
