// Drawing the images of the kinds that other layers register (the report
// engine's page images, ui/image_source.h measures them), for image controls
// and for printing.  A kind registers a loader; the first loader that takes a
// name gives the image.
#pragma once

#include <QRectF>
#include <QSize>
#include <functional>
#include <memory>
#include <string>

class QPainter;

namespace mirabo::ui::qt {

// One loaded image.  It holds what drawing needs (a page's display list),
// nothing of other images.
class LoadedImage {
 public:
  virtual ~LoadedImage() = default;
  // The natural size in thousandths of an inch; empty when it could not be read.
  virtual QSize NaturalSize() const = 0;
  // Empty when the image was read; otherwise why not, in words for the user.
  virtual std::string Error() const = 0;
  // Draws the image scaled to fill `target`.  An image that could not be read
  // draws a blank page with a note that says why.
  virtual void Paint(QPainter& painter, const QRectF& target) const = 0;
};

// Returns the image for `name`, or null when the name is not of its kind.
using ImageLoader = std::function<std::unique_ptr<LoadedImage>(const std::string& name)>;

// Registers (or replaces) the loader of a kind.
void RegisterImageLoader(const std::string& kind, ImageLoader loader);

// The image `name` through the registered loaders; null when none takes it.
std::unique_ptr<LoadedImage> LoadImage(const std::string& name);

}  // namespace mirabo::ui::qt
