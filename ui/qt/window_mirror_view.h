// What the parts of the window mirror share (window_mirror.cpp with
// frame_chrome.cpp, window_controls.cpp, window_geometry.cpp and
// window_input.cpp): the view of one control, and the properties that tag
// the widgets.  Private to the Qt binding.
#pragma once

#include <QAction>
#include <QButtonGroup>
#include <QPointer>
#include <QRect>
#include <QTabWidget>
#include <QWidget>
#include <cstdint>
#include <string>

#include "ui/qt/list_box.h"
#include "ui/qt/window_mirror.h"

namespace mirabo::ui::qt {

// The control number a widget mirrors, and the mark of a toolbar button.
inline constexpr char kControlProperty[] = "mirabo_control";
inline constexpr char kToolbarProperty[] = "mirabo_toolbar";

struct WindowMirror::View {
  Control* model = nullptr;
  uint64_t serial = 0;  // the model control's
  const ControlDef* def = nullptr;
  int parent = -1;  // the view it sits on (tab, group, option, sheet)
  bool toolbar = false;
  QPointer<QWidget> widget;
  QPointer<ListBox> list;
  QButtonGroup* group = nullptr;  // options: owned by the option's widget
  QPointer<QTabWidget> sheet;
  QPointer<QAction> toolbar_action;  // a toolbar shows and hides its widgets through these
  int tab_index = -1;                // tabs: place in the sheet
  QRect designed;                    // pixels
  // What was applied last, to leave unchanged widgets alone.
  bool first = true;
  std::string text, value, icon, tooltip;
  bool hidden = false, disabled = false;
  int choice = 0, low = 0, high = 0;
  Rect at;
  uint32_t fill = kDefaultColour, outline = kDefaultColour;
};

}  // namespace mirabo::ui::qt
