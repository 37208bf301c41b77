// Events that procedures handle, with their codes, and the keys a window can
// alert.
#pragma once

#include <cstdint>

namespace mirabo::ui {

enum EventCode : int {
  kNoEvent = 0,
  EVENT_Accepted = 0x01,
  EVENT_NewSelection = 0x02,
  EVENT_ScrollUp = 0x03,
  EVENT_ScrollDown = 0x04,
  EVENT_PageUp = 0x05,
  EVENT_PageDown = 0x06,
  EVENT_ScrollTop = 0x07,
  EVENT_ScrollBottom = 0x08,
  EVENT_Locate = 0x09,
  EVENT_AlertKey = 0x0F,
  EVENT_ScrollDrag = 0x14,
  EVENT_TabChanging = 0x15,
  EVENT_Rejected = 0x1A,
  EVENT_Selected = 0x101,
  EVENT_CloseWindow = 0x201,
  EVENT_CloseDown = 0x202,
  EVENT_OpenWindow = 0x203,
  EVENT_GainFocus = 0x206,
  EVENT_Timer = 0x20B,
  EVENT_Sized = 0x231,
};

// Key codes for alerted keys and menu items' keys.  Mouse buttons count as
// keys.  A key's code is its virtual-key code, plus kShift, kCtrl and kAlt
// for the modifiers held with it.
enum KeyCode : int {
  kNoKey = 0,
  MouseLeft = 0x01,
  MouseRight = 0x02,
  MouseLeft2 = 0x05,
  MouseRight2 = 0x06,
  EnterKey = 0x0D,
  EscKey = 0x1B,
  PgUpKey = 0x21,
  PgDnKey = 0x22,
  InsertKey = 0x2D,
  DeleteKey = 0x2E,
  F1Key = 0x70,
  kShift = 0x100,
  kCtrl = 0x200,
  kAlt = 0x400,
  CtrlEnter = kCtrl + EnterKey,
  CtrlP = kCtrl + 'P',
  // Printable characters arrive as 0x1000 + their Windows-1252 code.
  kCharKeyBase = 0x1000,
};

struct Event {
  int code = kNoEvent;
  int control = 0;   // the control it concerns (0: the window)
  int key = kNoKey;  // EVENT_AlertKey: the key; Accepted by a key: the key
  explicit operator bool() const { return code != kNoEvent; }
};

}  // namespace mirabo::ui
