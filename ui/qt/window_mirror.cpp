#include "ui/qt/window_mirror.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <algorithm>
#include <charconv>
#include <functional>

#include "runtime/picture.h"
#include "runtime/text.h"
#include "ui/qt/child_arrangement.h"
#include "ui/qt/control_layout.h"
#include "ui/qt/icons.h"
#include "ui/qt/image_control.h"
#include "ui/qt/list_box.h"
#include "ui/qt/qt_backend.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/spin_field.h"

namespace mirabo::ui::qt {

namespace {

constexpr char kControlProperty[] = "mirabo_control";
constexpr char kToolbarProperty[] = "mirabo_toolbar";
constexpr char kMessageProperty[] = "mirabo_msg";
constexpr char kDefaultButtonProperty[] = "mirabo_default";
constexpr char kCancelButtonProperty[] = "mirabo_cancel";

bool SameGeometry(const Geometry& a, const Geometry& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height &&
         a.maximized == b.maximized && a.minimized == b.minimized;
}

QString WithoutMnemonics(QString s) {
  s.remove(QLatin1Char('&'));
  return s.trimmed();
}

// What an entry or string shows for a value: string pictures show the text
// without its blank padding, the others their formatted value.
std::string ShownValue(const std::string& picture, const std::string& value) {
  if (!picture.empty()) {
    const Picture p = Picture::Compile(picture);
    if (p.valid() && p.kind() != PictureKind::kString && p.kind() != PictureKind::kKeyIn) {
      const std::string s = p.FormatString(value);
      const size_t first = s.find_first_not_of(' ');
      return first == std::string::npos ? std::string() : std::string(Clip(s.substr(first)));
    }
  }
  return std::string(Clip(value));
}

int IntValue(const std::string& text, int fallback) {
  const char* b = text.data();
  const char* e = b + text.size();
  while (b < e && *b == ' ') ++b;
  int v = fallback;
  if (std::from_chars(b, e, v).ec != std::errc()) return fallback;
  return v;
}

// The value a radio button gives its option: its own value, else its text.
std::string RadioValue(const ControlDef& d) {
  if (!d.value.empty()) return d.value;
  std::string t;
  for (char c : d.text) {
    if (c != '&') t += c;
  }
  return t;
}

}  // namespace

// The surface that holds a window's controls at their places.
class ClientArea : public QWidget {
 public:
  ClientArea(WindowMirror& mirror, bool border) : mirror_(&mirror), border_(border) {}

  void SetDesiredSize(QSize s) {
    if (s == desired_) return;
    desired_ = s;
    updateGeometry();
  }
  QSize sizeHint() const override { return desired_.isValid() ? desired_ : QWidget::sizeHint(); }

 protected:
  void resizeEvent(QResizeEvent* e) override {
    QWidget::resizeEvent(e);
    if (mirror_) mirror_->LayOut();
  }
  // A window that shows its default button acts as a dialog: Enter presses
  // that button and Escape the cancel button.  Enter in an entry completes
  // the entry and does no more: the user sees what it found before choosing.
  void keyPressEvent(QKeyEvent* e) override {
    const auto mods = e->modifiers() & ~Qt::KeypadModifier;
    const bool enter = e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter;
    const bool escape = e->key() == Qt::Key_Escape;
    QPushButton* const default_button = Showing(kDefaultButtonProperty);
    if (mods == Qt::NoModifier && default_button) {
      if (enter && !qobject_cast<QLineEdit*>(QApplication::focusWidget())) {
        default_button->click();
        return;
      }
      if (escape) {
        if (QPushButton* cancel = Showing(kCancelButtonProperty)) {
          cancel->click();
          return;
        }
      }
    }
    QWidget::keyPressEvent(e);
  }
  // The button marked with `property` when it shows and can be pressed.
  QPushButton* Showing(const char* property) const {
    for (QPushButton* b : findChildren<QPushButton*>()) {
      if (b->property(property).toBool() && b->isVisible() && b->isEnabled()) return b;
    }
    return nullptr;
  }
  // A window without a caption still needs an edge.
  void paintEvent(QPaintEvent* e) override {
    QWidget::paintEvent(e);
    if (!border_) return;
    QPainter p(this);
    p.setPen(palette().color(QPalette::Dark));
    p.drawRect(rect().adjusted(0, 0, -1, -1));
  }

