// Where the controls of a resizable window go when it is bigger or smaller
// than designed.  The definitions place every control for the designed size
// only; the list boxes are what a user enlarges a browse for, so they take up
// the difference and everything beyond their right or bottom edge moves with
// the window's edge.  Whatever overlaps a list is a sheet, group or box drawn
// around it (not always quite enclosing it) and grows with it.  A window
// without a list box keeps its layout.
#pragma once

#include <vector>

#include "ui/window_def.h"

namespace mirabo::ui::qt {

struct LayoutItem {
  Rect at;  // the designed place, resolved (no -1 left)
  bool list = false;
};

// The places for a window dx wider and dy taller than designed (either may be
// negative).  Sizes never drop below one unit.
std::vector<Rect> AnchorControls(const std::vector<LayoutItem>& items, int dx, int dy);

}  // namespace mirabo::ui::qt
