// The user's input on a window's widgets, turned into events: alerted mouse
// buttons and keys, entries completed, the close box, moves and resizes, and
// the focus.
#include <QAbstractScrollArea>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QWidget>

#include "ui/qt/image_control.h"
#include "ui/qt/list_box.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/window_mirror.h"
#include "ui/qt/window_mirror_view.h"

namespace mirabo::ui::qt {

void WindowMirror::InstallAlertFilterOn(QWidget* widget) {
  widget->installEventFilter(this);
  for (QWidget* w : widget->findChildren<QWidget*>()) w->installEventFilter(this);
}

void WindowMirror::InstallAlertFilter() {
  if (!client_) return;
  client_->installEventFilter(this);
  for (QWidget* w : client_->findChildren<QWidget*>()) {
    // List boxes turn their own clicks into keys.
    bool in_list = false;
    for (QWidget* p = w; p && p != client_; p = p->parentWidget()) {
      if (dynamic_cast<ListBox*>(p)) in_list = true;
    }
    if (!in_list) w->installEventFilter(this);
  }
}

int WindowMirror::ControlIdOf(QObject* o) const {
  for (; o && o != client_.data() && o != top_.data(); o = o->parent()) {
    const QVariant id = o->property(kControlProperty);
    if (id.isValid()) return id.toInt();
  }
  return 0;
}

void WindowMirror::FocusMovedTo(QWidget* widget) {
  if (!window_ || syncing_ || !widget) return;
  const int id = ControlIdOf(widget);
  const Control* c = id != 0 ? window_->Find(id) : nullptr;
  if (!c) return;
  applied_focus_ = id;
  applied_focus_serial_ = c->serial;
  if (window_->focus() != id) window_->Select(id);
}

// The keys a window may alert besides the mouse buttons and the keys that
// list boxes pass on themselves.
static int AlertKeyOf(const QKeyEvent& e) {
  if (e.modifiers() & (Qt::ControlModifier | Qt::AltModifier)) return 0;
  switch (e.key()) {
    case Qt::Key_PageUp:
      return PgUpKey;
    case Qt::Key_PageDown:
      return PgDnKey;
    default:
      return 0;
  }
}

// The image control `o` is part of, if any (below `stop`).
static ImageControl* ImageOf(QObject* o, QObject* stop) {
  for (; o && o != stop; o = o->parent()) {
    if (auto* image = dynamic_cast<ImageControl*>(o)) return image;
  }
  return nullptr;
}

// Whether a press on `o` is on a scroll bar (or the corner between two) of
// a control that scrolls: it scrolls what the control shows, it is no click
// on the control.  Only what shows in the viewport is the control's own.
static bool OnScrollBar(QObject* o, const QMouseEvent& e, QObject* stop) {
  for (; o && o != stop; o = o->parent()) {
    if (auto* area = qobject_cast<QAbstractScrollArea*>(o)) {
      const QWidget* view = area->viewport();
      return !view->rect().contains(view->mapFromGlobal(e.globalPosition().toPoint()));
    }
  }
  return false;
}

bool WindowMirror::AlertFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::KeyPress) {
    // An alerted key goes to the procedure, not to the control with the focus.
    const int key = AlertKeyOf(*static_cast<QKeyEvent*>(event));
    if (key == 0 || !window_->Alerted(key)) return false;
    // A page that scrolls takes the page keys until its edge; there they go
    // on to the procedure, which turns the page.
    if (ImageControl* image = ImageOf(watched, client_);
        image && (key == PgUpKey || key == PgDnKey)) {
      if (image->CanPage(key == PgDnKey)) return false;
      if (key == PgUpKey) image->PagedBack();
    }
    Post(EVENT_AlertKey, ControlIdOf(watched), key);
    return true;
  }
  if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick) return false;
  auto* me = static_cast<QMouseEvent*>(event);
  if (OnScrollBar(watched, *me, client_)) return false;
  // The same click reaches each parent of the widget that ignored it.
  if (me->timestamp() == last_alert_time_ && static_cast<int>(type) == last_alert_type_)
    return false;
  last_alert_time_ = me->timestamp();
  last_alert_type_ = static_cast<int>(type);
  int key = 0;
  const bool dbl = type == QEvent::MouseButtonDblClick;
  if (me->button() == Qt::LeftButton) key = dbl ? MouseLeft2 : MouseLeft;
  if (me->button() == Qt::RightButton) key = dbl ? MouseRight2 : MouseRight;
  if (key != 0 && window_->Alerted(key)) Post(EVENT_AlertKey, ControlIdOf(watched), key);
  return false;
}

// An entry is completed by Enter or by Tab, changed or not: the locator
// relies on it, whose text the procedure typed in.  Leaving it with the mouse
// completes it only when the user edited it; a menu or another window taking
// the focus for a while does not.
void WindowMirror::EntryFocusOut(QLineEdit* e, Qt::FocusReason reason) {
  const int id = ControlIdOf(e);
  if (id == 0) return;
  auto it = by_id_.find(id);
  if (it == by_id_.end() || views_[it->second].def->kind != ControlKind::kEntry) return;
  const bool tabbed = reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason;
  const bool clicked_away = reason == Qt::MouseFocusReason || reason == Qt::ShortcutFocusReason ||
                            reason == Qt::OtherFocusReason;
  if (tabbed || (clicked_away && e->isModified())) CommitEntry(id, e);
}

void WindowMirror::CommitEntry(int id, QLineEdit* e) {
  if (syncing_ || !window_) return;
  auto it = by_id_.find(id);
  const bool file_name = it != by_id_.end() && views_[it->second].def->file_name;
  const std::string typed = file_name ? e->text().toUtf8().toStdString() : ToCp1252(e->text());
  if (it != by_id_.end()) views_[it->second].value = typed;
  e->setModified(false);
  window_->SetValue(id, typed);
  Post(EVENT_Accepted, id);
}

bool WindowMirror::eventFilter(QObject* watched, QEvent* event) {
  if (!window_) return false;
  if (event->type() == QEvent::FocusOut) {
    if (auto* e = qobject_cast<QLineEdit*>(watched)) {
      EntryFocusOut(e, static_cast<QFocusEvent*>(event)->reason());
    }
  }
  if (watched == top_.data()) {
    switch (event->type()) {
      case QEvent::Close:
        // The close box asks; the procedure decides and closes the window.
        event->ignore();
        Post(EVENT_CloseWindow);
        return true;
      case QEvent::Move:
      case QEvent::Resize:
      case QEvent::WindowStateChange:
        if (!applying_geometry_ && shown_) QueueReadBack();
        break;
      default:
        break;
    }
  }
  if (frame_) {
    TrackHover(watched, event);
    return false;
  }
  if (client_ &&
      (watched == client_.data() || client_->isAncestorOf(qobject_cast<QWidget*>(watched)))) {
    return AlertFilter(watched, event);
  }
  return false;
}

}  // namespace mirabo::ui::qt
