// What the window model needs from the platform: something that mirrors open
// windows and answers the modal requests.  The Qt binding implements it for the
// program; HeadlessBackend implements it for the tests.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mirabo::ui {

class Window;

enum class Icon { kNone, kInformation, kExclamation, kHand, kQuestion };

// Message-box buttons, as a bit set; the value of the button pressed is the result.
enum Button : int {
  kButtonOk = 1,
  kButtonYes = 2,
  kButtonNo = 4,
  kButtonRetry = 16,
  kButtonCancel = 64,
  kButtonAbort = 256,  // the runtime's stop box
  kButtonIgnore = 512,
};

struct MessageRequest {
  std::string text;  // Windows-1252
  std::string caption;
  Icon icon = Icon::kNone;
  int buttons = kButtonOk;
  int default_button = kButtonOk;
  // Shown below the text: what the program's own text cannot carry, such as
  // a file name and the system's reason.  UTF-8, the user's own bytes.
  std::string detail;
};

struct FileDialogRequest {
  std::string title;
  std::string file;    // the starting name: a file name, the user's own bytes (UTF-8)
  std::string filter;  // "HTML Files|*.HTM|All Files|*.*"
  bool save = true;    // a save dialog asks before replacing a file
  bool folder = false;    // choose a folder, not a file
  bool multiple = false;  // open several files: the answer holds them separated by '\0' 
};

// A print job: images (page images of a report) printed one a page, in order.
struct PrintRequest {
  std::string job;                 // the job's name in the print queue
  std::vector<std::string> pages;  // image names, as image controls load them
};

enum class PrintOutcome { kPrinted, kCancelled, kFailed };

struct PrintResult {
  PrintOutcome outcome = PrintOutcome::kPrinted;
  std::string error;  // kFailed: what went wrong, for the user
};

enum class HelpAction { kContents, kSearch, kHowToUse };

// How the frame arranges its child windows.
enum class Arrange { kTile, kCascade, kIcons };

// The clipboard actions of the Edit menu, on the control that has the focus.
enum class EditAction { kCut, kCopy, kPaste };

class Backend {
 public:
  virtual ~Backend() = default;
  // A window opened, changed (its version moved) or closed.
  virtual void WindowOpened(Window& w) = 0;
  virtual void WindowChanged(Window& w) = 0;
  virtual void WindowClosed(Window& w) = 0;
  // Modal requests answer through `done`, now or later.
  virtual void ShowMessage(const MessageRequest& r, std::function<void(int)> done) = 0;
  virtual void ShowFileDialog(const FileDialogRequest& r,
                              std::function<void(std::optional<std::string>)> done) = 0;
  virtual void PrinterSetup(std::function<void()> done) = 0;
  // A pop-up menu at the mouse: items separated by "|", a lone "-" a
  // separator, a leading "~" a disabled item, a leading "-" or "+" an
  // unchecked or checked item.  Answers the item chosen (1-based, separators
  // not counted), or 0.
  virtual void ShowPopupMenu(const std::string& items, std::function<void(int)> done) {
    (void)items;
    done(0);
  }
  // Asks for a printer in the platform's print dialog and prints the pages.
  virtual void PrintPages(const PrintRequest& r, std::function<void(PrintResult)> done) {
    (void)r;
    done({PrintOutcome::kFailed, "There is no printer here."});
  }
  // The natural size of the image `name` in `w`'s dialog units; false when
  // it cannot be loaded.  The default measures through the registered image
  // kinds (ui/image_source.h) at nominal screen units.
  virtual bool ImageSize(const Window& w, const std::string& name, int* width, int* height);
  virtual void Help(HelpAction action) = 0;
  virtual void ArrangeChildren(Arrange how) { (void)how; }
  virtual void Edit(EditAction action) { (void)action; }
  virtual void Beep() = 0;
  // The program ends with this exit code.
  virtual void Quit(int exit_code) = 0;
  // The area windows are placed in (the frame's client area, or the desktop),
  // in dialog units; false when there is none to tell.
  virtual bool DesktopArea(int* width, int* height) {
    (void)width;
    (void)height;
    return false;
  }
  // Threads became ready outside a scheduler run (a modal answer arrived
  // later): the backend runs the scheduler soon.
  virtual void Wake() {}
};

}  // namespace mirabo::ui
