#include "app/data/window_position.h"

#include <algorithm>
#include <string>

#include "app/data/profile.h"
#include "ui/scheduler.h"

namespace mirabo::app {
namespace {

// A stored coordinate or size; negative ones are damage (we never save a
// window we could not show) and count as nothing stored.
int StoredNumber(std::string_view section, std::string_view key, std::string_view file) {
  return std::max(0, GetProfileInt(section, key, file));
}

bool IsYes(std::string_view value) {
  return value.size() == 3 && (value[0] == 'Y' || value[0] == 'y') &&
         (value[1] == 'E' || value[1] == 'e') && (value[2] == 'S' || value[2] == 's');
}

// Brings a placement inside the desktop area, when the backend can tell it.
void FitToDesktop(const ui::Window& w, ui::Geometry& g) {
  if (!ui::Scheduler::Installed()) return;
  int area_width = 0, area_height = 0;
  if (!ui::Scheduler::Get().backend().DesktopArea(&area_width, &area_height)) return;
  if (area_width <= 0 || area_height <= 0) return;
  if (w.resizable()) {
    g.width = std::min(g.width, area_width);
    g.height = std::min(g.height, area_height);
    // The minimum size wins over the area: a window smaller than its
    // minimum cannot be laid out.
    if (w.min_width() > 0) g.width = std::max(g.width, w.min_width());
    if (w.min_height() > 0) g.height = std::max(g.height, w.min_height());
  }
  const int corner_width = std::min(kVisibleCornerWidth, g.width);
  const int corner_height = std::min(kVisibleCornerHeight, g.height);
  g.x = std::max(0, std::min(g.x, area_width - corner_width));
  g.y = std::max(0, std::min(g.y, area_height - corner_height));
}

}  // namespace

void SaveWindowPosition(ui::Window& w, std::string_view section, std::string_view file) {
  ui::Geometry g = w.geometry();
  const std::string_view maximize = g.maximized ? "Yes" : "No";
  if (g.maximized) {
    g.maximized = false;
    w.SetGeometry(g);
  }
  if (g.minimized) return;
  // One update per key, as every procedure thread saves on its own: the last
  // window of a procedure to close wins.
  WriteProfileString(section, "Maximize", maximize, file);
  WriteProfileString(section, "XPosit", std::to_string(g.x), file);
  WriteProfileString(section, "YPosit", std::to_string(g.y), file);
  WriteProfileString(section, "Width", std::to_string(g.width), file);
  WriteProfileString(section, "Height", std::to_string(g.height), file);
}

void RestoreWindowPosition(ui::Window& w, std::string_view section, std::string_view file) {
  if (GetProfileInt(section, "XPosit", file) == 0) return;
  ui::Geometry g = w.geometry();
  if (!g.maximized) {
    ui::Geometry moved = g;
    moved.x = StoredNumber(section, "XPosit", file);
    moved.y = StoredNumber(section, "YPosit", file);
    bool apply = moved.x != 0 && moved.y != 0;
    if (apply && w.resizable()) {
      moved.width = StoredNumber(section, "Width", file);
      moved.height = StoredNumber(section, "Height", file);
      apply = moved.width != 0 && moved.height != 0;
    }
    if (apply) {
      FitToDesktop(w, moved);
      g = moved;
      w.SetGeometry(g);
    }
  }
  const bool maximize = IsYes(GetProfileString(section, "Maximize", file));
  if (g.maximized != maximize) {
    g.maximized = maximize;
    if (maximize) g.minimized = false;
    w.SetGeometry(g);
  }
}

}  // namespace mirabo::app
