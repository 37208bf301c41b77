// The widgets of one open window, and the two directions between them and
// the window model:
//
//   model -> widgets   Sync() brings the widgets up to the model.  It runs
//                      after a scheduler run for each window whose version
//                      moved, never while procedure code runs, so a burst of
//                      changes in one event costs one update.  Nothing it
//                      does to a widget is mistaken for the user: handlers
//                      ignore signals while syncing_ is set.
//   widgets -> model   A user's action writes what it changed into the model
//                      (a value, the highlight, the geometry) and then posts
//                      the event, so the procedure sees the new state.
//
// Three shapes of window: the MDI frame (a QMainWindow with menus, toolbar,
// status bar and a QMdiArea), an MDI child (a QMdiSubWindow in the frame's
// area) and a top-level window.  Each has a ClientArea holding its controls
// at their dialog-unit places; the frame's client is its MDI area.  A child or
// top-level window with menus or a status bar wears them on a QMainWindow
// around its ClientArea; its toolbar is a strip along the top of the
// ClientArea (the window's height includes it) and its controls sit below.
// A child's menus are not on the child: while it is the active child they
// show in the frame's menu bar, merged with the frame's (ShowMenusOf), as
// MDI programs do, so the mnemonics and keys of the menus reach the window
// the user works in.
//
// Controls created and removed while the window is open (Window::
// CreateControl, RemoveControl) are followed in Sync by the control's serial
// number: views whose control is gone lose their widget, new controls get one.
//
// The class is written in parts: window_mirror.cpp builds the window, brings
// it up to the model and takes it away; frame_chrome.cpp holds the menus,
// toolbar and status bar of the frame and of other windows; window_controls.cpp
// each kind of control; window_geometry.cpp the window's placement and layout;
// window_input.cpp the user's input.
//
// The mirror lives from WindowOpened to WindowClosed.  Widgets may outlive it
// briefly (they are deleted later, as one may be handling an event when its
// window closes); everything that reaches back to the mirror holds a QPointer.
#pragma once

#include <QFont>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QSize>
#include <QString>
#include <map>
#include <string>
#include <vector>

#include "ui/qt/dialog_units.h"
#include "ui/window.h"

class QAbstractButton;
class QAction;
class QButtonGroup;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QStatusBar;
class QTabWidget;
class QWidget;

namespace mirabo::ui::qt {

class QtBackend;
class ListBox;

class WindowMirror : public QObject {
 public:
  WindowMirror(QtBackend& backend, Window& w);
  ~WindowMirror() override;

  // Creates the widgets (hidden) and measures the list boxes, so the
  // procedure knows its visible rows before it handles EVENT_OpenWindow.
  void Build();
  // Brings the widgets up to the model; the first call shows the window.
  void Sync();
  // The window closed: forget the model and take the widgets away.
  void Detach();
  // After every scheduler run.
  void EndOfRun();

  Window* window() const { return window_; }
  bool is_frame() const { return frame_ != nullptr; }
  bool is_mdi_child() const { return sub_ != nullptr; }
  bool shown() const { return shown_; }
  QWidget* top() const;
  QWidget* client() const;
  QMainWindow* frame_window() const { return frame_; }
  QMdiArea* area() const { return area_; }
  QMdiSubWindow* sub() const { return sub_; }
  const DialogUnits& units() const { return units_; }

  QWidget* ControlWidget(int id) const;
  QAction* MenuAction(int id) const;
  QAbstractButton* ToolbarButton(int id) const;
  QLabel* StatusZone(int zone) const;

  // Posts to the window; ignored once it closed.
  void Post(int code, int control = 0, int key = 0);
  // A list box measured how many rows fit.
  void ListRowsMeasured(int id, int rows);
  // Raises EVENT_Sized once for everything that changed size until then.
  void RequestSized();
  // The client was resized: places the controls for its new size, tells the
  // model the size it shows at and raises EVENT_Sized when that changed.
  void ClientResized();
  // Places the controls for the client's size.
  void LayOut();
  // Focus moved to `widget` (inside this window) by the user or by Qt.
  void FocusMovedTo(QWidget* widget);
  // Gives the focus to the model's focused control when it has not had it yet.
  void ApplyFocus();
  // The frame's MDI area: where a new child goes when nothing places it.
  QPoint NextChildPlace() const;
  // What a subwindow adds around its client: frame, title bar and status
  // bar (pixels); empty for other windows.
  QSize DecorationSize() const;
  // The frame: its menu bar shows its own menus merged with `child`'s (the
  // active child, or null for none); see the head of this file.
  void ShowMenusOf(const WindowMirror* child);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  struct View;

  // window_mirror.cpp: the client window and its controls, built.
  void BuildClientWindow();
  void BuildControls();
  void BuildControl(View& v);

  // frame_chrome.cpp: menus, toolbar and status bar, of the frame and of
  // other windows that have them.
  void BuildFrame();
  // The window's menus, owned by `owner`; their places on a bar in
  // bar_actions_.  AttachMenuBar puts them on the window's own bar.
  void BuildMenus(QWidget* owner);
  void AttachMenuBar(QMenuBar* bar);
  void AddMenuItems(QMenu* menu, const std::vector<MenuItemDef>& items);
  void FillWindowList(QMenu* menu);
  void BuildToolbar();
  // The toolbar strip along the top of a non-frame window's client, and a
  // button on it.
  void BuildToolbarStrip();
  QWidget* MakeStripButton(View& v);
  void BuildStatusBar(QStatusBar* bar);
  // What the menus and status bar of a non-frame window take of its height.
  int ChromeExtraHeight() const;
  void SyncFrameParts();
  // The menu bar of the frame, or of a child window that has menus; else null.
  QMenuBar* MenuBar() const;
  void SetZoneOne(const QString& text);
  // Zone 1 shows a menu item's status text while the item is highlighted,
  // and loses it once no item of the menus or of the bar is.
  void ShowMenuStatus(QAction* a);
  void MenuMayHaveClosed();
  void TrackHover(QObject* watched, QEvent* event);

