#include "ui/headless.h"

#include <algorithm>

#include "ui/window.h"

namespace mirabo::ui {

int HeadlessBackend::ListRows(int height_du) { return std::max(1, (height_du - 10) / 9); }

void HeadlessBackend::WindowOpened(Window& w) {
  opened.push_back(w.def().name);
  for (const auto& c : w.controls()) {
    if (c->kind == ControlKind::kList) c->visible_rows = ListRows(c->def->at.h);
  }
}

void HeadlessBackend::ShowMessage(const MessageRequest& r, std::function<void(int)> done) {
  int answer = r.default_button;
  if (!answers.empty()) {
    answer = answers.front();
    answers.pop_front();
  }
  messages.push_back({r, answer});
  done(answer);
}

void HeadlessBackend::ShowFileDialog(const FileDialogRequest& r,
                                     std::function<void(std::optional<std::string>)> done) {
  file_dialogs.push_back(r);
  std::optional<std::string> answer;
  if (!file_answers.empty()) {
    answer = file_answers.front();
    file_answers.pop_front();
  }
  done(answer);
}

void HeadlessBackend::ShowPopupMenu(const std::string& items, std::function<void(int)> done) {
  popups.push_back(items);
  int answer = 0;
  if (!popup_answers.empty()) {
    answer = popup_answers.front();
    popup_answers.pop_front();
  }
  done(answer);
}

void HeadlessBackend::PrintPages(const PrintRequest& r, std::function<void(PrintResult)> done) {
  print_jobs.push_back(r);
  PrintResult answer;
  if (!print_answers.empty()) {
    answer = print_answers.front();
    print_answers.pop_front();
  }
  done(answer);
}

void HeadlessBackend::PrinterSetup(std::function<void()> done) {
  ++printer_setups;
  done();
}

}  // namespace mirabo::ui
