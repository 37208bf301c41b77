// The kinds of control: for each, the widget the mirror makes for it and how
// that widget follows the model, and the controls created and removed while
// the window is open.  Every handler of a widget's signal checks syncing_, so
// what Sync does to a widget is never taken for the user.  One file for
// every kind: they share those syncing rules and the widget helpers.
#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColor>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QToolButton>
#include <algorithm>
#include <charconv>
#include <map>
#include <set>
#include <vector>

#include "runtime/picture.h"
#include "runtime/text.h"
#include "ui/qt/client_area.h"
#include "ui/qt/icons.h"
#include "ui/qt/image_control.h"
#include "ui/qt/list_box.h"
#include "ui/qt/qt_text.h"
#include "ui/qt/spin_field.h"
#include "ui/qt/window_mirror.h"
#include "ui/qt/window_mirror_view.h"

namespace mirabo::ui::qt {

namespace {

// What an entry or string shows for a value: string pictures show the text
// without its blank padding, the others their formatted value.  A blank
// value shows nothing, also under a number's picture: an empty numeric
// locator is empty to type into, not a 0 to type around.
std::string ShownValue(const std::string& picture, const std::string& value) {
  if (Clip(value).empty()) return {};
  if (!picture.empty()) {
    const Picture p = Picture::Compile(picture);
    if (p.valid() && p.kind() != PictureKind::kString && p.kind() != PictureKind::kKeyIn) {
      return std::string(Clip(TrimLeft(p.FormatString(value))));
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

// ---------------------------------------------------------------- every kind

QWidget* WindowMirror::MakeControl(View& v, QWidget* parent) {
  switch (v.def->kind) {
    case ControlKind::kButton:
      return MakeButton(v, parent);
    case ControlKind::kPrompt:
      return MakePrompt(parent);
    case ControlKind::kString:
      return MakeString(v, parent);
    case ControlKind::kEntry:
      return MakeEntry(v, parent);
    case ControlKind::kOption:
      return MakeOption(v, parent);
    case ControlKind::kRadio:
      return MakeRadio(v, parent);
    case ControlKind::kCheck:
      return MakeCheck(v, parent);
    case ControlKind::kSheet:
      return MakeSheet(v, parent);
    case ControlKind::kTab:
      MakeTab(v);
      return nullptr;  // a page of the sheet; its controls sit on the window
    case ControlKind::kList:
      return MakeList(v, parent);
    case ControlKind::kProgress:
      return MakeProgress(parent);
    case ControlKind::kImage:
      return MakeImage(parent);
    case ControlKind::kSpin:
      return MakeSpin(v, parent);
    case ControlKind::kBox:
      return MakeBox(parent);
    case ControlKind::kLine:
      return MakeLine(v, parent);
    case ControlKind::kGroup:
      return MakeGroup(parent);
  }
  return nullptr;
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

void WindowMirror::SyncControl(View& v) {
  const Control& c = *v.model;
  const ControlKind kind = v.def->kind;
  if (kind == ControlKind::kTab) {
    SyncTab(v);
    return;
  }
  QWidget* w = v.widget;
  if (!w) return;
  const bool text_changed = v.first || c.text != v.text;
  const bool icon_changed = v.first || c.icon != v.icon;
  if (v.first || c.tooltip != v.tooltip) w->setToolTip(FromCp1252(c.tooltip));

  switch (kind) {
    case ControlKind::kButton:
      SyncButton(v, text_changed, icon_changed);
      break;
    case ControlKind::kPrompt:
      SyncPrompt(v, text_changed);
      break;
    case ControlKind::kString:
      SyncString(v, text_changed);
      break;
    case ControlKind::kEntry:
      SyncEntry(v);
      break;
    case ControlKind::kOption:
      SyncOption(v, text_changed);
      break;
    case ControlKind::kRadio:
    case ControlKind::kCheck:
      SyncRadioOrCheck(v, text_changed);
      break;
    case ControlKind::kSheet:
      SyncSheet(v);
      break;
    case ControlKind::kList:
      SyncList(v);
      break;
    case ControlKind::kProgress:
      SyncProgress(v);
      break;
    case ControlKind::kImage:
      SyncImage(v);
      break;
    case ControlKind::kSpin:
      SyncSpin(v);
      break;
    case ControlKind::kGroup:
      SyncGroup(v, text_changed);
      break;
    case ControlKind::kBox:
      SyncBox(v);
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

// ---------------------------------------------------------------- controls created and removed

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

// ---------------------------------------------------------------- buttons

QWidget* WindowMirror::MakeButton(View& v, QWidget* parent) {
  const ControlDef& d = *v.def;
  const int id = d.id;
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

void WindowMirror::SyncButton(View& v, bool text_changed, bool icon_changed) {
  const Control& c = *v.model;
  QWidget* w = v.widget;
  auto* b = static_cast<QAbstractButton*>(w);
  if (v.toolbar) {
    auto* tb = static_cast<QToolButton*>(w);
    if (icon_changed || text_changed) {
      const QIcon icon = IconFor(c.icon);
      tb->setIcon(icon);
      tb->setText(FromCp1252(c.text));
      tb->setToolButtonStyle(icon.isNull() ? Qt::ToolButtonTextOnly : Qt::ToolButtonIconOnly);
    }
    return;
  }
  if (text_changed) b->setText(FromCp1252(c.text));
  if (icon_changed) b->setIcon(IconFor(c.icon));
}

// ---------------------------------------------------------------- prompts and strings

QWidget* WindowMirror::MakePrompt(QWidget* parent) {
  auto* l = new QLabel(parent);
  l->setTextFormat(Qt::PlainText);
  return l;
}

void WindowMirror::SyncPrompt(View& v, bool text_changed) {
  if (text_changed) static_cast<QLabel*>(v.widget.data())->setText(FromCp1252(v.model->text));
}

QWidget* WindowMirror::MakeString(View& v, QWidget* parent) {
  auto* l = new QLabel(parent);
  l->setTextFormat(Qt::PlainText);
  l->setAlignment((v.def->centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
  return l;
}

void WindowMirror::SyncString(View& v, bool text_changed) {
  const Control& c = *v.model;
  if (text_changed || v.first || c.value != v.value) {
    const std::string shown = c.value.empty() ? c.text : ShownValue(v.def->picture, c.value);
    static_cast<QLabel*>(v.widget.data())->setText(FromCp1252(shown));
  }
  v.value = c.value;
}

// ---------------------------------------------------------------- entries

QWidget* WindowMirror::MakeEntry(View& v, QWidget* parent) {
  const int id = v.def->id;
  auto* e = new QLineEdit(parent);
  e->setProperty(kLocatorProperty, v.def->locator);
  const Picture p = Picture::Compile(v.def->picture);
  if (p.valid() && p.width() > 0) e->setMaxLength(p.width());
  connect(e, &QLineEdit::returnPressed, this, [this, id, e] { CommitEntry(id, e); });
  return e;
}

void WindowMirror::SyncEntry(View& v) {
  const Control& c = *v.model;
  // Only a new model value replaces the text: what the user is typing
  // stays until the model itself changes.
  if (v.first || c.value != v.value) {
    auto* e = static_cast<QLineEdit*>(v.widget.data());
    const QString shown = v.def->file_name ? QString::fromUtf8(std::string(Clip(c.value)).c_str())
                                           : FromCp1252(ShownValue(v.def->picture, c.value));
    if (e->text() != shown) e->setText(shown);
    v.value = c.value;
  }
}

// ---------------------------------------------------------------- options, radios, checks

// A group's frame (and an option's) is drawn around controls that sit on
// the window beside it: it never takes the mouse from them, whichever came
// first in the definition, so every control answers where it is drawn.
static QWidget* Frame(QWidget* w) {
  w->setAttribute(Qt::WA_TransparentForMouseEvents);
  return w;
}

QWidget* WindowMirror::MakeOption(View& v, QWidget* parent) {
  QWidget* w = Frame(v.def->text.empty() ? new QWidget(parent) : new QGroupBox(parent));
  v.group = new QButtonGroup(w);
  v.group->setExclusive(true);
  return w;
}

void WindowMirror::SyncOption(View& v, bool text_changed) {
  const Control& c = *v.model;
  if (auto* box = qobject_cast<QGroupBox*>(v.widget.data()); box && text_changed) {
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
}

QWidget* WindowMirror::MakeRadio(View& v, QWidget* parent) {
  const ControlDef& d = *v.def;
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

QWidget* WindowMirror::MakeCheck(View& v, QWidget* parent) {
  const int id = v.def->id;
  auto* c = new QCheckBox(parent);
  connect(c, &QCheckBox::clicked, this, [this, id](bool on) {
    if (syncing_ || !window_) return;
    window_->SetValue(id, on ? "1" : "0");
    Post(EVENT_Accepted, id);
  });
  return c;
}

void WindowMirror::SyncRadioOrCheck(View& v, bool text_changed) {
  const Control& c = *v.model;
  auto* b = static_cast<QAbstractButton*>(v.widget.data());
  if (text_changed) b->setText(FromCp1252(c.text));
  if (v.def->kind == ControlKind::kCheck && (v.first || c.value != v.value)) {
    const std::string val(Clip(c.value));
    b->setChecked(!val.empty() && val != "0");
    v.value = c.value;
  }
}

// ---------------------------------------------------------------- sheets and tabs

QWidget* WindowMirror::MakeSheet(View& v, QWidget* parent) {
  const int id = v.def->id;
  auto* t = new QTabWidget(parent);
  t->setUsesScrollButtons(true);
  for (const ControlDef& tab : v.def->children) {
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

void WindowMirror::SyncSheet(View& v) {
  const Control& c = *v.model;
  auto* t = static_cast<QTabWidget*>(v.widget.data());
  if ((v.first || c.choice != v.choice) && c.choice >= 1 && c.choice <= t->count()) {
    t->setCurrentIndex(c.choice - 1);
  }
  v.choice = c.choice;
}

void WindowMirror::MakeTab(View& v) {
  if (v.parent < 0) return;
  View& sheet = views_[static_cast<size_t>(v.parent)];
  int n = 0;
  for (const ControlDef& c : sheet.def->children) {
    if (&c == v.def) break;
    if (c.kind == ControlKind::kTab) ++n;
  }
  v.tab_index = n;
  v.sheet = sheet.sheet;
}

void WindowMirror::SyncTab(View& v) {
  const Control& c = *v.model;
  if (!v.sheet || v.tab_index < 0) return;
  if (v.first || c.hidden != v.hidden) v.sheet->setTabVisible(v.tab_index, !c.hidden);
  if (v.first || c.disabled != v.disabled) v.sheet->setTabEnabled(v.tab_index, !c.disabled);
  if (v.first || c.text != v.text) v.sheet->setTabText(v.tab_index, FromCp1252(c.text));
  if (v.first || c.tooltip != v.tooltip) v.sheet->setTabToolTip(v.tab_index, FromCp1252(c.tooltip));
  v.hidden = c.hidden;
  v.disabled = c.disabled;
  v.text = c.text;
  v.tooltip = c.tooltip;
  v.first = false;
}

// ---------------------------------------------------------------- lists

QWidget* WindowMirror::MakeList(View& v, QWidget* parent) {
  auto* l = new ListBox(*this, v.def->id, v.def->format, units_, font_, parent);
  v.list = l;
  return l;
}

void WindowMirror::SyncList(View& v) {
  if (v.list) v.list->Sync(*v.model);
}

// ---------------------------------------------------------------- progress bars

QWidget* WindowMirror::MakeProgress(QWidget* parent) {
  auto* p = new QProgressBar(parent);
  p->setTextVisible(false);
  return p;
}

void WindowMirror::SyncProgress(View& v) {
  const Control& c = *v.model;
  auto* p = static_cast<QProgressBar*>(v.widget.data());
  if (v.first || c.low != v.low || c.high != v.high) p->setRange(c.low, std::max(c.low, c.high));
  const int value = std::clamp(IntValue(c.value, c.low), p->minimum(), p->maximum());
  if (p->value() != value) p->setValue(value);
  v.low = c.low;
  v.high = c.high;
}

// ---------------------------------------------------------------- images

QWidget* WindowMirror::MakeImage(QWidget* parent) { return new ImageControl(parent); }

void WindowMirror::SyncImage(View& v) {
  const Control& c = *v.model;
  const QSize drawn(c.drawn_w > 0 ? units_.ToPixelsX(c.drawn_w) : 0,
                    c.drawn_h > 0 ? units_.ToPixelsY(c.drawn_h) : 0);
  static_cast<ImageControl*>(v.widget.data())
      ->Show(c.icon, drawn, c.hscrollbar, c.scrollbar, c.fill, c.cursor);
}

// ---------------------------------------------------------------- spin fields

QWidget* WindowMirror::MakeSpin(View& v, QWidget* parent) {
  const int id = v.def->id;
  const Picture p = Picture::Compile(v.def->picture);
  auto* s = new SpinField(p.valid() ? p.width() : 0, parent);
  // An arrow step is a new selection; a completed entry is checked against
  // the range by the model.
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

void WindowMirror::SyncSpin(View& v) {
  const Control& c = *v.model;
  auto* s = static_cast<SpinField*>(v.widget.data());
  if (v.first || c.low != v.low || c.high != v.high) s->SetRange(c.low, c.high);
  if (v.first || c.value != v.value) {
    s->ShowValue(IntValue(c.value, c.low));
    v.value = c.value;
  }
  v.low = c.low;
  v.high = c.high;
}

// ---------------------------------------------------------------- boxes, lines, groups

QWidget* WindowMirror::MakeBox(QWidget* parent) {
  auto* f = new QFrame(parent);
  f->setFrameStyle(QFrame::Box | QFrame::Plain);
  f->setAttribute(Qt::WA_TransparentForMouseEvents);
  return f;
}

void WindowMirror::SyncBox(View& v) {
  const Control& c = *v.model;
  if (!v.first && c.fill == v.fill && c.outline == v.outline) return;
  QWidget* w = v.widget;
  QPalette pal = w->palette();
  if (c.outline != kDefaultColour) pal.setColor(QPalette::WindowText, QColor::fromRgb(c.outline));
  if (c.fill != kDefaultColour) pal.setColor(QPalette::Window, QColor::fromRgb(c.fill));
  w->setPalette(pal);
  w->setAutoFillBackground(c.fill != kDefaultColour);
  v.fill = c.fill;
  v.outline = c.outline;
}

QWidget* WindowMirror::MakeLine(View& v, QWidget* parent) {
  auto* f = new QFrame(parent);
  const bool vertical = v.def->at.h > v.def->at.w;
  f->setFrameStyle((vertical ? QFrame::VLine : QFrame::HLine) | QFrame::Sunken);
  f->setAttribute(Qt::WA_TransparentForMouseEvents);
  return f;
}

QWidget* WindowMirror::MakeGroup(QWidget* parent) { return Frame(new QGroupBox(parent)); }

void WindowMirror::SyncGroup(View& v, bool text_changed) {
  if (text_changed) static_cast<QGroupBox*>(v.widget.data())->setTitle(FromCp1252(v.model->text));
}

}  // namespace mirabo::ui::qt
