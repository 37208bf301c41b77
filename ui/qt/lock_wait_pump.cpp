#include "ui/qt/lock_wait_pump.h"

#include <QApplication>
#include <QFileInfo>
#include <QMainWindow>
#include <QStatusBar>

#include <utility>

namespace mirabo::ui::qt {

LockWaitPump::LockWaitPump(std::function<QMainWindow*()> frame)
    : frame_(std::move(frame)),
      previous_(SetLockWaitObserver([this](const LockWait& w) { return Step(w); })) {}

LockWaitPump::~LockWaitPump() {
  WaitOver();
  SetLockWaitObserver(std::move(previous_));
}

bool LockWaitPump::Step(const LockWait& wait) {
  if (wait.first) {
    if (!waiting_) QApplication::setOverrideCursor(Qt::BusyCursor);
    waiting_ = true;
    if (QMainWindow* frame = frame_(); frame && frame->statusBar()) {
      QString who = QStringLiteral("another program");
      if (wait.holder > 0) {
        const std::string name = ProcessName(wait.holder);
        who = QString::fromStdString(name.empty()
                                         ? "process " + std::to_string(wait.holder)
                                         : name + " (process " + std::to_string(wait.holder) + ")");
      }
      frame->statusBar()->showMessage(
          QStringLiteral("Waiting for %1, which %2 holds locked...")
              .arg(QFileInfo(QString::fromStdString(wait.file)).fileName(), who));
    }
  }
  QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  return true;
}

void LockWaitPump::WaitOver() {
  if (!waiting_) return;
  waiting_ = false;
  QApplication::restoreOverrideCursor();
  if (QMainWindow* frame = frame_(); frame && frame->statusBar())
    frame->statusBar()->clearMessage();
}

}  // namespace mirabo::ui::qt