 private:
  QPointer<WindowMirror> mirror_;
  bool border_;
  QSize desired_;
};

struct WindowMirror::View {
  Control* model = nullptr;
  uint64_t serial = 0;  // the model control's
  const ControlDef* def = nullptr;
  int parent = -1;  // the view it sits on (tab, group, option, sheet)
  bool toolbar = false;
  QPointer<QWidget> widget;
  QPointer<ListBox> list;
  QButtonGroup* group = nullptr;  // options: owned by the option's widget
  QPointer<QTabWidget> sheet;
  QPointer<QAction> toolbar_action;  // a toolbar shows and hides its widgets through these
  int tab_index = -1;                // tabs: place in the sheet
  QRect designed;                    // pixels
  // What was applied last, to leave unchanged widgets alone.
  bool first = true;
  std::string text, value, icon, tooltip;
  bool hidden = false, disabled = false;
  int choice = 0, low = 0, high = 0;
  Rect at;
  uint32_t fill = kDefaultColour, outline = kDefaultColour;
};

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
  BuildMenus(mw->menuBar());
  BuildToolbar();
  BuildStatusBar(mw->statusBar());
  const Geometry& g = window_->geometry();
  mw->resize(units_.ToPixelsX(g.width), units_.ToPixelsY(g.height));
  mw->installEventFilter(this);
}

