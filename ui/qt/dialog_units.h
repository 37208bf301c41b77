// Dialog units: window layouts are measured in units of the window's font, so
// that a layout keeps its proportions whatever font the desktop gives us.  A
// horizontal unit is a quarter of the font's average character width, a
// vertical unit an eighth of its line height.
#pragma once

#include <string>

class QFont;

namespace mirabo::ui::qt {

// The conversion itself, free of Qt so that it can be checked on its own.
// Conversions round to the nearest pixel (or unit), halves away from zero, so
// negative positions (a window dragged off the left edge) convert like
// positive ones.  Going from units to pixels and back gives the same units
// whenever a unit is at least one pixel wide and high.
struct DialogUnits {
  int char_width = 6;    // average character width, pixels
  int char_height = 13;  // line height, pixels

  int ToPixelsX(int du) const;
  int ToPixelsY(int du) const;
  int FromPixelsX(int px) const;
  int FromPixelsY(int px) const;
};

// The font a window definition names: "MS Sans Serif" (or no name) is the
// desktop's UI font, scaled from its 8 points; "Arial" is Liberation Sans,
// which has the same metrics; anything else is asked for by name.
QFont WindowFont(const std::string& face, int points);

// The units of `font`: its average width over the letters A-Z and a-z, and
// its line height.
DialogUnits MeasureDialogUnits(const QFont& font);

}  // namespace mirabo::ui::qt
