// A window of the window model: the state of a procedure's window and its
// controls, built from a WindowDef.  ui/ holds the truth; a backend (the Qt
// binding, or the headless backend of the tests) mirrors it and turns user
// input into events.
//
// Lifecycle: construct from a definition, Open() (queues EVENT_OpenWindow and
// shows it), run `while (Event e = co_await win.Accept()) {...}`, Close().  An
// accepted EVENT_CloseWindow ends the loop: the next Accept returns an empty
// event.  Every change to the model bumps version(), which tells a backend to
// mirror it.
#pragma once

#include <coroutine>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "ui/event.h"
#include "ui/window_def.h"

namespace mirabo::ui {

class Scheduler;
class Window;
using ThreadId = int;

// One control of an open window.
struct Control {
  const ControlDef* def = nullptr;
  uint64_t serial = 0;  // unique in its window, also across removal and re-creation
  int id = 0;
  ControlKind kind = ControlKind::kButton;
  int parent = 0;  // the tab or group it sits on, 0 for the window
  std::string text;
  std::string value;
  std::string tooltip;
  std::string icon;
  bool hidden = false;
  bool disabled = false;

  // List boxes: the rows shown (cells already formatted), the highlighted row
  // (1-based, 0 for none), how many rows fit (set by the backend), the
  // scroll thumb (0 to 100) and whether the scroll bar shows.
  std::vector<std::vector<std::string>> rows;
  int selected = 0;
  int visible_rows = 0;
  int thumb = 0;
  bool scrollbar = false;

  // Sheets: the selected tab (1-based).  Progress bars and spin fields: range.
  int choice = 1;
  int low = 0, high = 100;

  // Where the control is, in dialog units (from the definition until moved).
  Rect at;
  // Boxes and images: colours.  Images: the image is the control's icon (a
  // name the window layer can load), drawn at drawn_w x drawn_h (0: the
  // control's own size) and scrolled within the control by its scroll bars
  // (`scrollbar` is the vertical one).
  uint32_t fill = kDefaultColour, outline = kDefaultColour;
  int drawn_w = 0, drawn_h = 0;
  bool hscrollbar = false;
  Cursor cursor = Cursor::kArrow;
};

struct Geometry {
  int x = 0, y = 0, width = 0, height = 0;  // the normal placement, dialog units
  bool maximized = false;
  bool minimized = false;
};

// Awaits a window's next event.
class AcceptAwaiter {
 public:
  explicit AcceptAwaiter(Window& w) : window_(w) {}
  bool await_ready() const noexcept;
  void await_suspend(std::coroutine_handle<> h);
  Event await_resume();

 private:
  Window& window_;
};

class Window {
 public:
  explicit Window(const WindowDef& def);
  ~Window();
  Window(const Window&) = delete;
  Window& operator=(const Window&) = delete;

  const WindowDef& def() const { return *def_; }

  // Opens the window on the calling thread; its first event is
  // EVENT_OpenWindow.  The window's timer starts from the definition.
  void Open();
  // Closes it: it disappears and takes no more events.
  void Close();
  bool is_open() const { return open_; }
  ThreadId owner() const { return owner_; }

  AcceptAwaiter Accept() { return AcceptAwaiter(*this); }
  // Queues an event (from any procedure thread).  A timer event is not
  // queued twice.
  void Post(int code, int control = 0, int key = 0);
  bool has_events() const { return !queue_.empty() || closing_; }
  // The control last accepted, and the key of the event being handled.
  int accepted() const { return accepted_; }
  int key() const { return key_; }

  // Controls.  Find returns null for an unknown number.
  Control* Find(int id);
  const std::vector<std::unique_ptr<Control>>& controls() const { return controls_; }
  void SetText(int id, std::string text);
  std::string Text(int id);
  void SetValue(int id, std::string value);
  std::string Value(int id);
  void SetTooltip(int id, std::string tip);
  void SetIcon(int id, std::string icon);
  void Hide(int id);
  void Unhide(int id);
  void Enable(int id, bool on = true);
  void Disable(int id) { Enable(id, false); }
  // Gives the control the focus.
  void Select(int id);
  int focus() const { return focus_; }
  // Asks the backend to redraw (the model is already current).
  void Display() { Touch(); }

  // Lists.
  void SetRows(int id, std::vector<std::vector<std::string>> rows);
  void SetSelected(int id, int row);
  void SetThumb(int id, int thumb);
  void ShowScrollbar(int id, bool on);
  void SetVisibleRows(int id, int rows);  // the backend's measure

  // Sheets, progress bars.
  void SetChoice(int id, int choice);
  int Choice(int id);
  void SetRange(int id, int low, int high);

