#include "tools/batch/batch_session.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "app/data/thread_block.h"
#include "app/startup.h"
#include "runtime/text.h"
#include "ui/window.h"

namespace mirabo::tools {

class BatchSession::Backend final : public ui::HeadlessBackend {
 public:
  Backend(std::ostream& out, const AnswerRule* rule) : out_(out), rule_(rule) {}

  void ShowMessage(const ui::MessageRequest& r, std::function<void(int)> done) override {
    int answer = r.default_button;
    if (*rule_) {
      answer = (*rule_)(r);
    } else if (r.buttons & ui::kButtonAbort) {
      answer = ui::kButtonAbort;  // a stop box ends the run
    }
    std::string text = r.text;
    for (char& c : text) {
      if (c == '\r' || c == '\n') c = ' ';
    }
    std::string line;
    if (!r.caption.empty()) line = Utf8FromCp1252(r.caption) + ": ";
    line += Utf8FromCp1252(text);
    if (!r.detail.empty()) line += ": " + Printable(r.detail, 400);
    // A box that only informs is held while nobody watches: a scheduled
    // run's log gets errors alone (PrintHeld gives them when the run failed).
    const bool informs = (r.icon == ui::Icon::kNone || r.icon == ui::Icon::kInformation) &&
                         !(r.buttons & ui::kButtonAbort);
    if (informs && hold_information) {
      held.push_back(std::move(line));
    } else {
      out_ << line << "\n";
    }
    answers.push_front(answer);
    ui::HeadlessBackend::ShowMessage(r, std::move(done));
  }

 private:
  std::ostream& out_;
  const AnswerRule* rule_;

 public:
  bool hold_information = false;
  std::vector<std::string> held;
};

BatchSession::BatchSession(std::ostream& messages) {
  // Window positions go to a folder of the session's own.
  char dir[] = "/tmp/mirabo-batch-XXXXXX";
  if (const char* made = mkdtemp(dir)) config_dir_ = made;
  if (const char* old = std::getenv("XDG_CONFIG_HOME")) {
    had_config_ = true;
    previous_config_ = old;
  }
  if (!config_dir_.empty()) setenv("XDG_CONFIG_HOME", config_dir_.c_str(), 1);

  previous_observer_ = app::SetOutcomeObserver([this](const app::Outcome& o) { outcome_ = o; });
  backend_ = std::make_unique<Backend>(messages, &answer_rule_);
  scheduler_ = std::make_unique<ui::Scheduler>(*backend_, clock_);
  app::StartUp(*scheduler_);
}

BatchSession::~BatchSession() {
  scheduler_.reset();
  app::SetOutcomeObserver(std::move(previous_observer_));
  if (had_config_) {
    setenv("XDG_CONFIG_HOME", previous_config_.c_str(), 1);
  } else {
    unsetenv("XDG_CONFIG_HOME");
  }
  std::error_code ec;
  if (!config_dir_.empty()) std::filesystem::remove_all(config_dir_, ec);
}

ui::ThreadId BatchSession::Start(ui::Proc proc) {
  const ui::ThreadId id = scheduler_->Start(std::move(proc));
  scheduler_->RunReady();
  return id;
}

bool BatchSession::RunUntil(const std::function<bool()>& done) {
  scheduler_->RunReady();
  while (!done() && !scheduler_->exited()) {
    const int64_t due = scheduler_->NextTimerDue();
    if (due < 0) break;
    scheduler_->Advance(std::max<int64_t>(0, due - clock_.NowMs()));
  }
  return done();
}

void BatchSession::HoldInformation(bool hold) { backend_->hold_information = hold; }

void BatchSession::PrintHeld(std::ostream& out) {
  for (const std::string& line : backend_->held) out << line << "\n";
  backend_->held.clear();
}

void BatchSession::set_on_change(std::function<void(ui::Window&)> change) {
  backend_->on_change = std::move(change);
}

app::ThreadBlock& BatchSession::Block(ui::ThreadId id) const {
  return *static_cast<app::ThreadBlock*>(scheduler_->ThreadData(id));
}

ui::Window* BatchSession::Top(ui::ThreadId id) const { return scheduler_->TopWindow(id); }

void BatchSession::Post(ui::ThreadId id, int code, int control) {
  if (ui::Window* w = Top(id)) w->Post(code, control);
  scheduler_->RunReady();
}

const std::vector<ui::HeadlessBackend::ShownMessage>& BatchSession::messages() const {
  return backend_->messages;
}

ui::HeadlessBackend& BatchSession::backend() { return *backend_; }

}  // namespace mirabo::tools
