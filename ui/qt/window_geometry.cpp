// Where a window is: its placement applied from the model (the first time
// also placed by default), read back when the user or the MDI area moves it,
// and its controls placed and laid out for its size.
#include <QApplication>
#include <QLayout>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScreen>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <vector>

#include "ui/qt/child_arrangement.h"
#include "ui/qt/client_area.h"
#include "ui/qt/control_layout.h"
#include "ui/qt/list_box.h"
#include "ui/qt/qt_backend.h"
#include "ui/qt/window_mirror.h"
#include "ui/qt/window_mirror_view.h"

namespace mirabo::ui::qt {

namespace {

bool SameGeometry(const Geometry& a, const Geometry& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height &&
         a.maximized == b.maximized && a.minimized == b.minimized;
}

}  // namespace

// ---------------------------------------------------------------- controls

// Where a control goes, in pixels: its dialog-unit place, below the toolbar
// strip unless it is on it; a control without a size takes its widget's.
QRect WindowMirror::PlaceOf(const View& v) const {
  const Rect& at = v.model->at;
  const QSize hint = v.widget ? v.widget->sizeHint() : QSize(1, 1);
  const int x = at.x < 0 ? 0 : units_.ToPixelsX(at.x);
  const int y =
      (at.y < 0 ? 0 : units_.ToPixelsY(at.y)) + (v.toolbar ? 0 : units_.ToPixelsY(strip_units_));
  const int width = at.w < 0 ? hint.width() : units_.ToPixelsX(at.w);
  const int height = at.h < 0 ? hint.height() : units_.ToPixelsY(at.h);
  return QRect(x, y, std::max(1, width), std::max(1, height));
}

void WindowMirror::ClientResized() {
  LayOut();
  if (!window_ || frame_ || !client_) return;
  const int width = units_.FromPixelsX(client_->width());
  const int height = units_.FromPixelsY(client_->height());
  const bool changed = width != window_->shown_width() || height != window_->shown_height();
  window_->SetShownSize(width, height);
  // Maximized, restored, tiled or the frame resized: whatever the window
  // lays out for its size is laid out again.
  if (changed && shown_) RequestSized();
}

void WindowMirror::LayOut() {
  if (!window_ || frame_ || !client_) return;
  const WindowDef& def = window_->def();
  const int designed_width = units_.ToPixelsX(def.width);
  const int designed_height = units_.ToPixelsY(def.height);
  int width = designed_width, height = designed_height;
  if (window_->resizable()) {
    width = client_->width();
    height = client_->height();
  }
  std::vector<LayoutItem> items;
  std::vector<View*> placed;
  if (strip_) strip_->setGeometry(0, 0, client_->width(), units_.ToPixelsY(strip_units_));
  for (View& v : views_) {
    if (v.toolbar || !v.widget) continue;
    const QRect& r = v.designed;
    LayoutItem item{Rect{r.x(), r.y(), r.width(), r.height()}, v.list != nullptr};
    if (v.list) item.min_height = v.list->MinimumHeight();
    items.push_back(item);
    placed.push_back(&v);
  }
  const std::vector<Rect> rects =
      AnchorControls(items, designed_width, designed_height, width, height);
  for (size_t i = 0; i < rects.size(); ++i) {
    View& v = *placed[i];
    const QRect r(rects[i].x, rects[i].y, rects[i].w, rects[i].h);
    if (v.widget->geometry() != r) v.widget->setGeometry(r);
  }
}

// ---------------------------------------------------------------- the window

QSize WindowMirror::SubWindowSizeFor(QSize content) const {
  // The subwindow's frame and title bar around its widget, as its layout
  // arranges them.
  const QMargins m = sub_->contentsMargins();
  QMargins lm;
  if (sub_->layout()) lm = sub_->layout()->contentsMargins();
  return QSize(
      content.width() + m.left() + m.right() + lm.left() + lm.right(),
      content.height() + m.top() + m.bottom() + lm.top() + lm.bottom() + ChromeExtraHeight());
}

QSize WindowMirror::DecorationSize() const {
  if (!sub_) return QSize();
  // Before the subwindow is first shown its margins are not laid out yet:
  // the style says what its frame and title bar will take.
  QStyle* style = sub_->style();
  const int frame = style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth, nullptr, sub_);
  const int title = style->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, sub_);
  const QSize laid_out = SubWindowSizeFor(QSize(0, 0));
  return QSize(std::max(laid_out.width(), 2 * frame),
               std::max(laid_out.height(), title + frame + ChromeExtraHeight()));
}

QPoint WindowMirror::NextChildPlace() const {
  if (!area_) return {};
  const int step = CascadeStep();
  int n = 0;
  for (QMdiSubWindow* s : area_->subWindowList()) {
    if (s->isVisible()) ++n;
  }
  const QSize room = area_->viewport()->size();
  const int across = std::max(1, std::min(room.width(), room.height()) / 3 / step);
  const int k = n % across;
  return QPoint(k * step, k * step);
}

void WindowMirror::PlaceByDefault(Geometry& g) {
  const WindowDef& def = window_->def();
  if ((def.x >= 0 && def.y >= 0) || g.x != opened_geometry_.x || g.y != opened_geometry_.y) return;
  const int w = units_.ToPixelsX(g.width);
  const int h = units_.ToPixelsY(g.height);
  QPoint at;
  if (sub_) {
    WindowMirror* frame = backend_.FrameMirror();
    if (frame) at = frame->NextChildPlace();
  } else {
    QRect over;
    WindowMirror* frame = backend_.FrameMirror();
    if (frame && frame != this && frame->top() && frame->top()->isVisible()) {
      over = frame->top()->geometry();
    } else if (QScreen* s = QGuiApplication::primaryScreen()) {
      over = s->availableGeometry();
    }
    at = QPoint(over.x() + (over.width() - w) / 2, over.y() + (over.height() - h) / 2);
    if (QScreen* s = QGuiApplication::primaryScreen()) {
      const QRect room = s->availableGeometry();
      at.setX(std::max(room.left(), at.x()));
      at.setY(std::max(room.top(), at.y()));
    }
  }
  if (def.x < 0) g.x = units_.FromPixelsX(at.x());
  if (def.y < 0) g.y = units_.FromPixelsY(at.y());
}

