#include "ui/qt/control_layout.h"

#include <algorithm>
#include <cmath>

namespace mirabo::ui::qt {
namespace {

bool Overlap(const Rect& a, const Rect& b) {
  return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

// One axis of a rectangle: its start and its length.
struct Span {
  int& start;
  int& length;
};
Span Horizontal(Rect& r) { return {r.x, r.w}; }
Span Vertical(Rect& r) { return {r.y, r.h}; }

// Grows the lists and what overlaps them by `d` (which may be negative, down
// to what the lists can give), moves what lies beyond `edge` by `d`.
void Anchor(Span s, bool grows, int edge, int d) {
  if (grows) {
    s.length += d;
  } else if (s.start >= edge) {
    s.start += d;
  }
}

// Scales a span by `factor`, edges rounded, so spans that touched still touch
// and spans that were apart do not come to overlap.
void Scale(Span s, double factor) {
  const int start = static_cast<int>(std::lround(s.start * factor));
  const int end = static_cast<int>(std::lround((s.start + s.length) * factor));
  s.start = start;
  s.length = end - start;
}

}  // namespace

std::vector<Rect> AnchorControls(const std::vector<LayoutItem>& items, int designed_width,
                                 int designed_height, int width, int height) {
  bool any_list = false;
  int right = 0, bottom = 0;  // the near far edges of the lists
  int can_give = 0;           // height every list can give up
  for (const LayoutItem& it : items) {
    if (!it.list) continue;
    const int spare = std::max(0, it.at.h - std::max(1, it.min_height));
    if (!any_list) {
      right = it.at.x + it.at.w;
      bottom = it.at.y + it.at.h;
      can_give = spare;
      any_list = true;
    } else {
      right = std::min(right, it.at.x + it.at.w);
      bottom = std::min(bottom, it.at.y + it.at.h);
      can_give = std::min(can_give, spare);
    }
  }
  const int dx = width - designed_width;
  const int dy = height - designed_height;
  // Growing stays with the designed layout when there is no list to grow.
  const int anchor_dx = any_list ? std::max(dx, 0) : 0;
  const int anchor_dy = any_list ? std::max(dy, -can_give) : 0;
  const int anchored_height = designed_height + anchor_dy;
  const double scale_x = dx < 0 && designed_width > 0 ? double(width) / designed_width : 1.0;
  const double scale_y =
      height < anchored_height && anchored_height > 0 ? double(height) / anchored_height : 1.0;

  std::vector<Rect> out;
  out.reserve(items.size());
  for (const LayoutItem& it : items) {
    Rect r = it.at;
    bool grows = it.list;
    for (const LayoutItem& other : items) {
      if (!grows && other.list && Overlap(it.at, other.at)) grows = true;
    }
    Anchor(Horizontal(r), grows, right, anchor_dx);
    Anchor(Vertical(r), grows, bottom, anchor_dy);
    if (scale_x != 1.0) Scale(Horizontal(r), scale_x);
    if (scale_y != 1.0) Scale(Vertical(r), scale_y);
    r.w = std::max(r.w, 1);
    r.h = std::max(r.h, 1);
    out.push_back(r);
  }
  return out;
}

}  // namespace mirabo::ui::qt
