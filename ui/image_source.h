// Kinds of image that image controls can load by name, beyond the window
// layer's own icons: another layer (the report engine's page images)
// registers how to measure its images, free of any display.  The Qt binding
// registers how to draw them separately (ui/qt/image_painter.h).
#pragma once

#include <functional>
#include <string>

namespace mirabo::ui {

// Sets the natural size of image `name` in thousandths of an inch and
// returns true, or returns false when the name is not of its kind or the
// image cannot be read.
using ImageMeasurer = std::function<bool(const std::string& name, int* width, int* height)>;

// Registers (or replaces) the measurer of a kind.  Kinds are asked in the
// order of their first registration; the first that answers wins.
void RegisterImageKind(const std::string& kind, ImageMeasurer measure);

// The natural size of `name` in thousandths of an inch; false when no kind
// can measure it.
bool MeasureImage(const std::string& name, int* width, int* height);

// Dialog units of a window font of `points` on a nominal 96-dot-per-inch
// screen whose 8-point font is 6 by 13 pixels: what the headless backend
// gives a size in thousandths of an inch.
int NominalUnitsX(int mils, int points);
int NominalUnitsY(int mils, int points);

}  // namespace mirabo::ui
