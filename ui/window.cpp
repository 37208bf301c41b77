#include "ui/window.h"

#include <charconv>

#include "ui/scheduler.h"

namespace mirabo::ui {

bool AcceptAwaiter::await_ready() const noexcept { return false; }

void AcceptAwaiter::await_suspend(std::coroutine_handle<> h) {
  Scheduler::Get().WaitForEvent(window_, h);
}

Event AcceptAwaiter::await_resume() {
  Window& w = window_;
  if (w.closing_ || !w.open_ || w.queue_.empty()) {
    w.closing_ = true;
    return {};
  }
  Event e = w.queue_.front();
  w.queue_.pop_front();
  if (e.code == EVENT_Accepted) w.accepted_ = e.control;
  w.key_ = e.key;
  if (e.code == EVENT_CloseWindow || e.code == EVENT_CloseDown) w.closing_ = true;
  return e;
}

Window::Window(const WindowDef& def) : def_(&def), title_(def.title) {
  geometry_.x = def.x < 0 ? 0 : def.x;
  geometry_.y = def.y < 0 ? 0 : def.y;
  geometry_.width = def.width;
  geometry_.height = def.height;
  AddControls(def.toolbar, 0);
  AddControls(def.controls, 0);
  status_.resize(def.status_zones.size());
}

Window::~Window() {
  if (open_) Close();
}

Control* Window::AddControl(const ControlDef& d, int parent) {
  auto c = std::make_unique<Control>();
  c->def = &d;
  c->serial = next_serial_++;
  c->id = d.id;
  c->kind = d.kind;
  c->parent = parent;
  c->text = d.text;
  c->tooltip = d.help;
  c->icon = d.icon;
  c->hidden = d.hidden;
  c->disabled = d.disabled;
  c->low = d.low;
  c->high = d.high;
  c->at = d.at;
  c->fill = d.fill;
  c->outline = d.outline;
  Control* raw = c.get();
  controls_.push_back(std::move(c));
  if (d.id != 0) by_id_[d.id] = raw;
  AddControls(d.children, d.id);
  return raw;
}

void Window::AddControls(const std::vector<ControlDef>& defs, int parent) {
  for (const ControlDef& d : defs) AddControl(d, parent);
}

Control* Window::CreateControl(const ControlDef& def) {
  if (def.id == 0 || by_id_.count(def.id)) return nullptr;
  created_.push_back(std::make_unique<ControlDef>(def));
  Control* c = AddControl(*created_.back(), 0);
  Touch();
  return c;
}

void Window::RemoveControl(int id) {
  if (!Find(id)) return;
  // The control and, recursively, what sits on it.
  std::set<int> gone{id};
  for (bool grew = true; grew;) {
    grew = false;
    for (const auto& c : controls_) {
      if (c->id != 0 && gone.count(c->parent) && !gone.count(c->id)) {
        gone.insert(c->id);
        grew = true;
      }
    }
  }
  std::set<const ControlDef*> defs;
  for (auto it = controls_.begin(); it != controls_.end();) {
    if (gone.count((*it)->id) || gone.count((*it)->parent)) {
      defs.insert((*it)->def);
      by_id_.erase((*it)->id);
      it = controls_.erase(it);
    } else {
      ++it;
    }
  }
  std::erase_if(created_, [&](const auto& d) { return defs.count(d.get()) != 0; });
  if (gone.count(focus_)) focus_ = 0;
  Touch();
}

void Window::Open() {
  if (open_) return;
  open_ = true;
  closing_ = false;
  queue_.push_back({EVENT_OpenWindow, 0, 0});
  Scheduler& s = Scheduler::Get();
  s.Register(*this);
  if (def_->timer > 0) SetTimer(def_->timer);
}

void Window::Close() {
  if (!open_) return;
  open_ = false;
  closing_ = true;
  timer_ = 0;
  queue_.clear();
  if (Scheduler::Installed()) Scheduler::Get().Unregister(*this);
}

void Window::Post(int code, int control, int key) {
  if (!open_) return;
  if (code == EVENT_Timer) {
    for (const Event& e : queue_) {
      if (e.code == EVENT_Timer) return;
    }
  }
  queue_.push_back({code, control, key});
  Scheduler& s = Scheduler::Get();
  if (s.Current() == 0) s.backend().Wake();
}

void Window::Touch() {
  ++version_;
  if (open_ && Scheduler::Installed()) Scheduler::Get().Changed(*this);
}

Control* Window::Find(int id) {
  auto it = by_id_.find(id);
  return it == by_id_.end() ? nullptr : it->second;
}

#define MIRABO_CONTROL_OR_RETURN(id, ...) \
  Control* c = Find(id);                  \
  if (!c) return __VA_ARGS__

void Window::SetText(int id, std::string text) {
  MIRABO_CONTROL_OR_RETURN(id);
  c->text = std::move(text);
  Touch();
}

std::string Window::Text(int id) {
  MIRABO_CONTROL_OR_RETURN(id, {});
  return c->text;
}

void Window::SetValue(int id, std::string value) {
  MIRABO_CONTROL_OR_RETURN(id);
  c->value = std::move(value);
  Touch();
}

std::string Window::Value(int id) {
  MIRABO_CONTROL_OR_RETURN(id, {});
  return c->value;
}

void Window::SetTooltip(int id, std::string tip) {
  MIRABO_CONTROL_OR_RETURN(id);
  c->tooltip = std::move(tip);
  Touch();
}

void Window::SetIcon(int id, std::string icon) {
  MIRABO_CONTROL_OR_RETURN(id);
  c->icon = std::move(icon);
  Touch();
}

void Window::Hide(int id) {
  MIRABO_CONTROL_OR_RETURN(id);
  c->hidden = true;
  Touch();
}

void Window::Unhide(int id) {
  MIRABO_CONTROL_OR_RETURN(id);
  c->hidden = false;
  Touch();
}

void Window::Enable(int id, bool on) {
  MIRABO_CONTROL_OR_RETURN(id);
  c->disabled = !on;
  Touch();
}

void Window::Select(int id) {
  focus_ = id;
  Touch();
}

void Window::SetRows(int id, std::vector<std::vector<std::string>> rows) {
  MIRABO_CONTROL_OR_RETURN(id);
  c->rows = std::move(rows);
  Touch();
}

void Window::SetSelected(int id, int row) {
  MIRABO_CONTROL_OR_RETURN(id);
  c->selected = row;
  Touch();
}

void Window::SetThumb(int id, int thumb) {
  MIRABO_CONTROL_OR_RETURN(id);
  c->thumb = thumb;
  Touch();
}

void Window::ShowScrollbar(int id, bool on) {
  MIRABO_CONTROL_OR_RETURN(id);
  c->scrollbar = on;
  Touch();
}

void Window::SetVisibleRows(int id, int rows) {
  MIRABO_CONTROL_OR_RETURN(id);
  c->visible_rows = rows;
}

void Window::SetChoice(int id, int choice) {
  MIRABO_CONTROL_OR_RETURN(id);
  c->choice = choice;
  Touch();
}

int Window::Choice(int id) {
  MIRABO_CONTROL_OR_RETURN(id, 0);
  return c->choice;
}

void Window::SetRange(int id, int low, int high) {
  MIRABO_CONTROL_OR_RETURN(id);
  c->low = low;
  c->high = high;
  Touch();
}

void Window::EnterValue(int id, std::string typed) {
  MIRABO_CONTROL_OR_RETURN(id);
  bool in_range = true;
  if (c->kind == ControlKind::kSpin) {
    const char* b = typed.data();
    const char* e = b + typed.size();
    while (b < e && *b == ' ') ++b;
    while (e > b && e[-1] == ' ') --e;
    long v = 0;
    const auto [end, ec] = std::from_chars(b, e, v);
    in_range = ec == std::errc() && end == e && v >= c->low && v <= c->high;
  }
  c->value = std::move(typed);
  Touch();
  Post(in_range ? EVENT_Accepted : EVENT_Rejected, id);
}

void Window::SetPosition(int id, int x, int y, int width, int height) {
  MIRABO_CONTROL_OR_RETURN(id);
  const Rect r{x, y, width, height};
  if (c->at.x == r.x && c->at.y == r.y && c->at.w == r.w && c->at.h == r.h) return;
  c->at = r;
  Touch();
}

void Window::SetColours(int id, uint32_t fill, uint32_t outline) {
  MIRABO_CONTROL_OR_RETURN(id);
  c->fill = fill;
  c->outline = outline;
  Touch();
}

void Window::SetCursor(int id, Cursor cursor) {
  MIRABO_CONTROL_OR_RETURN(id);
  c->cursor = cursor;
  Touch();
}

bool Window::NaturalSize(int id, int* width, int* height) {
  MIRABO_CONTROL_OR_RETURN(id, false);
  if (c->icon.empty() || !Scheduler::Installed()) return false;
  return Scheduler::Get().backend().ImageSize(*this, c->icon, width, height);
}

void Window::SetDrawnSize(int id, int width, int height) {
  MIRABO_CONTROL_OR_RETURN(id);
  c->drawn_w = width;
  c->drawn_h = height;
  Touch();
}

void Window::SetScrollbars(int id, bool horizontal, bool vertical) {
  MIRABO_CONTROL_OR_RETURN(id);
  c->hscrollbar = horizontal;
  c->scrollbar = vertical;
  Touch();
}

void Window::EnableMenu(int id, bool on) {
  if (on) {
    disabled_menus_.erase(id);
  } else {
    disabled_menus_.insert(id);
  }
  Touch();
}

void Window::CheckMenu(int id, bool on) {
  if (on) {
    checked_menus_.insert(id);
  } else {
    checked_menus_.erase(id);
  }
  Touch();
}

void Window::SetMenuText(int id, std::string text, bool file_name) {
  menu_texts_[id] = {std::move(text), file_name};
  Touch();
}

const Window::MenuText* Window::FindMenuText(int id) const {
  const auto it = menu_texts_.find(id);
  return it == menu_texts_.end() ? nullptr : &it->second;
}

void Window::HideMenu(int id, bool hidden) {
  if (hidden) {
    hidden_menus_.insert(id);
  } else {
    hidden_menus_.erase(id);
  }
  Touch();
}

void Window::SetStatus(int zone, std::string text) {
  if (zone < 1) return;
  if (static_cast<size_t>(zone) > status_.size()) status_.resize(zone);
  status_[zone - 1] = std::move(text);
  Touch();
}

std::string Window::Status(int zone) const {
  if (zone < 1 || static_cast<size_t>(zone) > status_.size()) return {};
  return status_[zone - 1];
}

void Window::SetTitle(std::string title) {
  title_ = std::move(title);
  Touch();
}

void Window::SetGeometry(const Geometry& g) {
  geometry_ = g;
  Touch();
}

void Window::NoteGeometry(const Geometry& g) {
  geometry_ = g;
  ++version_;
}

void Window::SetShownSize(int width, int height) {
  shown_width_ = width;
  shown_height_ = height;
}

void Window::SetMinimumSize(int width, int height) {
  min_width_ = width;
  min_height_ = height;
  Touch();
}

void Window::SetTimer(int hundredths) {
  timer_ = hundredths < 0 ? 0 : hundredths;
  if (timer_ > 0 && Scheduler::Installed()) {
    timer_due_ = Scheduler::Get().clock().NowMs() + timer_ * 10;
    Scheduler::Get().backend().Wake();
  }
}

}  // namespace mirabo::ui
