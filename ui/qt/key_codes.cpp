#include "ui/qt/key_codes.h"

#include "ui/event.h"

namespace mirabo::ui::qt {
namespace {

// Virtual keys that are neither letters, digits nor function keys.
struct NamedKey {
  int code;
  Qt::Key key;
};
constexpr NamedKey kNamedKeys[] = {
    {0x08, Qt::Key_Backspace},   {0x09, Qt::Key_Tab},         {EnterKey, Qt::Key_Return},
    {EscKey, Qt::Key_Escape},    {0x20, Qt::Key_Space},       {PgUpKey, Qt::Key_PageUp},
    {PgDnKey, Qt::Key_PageDown}, {0x23, Qt::Key_End},         {0x24, Qt::Key_Home},
    {0x25, Qt::Key_Left},        {0x26, Qt::Key_Up},          {0x27, Qt::Key_Right},
    {0x28, Qt::Key_Down},        {InsertKey, Qt::Key_Insert}, {DeleteKey, Qt::Key_Delete},
};

}  // namespace

QKeySequence KeySequenceOf(int code) {
  const int vk = code & 0xFF;
  if (code <= 0 || (code & ~(0xFF | kShift | kCtrl | kAlt)) != 0) return {};
  int key = 0;
  if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) {
    key = vk;  // Qt's keys for them are their characters
  } else if (vk >= F1Key && vk < F1Key + 12) {
    key = Qt::Key_F1 + (vk - F1Key);
  } else {
    for (const NamedKey& k : kNamedKeys) {
      if (k.code == vk) key = k.key;
    }
  }
  if (key == 0) return {};
  if (code & kShift) key |= Qt::SHIFT;
  if (code & kCtrl) key |= Qt::CTRL;
  if (code & kAlt) key |= Qt::ALT;
  return QKeySequence(key);
}

}  // namespace mirabo::ui::qt
