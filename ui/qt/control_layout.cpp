#include "ui/qt/control_layout.h"

#include <algorithm>

namespace mirabo::ui::qt {
namespace {

bool Overlap(const Rect& a, const Rect& b) {
  return a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
}

}  // namespace

std::vector<Rect> AnchorControls(const std::vector<LayoutItem>& items, int dx, int dy) {
  std::vector<Rect> out;
  out.reserve(items.size());
  bool any_list = false;
  int right = 0, bottom = 0;  // the far edges of the lists
  for (const LayoutItem& it : items) {
    if (!it.list) continue;
    if (!any_list) {
      right = it.at.x + it.at.w;
      bottom = it.at.y + it.at.h;
      any_list = true;
    } else {
      right = std::min(right, it.at.x + it.at.w);
      bottom = std::min(bottom, it.at.y + it.at.h);
    }
  }
  for (const LayoutItem& it : items) {
    Rect r = it.at;
    if (!any_list) {
      out.push_back(r);
      continue;
    }
    bool grows = it.list;
    for (const LayoutItem& other : items) {
      if (!grows && other.list && Overlap(it.at, other.at)) grows = true;
    }
    if (grows) {
      r.w += dx;
      r.h += dy;
    } else {
      if (r.x >= right)
        r.x += dx;
      else if (r.x + r.w > right)
        r.w += dx;  // spans the list's edge: stretches across
      if (r.y >= bottom) r.y += dy;
    }
    r.w = std::max(r.w, 1);
    r.h = std::max(r.h, 1);
    out.push_back(r);
  }
  return out;
}

}  // namespace mirabo::ui::qt
