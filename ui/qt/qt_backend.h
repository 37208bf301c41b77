// The Qt binding of the window model: QtBackend mirrors every open window
// into widgets, turns the user's input into events, answers the modal
// requests with Qt's dialogs, and lets Qt's event loop drive the scheduler.
//
// Use in the program's entry point:
//
//   if (!mirabo::ui::qt::DisplayAvailable()) {
//     std::cerr << mirabo::ui::qt::NoDisplayAdvice();
//     return 2;
//   }
//   QApplication app(argc, argv);
//   mirabo::ui::qt::QtBackend backend(app);
//   mirabo::ui::SteadyClock clock;
//   mirabo::ui::Scheduler scheduler(backend, clock);
//   scheduler.Start(Program());  // the first procedure thread
//   return mirabo::ui::qt::RunEventLoop(app, scheduler);
//
// In this order the scheduler (closing the windows left open) goes before the
// backend, and the backend (deleting the widgets) before the application.
//
// Driving: a wake from the model (a posted event, a started thread, a modal
// answer) queues one call that runs the scheduler until no thread is ready and
// then mirrors the windows that changed; one single-shot QTimer stands for
// the earliest window timer.  Procedure code therefore never runs inside a
// widget's event handler, and a window is mirrored once per run however
// often its procedure changed it.
#pragma once

#include <QPointer>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ui/backend.h"
#include "ui/scheduler.h"
#include "ui/window.h"

class QAbstractButton;
class QAction;
class QApplication;
class QDialog;
class QLabel;
class QMainWindow;
class QMdiArea;
class QMdiSubWindow;
class QMenu;
class QPrinter;
class QTimer;
class QWidget;

namespace mirabo::ui::qt {

class HelpWindow;
class LockWaitPump;
class WindowMirror;

class QtBackend : public Backend {
 public:
  explicit QtBackend(QApplication& app);
  ~QtBackend() override;
  QtBackend(const QtBackend&) = delete;
  QtBackend& operator=(const QtBackend&) = delete;

  // Backend.
  void WindowOpened(Window& w) override;
  void WindowChanged(Window& w) override;
  void WindowClosed(Window& w) override;
  void ShowMessage(const MessageRequest& r, std::function<void(int)> done) override;
  void ShowFileDialog(const FileDialogRequest& r,
                      std::function<void(std::optional<std::string>)> done) override;
  void PrinterSetup(std::function<void()> done) override;
  void ShowPopupMenu(const std::string& items, std::function<void(int)> done) override;
  void PrintPages(const PrintRequest& r, std::function<void(PrintResult)> done) override;
  bool ImageSize(const Window& w, const std::string& name, int* width, int* height) override;
  void Help(HelpAction action) override;
  void ArrangeChildren(Arrange how) override;
  void Edit(EditAction action) override;
  void Beep() override;
  void Quit(int exit_code) override;
  bool DesktopArea(int* width, int* height) override;
  void Wake() override;

  // The frame's child windows.  Tile and cascade fill the MDI area; arranging
  // icons lines the minimised children up along its bottom edge.
  void TileChildren();
  void CascadeChildren();
  void ArrangeIcons();

  // Runs the ready threads and mirrors the changed windows now, as a queued
  // wake would.  Safe to call from anywhere but procedure code.
  void Pump();
  // Whether Quit was called, and with what.
  std::optional<int> quit_code() const { return quit_code_; }
  // End the Qt event loop (exit code 0) once no procedure thread is left.
  void set_end_when_idle(bool on) { end_when_idle_ = on; }

  // The widgets that mirror the model, for the program's other Qt parts (the
  // report preview, printing) and for tests.  Null when there is none.
  QMainWindow* FrameWindow() const;
  QMdiArea* MdiArea() const;
  QWidget* TopWidget(const Window& w) const;              // frame, subwindow or window
  QWidget* ClientWidget(const Window& w) const;           // where the controls sit
  QWidget* ControlWidget(const Window& w, int id) const;  // a list's table view
  QAction* MenuAction(int id) const;                      // the frame's menu items
  QAbstractButton* ToolbarButton(int id) const;           // the frame's toolbar
  QLabel* StatusZone(int zone) const;                     // the frame's status bar, 1-based
  HelpWindow* help_window() const;
  // F1: the help page of the window the user works in (WindowDef::help).
  void HelpOnActiveWindow();
  QMenu* popup_menu() const;  // the pop-up menu now open

  // The printer that the set-up dialog configures; reports print with it.
  QPrinter& printer();
  // The print dialog now open.
  QDialog* print_dialog() const;

  // Used by the window mirrors.
  WindowMirror* FrameMirror() const;
  void ChildActivated(QMdiSubWindow* sub);
  // The frame's menu bar shows the menus of the child in front.
  void ShowActiveChildMenus();

 private:
  WindowMirror* MirrorOf(const Window& w) const;
  WindowMirror* MirrorOfSub(QMdiSubWindow* sub) const;
  QWidget* DialogParent() const;
  void RunScheduler(bool tick);
  void SyncChanged();
  void ArmTimer();

  QApplication& app_;
  std::unique_ptr<QObject> pump_;  // context of the queued wakes
  QTimer* timer_ = nullptr;        // owned by pump_
  std::map<const Window*, std::unique_ptr<WindowMirror>> mirrors_;
  std::vector<const Window*> open_order_;
  std::set<const Window*> dirty_;
  const Window* frame_ = nullptr;
  bool wake_queued_ = false;
  bool running_ = false;
  bool again_ = false;
  bool end_when_idle_ = false;
  std::optional<int> quit_code_;
  std::unique_ptr<QPrinter> printer_;
  QPointer<HelpWindow> help_;
  std::unique_ptr<QObject> help_key_;  // the F1 filter on the application
  QPointer<QMenu> popup_;
  std::unique_ptr<LockWaitPump> lock_waits_;
  QPointer<QDialog> print_dialog_;
};

// Prints `pages` (image names, ui/qt/image_painter.h) on `printer`, each at
// its natural size from the paper's top-left corner, in order, as one job.
// Stops at the first page that cannot be read or drawn and says why.
PrintResult PrintImages(QPrinter& printer, const std::vector<std::string>& pages);

// Runs Qt's event loop with `scheduler` driven by it, until the program ends;
// returns the exit code given to Scheduler::Exit (0 when the last procedure
// thread ended without one).  The scheduler's backend must be a QtBackend.
int RunEventLoop(QApplication& app, Scheduler& scheduler);

// Whether Qt can open a display here, judged from the environment before a
// QApplication exists (which would abort without one): a platform named in
// QT_QPA_PLATFORM that needs no display (offscreen, minimal, vnc, ...), or an
// X11 or Wayland display to connect to.  `getenv` is for tests.
bool DisplayAvailable(const std::function<const char*(const char*)>& getenv = nullptr);

// What to tell a user who started the program without a display.
std::string NoDisplayAdvice();

}  // namespace mirabo::ui::qt
