// The modal requests a procedure awaits: message boxes, the runtime's stop
// box, the halt, the file dialog and the printer set-up.  Each suspends the
// calling thread until the backend answers; other threads run meanwhile.
//
//   int button = co_await ui::Message({"Text", "Caption", Icon::kInformation});
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ui/backend.h"
#include "ui/scheduler.h"
#include "ui/task.h"

namespace mirabo::ui {

template <typename T>
class ModalAwaiter {
 public:
  using Start = std::function<void(std::function<void(T)>)>;
  explicit ModalAwaiter(Start start) : start_(std::move(start)) {}

  bool await_ready() const noexcept { return false; }
  void await_suspend(std::coroutine_handle<> h) {
    Scheduler& s = Scheduler::Get();
    const ThreadId id = s.Current();
    s.WaitForModal(h, [start = start_, result = result_, id] {
      start([result, id](T v) {
        *result = std::move(v);
        if (Scheduler::Installed()) Scheduler::Get().ModalDone(id);
      });
    });
  }
  T await_resume() { return std::move(**result_); }

 private:
  Start start_;
  std::shared_ptr<std::optional<T>> result_ = std::make_shared<std::optional<T>>();
};

// A message box; the result is the button pressed (a Button value).
ModalAwaiter<int> Message(MessageRequest request);

// The runtime's stop box: caption "Stop", the text (and the detail, a file
// name), "&Abort" (the default) and "&Ignore".  Abort ends the program;
// Ignore returns.
Proc StopBox(std::string text, std::string detail = {});
// The box StopBox shows.
MessageRequest StopBoxRequest(std::string text, std::string detail = {});

// Shows a box captioned "Halt" with the text and OK, then ends the program
// with exit code 0.  No procedure's exit steps run; the caller never resumes.
Proc Halt(std::string text);

// The file dialog; nullopt when cancelled.
ModalAwaiter<std::optional<std::string>> FileDialog(FileDialogRequest request);

// A pop-up menu (see Backend::ShowPopupMenu); the item chosen, or 0.
ModalAwaiter<int> PopupMenu(std::string items);

// The printer set-up dialog.
ModalAwaiter<bool> PrinterSetup();

// The print dialog, then the pages printed on the printer chosen.
ModalAwaiter<PrintResult> PrintPages(PrintRequest request);

void Help(HelpAction action);
void Beep();

// Gives way: the other ready threads run before the caller goes on.
ModalAwaiter<bool> Yield();

}  // namespace mirabo::ui
