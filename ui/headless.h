// A backend without a display, for tests: message boxes and dialogs are
// answered from a script and recorded; list boxes get a fixed row count.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "ui/backend.h"

namespace mirabo::ui {

class HeadlessBackend : public Backend {
 public:
  struct ShownMessage {
    MessageRequest request;
    int answer;
  };

  // Answers for the next message boxes; when none is left, the default button.
  std::deque<int> answers;
  // Answers for the next file dialogs; when none is left, cancelled.
  std::deque<std::optional<std::string>> file_answers;

  // Answers for the next pop-up menus; when none is left, nothing chosen.
  std::deque<int> popup_answers;
  std::vector<std::string> popups;

  // Answers for the next print jobs; when none is left, printed.
  std::deque<PrintResult> print_answers;
  std::vector<PrintRequest> print_jobs;

  std::vector<ShownMessage> messages;
  std::vector<FileDialogRequest> file_dialogs;
  std::vector<HelpAction> help;
  std::vector<std::string> opened;  // names of the windows opened, in order
  int printer_setups = 0;
  int beeps = 0;
  std::optional<int> quit_code;
  // Called on every change of an open window, as it happens: what a test
  // watches between two events (a progress text that changes within one).
  std::function<void(Window&)> on_change;

  // Rows a list box shows: its height less a header line, by 9 dialog units a row.
  static int ListRows(int height_du);

  void WindowOpened(Window& w) override;
  void WindowChanged(Window& w) override {
    if (on_change) on_change(w);
  }
  void WindowClosed(Window&) override {}
  void ShowMessage(const MessageRequest& r, std::function<void(int)> done) override;
  void ShowFileDialog(const FileDialogRequest& r,
                      std::function<void(std::optional<std::string>)> done) override;
  void PrinterSetup(std::function<void()> done) override;
  void ShowPopupMenu(const std::string& items, std::function<void(int)> done) override;
  void PrintPages(const PrintRequest& r, std::function<void(PrintResult)> done) override;
  void Help(HelpAction action) override { help.push_back(action); }
  void Beep() override { ++beeps; }
  void Quit(int exit_code) override { quit_code = exit_code; }
};

}  // namespace mirabo::ui
