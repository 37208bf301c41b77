// Where the frame's Window menu puts its child windows: Tile gives each a
// cell of a grid over the MDI area, Cascade stacks them down and to the
// right.  Either way every window ends up wholly inside the area: a window
// that cannot be as small as its cell (its minimum size is larger) keeps its
// minimum and is moved back inside, overlapping a neighbour rather than
// reaching past the area's edge.  Pure geometry, in pixels of the area.
#pragma once

#include <QRect>
#include <QSize>
#include <vector>

namespace mirabo::ui::qt {

// The cells for `count` windows in `area`: ceil(sqrt(count)) columns side by
// side, each split into equal rows; when the windows do not fill the grid the
// first columns hold one window fewer, so their windows are taller.  Cells
// are filled column by column, top to bottom.
std::vector<QRect> TileCells(int count, QSize area);

// The places of windows of `sizes` cascaded in `area`: the i-th one `step`
// pixels down and to the right of the one before, starting again at the top
// left when the next would leave less than half its size inside the area.
// Each keeps its size as far as the area allows.
std::vector<QRect> CascadeRects(const std::vector<QSize>& sizes, QSize area, int step);

// How far each cascaded window (and each new child placed by default) lies
// from the one before: a title bar and a little more.
int CascadeStep();

// `wanted` made at least `minimum` and moved up and left until it lies inside
// `area` (at its top left corner when it is larger than the area).
QRect FitInside(QRect wanted, QSize minimum, QSize area);

}  // namespace mirabo::ui::qt
