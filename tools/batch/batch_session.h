// The program's procedures without a display, for the batch commands.
//
// A session is the headless window model on a virtual clock, with every
// procedure and driver registered as at start-up: a batch command starts the
// same procedure the window would, sets its controls and presses its buttons
// as a user would, and so writes exactly what the window writes for the same
// choice.  Timers fire as soon as everything else has run (the virtual clock
// moves straight to the next one), so work paced by a 10 ms timer in the
// window runs at the speed of the work here.
//
// The outcome of the output a procedure wrote (app/data/outcome.h) is kept:
// a command decides its exit status by it, never by a text a window showed.
//
// Message boxes the procedures show go to the session's message stream as
// text ("Caption: text") and are answered by the session's answer rule
// (by default the box's default button; a stop box is answered Abort, which
// ends the run).  Window positions go to a private configuration folder that
// the session removes, so a batch run never moves the user's windows.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "app/data/outcome.h"
#include "ui/headless.h"
#include "ui/scheduler.h"
#include "ui/task.h"

namespace mirabo::app {
class ThreadBlock;
}

namespace mirabo::tools {

class BatchSession {
 public:
  // Messages go to `messages` (standard error for the command line).
  explicit BatchSession(std::ostream& messages);
  ~BatchSession();
  BatchSession(const BatchSession&) = delete;
  BatchSession& operator=(const BatchSession&) = delete;

  // How a message box is answered; the default answers the default button,
  // and Abort to a stop box.
  using AnswerRule = std::function<int(const ui::MessageRequest&)>;
  void set_answer_rule(AnswerRule rule) { answer_rule_ = std::move(rule); }

  // Starts `proc` on a new thread and runs until every thread waits.
  ui::ThreadId Start(ui::Proc proc);
  // Runs the threads, moving the clock on from timer to timer, until `done`
  // is true, the program ended, or nothing is left that could move (every
  // thread waits for input and no timer runs).  Returns `done()`.
  bool RunUntil(const std::function<bool()>& done);
  // While on, boxes that only inform (no warning icon, no stop box) are held
  // rather than written: a scheduled run's log gets its errors alone.
  // PrintHeld writes what was held, for a run that failed.
  void HoldInformation(bool hold);
  void PrintHeld(std::ostream& out);

  // Called on every change of an open window, as it happens, also within
  // one long event (for a command's progress display).
  void set_on_change(std::function<void(ui::Window&)> change);

  // The window thread `id` works in now (null when it has none or ended).
  ui::Window* Top(ui::ThreadId id) const;
  // Posts an event to that window and runs until every thread waits again.
  void Post(ui::ThreadId id, int code, int control = 0);
  bool Alive(ui::ThreadId id) const { return scheduler_->Alive(id); }
  bool ended() const { return scheduler_->exited(); }
  // The scheduler the procedures run on (for a command that needs more of it).
  ui::Scheduler& scheduler() { return *scheduler_; }
  // The per-thread block of a live thread.
  app::ThreadBlock& Block(ui::ThreadId id) const;

  // The outcome the last output run told of; none when no run wrote (or
  // refused to write) an output.
  const std::optional<app::Outcome>& outcome() const { return outcome_; }

  // Every box shown so far, with its answer.
  const std::vector<ui::HeadlessBackend::ShownMessage>& messages() const;
  ui::HeadlessBackend& backend();

 private:
  class Backend;
  std::string config_dir_;
  std::string previous_config_;
  bool had_config_ = false;
  std::unique_ptr<Backend> backend_;
  ui::VirtualClock clock_;
  std::unique_ptr<ui::Scheduler> scheduler_;
  AnswerRule answer_rule_;
  std::optional<app::Outcome> outcome_;
  app::OutcomeObserver previous_observer_;
};

}  // namespace mirabo::tools
