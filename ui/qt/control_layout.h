// Where the controls of a resizable window go when it is bigger or smaller
// than designed.  The definitions place every control for the designed size
// only; the rules below keep every control inside the window at any size.
//
// Larger than designed: the list boxes are what a user enlarges a browse for,
// so they take up the difference, and whatever overlaps a list (a sheet,
// group or box drawn around it) grows with it.  Every other control keeps its
// size: it moves with the window's right (bottom) edge when it lies at or
// beyond the lists' right (bottom) edge, and stays where it is otherwise, so
// a row of buttons keeps together.  A window without a list keeps its layout.
//
// Narrower than designed: the whole layout is scaled to the new width,
// places and sizes alike, so nothing leaves the window and nothing that was
// apart comes to overlap.
//
// Shorter than designed: the lists give up height down to their minimum, and
// everything below them moves up; only what remains to give is then taken
// from the whole layout by scaling it to the new height.
#pragma once

#include <vector>

#include "ui/window_def.h"

namespace mirabo::ui::qt {

struct LayoutItem {
  Rect at;  // the designed place, resolved (no -1 left)
  bool list = false;
  int min_height = 1;  // lists: the height that still shows a row
};

// The places for a client `width` x `height` whose controls were designed for
// `designed_width` x `designed_height`.  Sizes never drop below one unit.
std::vector<Rect> AnchorControls(const std::vector<LayoutItem>& items, int designed_width,
                                 int designed_height, int width, int height);

}  // namespace mirabo::ui::qt
