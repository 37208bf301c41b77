#include "ui/scheduler.h"

#include <algorithm>
#include <cassert>
#include <cstdio>
#include <deque>

#include "runtime/file.h"
#include "ui/dialogs.h"
#include "ui/window.h"

namespace mirabo::ui {

namespace {
Scheduler* g_installed = nullptr;
}  // namespace

struct Scheduler::Thread {
  enum class State { kNew, kEvent, kModal, kModalDone, kSleep, kRunning };
  ThreadId id = 0;
  int stack = kMinStack;
  std::coroutine_handle<> root;
  std::coroutine_handle<> resume;
  State state = State::kNew;
  Window* waiting_on = nullptr;
  int64_t wake_at = 0;           // kSleep: the clock time it waits for
  uint64_t not_before_pass = 0;  // kSleep: the first RunReady pass that may resume it
  std::shared_ptr<void> data;
  std::vector<Window*> windows;    // open windows, oldest first
  std::deque<DriverAlert> alerts;  // raised by drivers, shown before the next wait
  bool alerting = false;           // an alert is on screen; not resumed meanwhile
};

Scheduler::Scheduler(Backend& backend, Clock& clock) : backend_(&backend), clock_(&clock) {
  g_installed = this;
  SetDriverAlertSink([this](const DriverAlert& a) { QueueAlert(a); });
}

Scheduler::~Scheduler() {
  // Threads still waiting are dropped: their frames are destroyed, which
  // closes their windows through the windows' destructors.
  exited_ = true;
  while (!threads_.empty()) {
    auto node = threads_.extract(threads_.begin());
    current_ = node.key();
    node.mapped()->root.destroy();
  }
  current_ = 0;
  if (g_installed == this) {
    g_installed = nullptr;
    SetDriverAlertSink(nullptr);
  }
}

Scheduler& Scheduler::Get() {
  assert(g_installed && "no scheduler installed");
  return *g_installed;
}

bool Scheduler::Installed() { return g_installed != nullptr; }

int64_t Scheduler::WorkTimeUs() const {
  if (work_clock_) return work_clock_();
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void Scheduler::SetThreadDataFactory(std::function<std::shared_ptr<void>()> factory) {
  data_factory_ = std::move(factory);
}

void* Scheduler::ThreadData(ThreadId id) {
  auto it = threads_.find(id);
  return it == threads_.end() ? nullptr : it->second->data.get();
}

ThreadId Scheduler::Start(Proc proc, int stack_size) {
  if (exited_ || static_cast<int>(threads_.size()) >= kMaxThreads) return 0;
  ThreadId id = 1;
  while (threads_.count(id)) ++id;
  auto t = std::make_unique<Thread>();
  t->id = id;
  t->stack = std::max(stack_size, kMinStack);
  t->root = proc.release();
  t->resume = t->root;
  if (data_factory_) t->data = data_factory_();
  threads_[id] = std::move(t);
  if (!running_) backend_->Wake();
  return id;
}

int Scheduler::StackSize(ThreadId id) const {
  auto it = threads_.find(id);
  return it == threads_.end() ? 0 : it->second->stack;
}

bool Scheduler::Ready(const Thread& t) const {
  if (t.alerting) return false;
  switch (t.state) {
    case Thread::State::kNew:
    case Thread::State::kModalDone:
      return true;
    case Thread::State::kEvent:
      return t.waiting_on && t.waiting_on->has_events();
    case Thread::State::kSleep:
      return clock_->NowMs() >= t.wake_at && pass_ >= t.not_before_pass;
    default:
      return false;
  }
}

bool Scheduler::RunReady() {
  if (running_) return false;  // a thread is running: it will come back here
  running_ = true;
  ++pass_;
  bool any = false;
  while (!exited_) {
    // Round robin from the thread after the last one resumed.
    Thread* next = nullptr;
    for (auto& [id, t] : threads_) {
      if (id > last_resumed_ && Ready(*t)) {
        next = t.get();
        break;
      }
    }
    if (!next) {
      for (auto& [id, t] : threads_) {
        if (Ready(*t)) {
          next = t.get();
          break;
        }
      }
    }
    if (!next) break;
    any = true;
    last_resumed_ = next->id;
    current_ = next->id;
    next->state = Thread::State::kRunning;
    next->resume.resume();
    if (exited_) break;
    const bool finished = next->root.done();
    const bool stranded = !finished && next->state == Thread::State::kRunning;
    if (stranded) {
      // It suspended on something the scheduler does not know: nothing
      // would ever resume it.  Say so, and end the thread like a finished one.
      std::fprintf(stderr,
                   "mirabo: procedure thread %d waited for something other than an event, a "
                   "modal answer or the clock; it is ended\n",
                   next->id);
      ++stranded_;
    }
    if (finished || stranded) {
      const ThreadId id = next->id;
      auto node = threads_.extract(id);
      // Windows a procedure left open close with it.
      for (Window* w : std::vector<Window*>(node.mapped()->windows)) w->Close();
      node.mapped()->root.destroy();
      // Boxes its last file statements raised are still shown.
      for (const DriverAlert& a : node.mapped()->alerts) ShowAlert(a, [] {});
    }
    current_ = 0;
  }
  current_ = 0;
  running_ = false;
  // Every thread now waits for its user: no data file keeps other
  // processes from writing meanwhile.
  if (any) ReleaseAllFileLocks();
  return any;
}

void Scheduler::WaitForEvent(Window& w, std::coroutine_handle<> h) {
  Thread& t = *threads_.at(current_);
  t.state = Thread::State::kEvent;
  t.waiting_on = &w;
  t.resume = h;
  if (!t.alerts.empty()) ShowAlerts(t.id, [] {});
}

void Scheduler::WaitUntil(int64_t due_ms, std::coroutine_handle<> h) {
  Thread& t = *threads_.at(current_);
  t.state = Thread::State::kSleep;
  t.wake_at = due_ms;
  t.not_before_pass = 0;
  t.resume = h;
  if (!t.alerts.empty()) ShowAlerts(t.id, [] {});
}

void Scheduler::WaitForNextPass(std::coroutine_handle<> h) {
  WaitUntil(clock_->NowMs(), h);
  threads_.at(current_)->not_before_pass = pass_ + 1;
}

void Scheduler::WaitForModal(std::coroutine_handle<> h, std::function<void()> start) {
  Thread& t = *threads_.at(current_);
  t.state = Thread::State::kModal;
  t.resume = h;
  if (t.alerts.empty()) {
    start();
  } else {
    ShowAlerts(t.id, std::move(start));
  }
}

void Scheduler::QueueAlert(const DriverAlert& alert) {
  auto it = threads_.find(current_);
  if (it == threads_.end()) {
    ShowAlert(alert, [] {});
  } else {
    it->second->alerts.push_back(alert);
  }
}

void Scheduler::ShowAlert(const DriverAlert& alert, std::function<void()> then) {
  if (exited_) return;
  MessageRequest r;
  if (alert.kind == DriverAlert::Kind::kStop) {
    r = StopBoxRequest(alert.text);
  } else {
    r.caption = alert.caption;
    r.text = alert.text;
    r.icon = Icon::kExclamation;
  }
  const bool stop = alert.kind == DriverAlert::Kind::kStop;
  backend_->ShowMessage(r, [this, stop, then = std::move(then)](int pressed) {
    if (g_installed != this) return;  // answered after the scheduler went
    if (stop && pressed != kButtonIgnore) {
      Exit(0);
      return;
    }
    then();
  });
}

void Scheduler::ShowAlerts(ThreadId id, std::function<void()> then) {
  auto it = threads_.find(id);
  if (it == threads_.end() || exited_) return;
  Thread& t = *it->second;
  if (t.alerts.empty()) {
    t.alerting = false;
    then();
    if (!running_) backend_->Wake();
    return;
  }
  t.alerting = true;
  const DriverAlert alert = std::move(t.alerts.front());
  t.alerts.pop_front();
  ShowAlert(alert,
            [this, id, then = std::move(then)]() mutable { ShowAlerts(id, std::move(then)); });
}

void Scheduler::ModalDone(ThreadId id) {
  auto it = threads_.find(id);
  if (it == threads_.end()) return;
  it->second->state = Thread::State::kModalDone;
  if (!running_) backend_->Wake();
}

int64_t Scheduler::NextTimerDue() const {
  int64_t due = -1;
  for (const Window* w : windows_) {
    if (w->timer() > 0 && (due < 0 || w->timer_due() < due)) due = w->timer_due();
  }
  for (const auto& [id, t] : threads_) {
    if (t->state == Thread::State::kSleep && (due < 0 || t->wake_at < due)) due = t->wake_at;
  }
  return due;
}

void Scheduler::Tick() {
  const int64_t now = clock_->NowMs();
  for (Window* w : std::vector<Window*>(windows_)) {
    if (w->timer() > 0 && w->timer_due() <= now) {
      w->timer_due_ = now + w->timer() * 10;
      w->Post(EVENT_Timer);
    }
  }
  RunReady();
}

void Scheduler::Advance(int64_t ms) {
  auto* vc = dynamic_cast<VirtualClock*>(clock_);
  assert(vc && "Advance needs a virtual clock");
  const int64_t end = vc->NowMs() + ms;
  RunReady();
  while (!exited_) {
    const int64_t due = NextTimerDue();
    if (due < 0 || due > end) break;
    vc->Set(std::max(due, vc->NowMs()));
    Tick();
  }
  if (!exited_) vc->Set(end);
  RunReady();
}

Window* Scheduler::TopWindow(ThreadId id) const {
  auto it = threads_.find(id);
  if (it == threads_.end() || it->second->windows.empty()) return nullptr;
  return it->second->windows.back();
}

bool Scheduler::PostToThread(ThreadId id, Event e) {
  Window* w = TopWindow(id);
  if (!w) return false;
  w->Post(e.code, e.control, e.key);
  return true;
}

void Scheduler::Exit(int exit_code) {
  if (exited_) return;
  exited_ = true;
  exit_code_ = exit_code;
  backend_->Quit(exit_code);
}

void Scheduler::Register(Window& w) {
  windows_.push_back(&w);
  w.owner_ = current_;
  auto it = threads_.find(current_);
  if (it != threads_.end()) it->second->windows.push_back(&w);
  backend_->WindowOpened(w);
}

void Scheduler::Unregister(Window& w) {
  windows_.erase(std::remove(windows_.begin(), windows_.end(), &w), windows_.end());
  if (active_child_ == &w) active_child_ = nullptr;
  auto it = threads_.find(w.owner_);
  if (it != threads_.end()) {
    auto& ws = it->second->windows;
    ws.erase(std::remove(ws.begin(), ws.end(), &w), ws.end());
    if (it->second->waiting_on == &w) it->second->waiting_on = nullptr;
  }
  backend_->WindowClosed(w);
}

void Scheduler::Changed(Window& w) {
  if (w.is_open()) backend_->WindowChanged(w);
}

}  // namespace mirabo::ui
