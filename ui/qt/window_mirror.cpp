#include "ui/qt/window_mirror.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTableView>
#include <algorithm>
#include <functional>
#include <map>

#include "ui/qt/client_area.h"
#include "ui/qt/icons.h"
#include "ui/qt/list_box.h"
#include "ui/qt/qt_backend.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/window_mirror_view.h"

namespace mirabo::ui::qt {

WindowMirror::WindowMirror(QtBackend& backend, Window& w)
    : backend_(backend), window_(&w), font_(WindowFont(w.def().font, w.def().font_size)) {
  units_ = MeasureDialogUnits(font_);
  opened_geometry_ = w.geometry();
}

WindowMirror::~WindowMirror() {
  if (top_) Detach();
}

QWidget* WindowMirror::top() const { return top_; }

QWidget* WindowMirror::client() const { return client_; }

QWidget* WindowMirror::ControlWidget(int id) const {
  auto it = by_id_.find(id);
  if (it == by_id_.end()) return nullptr;
  const View& v = views_[it->second];
  if (v.list) return v.list->view();
  return v.widget;
}

QAction* WindowMirror::MenuAction(int id) const {
  auto it = menu_actions_.find(id);
  return it == menu_actions_.end() ? nullptr : it->second.data();
}

QAbstractButton* WindowMirror::ToolbarButton(int id) const {
  auto it = by_id_.find(id);
  if (it == by_id_.end() || !views_[it->second].toolbar) return nullptr;
  return qobject_cast<QAbstractButton*>(views_[it->second].widget.data());
}

QLabel* WindowMirror::StatusZone(int zone) const {
  if (zone < 1 || static_cast<size_t>(zone) > zones_.size()) return nullptr;
  return zones_[static_cast<size_t>(zone - 1)];
}

void WindowMirror::Post(int code, int control, int key) {
  if (window_ && window_->is_open()) window_->Post(code, control, key);
}

// ---------------------------------------------------------------- building

void WindowMirror::Build() {
  const WindowDef& def = window_->def();
  // The views follow the definition: toolbar first, then the controls, each
  // followed by its children.  Controls created at run time come later
  // (SyncStructure); defined ones removed already have no view.
  std::map<const ControlDef*, Control*> model_of;
  for (const auto& c : window_->controls()) model_of[c->def] = c.get();
  std::function<void(const std::vector<ControlDef>&, int, bool)> walk =
      [&](const std::vector<ControlDef>& defs, int parent, bool toolbar) {
        for (const ControlDef& d : defs) {
          auto found = model_of.find(&d);
          if (found == model_of.end()) continue;
          View v;
          v.model = found->second;
          v.serial = v.model->serial;
          v.def = &d;
          v.parent = parent;
          v.toolbar = toolbar;
          const int me = static_cast<int>(views_.size());
          views_.push_back(std::move(v));
          if (d.id != 0) by_id_[d.id] = static_cast<size_t>(me);
          walk(d.children, me, toolbar);
        }
      };
  walk(def.toolbar, -1, true);
  walk(def.controls, -1, false);

  if (def.flags & kMdiFrame) {
    BuildFrame();
  } else {
    BuildClientWindow();
  }
  opened_ = true;
}

void WindowMirror::BuildClientWindow() {
  const WindowDef& def = window_->def();
  const bool no_caption = (def.flags & kNoCaption) != 0;
  auto* client = new ClientArea(*this, no_caption);
  client->setFont(font_);
  client->setAutoFillBackground(true);
  client_ = client;
  WindowMirror* frame = backend_.FrameMirror();
  QMdiArea* area = frame ? frame->area() : nullptr;
  const bool child = (def.flags & kMdiChild) && area;
  // What goes into the subwindow or becomes the window: the client, or the
  // client wearing menus and a status bar.  A child's menus go to the
  // frame's bar.
  QWidget* content = client;
  if (!def.menus.empty() || !def.status_zones.empty()) {
    auto* chrome = new QMainWindow(nullptr, Qt::Widget);
    chrome->setFont(font_);
    chrome->setCentralWidget(client);
    chrome_ = chrome;
    if (!def.menus.empty()) {
      BuildMenus(chrome);
      merged_menus_ = child;
      if (!child) AttachMenuBar(chrome->menuBar());
    }
    if (!def.status_zones.empty()) BuildStatusBar(chrome->statusBar());
    content = chrome;
  }
  if (child) {
    auto* sub = new QMdiSubWindow;
    Qt::WindowFlags f = Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                        Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint;
    if (def.flags & kMaximizeBox) f |= Qt::WindowMaximizeButtonHint;
    sub->setWindowFlags(f);
    sub->setWidget(content);
    sub->setFont(font_);
    sub->setWindowIcon(IconFor(def.icon.empty() ? frame->window()->def().icon : def.icon));
    area->addSubWindow(sub);
    sub->hide();
    sub_ = sub;
    top_ = sub;
  } else {
    QWidget* parent = frame ? frame->top() : nullptr;
    Qt::WindowFlags f = Qt::Window;
    if (no_caption) {
      f = Qt::Tool | Qt::FramelessWindowHint;
    } else if (def.flags & kModal) {
      f = Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    } else if (def.flags & kToolWindow) {
      f = Qt::Tool;
    }
    content->setParent(parent, f);
    if (def.flags & kModal) content->setWindowModality(Qt::ApplicationModal);
    if (!def.icon.empty()) content->setWindowIcon(IconFor(def.icon));
    top_ = content;
  }
  top_->setWindowTitle(FromCp1252(window_->title()));
  top_->installEventFilter(this);

  const Geometry& g = window_->geometry();
  client->resize(units_.ToPixelsX(g.width), units_.ToPixelsY(g.height));
  BuildControls();
  LayOut();
  // The procedure reads the visible rows while it handles EVENT_OpenWindow,
  // before anything is shown: measure them from the places just given.
  for (View& v : views_) {
    if (v.list) window_->SetVisibleRows(v.def->id, v.list->RowsFitting(v.list->height()));
  }
  InstallAlertFilter();
}

void WindowMirror::BuildControls() {
  BuildToolbarStrip();
  for (View& v : views_) BuildControl(v);
  // A prompt's mnemonic goes to the control after it.
  for (size_t i = 0; i < views_.size(); ++i) {
    auto* label = qobject_cast<QLabel*>(views_[i].widget.data());
    if (!label || views_[i].def->kind != ControlKind::kPrompt) continue;
    for (size_t j = i + 1; j < views_.size(); ++j) {
      const ControlKind k = views_[j].def->kind;
      if (!views_[j].widget || k == ControlKind::kPrompt || k == ControlKind::kString ||
          k == ControlKind::kBox || k == ControlKind::kLine || k == ControlKind::kGroup) {
        continue;
      }
      label->setBuddy(views_[j].list ? views_[j].list->view() : views_[j].widget.data());
      break;
    }
  }
}

void WindowMirror::BuildControl(View& v) {
  QWidget* w = v.toolbar && v.def->kind == ControlKind::kButton ? MakeStripButton(v)
                                                                : MakeControl(v, client_);
  if (!w) return;
  v.widget = w;
  w->setProperty(kControlProperty, v.def->id);
  w->setFont(font_);
  // A control without a size takes what its text needs.
  const QString text = FromCp1252(v.def->text);
  if (auto* b = qobject_cast<QAbstractButton*>(w)) b->setText(text);
  if (auto* l = qobject_cast<QLabel*>(w)) l->setText(text);
  if (auto* g = qobject_cast<QGroupBox*>(w)) g->setTitle(text);
  v.at = v.model->at;
  v.designed = PlaceOf(v);
  w->setGeometry(v.designed);
}

// ---------------------------------------------------------------- syncing

void WindowMirror::Sync() {
  if (!window_ || !top_) return;
  if (shown_ && window_->version() == synced_version_) return;
  synced_version_ = window_->version();
  syncing_ = true;
  if (!title_applied_ || window_->title() != applied_title_) {
    top_->setWindowTitle(FromCp1252(window_->title()));
    applied_title_ = window_->title();
    title_applied_ = true;
  }
  if (frame_ || chrome_) SyncFrameParts();
  SyncStructure();
  SyncControls();
  const int min_w = window_->min_width(), min_h = window_->min_height();
  if (min_w != min_w_applied_ || min_h != min_h_applied_) {
    QWidget* target = frame_ ? top_.data() : client_.data();
    if (target && window_->resizable()) {
      target->setMinimumSize(units_.ToPixelsX(std::max(0, min_w)),
                             units_.ToPixelsY(std::max(0, min_h)));
    }
    min_w_applied_ = min_w;
    min_h_applied_ = min_h;
  }
  const bool first = !shown_;
  ApplyGeometry();
  shown_ = true;
  if (first) {
    if (sub_) {
      if (WindowMirror* frame = backend_.FrameMirror(); frame && frame->area()) {
        frame->area()->setActiveSubWindow(sub_);
        // The frame's focus comes along at once.  Left in the window that
        // was in front (the lookup whose report opens this one), it would
        // bring that window back over this one whenever the frame is
        // activated again, as when a progress window before this one closes.
        QWidget* focus = frame->top() ? frame->top()->focusWidget() : nullptr;
        if (client_ && !(focus && sub_->isAncestorOf(focus))) {
          client_->setFocus(Qt::OtherFocusReason);
        }
      }
    } else if (!(window_->def().flags & kNoCaption)) {
      top_->raise();
      top_->activateWindow();
    }
  }
  syncing_ = false;
  ApplyFocus();
}

void WindowMirror::ApplyFocus() {
  if (!window_ || !shown_) return;
  const int want = window_->focus();
  const Control* c = want != 0 ? window_->Find(want) : nullptr;
  if (!c || (want == applied_focus_ && c->serial == applied_focus_serial_)) return;
  // A window in the background keeps its wish until it is activated:
  // focusing into it now would bring it to the front.
  if (sub_) {
    WindowMirror* frame = backend_.FrameMirror();
    if (!frame || !frame->area() || frame->area()->currentSubWindow() != sub_) return;
  }
  QWidget* w = ControlWidget(want);
  if (!w) return;
  applied_focus_ = want;
  applied_focus_serial_ = c->serial;
  syncing_ = true;
  w->setFocus(Qt::OtherFocusReason);
  syncing_ = false;
}

void WindowMirror::EndOfRun() {
  for (View& v : views_) {
    if (v.list) v.list->EndOfRun();
  }
}

void WindowMirror::Detach() {
  window_ = nullptr;
  QWidget* t = top_;
  if (!t) return;
  t->removeEventFilter(this);
  t->hide();
  if (sub_) {
    if (auto* area = qobject_cast<QMdiArea*>(sub_->mdiArea())) area->removeSubWindow(sub_);
  }
  // Deleted from the event loop: the window may be closing from inside one
  // of its own widgets' handlers.
  t->deleteLater();
  top_ = nullptr;
}

}  // namespace mirabo::ui::qt
