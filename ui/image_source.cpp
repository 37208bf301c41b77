#include "ui/image_source.h"

#include <cmath>
#include <utility>
#include <vector>

#include "ui/backend.h"
#include "ui/window.h"

namespace mirabo::ui {
namespace {

struct Kind {
  std::string name;
  ImageMeasurer measure;
};

std::vector<Kind>& Kinds() {
  static std::vector<Kind> kinds;
  return kinds;
}

int Units(int mils, double unit_px) {
  return static_cast<int>(std::lround(mils * 96.0 / 1000.0 / unit_px));
}

}  // namespace

void RegisterImageKind(const std::string& kind, ImageMeasurer measure) {
  for (Kind& k : Kinds()) {
    if (k.name == kind) {
      k.measure = std::move(measure);
      return;
    }
  }
  Kinds().push_back({kind, std::move(measure)});
}

bool MeasureImage(const std::string& name, int* width, int* height) {
  for (const Kind& k : Kinds()) {
    if (k.measure && k.measure(name, width, height)) return true;
  }
  return false;
}

int NominalUnitsX(int mils, int points) {
  return Units(mils, 6.0 * (points > 0 ? points : 8) / 8.0 / 4.0);
}

int NominalUnitsY(int mils, int points) {
  return Units(mils, 13.0 * (points > 0 ? points : 8) / 8.0 / 8.0);
}

bool Backend::ImageSize(const Window& w, const std::string& name, int* width, int* height) {
  int mw = 0, mh = 0;
  if (!MeasureImage(name, &mw, &mh)) return false;
  *width = NominalUnitsX(mw, w.def().font_size);
  *height = NominalUnitsY(mh, w.def().font_size);
  return true;
}

}  // namespace mirabo::ui