void WindowMirror::BuildMenus(QMenuBar* bar) {
  connect(bar, &QMenuBar::hovered, this, [this](QAction* a) { ShowMenuStatus(a); });
  // A chosen item (on the bar or in any of its menus) has done its work.
  connect(bar, &QMenuBar::triggered, this, [this] {
    menu_status_ = false;
    SetZoneOne(QString());
  });
  // The bar gives no sign when it lets go of its highlighted item: look
  // whenever the user may have left it.
  bar->installEventFilter(this);
  for (const MenuItemDef& item : window_->def().menus) {
    const QString text = FromCp1252(item.text);
    if (item.items.empty()) {
      QAction* a = bar->addAction(text);
      a->setProperty(kMessageProperty, FromCp1252(item.msg));
      menu_actions_[item.id] = a;
      connect(a, &QAction::triggered, this, [this, id = item.id] { Post(EVENT_Accepted, id); });
      continue;
    }
    QMenu* menu = bar->addMenu(text);
    menu->setFont(font_);
    menu->menuAction()->setProperty(kMessageProperty, FromCp1252(item.msg));
    if (item.id != 0) menu_actions_[item.id] = menu->menuAction();
    AddMenuItems(menu, item.items);
    if (WithoutMnemonics(text).compare(QLatin1String("Window"), Qt::CaseInsensitive) == 0) {
      window_menu_ = menu;
      connect(menu, &QMenu::aboutToShow, this, [this, menu] { FillWindowList(menu); });
    }
  }
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

void WindowMirror::BuildClientWindow() {
  const WindowDef& def = window_->def();
  const bool no_caption = (def.flags & kNoCaption) != 0;
  auto* client = new ClientArea(*this, no_caption);
  client->setFont(font_);
  client->setAutoFillBackground(true);
  client_ = client;
  // What goes into the subwindow or becomes the window: the client, or the
  // client wearing menus and a status bar.
  QWidget* content = client;
  if (!def.menus.empty() || !def.status_zones.empty()) {
    auto* chrome = new QMainWindow(nullptr, Qt::Widget);
    chrome->setFont(font_);
    chrome->setCentralWidget(client);
    chrome_ = chrome;
    if (!def.menus.empty()) BuildMenus(chrome->menuBar());
    BuildStatusBar(chrome->statusBar());
    content = chrome;
  }
  WindowMirror* frame = backend_.FrameMirror();
  QMdiArea* area = frame ? frame->area() : nullptr;
  if ((def.flags & kMdiChild) && area) {
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

int WindowMirror::ChromeExtraHeight() const {
  if (!chrome_) return 0;
  int h = 0;
  if (QWidget* m = chrome_->menuWidget()) h += m->sizeHint().height();
  if (!window_->def().status_zones.empty()) h += chrome_->statusBar()->sizeHint().height();
  return h;
}

QWidget* WindowMirror::MakeControl(View& v, QWidget* parent) {
  const ControlDef& d = *v.def;
  const int id = d.id;
  switch (d.kind) {
    case ControlKind::kButton: {
      auto* b = new QPushButton(parent);
      b->setAutoDefault(false);
      b->setDefault(d.default_button);
      b->setProperty(kDefaultButtonProperty, d.default_button);
      b->setProperty(kCancelButtonProperty, d.cancel_button);
      connect(b, &QPushButton::clicked, this, [this, id] {
        if (!syncing_) Post(EVENT_Accepted, id);
      });
      return b;
    }
    case ControlKind::kPrompt: {
      auto* l = new QLabel(parent);
      l->setTextFormat(Qt::PlainText);
      return l;
    }
    case ControlKind::kString: {
      auto* l = new QLabel(parent);
      l->setTextFormat(Qt::PlainText);
      l->setAlignment((d.centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
      return l;
    }
    case ControlKind::kEntry: {
      auto* e = new QLineEdit(parent);
      const Picture p = Picture::Compile(d.picture);
      if (p.valid() && p.width() > 0) e->setMaxLength(p.width());
      connect(e, &QLineEdit::returnPressed, this, [this, id, e] { CommitEntry(id, e); });
      return e;
    }
    case ControlKind::kOption: {
      QWidget* w = d.text.empty() ? new QWidget(parent) : new QGroupBox(parent);
      v.group = new QButtonGroup(w);
      v.group->setExclusive(true);
      return w;
    }
    case ControlKind::kRadio: {
      auto* r = new QRadioButton(parent);
      if (v.parent >= 0 && views_[static_cast<size_t>(v.parent)].group) {
        views_[static_cast<size_t>(v.parent)].group->addButton(r);
        const int option = views_[static_cast<size_t>(v.parent)].def->id;
        connect(r, &QRadioButton::clicked, this, [this, option, value = RadioValue(d)] {
          if (syncing_ || !window_) return;
          window_->SetValue(option, value);
          Post(EVENT_Accepted, option);
        });
      }
      return r;
    }
    case ControlKind::kCheck: {
      auto* c = new QCheckBox(parent);
      connect(c, &QCheckBox::clicked, this, [this, id](bool on) {
        if (syncing_ || !window_) return;
        window_->SetValue(id, on ? "1" : "0");
        Post(EVENT_Accepted, id);
      });
      return c;
    }
    case ControlKind::kSheet: {
      auto* t = new QTabWidget(parent);
      t->setUsesScrollButtons(true);
      for (const ControlDef& tab : d.children) {
        if (tab.kind == ControlKind::kTab) t->addTab(new QWidget, FromCp1252(tab.text));
      }
      v.sheet = t;
      connect(t, &QTabWidget::currentChanged, this, [this, id](int index) {
        if (syncing_ || !window_ || index < 0) return;
        window_->SetChoice(id, index + 1);
        Post(EVENT_TabChanging, id);
        Post(EVENT_NewSelection, id);
      });
      return t;
    }
    case ControlKind::kTab: {
      if (v.parent >= 0) {
        View& sheet = views_[static_cast<size_t>(v.parent)];
        int n = 0;
        for (const ControlDef& c : sheet.def->children) {
          if (&c == &d) break;
          if (c.kind == ControlKind::kTab) ++n;
        }
        v.tab_index = n;
        v.sheet = sheet.sheet;
      }
      return nullptr;  // a page of the sheet; its controls sit on the window
    }
    case ControlKind::kList: {
      auto* l = new ListBox(*this, id, d.format, units_, font_, parent);
      v.list = l;
      return l;
    }
    case ControlKind::kProgress: {
      auto* p = new QProgressBar(parent);
      p->setTextVisible(false);
      return p;
    }
    case ControlKind::kImage:
      return new ImageControl(parent);
    case ControlKind::kSpin: {
      const Picture p = Picture::Compile(d.picture);
      auto* s = new SpinField(p.valid() ? p.width() : 0, parent);
      // An arrow step is a new selection; a completed entry is checked
      // against the range by the model.
      s->on_step = [this, id](int value) {
        if (syncing_ || !window_) return;
        const std::string text = std::to_string(value);
        if (auto it = by_id_.find(id); it != by_id_.end()) views_[it->second].value = text;
        window_->SetValue(id, text);
        Post(EVENT_NewSelection, id);
      };
      s->on_entered = [this, id](const QString& typed) {
        if (syncing_ || !window_) return;
        const std::string text = ToCp1252(typed);
        if (auto it = by_id_.find(id); it != by_id_.end()) views_[it->second].value = text;
        window_->EnterValue(id, text);
      };
      return s;
    }
    case ControlKind::kBox: {
      auto* f = new QFrame(parent);
      f->setFrameStyle(QFrame::Box | QFrame::Plain);
      f->setAttribute(Qt::WA_TransparentForMouseEvents);
      return f;
    }
    case ControlKind::kLine: {
      auto* f = new QFrame(parent);
      const bool vertical = d.at.h > d.at.w;
      f->setFrameStyle((vertical ? QFrame::VLine : QFrame::HLine) | QFrame::Sunken);
      f->setAttribute(Qt::WA_TransparentForMouseEvents);
      return f;
    }
    case ControlKind::kGroup:
      return new QGroupBox(parent);
  }
  return nullptr;
}

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

// ---------------------------------------------------------------- layout

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

void WindowMirror::ApplyGeometry() {
  QWidget* t = top_;
  if (!t || (window_->def().flags & kHidden)) return;
  Geometry g = window_->geometry();
  if (!shown_) {
    PlaceByDefault(g);
    window_->geometry() = g;  // the model learns where the window went
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

// ---------------------------------------------------------------- syncing

bool WindowMirror::EffectivelyHidden(const View& v) const {
  for (const View* p = &v; p;
       p = p->parent >= 0 ? &views_[static_cast<size_t>(p->parent)] : nullptr) {
    if (p->model->hidden) return true;
    if (p->def->kind == ControlKind::kTab && p->parent >= 0) {
      const View& sheet = views_[static_cast<size_t>(p->parent)];
      if (sheet.model->choice != p->tab_index + 1) return true;
    }
  }
  return false;
}

bool WindowMirror::EffectivelyDisabled(const View& v) const {
  for (const View* p = &v; p;
       p = p->parent >= 0 ? &views_[static_cast<size_t>(p->parent)] : nullptr) {
    if (p->model->disabled) return true;
  }
  return false;
}

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
  if (want == applied_focus_ || want == 0) return;
  // A window in the background keeps its wish until it is activated:
  // focusing into it now would bring it to the front.
  if (sub_) {
    WindowMirror* frame = backend_.FrameMirror();
    if (!frame || !frame->area() || frame->area()->currentSubWindow() != sub_) return;
  }
  QWidget* w = ControlWidget(want);
  if (!w) return;
  applied_focus_ = want;
  syncing_ = true;
  w->setFocus(Qt::OtherFocusReason);
  syncing_ = false;
}

void WindowMirror::FocusMovedTo(QWidget* widget) {
  if (!window_ || syncing_ || !widget) return;
  const int id = ControlIdOf(widget);
  if (id == 0) return;
  applied_focus_ = id;
  if (window_->focus() != id) window_->Select(id);
}

void WindowMirror::SyncFrameParts() {
  for (auto& [id, action] : menu_actions_) {
    if (!action) continue;
    const bool enabled = window_->MenuEnabled(id);
    if (action->isEnabled() != enabled) action->setEnabled(enabled);
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

void WindowMirror::SyncControls() {
  bool moved = false;
  for (View& v : views_) {
    const Rect& at = v.model->at;
    if (!v.first && v.widget &&
        (at.x != v.at.x || at.y != v.at.y || at.w != v.at.w || at.h != v.at.h)) {
      v.at = at;
      v.designed = PlaceOf(v);
      moved = true;
    }
    SyncControl(v);
  }
  if (moved) LayOut();
}

// Follows controls created and removed since the last sync.  Views keep the
// model's order; a removed control's widget goes at once (hidden, deleted by
// the event loop), and indices of the views that stay are renumbered.
void WindowMirror::SyncStructure() {
  const auto& controls = window_->controls();
  std::map<uint64_t, Control*> by_serial;
  for (const auto& c : controls) by_serial[c->serial] = c.get();
  bool removed = false;
  for (View& v : views_) {
    if (by_serial.count(v.serial)) continue;
    removed = true;
    v.model = nullptr;
    if (QWidget* w = v.widget) {
      w->hide();
      w->deleteLater();
    }
  }
  if (removed) {
    std::vector<int> new_index(views_.size(), -1);
    std::vector<View> kept;
    for (size_t i = 0; i < views_.size(); ++i) {
      if (!views_[i].model) continue;
      new_index[i] = static_cast<int>(kept.size());
      kept.push_back(std::move(views_[i]));
    }
    for (View& v : kept) {
      if (v.parent >= 0) v.parent = new_index[static_cast<size_t>(v.parent)];
    }
    views_ = std::move(kept);
  }
  std::set<uint64_t> have;
  for (const View& v : views_) have.insert(v.serial);
  const bool added = have.size() < controls.size();
  for (const auto& c : controls) {
    if (have.count(c->serial)) continue;
    View v;
    v.model = c.get();
    v.serial = c->serial;
    v.def = c->def;
    views_.push_back(std::move(v));
    View& nv = views_.back();
    BuildControl(nv);
    if (nv.widget) {
      InstallAlertFilterOn(nv.widget);
      nv.widget->show();
    }
  }
  if (removed || added) {
    by_id_.clear();
    for (size_t i = 0; i < views_.size(); ++i) {
      if (views_[i].def->id != 0) by_id_[views_[i].def->id] = i;
    }
  }
}

void WindowMirror::SyncControl(View& v) {
  const Control& c = *v.model;
  const ControlKind kind = v.def->kind;
  if (kind == ControlKind::kTab) {
    if (!v.sheet || v.tab_index < 0) return;
    if (v.first || c.hidden != v.hidden) v.sheet->setTabVisible(v.tab_index, !c.hidden);
    if (v.first || c.disabled != v.disabled) v.sheet->setTabEnabled(v.tab_index, !c.disabled);
    if (v.first || c.text != v.text) v.sheet->setTabText(v.tab_index, FromCp1252(c.text));
    if (v.first || c.tooltip != v.tooltip)
      v.sheet->setTabToolTip(v.tab_index, FromCp1252(c.tooltip));
    v.hidden = c.hidden;
    v.disabled = c.disabled;
    v.text = c.text;
    v.tooltip = c.tooltip;
    v.first = false;
    return;
  }
  QWidget* w = v.widget;
  if (!w) return;
  const bool text_changed = v.first || c.text != v.text;
  const bool icon_changed = v.first || c.icon != v.icon;
  if (v.first || c.tooltip != v.tooltip) w->setToolTip(FromCp1252(c.tooltip));

  switch (kind) {
    case ControlKind::kButton: {
      auto* b = static_cast<QAbstractButton*>(w);
      if (v.toolbar) {
        auto* tb = static_cast<QToolButton*>(w);
        if (icon_changed || text_changed) {
          const QIcon icon = IconFor(c.icon);
          tb->setIcon(icon);
          tb->setText(FromCp1252(c.text));
          tb->setToolButtonStyle(icon.isNull() ? Qt::ToolButtonTextOnly : Qt::ToolButtonIconOnly);
        }
        break;
      }
      if (text_changed) b->setText(FromCp1252(c.text));
      if (icon_changed) b->setIcon(IconFor(c.icon));
      break;
    }
    case ControlKind::kPrompt:
      if (text_changed) static_cast<QLabel*>(w)->setText(FromCp1252(c.text));
      break;
    case ControlKind::kString: {
      if (text_changed || v.first || c.value != v.value) {
        const std::string shown = c.value.empty() ? c.text : ShownValue(v.def->picture, c.value);
        static_cast<QLabel*>(w)->setText(FromCp1252(shown));
      }
      v.value = c.value;
      break;
    }
    case ControlKind::kEntry: {
      // Only a new model value replaces the text: what the user is typing
      // stays until the model itself changes.
      if (v.first || c.value != v.value) {
        auto* e = static_cast<QLineEdit*>(w);
        const QString shown = FromCp1252(ShownValue(v.def->picture, c.value));
        if (e->text() != shown) e->setText(shown);
        v.value = c.value;
      }
      break;
    }
    case ControlKind::kOption: {
      if (auto* box = qobject_cast<QGroupBox*>(w); box && text_changed) {
        box->setTitle(FromCp1252(c.text));
      }
      if ((v.first || c.value != v.value) && v.group) {
        QAbstractButton* match = nullptr;
        for (const View& other : views_) {
          if (other.parent >= 0 && &views_[static_cast<size_t>(other.parent)] == &v &&
              other.def->kind == ControlKind::kRadio && RadioValue(*other.def) == c.value) {
            match = qobject_cast<QAbstractButton*>(other.widget.data());
            break;
          }
        }
        if (match) {
          match->setChecked(true);
        } else if (QAbstractButton* checked = v.group->checkedButton()) {
          v.group->setExclusive(false);
          checked->setChecked(false);
          v.group->setExclusive(true);
        }
        v.value = c.value;
      }
      break;
    }
    case ControlKind::kRadio:
    case ControlKind::kCheck: {
      auto* b = static_cast<QAbstractButton*>(w);
      if (text_changed) b->setText(FromCp1252(c.text));
      if (kind == ControlKind::kCheck && (v.first || c.value != v.value)) {
        const std::string val(Clip(c.value));
        b->setChecked(!val.empty() && val != "0");
        v.value = c.value;
      }
      break;
    }
    case ControlKind::kSheet: {
      auto* t = static_cast<QTabWidget*>(w);
      if ((v.first || c.choice != v.choice) && c.choice >= 1 && c.choice <= t->count()) {
        t->setCurrentIndex(c.choice - 1);
      }
      v.choice = c.choice;
      break;
    }
    case ControlKind::kList:
      if (v.list) v.list->Sync(c);
      break;
    case ControlKind::kProgress: {
      auto* p = static_cast<QProgressBar*>(w);
      if (v.first || c.low != v.low || c.high != v.high)
        p->setRange(c.low, std::max(c.low, c.high));
      const int value = std::clamp(IntValue(c.value, c.low), p->minimum(), p->maximum());
      if (p->value() != value) p->setValue(value);
      v.low = c.low;
      v.high = c.high;
      break;
    }
    case ControlKind::kImage: {
      const QSize drawn(c.drawn_w > 0 ? units_.ToPixelsX(c.drawn_w) : 0,
                        c.drawn_h > 0 ? units_.ToPixelsY(c.drawn_h) : 0);
      static_cast<ImageControl*>(w)->Show(c.icon, drawn, c.hscrollbar, c.scrollbar, c.fill,
                                          c.cursor);
      break;
    }
    case ControlKind::kSpin: {
      auto* s = static_cast<SpinField*>(w);
      if (v.first || c.low != v.low || c.high != v.high) s->SetRange(c.low, c.high);
      if (v.first || c.value != v.value) {
        s->ShowValue(IntValue(c.value, c.low));
        v.value = c.value;
      }
      v.low = c.low;
      v.high = c.high;
      break;
    }
    case ControlKind::kGroup:
      if (text_changed) static_cast<QGroupBox*>(w)->setTitle(FromCp1252(c.text));
      break;
    case ControlKind::kBox:
      if (v.first || c.fill != v.fill || c.outline != v.outline) {
        QPalette pal = w->palette();
        if (c.outline != kDefaultColour)
          pal.setColor(QPalette::WindowText, QColor::fromRgb(c.outline));
        if (c.fill != kDefaultColour) pal.setColor(QPalette::Window, QColor::fromRgb(c.fill));
        w->setPalette(pal);
        w->setAutoFillBackground(c.fill != kDefaultColour);
        v.fill = c.fill;
        v.outline = c.outline;
      }
      break;
    case ControlKind::kLine:
    case ControlKind::kTab:
      break;
  }

  const bool hidden = v.toolbar ? c.hidden : EffectivelyHidden(v);
  const bool disabled = EffectivelyDisabled(v);
  if (v.first || hidden != v.hidden) {
    if (v.toolbar_action) {
      v.toolbar_action->setVisible(!hidden);
    } else {
      w->setVisible(!hidden);
    }
  }
  if (v.first || disabled != v.disabled) w->setEnabled(!disabled);
  v.hidden = hidden;
  v.disabled = disabled;
  v.text = c.text;
  v.icon = c.icon;
  v.tooltip = c.tooltip;
  v.first = false;
}

// ---------------------------------------------------------------- input

int WindowMirror::ControlIdOf(QObject* o) const {
  for (; o && o != client_.data() && o != top_.data(); o = o->parent()) {
    const QVariant id = o->property(kControlProperty);
    if (id.isValid()) return id.toInt();
  }
  return 0;
}

QMenuBar* WindowMirror::MenuBar() const {
  if (frame_) return frame_->menuBar();
  return chrome_ && window_ && !window_->def().menus.empty() ? chrome_->menuBar() : nullptr;
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

bool WindowMirror::AlertFilter(QObject* watched, QEvent* event) {
  const QEvent::Type type = event->type();
  if (type == QEvent::KeyPress) {
    // An alerted key goes to the procedure, not to the control with the focus.
    const int key = AlertKeyOf(*static_cast<QKeyEvent*>(event));
    if (key == 0 || !window_->Alerted(key)) return false;
    Post(EVENT_AlertKey, ControlIdOf(watched), key);
    return true;
  }
  if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick) return false;
  auto* me = static_cast<QMouseEvent*>(event);
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
  const std::string typed = ToCp1252(e->text());
  if (auto it = by_id_.find(id); it != by_id_.end()) views_[it->second].value = typed;
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
