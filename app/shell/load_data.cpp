#include "app/shell/load_data.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/data/standard_message.h"
#include "app/shell/procedures.h"
#include "runtime/current_folder.h"
#include "ui/dialogs.h"
#include "ui/window.h"

extern char** environ;

namespace mirabo::app {
namespace {

std::string& LoaderProgram() {
  static std::string program;
  return program;
}

ui::WindowDef BuildWindow() {
  using ui::ControlKind;
  ui::WindowDef d;
  d.name = "LOADDATA$PROGRESSWINDOW";
  d.title = "Loading Data";
  d.width = 180;
  d.height = 59;
  d.timer = 10;
  d.controls = {
      {.kind = ControlKind::kString, .id = kLoadStatus, .at = {0, 3, 179, 10}, .centred = true},
      {.kind = ControlKind::kProgress, .id = kLoadProgress, .at = {15, 15, 149, 12}},
      {.kind = ControlKind::kString,
       .id = kLoadPercent,
       .text = "0% Completed",
       .at = {0, 30, 179, 10},
       .centred = true},
      {.kind = ControlKind::kButton,
       .id = kLoadCancel,
       .text = "Cancel",
       .at = {65, 42, 50, 15},
       .cancel_button = true},
  };
  return d;
}

// The loader as a process of its own: its output read as it comes, without
// ever waiting for it.
class LoaderProcess {
 public:
  ~LoaderProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGINT);
      int status = 0;
      waitpid(pid_, &status, 0);
    }
    for (int fd : {out_, err_}) {
      if (fd >= 0) close(fd);
    }
  }

  // Starts it; false with the system's reason when it cannot be started.
  bool Start(const std::vector<std::string>& args, std::string* why) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0) return Failed(why);
    if (pipe2(err, O_CLOEXEC) != 0) {
      close(out[0]);
      close(out[1]);
      return Failed(why);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<char*> argv;
    std::vector<std::string> copy = args;
    for (std::string& a : copy) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    close(err[1]);
    out_ = out[0];
    err_ = err[0];
    fcntl(out_, F_SETFL, O_NONBLOCK);
    fcntl(err_, F_SETFL, O_NONBLOCK);
    if (rc != 0) {
      pid_ = -1;
      errno = rc;
      return Failed(why);
    }
    return true;
  }

  // Reads what it wrote since; true once it has ended (exit_status() then).
  bool Poll() {
    Drain(out_, &out_text_);
    Drain(err_, &err_text_);
    if (pid_ <= 0) return true;
    int status = 0;
    if (waitpid(pid_, &status, WNOHANG) != pid_) return false;
    pid_ = -1;
    Drain(out_, &out_text_);
    Drain(err_, &err_text_);
    exit_status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
  }

  void Interrupt() {
    if (pid_ > 0) kill(pid_, SIGINT);
  }

  int exit_status() const { return exit_status_; }
  const std::string& out() const { return out_text_; }
  std::string& err() { return err_text_; }

 private:
  static bool Failed(std::string* why) {
    *why = std::strerror(errno);
    return false;
  }
  static void Drain(int fd, std::string* text) {
    char buffer[4096];
    for (ssize_t n; fd >= 0 && (n = read(fd, buffer, sizeof buffer)) > 0;) text->append(buffer, n);
  }

  pid_t pid_ = -1;
  int out_ = -1, err_ = -1;
  int exit_status_ = -1;
  std::string out_text_, err_text_;
};

// The loader's progress lines in `err` ("mirabo load: progress 42 FILE"):
// the last one's percentage and file, taken out of `err`.
void TakeProgress(std::string* err, int* percent, std::string* file) {
  static constexpr std::string_view kMark = "mirabo load: progress ";
  std::string rest;
  size_t from = 0;
  while (from < err->size()) {
    const size_t end = err->find('\n', from);
    if (end == std::string::npos) break;  // a line not yet whole stays
    const std::string_view line(err->data() + from, end - from);
    if (line.substr(0, kMark.size()) == kMark) {
      const std::string_view tail = line.substr(kMark.size());
      *percent = std::atoi(std::string(tail).c_str());
      const size_t blank = tail.find(' ');
      if (blank != std::string_view::npos) *file = std::string(tail.substr(blank + 1));
    } else {
      rest.append(line).push_back('\n');
    }
    from = end + 1;
  }
  rest.append(*err, from);
  *err = std::move(rest);
}

