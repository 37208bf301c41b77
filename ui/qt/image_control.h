// The widget of an image control: shows an icon resource, or an image of a
// registered kind (ui/qt/image_painter.h) loaded by its name, at the
// control's size or at a drawn size of its own with scroll bars to move over
// it, on its background colour, under its cursor.
//
// A control with scroll bars scrolls as every view does: its bars' arrows,
// the wheel by lines, the arrow keys, Page Up and Page Down by a screen, Home
// and End to the image's top and bottom.  A new image starts at its top.
//
// Drawing is cached: an image that fits a few megapixels is rendered once
// into a pixmap of the size shown and the loaded image is let go, so a grid
// of pages holds one small picture per cell and no display lists.  A larger
// drawn size (a zoomed page) keeps its one loaded image and draws only what
// the viewport shows.
#pragma once

#include <QAbstractScrollArea>
#include <QPixmap>
#include <memory>
#include <string>

#include "ui/window_def.h"

namespace mirabo::ui::qt {

class LoadedImage;

class ImageControl : public QAbstractScrollArea {
 public:
  explicit ImageControl(QWidget* parent);
  ~ImageControl() override;

  // Brings the control up to the model.  `drawn` is the drawn size in pixels
  // (empty: the viewport's size); `fill` the background (kDefaultColour: none).
  void Show(const std::string& name, QSize drawn, bool horizontal_bar, bool vertical_bar,
            uint32_t fill, Cursor cursor);

  // Whether there is something to show: a known icon, or an image that loaded.
  bool HasPicture() const;
  const std::string& name() const { return name_; }
  // The size the image is drawn at now, in pixels.
  QSize ContentSize() const;

  // Whether Page Down (`down`) or Page Up would still move over the image:
  // false at its bottom (top) edge, or when it does not scroll.
  bool CanPage(bool down) const;
  // The user paged back from the top edge of this image to the one before:
  // the next image shown starts at its bottom, where the reader goes on.
  void PagedBack() { start_at_end_ = true; }

 protected:
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;
  bool viewportEvent(QEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;

 private:
  void UpdateBars();
  void Load();

  std::string name_;
  bool is_icon_ = false;
  bool loaded_ = false;  // name_ has been loaded (image_ may since have been let go)
  std::unique_ptr<LoadedImage> image_;
  std::string error_;
  QSize drawn_;
  uint32_t fill_ = kDefaultColour;
  Cursor cursor_ = Cursor::kArrow;
  QPixmap cache_;
  QSize cache_size_;
  bool start_at_end_ = false;
};

// The zoom cursor: a magnifying glass with a plus sign in its lens.
QCursor ZoomCursor();

}  // namespace mirabo::ui::qt