void WindowMirror::FitInArea(Geometry& g) const {
  WindowMirror* frame = backend_.FrameMirror();
  if (!sub_ || !frame || !frame->area()) return;
  // Whole units, rounded down, so what fits in pixels fits again in units.
  auto units_x = [&](int px) { return std::max(0, px) * 4 / units_.char_width; };
  auto units_y = [&](int px) { return std::max(0, px) * 8 / units_.char_height; };
  const QSize room = frame->area()->viewport()->size();
  const QSize decoration = DecorationSize();
  if (window_->resizable()) {
    g.width = std::max(std::min(g.width, units_x(room.width() - decoration.width())),
                       window_->min_width());
    g.height = std::max(std::min(g.height, units_y(room.height() - decoration.height())),
                        window_->min_height());
  }
  const QRect wanted(units_.ToPixelsX(g.x), units_.ToPixelsY(g.y),
                     units_.ToPixelsX(g.width) + decoration.width(),
                     units_.ToPixelsY(g.height) + decoration.height());
  const QRect fitted = FitInside(wanted, QSize(), room);
  if (fitted.x() != wanted.x()) g.x = units_x(fitted.x());
  if (fitted.y() != wanted.y()) g.y = units_y(fitted.y());
}

void WindowMirror::ApplyGeometry() {
  QWidget* t = top_;
  if (!t || (window_->def().flags & kHidden)) return;
  Geometry g = window_->geometry();
  if (!shown_) {
    PlaceByDefault(g);
    FitInArea(g);
    window_->NoteGeometry(g);  // the model learns where the window went
  } else if (geometry_applied_ && SameGeometry(g, applied_geometry_)) {
    return;
  }
  applying_geometry_ = true;
  const QRect normal(units_.ToPixelsX(g.x), units_.ToPixelsY(g.y), units_.ToPixelsX(g.width),
                     units_.ToPixelsY(g.height));
  auto* client = dynamic_cast<ClientArea*>(client_.data());
  if (client) {
    client->SetDesiredSize(normal.size());
    if (!window_->resizable()) client->setFixedSize(normal.size());
  }
  const bool want_max = g.maximized;
  const bool want_min = g.minimized && !g.maximized;
  auto set_normal = [&] {
    if (sub_) {
      if (client) client->resize(normal.size());
      sub_->setGeometry(QRect(normal.topLeft(), SubWindowSizeFor(normal.size())));
    } else {
      t->setGeometry(normal);
    }
  };
  if (!shown_) {
    set_normal();
    if (want_max) {
      t->showMaximized();
    } else if (want_min) {
      t->showMinimized();
    } else {
      t->show();
    }
  } else {
    if ((t->isMaximized() || t->isMinimized()) && !want_max && !want_min) t->showNormal();
    if (!t->isMaximized() && !t->isMinimized()) set_normal();
    if (want_max && !t->isMaximized()) {
      t->showMaximized();
    } else if (want_min && !t->isMinimized()) {
      t->showMinimized();
    }
  }
  applied_geometry_ = g;
  geometry_applied_ = true;
  applying_geometry_ = false;
  // The MDI area shows a new child maximized while the active one is: the
  // model learns what the window became.
  if (t->isMaximized() != want_max || t->isMinimized() != want_min) QueueReadBack();
}

void WindowMirror::QueueReadBack() {
  if (readback_queued_) return;
  readback_queued_ = true;
  QTimer::singleShot(0, this, [this] {
    readback_queued_ = false;
    ReadBackGeometry();
  });
}

void WindowMirror::ReadBackGeometry() {
  QWidget* t = top_;
  if (!window_ || !t || !shown_) return;
  const Geometry old = window_->geometry();
  Geometry g = old;
  g.maximized = t->isMaximized();
  g.minimized = t->isMinimized();
  if (!g.maximized && !g.minimized) {
    QPoint pos;
    QSize size;
    if (sub_) {
      pos = sub_->pos();
      size = client_ ? client_->size() : sub_->size();
    } else {
      pos = t->geometry().topLeft();
      size = t->geometry().size();
    }
    g.x = units_.FromPixelsX(pos.x());
    g.y = units_.FromPixelsY(pos.y());
    g.width = units_.FromPixelsX(size.width());
    g.height = units_.FromPixelsY(size.height());
  }
  applied_geometry_ = g;
  geometry_applied_ = true;
  if (SameGeometry(g, old)) return;
  const bool resized = g.width != old.width || g.height != old.height ||
                       g.maximized != old.maximized || g.minimized != old.minimized;
  window_->SetGeometry(g);
  if (resized) RequestSized();
}

void WindowMirror::RequestSized() {
  if (sized_queued_ || !window_) return;
  sized_queued_ = true;
  QTimer::singleShot(0, this, [this] {
    sized_queued_ = false;
    Post(EVENT_Sized);
  });
}

void WindowMirror::ListRowsMeasured(int id, int rows) {
  if (!window_) return;
  Control* c = window_->Find(id);
  if (!c || c->visible_rows == rows) return;
  window_->SetVisibleRows(id, rows);
  if (opened_) RequestSized();
}

}  // namespace mirabo::ui::qt