  // The user completed an entry in a control with `typed`: the value becomes
  // `typed` and the window gets EVENT_Accepted, or EVENT_Rejected when it is
  // a spin field and `typed` is no whole number within its range (the value
  // then holds what was typed, so the procedure can tell which bound it passed).
  void EnterValue(int id, std::string typed);

  // Controls created and removed while the window is open.  Create copies
  // `def` and places the control on the window; it refuses (null) a number
  // already in use.  Remove takes the control and whatever sits on it away;
  // an unknown number is ignored.
  Control* CreateControl(const ControlDef& def);
  void RemoveControl(int id);
  // Moves and sizes a control (dialog units).
  void SetPosition(int id, int x, int y, int width, int height);
  void SetColours(int id, uint32_t fill, uint32_t outline = kDefaultColour);
  void SetCursor(int id, Cursor cursor);

  // Images.  The natural size of the image an image control holds, in this
  // window's dialog units, as the backend measures it; false when the image
  // cannot be loaded.  SetDrawnSize draws it at a size of its own (0, 0:
  // fitted to the control); SetScrollbars shows scroll bars to move over it.
  bool NaturalSize(int id, int* width, int* height);
  void SetDrawnSize(int id, int width, int height);
  void SetScrollbars(int id, bool horizontal, bool vertical);

  // Menus: enabled and checked state by item number.
  void EnableMenu(int id, bool on);
  bool MenuEnabled(int id) const { return !disabled_menus_.count(id); }
  void CheckMenu(int id, bool on);
  bool MenuChecked(int id) const { return checked_menus_.count(id) != 0; }
  // Items whose text the procedure sets while the window is open (a list of
  // recent folders), and items it hides.  A `file_name` text is the user's
  // own bytes (UTF-8), shown as it is, never as Windows-1252.
  struct MenuText {
    std::string text;
    bool file_name = false;
  };
  void SetMenuText(int id, std::string text, bool file_name = false);
  const MenuText* FindMenuText(int id) const;
  void HideMenu(int id, bool hidden);
  bool MenuHidden(int id) const { return hidden_menus_.count(id) != 0; }

  // The status bar.
  void SetStatus(int zone, std::string text);
  std::string Status(int zone) const;

  void SetTitle(std::string title);
  const std::string& title() const { return title_; }
  const Geometry& geometry() const { return geometry_; }
  // Changes the geometry and asks the backend to apply it.
  void SetGeometry(const Geometry& g);
  // Records where the window layer itself put the window (a default
  // placement it chose): a change like any other, which the backend does
  // not need to be told of.
  void NoteGeometry(const Geometry& g);
  // The size the window's client shows at now, in dialog units: its normal
  // placement's, or the area's while it is maximized.  The backend measures
  // it (SetShownSize: a measure, nothing for it to mirror); until it has,
  // the normal placement's size.
  int shown_width() const { return shown_width_ > 0 ? shown_width_ : geometry_.width; }
  int shown_height() const { return shown_height_ > 0 ? shown_height_ : geometry_.height; }
  void SetShownSize(int width, int height);
  bool resizable() const { return (def_->flags & kResizable) != 0; }
  void SetMinimumSize(int width, int height);
  int min_width() const { return min_width_; }
  int min_height() const { return min_height_; }

  // Timer in hundredths of a second; 0 stops it.
  void SetTimer(int hundredths);
  int timer() const { return timer_; }
  int64_t timer_due() const { return timer_due_; }

  void Alert(int key) { alerted_.insert(key); }
  bool Alerted(int key) const { return alerted_.count(key) != 0; }

  uint64_t version() const { return version_; }
  // Per-backend data (the widgets mirroring this window).
  std::shared_ptr<void> backend_data;

 private:
  friend class AcceptAwaiter;
  friend class Scheduler;
  void Touch();
  void AddControls(const std::vector<ControlDef>& defs, int parent);
  Control* AddControl(const ControlDef& d, int parent);

  const WindowDef* def_;
  bool open_ = false;
  bool closing_ = false;
  ThreadId owner_ = 0;
  std::deque<Event> queue_;
  int accepted_ = 0;
  int key_ = 0;
  std::vector<std::unique_ptr<Control>> controls_;
  std::vector<std::unique_ptr<ControlDef>> created_;  // definitions of created controls
  std::map<int, Control*> by_id_;
  uint64_t next_serial_ = 1;
  std::set<int> disabled_menus_;
  std::set<int> checked_menus_;
  std::set<int> hidden_menus_;
  std::map<int, MenuText> menu_texts_;
  std::vector<std::string> status_;
  std::string title_;
  Geometry geometry_;
  int shown_width_ = 0, shown_height_ = 0;
  int min_width_ = 0, min_height_ = 0;
  int timer_ = 0;
  int64_t timer_due_ = 0;
  std::set<int> alerted_;
  int focus_ = 0;
  uint64_t version_ = 1;
};

}  // namespace mirabo::ui
