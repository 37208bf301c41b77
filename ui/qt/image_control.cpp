#include "ui/qt/image_control.h"

#include <QCursor>
#include <QKeyEvent>
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
  const bool new_image = name != name_;
  if (new_image) {
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
  const Qt::ScrollBarPolicy across =
      horizontal_bar ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff;
  const Qt::ScrollBarPolicy down = vertical_bar ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff;
  if (across != horizontalScrollBarPolicy() || down != verticalScrollBarPolicy()) {
    setHorizontalScrollBarPolicy(across);
    setVerticalScrollBarPolicy(down);
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
  if (new_image) {
    horizontalScrollBar()->setValue(0);
    QScrollBar* v = verticalScrollBar();
    v->setValue(start_at_end_ ? v->maximum() : v->minimum());
  }
  // Paging back that turned no page (there was none before) is forgotten.
  start_at_end_ = false;
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
  // Without its bar a direction does not scroll, not even by keys.
  auto range = [](Qt::ScrollBarPolicy policy, int drawn, int shown) {
    return policy == Qt::ScrollBarAlwaysOff ? 0 : std::max(0, drawn - shown);
  };
  // A line is a line of the window's text, as in every view that scrolls.
  const int line = fontMetrics().height();
  QScrollBar* h = horizontalScrollBar();
  h->setRange(0, range(horizontalScrollBarPolicy(), content.width(), view.width()));
  h->setPageStep(view.width());
  h->setSingleStep(line);
  QScrollBar* v = verticalScrollBar();
  v->setRange(0, range(verticalScrollBarPolicy(), content.height(), view.height()));
  v->setPageStep(view.height());
  v->setSingleStep(line);
}

bool ImageControl::CanPage(bool down) const {
  const QScrollBar* v = verticalScrollBar();
  return down ? v->value() < v->maximum() : v->value() > v->minimum();
}

void ImageControl::keyPressEvent(QKeyEvent* e) {
  // The arrows and the page keys are the scroll area's; the ends are ours.
  if (e->modifiers() == Qt::NoModifier && (e->key() == Qt::Key_Home || e->key() == Qt::Key_End)) {
    QScrollBar* v = verticalScrollBar();
    v->setValue(e->key() == Qt::Key_Home ? v->minimum() : v->maximum());
    return;
  }
  QAbstractScrollArea::keyPressEvent(e);
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
