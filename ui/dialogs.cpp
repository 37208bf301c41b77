#include "ui/dialogs.h"

namespace mirabo::ui {

ModalAwaiter<int> Message(MessageRequest request) {
  return ModalAwaiter<int>([request](std::function<void(int)> done) {
    Scheduler::Get().backend().ShowMessage(request, std::move(done));
  });
}

MessageRequest StopBoxRequest(std::string text, std::string detail) {
  MessageRequest r;
  r.caption = "Stop";
  r.text = std::move(text);
  r.detail = std::move(detail);
  r.icon = Icon::kHand;
  r.buttons = kButtonAbort | kButtonIgnore;
  r.default_button = kButtonAbort;
  return r;
}

Proc StopBox(std::string text, std::string detail) {
  const int pressed = co_await Message(StopBoxRequest(std::move(text), std::move(detail)));
  if (pressed != kButtonIgnore) {
    Scheduler::Get().Exit(0);
    co_await std::suspend_always{};
  }
}

Proc Halt(std::string text) {
  MessageRequest r;
  r.caption = "Halt";
  r.text = std::move(text);
  r.icon = Icon::kHand;
  co_await Message(r);
  Scheduler::Get().Exit(0);
  co_await std::suspend_always{};
}

ModalAwaiter<std::optional<std::string>> FileDialog(FileDialogRequest request) {
  return ModalAwaiter<std::optional<std::string>>(
      [request](std::function<void(std::optional<std::string>)> done) {
        Scheduler::Get().backend().ShowFileDialog(request, std::move(done));
      });
}

ModalAwaiter<int> PopupMenu(std::string items) {
  return ModalAwaiter<int>([items](std::function<void(int)> done) {
    Scheduler::Get().backend().ShowPopupMenu(items, std::move(done));
  });
}

ModalAwaiter<bool> PrinterSetup() {
  return ModalAwaiter<bool>([](std::function<void(bool)> done) {
    Scheduler::Get().backend().PrinterSetup([done] { done(true); });
  });
}

ModalAwaiter<PrintResult> PrintPages(PrintRequest request) {
  return ModalAwaiter<PrintResult>([request](std::function<void(PrintResult)> done) {
    Scheduler::Get().backend().PrintPages(request, std::move(done));
  });
}

void Help(HelpAction action) { Scheduler::Get().backend().Help(action); }

void Beep() { Scheduler::Get().backend().Beep(); }

ModalAwaiter<bool> Yield() {
  return ModalAwaiter<bool>([](std::function<void(bool)> done) { done(true); });
}

}  // namespace mirabo::ui
