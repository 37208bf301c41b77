// The chrome of a window: the frame's menus (with the Window menu's list of
// children, and the active child's menus merged in), toolbar and status bar,
// and the menus, status bar and toolbar strip a child or top-level window
// may wear; built from the definition, kept up to the model, and the status
// texts shown while the user points at them.
#include <QAction>
#include <QApplication>
#include <QEvent>
#include <QFrame>
#include <QIcon>
#include <QLabel>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>

#include "ui/qt/icons.h"
#include "ui/qt/key_codes.h"
#include "ui/qt/qt_backend.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/window_mirror.h"
#include "ui/qt/window_mirror_view.h"

namespace mirabo::ui::qt {

namespace {

// A menu item's status text.
constexpr char kMessageProperty[] = "mirabo_msg";

QString WithoutMnemonics(QString s) {
  s.remove(QLatin1Char('&'));
  return s.trimmed();
}

}  // namespace

// ---------------------------------------------------------------- building

void WindowMirror::BuildFrame() {
  const WindowDef& def = window_->def();
  auto* mw = new QMainWindow;
  mw->setFont(font_);
  mw->setWindowTitle(FromCp1252(window_->title()));
  if (!def.icon.empty()) {
    const QIcon icon = IconFor(def.icon);
    mw->setWindowIcon(icon);
    QApplication::setWindowIcon(icon);
  }
  frame_ = mw;
  top_ = mw;
  auto* area = new QMdiArea(mw);
  area->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  area->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  area->setActivationOrder(QMdiArea::CreationOrder);
  mw->setCentralWidget(area);
  area_ = area;
  client_ = area;
  connect(area, &QMdiArea::subWindowActivated, this,
          [this](QMdiSubWindow* s) { backend_.ChildActivated(s); });
  BuildMenus(mw);
  AttachMenuBar(mw->menuBar());
  BuildToolbar();
  BuildStatusBar(mw->statusBar());
  const Geometry& g = window_->geometry();
  mw->resize(units_.ToPixelsX(g.width), units_.ToPixelsY(g.height));
  mw->installEventFilter(this);
}

void WindowMirror::BuildMenus(QWidget* owner) {
  for (const MenuItemDef& item : window_->def().menus) {
    const QString text = FromCp1252(item.text);
    if (item.items.empty()) {
      auto* a = new QAction(text, owner);
      a->setProperty(kMessageProperty, FromCp1252(item.msg));
      a->setShortcut(KeySequenceOf(item.key));
      menu_actions_[item.id] = a;
      connect(a, &QAction::triggered, this, [this, id = item.id] { Post(EVENT_Accepted, id); });
      bar_actions_.push_back(a);
      continue;
    }
    auto* menu = new QMenu(text, owner);
    menu->setFont(font_);
    menu->menuAction()->setProperty(kMessageProperty, FromCp1252(item.msg));
    if (item.id != 0) menu_actions_[item.id] = menu->menuAction();
    AddMenuItems(menu, item.items);
    bar_actions_.push_back(menu->menuAction());
    if (WithoutMnemonics(text).compare(QLatin1String("Window"), Qt::CaseInsensitive) == 0) {
      window_menu_ = menu;
      connect(menu, &QMenu::aboutToShow, this, [this, menu] { FillWindowList(menu); });
    }
  }
}

void WindowMirror::AttachMenuBar(QMenuBar* bar) {
  connect(bar, &QMenuBar::hovered, this, [this](QAction* a) { ShowMenuStatus(a); });
  // A chosen item (on the bar or in any of its menus) has done its work.
  connect(bar, &QMenuBar::triggered, this, [this] {
    menu_status_ = false;
    SetZoneOne(QString());
  });
  // The bar gives no sign when it lets go of its highlighted item: look
  // whenever the user may have left it.
  bar->installEventFilter(this);
  for (const QPointer<QAction>& a : bar_actions_) bar->addAction(a);
}

void WindowMirror::ShowMenusOf(const WindowMirror* child) {
  if (!frame_) return;
  QMenuBar* bar = frame_->menuBar();
  QList<QAction*> merged;
  for (const QPointer<QAction>& a : bar_actions_) {
    if (a) merged.push_back(a);
  }
  if (child && child->merged_menus_) {
    // A child's menu takes the place of the frame's of the same name; the
    // others follow the child's menu before them (the first, at the start).
    qsizetype at = 0;
    for (const QPointer<QAction>& a : child->bar_actions_) {
      if (!a) continue;
      const QString name = WithoutMnemonics(a->text());
      auto same = std::find_if(merged.begin(), merged.end(), [&](QAction* m) {
        return WithoutMnemonics(m->text()).compare(name, Qt::CaseInsensitive) == 0;
      });
      if (same != merged.end()) {
        *same = a;
        at = (same - merged.begin()) + 1;
      } else {
        merged.insert(at++, a);
      }
    }
  }
  if (bar->actions() == merged) return;
  for (QAction* a : bar->actions()) bar->removeAction(a);
  bar->addActions(merged);
}

void WindowMirror::AddMenuItems(QMenu* menu, const std::vector<MenuItemDef>& items) {
  connect(menu, &QMenu::hovered, this, [this](QAction* a) { ShowMenuStatus(a); });
  connect(menu, &QMenu::aboutToHide, this, [this] { MenuMayHaveClosed(); });
  for (const MenuItemDef& item : items) {
    if (item.text.empty()) {
      menu->addSeparator();
      continue;
    }
    const QString text = FromCp1252(item.text);
    if (!item.items.empty()) {
      QMenu* sub = menu->addMenu(text);
      sub->setFont(font_);
      sub->menuAction()->setProperty(kMessageProperty, FromCp1252(item.msg));
      if (item.id != 0) menu_actions_[item.id] = sub->menuAction();
      AddMenuItems(sub, item.items);
      continue;
    }
    QAction* a = menu->addAction(text);
    a->setProperty(kMessageProperty, FromCp1252(item.msg));
    a->setCheckable(item.check);
    a->setShortcut(KeySequenceOf(item.key));
    menu_actions_[item.id] = a;
    connect(a, &QAction::triggered, this, [this, a, id = item.id] {
      // The check mark is the procedure's to set.
      if (a->isCheckable() && window_) a->setChecked(window_->MenuChecked(id));
      Post(EVENT_Accepted, id);
    });
  }
}

void WindowMirror::FillWindowList(QMenu* menu) {
  for (const QPointer<QAction>& a : window_list_actions_) delete a.data();
  window_list_actions_.clear();
  if (!area_) return;
  const QList<QMdiSubWindow*> subs = area_->subWindowList(QMdiArea::CreationOrder);
  if (subs.isEmpty()) return;
  window_list_actions_.push_back(menu->addSeparator());
  int n = 0;
  for (QMdiSubWindow* s : subs) {
    if (!s->isVisible() && !s->isMinimized()) continue;
    ++n;
    const QString label = n < 10 ? QStringLiteral("&%1 %2").arg(n).arg(s->windowTitle())
                                 : QStringLiteral("%1 %2").arg(n).arg(s->windowTitle());
    QAction* a = menu->addAction(label);
    a->setCheckable(true);
    a->setChecked(s == area_->currentSubWindow());
    QPointer<QMdiSubWindow> target(s);
    connect(a, &QAction::triggered, this, [this, target] {
      if (target && area_) area_->setActiveSubWindow(target);
    });
    window_list_actions_.push_back(a);
  }
}

void WindowMirror::BuildToolbar() {
  bool any = false;
  for (const View& v : views_) any = any || v.toolbar;
  if (!any) return;
  QToolBar* bar = frame_->addToolBar(QStringLiteral("Toolbar"));
  bar->setObjectName(QStringLiteral("toolbar"));
  bar->setMovable(false);
  bar->setFont(font_);
  bar->setIconSize(QSize(20, 20));
  for (View& v : views_) {
    if (!v.toolbar || v.parent >= 0) continue;
    if (v.def->kind != ControlKind::kButton) {
      bar->addSeparator();
      continue;
    }
    auto* b = new QToolButton(bar);
    b->setAutoRaise(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->setProperty(kControlProperty, v.def->id);
    b->setProperty(kToolbarProperty, true);
    b->installEventFilter(this);
    connect(b, &QToolButton::clicked, this, [this, id = v.def->id] {
      if (!syncing_) Post(EVENT_Accepted, id);
    });
    v.toolbar_action = bar->addWidget(b);
    v.widget = b;
  }
}

void WindowMirror::BuildToolbarStrip() {
  // A toolbar of a window that is not the frame is a strip along the top of
  // the client, as deep as its controls reach plus a margin.
  for (const View& v : views_) {
    if (v.toolbar && v.def->at.y >= 0 && v.def->at.h > 0) {
      strip_units_ = std::max(strip_units_, v.def->at.y + v.def->at.h + 2);
    }
  }
  if (strip_units_ > 0) {
    auto* strip = new QFrame(client_);
    strip->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
    strip->setGeometry(0, 0, client_->width(), units_.ToPixelsY(strip_units_));
    strip->lower();
    strip_ = strip;
  }
}

// A toolbar button on a strip: flat, its icon only, and it takes no focus.
QWidget* WindowMirror::MakeStripButton(View& v) {
  auto* b = new QToolButton(client_);
  b->setAutoRaise(true);
  b->setFocusPolicy(Qt::NoFocus);
  b->setProperty(kToolbarProperty, true);
  connect(b, &QToolButton::clicked, this, [this, id = v.def->id] {
    if (!syncing_) Post(EVENT_Accepted, id);
  });
  return b;
}

void WindowMirror::BuildStatusBar(QStatusBar* bar) {
  const std::vector<int>& widths = window_->def().status_zones;
  if (widths.empty()) return;
  bar->setFont(font_);
  for (int w : widths) {
    auto* label = new QLabel(bar);
    label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    label->setFont(font_);
    label->setTextFormat(Qt::PlainText);
    if (w >= 0) label->setFixedWidth(units_.ToPixelsX(w));
    bar->addWidget(label, w < 0 ? 1 : 0);
    zones_.push_back(label);
  }
}

int WindowMirror::ChromeExtraHeight() const {
  if (!chrome_) return 0;
  int h = 0;
  if (QWidget* m = chrome_->menuWidget()) h += m->sizeHint().height();
  if (!window_->def().status_zones.empty()) h += chrome_->statusBar()->sizeHint().height();
  return h;
}

// ---------------------------------------------------------------- syncing

void WindowMirror::SyncFrameParts() {
  for (auto& [id, action] : menu_actions_) {
    if (!action) continue;
    const bool enabled = window_->MenuEnabled(id);
    if (action->isEnabled() != enabled) action->setEnabled(enabled);
    const bool visible = !window_->MenuHidden(id);
    if (action->isVisible() != visible) action->setVisible(visible);
    if (const Window::MenuText* t = window_->FindMenuText(id)) {
      QString text = t->file_name ? QString::fromStdString(t->text) : FromCp1252(t->text);
      // A file name's ampersands are its own, not mnemonics.
      if (t->file_name) text.replace(QLatin1Char('&'), QLatin1String("&&"));
      if (action->text() != text) action->setText(text);
    }
    if (action->isCheckable() && action->isChecked() != window_->MenuChecked(id)) {
      action->setChecked(window_->MenuChecked(id));
    }
  }
  for (size_t i = 0; i < zones_.size(); ++i) {
    if (!zones_[i]) continue;
    const QString text = FromCp1252(window_->Status(static_cast<int>(i) + 1));
    if (zones_[i]->text() != text) zones_[i]->setText(text);
  }
}

// ---------------------------------------------------------------- status texts

QMenuBar* WindowMirror::MenuBar() const {
  if (frame_) return frame_->menuBar();
  if (!chrome_ || !window_ || window_->def().menus.empty()) return nullptr;
  if (merged_menus_) {
    WindowMirror* frame = backend_.FrameMirror();
    return frame && frame->frame_window() ? frame->frame_window()->menuBar() : nullptr;
  }
  return chrome_->menuBar();
}

void WindowMirror::SetZoneOne(const QString& text) {
  if (!window_ || zones_.empty()) return;
  const std::string bytes = ToCp1252(text);
  if (window_->Status(1) != bytes) window_->SetStatus(1, bytes);
}

void WindowMirror::ShowMenuStatus(QAction* a) {
  SetZoneOne(a ? a->property(kMessageProperty).toString() : QString());
  menu_status_ = true;
}

void WindowMirror::MenuMayHaveClosed() {
  QTimer::singleShot(0, this, [this] {
    QMenuBar* bar = MenuBar();
    if (!menu_status_ || !bar) return;
    // The item highlighted now, in the menu still open or on the bar.
    QAction* highlighted = nullptr;
    if (auto* open = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
      highlighted = open->activeAction();
    } else {
      highlighted = bar->activeAction();
    }
    if (highlighted) {
      ShowMenuStatus(highlighted);
    } else {
      SetZoneOne(QString());
      menu_status_ = false;
    }
  });
}

void WindowMirror::TrackHover(QObject* watched, QEvent* event) {
  if (QMenuBar* bar = MenuBar(); bar && watched == bar) {
    switch (event->type()) {
      case QEvent::FocusOut:
      case QEvent::Leave:
      case QEvent::KeyRelease:
      case QEvent::MouseButtonRelease:
        MenuMayHaveClosed();
        break;
      default:
        break;
    }
    return;
  }
  if (!watched->property(kToolbarProperty).isValid()) return;
  if (event->type() == QEvent::Enter) {
    SetZoneOne(static_cast<QWidget*>(watched)->toolTip());
    menu_status_ = false;
  } else if (event->type() == QEvent::Leave) {
    SetZoneOne(QString());
  }
}

}  // namespace mirabo::ui::qt
