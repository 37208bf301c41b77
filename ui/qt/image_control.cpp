#include "ui/qt/image_control.h"

#include <QCursor>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSvgRenderer>
#include <map>
#include <vector>

#include "ui/qt/icons.h"
#include "ui/qt/image_painter.h"

namespace mirabo::ui::qt {
namespace {

// Images up to this many pixels are rendered once and kept as a pixmap.
constexpr qint64 kCacheLimit = 4'000'000;

struct Loader {
  std::string kind;
  ImageLoader load;
};

std::vector<Loader>& Loaders() {
  static std::vector<Loader> loaders;
  return loaders;
}

}  // namespace

void RegisterImageLoader(const std::string& kind, ImageLoader loader) {
  for (Loader& l : Loaders()) {
    if (l.kind == kind) {
      l.load = std::move(loader);
      return;
    }
  }
  Loaders().push_back({kind, std::move(loader)});
}

std::unique_ptr<LoadedImage> LoadImage(const std::string& name) {
  for (const Loader& l : Loaders()) {
    if (!l.load) continue;
    if (auto image = l.load(name)) return image;
  }
  return nullptr;
}

QCursor ZoomCursor() {
  static const QCursor cursor = [] {
    QPixmap pm(32, 32);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    QSvgRenderer(QStringLiteral(":/mirabo/icons/zoomcursor.svg")).render(&p);
    p.end();
    return QCursor(pm, 12, 12);  // the hot spot is the lens's centre
  }();
  return cursor;
}

ImageControl::ImageControl(QWidget* parent) : QAbstractScrollArea(parent) {
  setFrameStyle(QFrame::NoFrame);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setAutoFillBackground(false);
  setFocusPolicy(Qt::ClickFocus);
}

ImageControl::~ImageControl() = default;

void ImageControl::Show(const std::string& name, QSize drawn, bool horizontal_bar,
                        bool vertical_bar, uint32_t fill, Cursor cursor) {
  bool changed = false;
  if (name != name_) {
    name_ = name;
    loaded_ = false;
    image_.reset();
    cache_ = QPixmap();
    changed = true;
  }
  if (drawn != drawn_) {
    drawn_ = drawn;
    changed = true;
  }
  if (fill != fill_) {
    fill_ = fill;
    cache_ = QPixmap();
    changed = true;
  }
  const Qt::ScrollBarPolicy h = horizontal_bar ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff;
  const Qt::ScrollBarPolicy v = vertical_bar ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff;
  if (h != horizontalScrollBarPolicy() || v != verticalScrollBarPolicy()) {
    setHorizontalScrollBarPolicy(h);
    setVerticalScrollBarPolicy(v);
    changed = true;
  }
  if (cursor != cursor_) {
    cursor_ = cursor;
    if (cursor == Cursor::kZoom) {
      viewport()->setCursor(ZoomCursor());
    } else {
      viewport()->unsetCursor();
    }
  }
  if (changed) {
    UpdateBars();
    viewport()->update();
  }
}

void ImageControl::Load() {
  if (loaded_) return;
  loaded_ = true;
  is_icon_ = !IconResource(name_).isEmpty();
  error_.clear();
  if (is_icon_ || name_.empty()) return;
  image_ = LoadImage(name_);
  if (image_) error_ = image_->Error();
}

bool ImageControl::HasPicture() const {
  auto* self = const_cast<ImageControl*>(this);
  self->Load();
  return is_icon_ || (!cache_.isNull() && error_.empty()) || (image_ && error_.empty());
}

QSize ImageControl::ContentSize() const { return drawn_.isEmpty() ? viewport()->size() : drawn_; }

void ImageControl::UpdateBars() {
  const QSize content = ContentSize();
  const QSize view = viewport()->size();
  horizontalScrollBar()->setRange(0, std::max(0, content.width() - view.width()));
  horizontalScrollBar()->setPageStep(view.width());
  verticalScrollBar()->setRange(0, std::max(0, content.height() - view.height()));
  verticalScrollBar()->setPageStep(view.height());
}

void ImageControl::resizeEvent(QResizeEvent* e) {
  QAbstractScrollArea::resizeEvent(e);
  UpdateBars();
}

bool ImageControl::viewportEvent(QEvent* e) {
  // Scroll bars coming and going resize the viewport, not the control.
  if (e->type() == QEvent::Resize) UpdateBars();
  return QAbstractScrollArea::viewportEvent(e);
}

void ImageControl::scrollContentsBy(int dx, int dy) {
  (void)dx;
  (void)dy;
  viewport()->update();
}

void ImageControl::paintEvent(QPaintEvent* e) {
  QPainter p(viewport());
  if (fill_ != kDefaultColour) p.fillRect(e->rect(), QColor::fromRgb(fill_));
  if (name_.empty()) return;
  Load();
  const QSize content = ContentSize();
  if (content.isEmpty()) return;
  const QPoint origin(-horizontalScrollBar()->value(), -verticalScrollBar()->value());
  if (is_icon_) {
    p.drawPixmap(origin, IconPixmap(name_, content));
    return;
  }
  const bool small = static_cast<qint64>(content.width()) * content.height() <= kCacheLimit;
  if (small && !cache_.isNull() && cache_size_ == content) {
    p.drawPixmap(origin, cache_);
    return;
  }
  if (!image_) {
    // Let go after the last rendering: load again for the new size.
    image_ = LoadImage(name_);
    if (!image_) return;
    error_ = image_->Error();
  }
  if (small) {
    const qreal dpr = devicePixelRatioF();
    QPixmap pm(content * dpr);
    pm.setDevicePixelRatio(dpr);
    pm.fill(fill_ != kDefaultColour ? QColor::fromRgb(fill_) : QColor(Qt::white));
    {
      QPainter cp(&pm);
      image_->Paint(cp, QRectF(QPointF(0, 0), QSizeF(content)));
    }
    cache_ = pm;
    cache_size_ = content;
    image_.reset();  // the pixmap is all this control needs now
    p.drawPixmap(origin, cache_);
    return;
  }
  p.setClipRect(e->rect());
  image_->Paint(p, QRectF(QPointF(origin), QSizeF(content)));
}

}  // namespace mirabo::ui::qt