  // window_controls.cpp: for each kind of control, the widget made for it
  // and how that widget follows the model; and the controls created and
  // removed at run time.  `text_changed` and `icon_changed` tell what moved
  // since the widget last followed.
  QWidget* MakeControl(View& v, QWidget* parent);
  void SyncStructure();
  void SyncControls();
  void SyncControl(View& v);
  bool EffectivelyHidden(const View& v) const;
  bool EffectivelyDisabled(const View& v) const;
  QWidget* MakeButton(View& v, QWidget* parent);
  void SyncButton(View& v, bool text_changed, bool icon_changed);
  QWidget* MakePrompt(QWidget* parent);
  void SyncPrompt(View& v, bool text_changed);
  QWidget* MakeString(View& v, QWidget* parent);
  void SyncString(View& v, bool text_changed);
  QWidget* MakeEntry(View& v, QWidget* parent);
  void SyncEntry(View& v);
  QWidget* MakeOption(View& v, QWidget* parent);
  void SyncOption(View& v, bool text_changed);
  QWidget* MakeRadio(View& v, QWidget* parent);
  QWidget* MakeCheck(View& v, QWidget* parent);
  void SyncRadioOrCheck(View& v, bool text_changed);
  QWidget* MakeSheet(View& v, QWidget* parent);
  void SyncSheet(View& v);
  void MakeTab(View& v);
  void SyncTab(View& v);
  QWidget* MakeList(View& v, QWidget* parent);
  void SyncList(View& v);
  QWidget* MakeProgress(QWidget* parent);
  void SyncProgress(View& v);
  QWidget* MakeImage(QWidget* parent);
  void SyncImage(View& v);
  QWidget* MakeSpin(View& v, QWidget* parent);
  void SyncSpin(View& v);
  QWidget* MakeBox(QWidget* parent);
  void SyncBox(View& v);
  QWidget* MakeLine(View& v, QWidget* parent);
  QWidget* MakeGroup(QWidget* parent);
  void SyncGroup(View& v, bool text_changed);

  // window_geometry.cpp: the window's placement, both ways, and where its
  // controls go.
  QRect PlaceOf(const View& v) const;
  void ApplyGeometry();
  void PlaceByDefault(Geometry& g);
  // A new child: moved (and a resizable one made smaller) until it lies
  // inside the frame's area, wherever it was to go.
  void FitInArea(Geometry& g) const;
  void ReadBackGeometry();
  void QueueReadBack();
  QSize SubWindowSizeFor(QSize content) const;

  // window_input.cpp: the user's input, turned into events.
  void InstallAlertFilter();
  void InstallAlertFilterOn(QWidget* w);
  int ControlIdOf(QObject* o) const;
  void EntryFocusOut(QLineEdit* e, Qt::FocusReason reason);
  void CommitEntry(int id, QLineEdit* e);
  bool AlertFilter(QObject* watched, QEvent* event);

  QtBackend& backend_;
  Window* window_;
  DialogUnits units_;
  QFont font_;

  QPointer<QMainWindow> frame_;
  QPointer<QMdiArea> area_;
  QPointer<QMdiSubWindow> sub_;
  QPointer<QWidget> client_;  // a ClientArea, or the frame's MDI area
  QPointer<QWidget> top_;
  QPointer<QMainWindow> chrome_;  // menus and status bar of a non-frame window
  QPointer<QWidget> strip_;       // toolbar strip of a non-frame window
  int strip_units_ = 0;           // its height in dialog units

  std::vector<View> views_;
  std::map<int, size_t> by_id_;
  std::map<int, QPointer<QAction>> menu_actions_;
  std::vector<QPointer<QAction>> bar_actions_;  // the menus, as a bar shows them
  bool merged_menus_ = false;                   // shown in the frame's bar
  QPointer<QMenu> window_menu_;
  std::vector<QPointer<QAction>> window_list_actions_;
  std::vector<QPointer<QLabel>> zones_;

  uint64_t synced_version_ = 0;
  bool shown_ = false;
  bool opened_ = false;
  bool syncing_ = false;
  bool applying_geometry_ = false;
  bool readback_queued_ = false;
  bool sized_queued_ = false;
  Geometry applied_geometry_;
  bool geometry_applied_ = false;
  Geometry opened_geometry_;
  // The control that has the focus as far as the model knows, by number
  // and serial: a control made anew under the same number wants it again.
  int applied_focus_ = 0;
  uint64_t applied_focus_serial_ = 0;
  std::string applied_title_;
  bool menu_status_ = false;  // zone 1 shows a menu item's text
  bool title_applied_ = false;
  int min_w_applied_ = -1, min_h_applied_ = -1;
  // Mouse events climb from a widget to its parents; one click is one key.
  ulong last_alert_time_ = 0;
  int last_alert_type_ = 0;
};

}  // namespace mirabo::ui::qt