// Picks the files; none when the user cancels.
ui::Task<std::vector<std::string>> PickFiles() {
  ui::FileDialogRequest request;
  request.title = "Load Data";
  request.file = CurrentFolder().value_or("");
  request.filter = "Data Files|*.CSV;*.DBF|All Files|*.*";
  request.save = false;
  request.multiple = true;
  const std::optional<std::string> chosen = co_await ui::FileDialog(request);
  std::vector<std::string> files;
  if (!chosen) co_return files;
  size_t from = 0;
  for (size_t end; (end = chosen->find('\0', from)) != std::string::npos; from = end + 1) {
    files.push_back(chosen->substr(from, end - from));
  }
  if (from < chosen->size()) files.push_back(chosen->substr(from));
  co_return files;
}

}  // namespace

void SetLoaderProgram(std::string path) { LoaderProgram() = std::move(path); }

const ui::WindowDef& LoadDataWindowDef() {
  static const ui::WindowDef def = BuildWindow();
  return def;
}

ui::Proc LoadData() {
  const std::optional<std::string> folder = CurrentFolder();
  if (LoaderProgram().empty() || !folder) {
    const ui::MessageRequest m{"Loading data is not available here: the loader cannot be found.",
                               "Load Data", ui::Icon::kExclamation};
    co_await ui::Message(m);
    co_return;
  }
  const std::vector<std::string> files = co_await PickFiles();
  if (files.empty()) co_return;
  const ui::MessageRequest ask{
      "Replace the tables these files name?\n\nYes: each of them then holds the rows of its "
      "file alone.\nNo: the rows are added to what the tables hold.",
      "Load Data", ui::Icon::kQuestion, ui::kButtonYes | ui::kButtonNo | ui::kButtonCancel,
      ui::kButtonYes};
  const int how = co_await ui::Message(ask);
  if (how == ui::kButtonCancel) co_return;

  std::vector<std::string> args = {LoaderProgram(), "load", "--progress", "--data", *folder};
  if (how == ui::kButtonYes) args.push_back("--replace");
  args.insert(args.end(), files.begin(), files.end());
  LoaderProcess loader;
  std::string why;
  if (!loader.Start(args, &why)) {
    ui::MessageRequest m{"The loader could not be started.", "Load Data", ui::Icon::kExclamation};
    m.detail = LoaderProgram() + ": " + why;
    co_await ui::Message(m);
    co_return;
  }

  ui::Window w(LoadDataWindowDef());
  w.Open();
  w.SetValue(kLoadProgress, "0");
  w.SetText(kLoadStatus, "Loading...");
  bool cancelled = false;
  int shown = 0;
  while (ui::Event e = co_await w.Accept()) {
    if (e.code == ui::EVENT_Timer) {
      const bool ended = loader.Poll();
      int percent = shown;
      std::string file;
      TakeProgress(&loader.err(), &percent, &file);
      if (percent != shown) {
        shown = percent;
        w.SetValue(kLoadProgress, std::to_string(percent));
        w.SetText(kLoadPercent, PercentText(percent));
      }
      if (!file.empty()) w.SetText(kLoadStatus, "Loading " + file);
      if (ended) {
        w.SetTimer(0);
        w.Post(ui::EVENT_CloseWindow);
      }
    } else if ((e.code == ui::EVENT_Accepted && e.control == kLoadCancel) ||
               e.code == ui::EVENT_CloseWindow) {
      if (loader.Poll()) continue;  // it ended: this is the window's own close
      // The loader rolls back and ends; the window waits for it.
      cancelled = true;
      loader.Interrupt();
      w.SetText(kLoadStatus, "Cancelling...");
      w.Disable(kLoadCancel);
    }
  }
  w.Close();
  // Closed from its close box while the loader works: it is cancelled, and
  // waited for between events, never on the window's thread.
  if (!loader.Poll()) {
    cancelled = true;
    loader.Interrupt();
    while (!loader.Poll()) co_await ui::Sleep(50);
  }

  ui::MessageRequest end{"", "Load Data"};
  if (loader.exit_status() == 0) {
    end.text = "The data was loaded.";
    end.detail = loader.out();
  } else if (cancelled) {
    end.text = "Loading was cancelled: no data file changed.";
    end.icon = ui::Icon::kInformation;
  } else {
    end.text = "The data could not be loaded: no data file changed.";
    end.icon = ui::Icon::kExclamation;
    end.detail = loader.err();
  }
  while (!end.detail.empty() && end.detail.back() == '\n') end.detail.pop_back();
  co_await ui::Message(end);
}

void RegisterLoadData() {
  RegisterProcedure("LoadData", [] { return LoadData(); });
}

}  // namespace mirabo::app
