#include "ui/qt/lock_wait_pump.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QMainWindow>
#include <QStatusBar>
#include <QTimer>

#include "runtime/lock_wait.h"

namespace mirabo::ui::qt {
namespace {

QApplication& App() {
  if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) return *app;
  qputenv("QT_QPA_PLATFORM", "offscreen");
  static int argc = 1;
  static char name[] = "uiqt_tests";
  static char* argv[] = {name, nullptr};
  return *new QApplication(argc, argv);
}

// A wait for another process's lock keeps Qt's events flowing (a timer that
// falls due fires during the wait), says in the status bar what it waits
// for, and shows a busy cursor until the wait is over.
TEST(LockWaitPumpTest, AWaitKeepsEventsFlowingAndSaysWhatItWaitsFor) {
  App();
  QMainWindow frame;
  frame.statusBar();
  bool fired = false;
  {
    LockWaitPump pump([&] { return &frame; });
    QTimer::singleShot(0, &frame, [&] { fired = true; });
    EXPECT_TRUE(ObserveLockWait({"/data/SUPPLIER.KVX", static_cast<int>(getpid()), 0, true}));
    EXPECT_TRUE(fired) << "events are delivered between the steps of a wait";
    const QString text = frame.statusBar()->currentMessage();
    EXPECT_TRUE(text.contains(QLatin1String("Waiting for SUPPLIER.KVX, which ")) &&
                text.contains(QStringLiteral("(process %1)").arg(getpid())))
        << text.toStdString();
    EXPECT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(ObserveLockWait({"/data/SUPPLIER.KVX", 0, 5, false}));
    pump.WaitOver();
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(frame.statusBar()->currentMessage().isEmpty());
  }
  int seen = 0;
  const LockWaitObserver before = SetLockWaitObserver([&](const LockWait&) { return ++seen < 0; });
  {
    LockWaitPump pump([] { return nullptr; });
  }
  EXPECT_FALSE(ObserveLockWait({"f", 0, 0, true})) << "the pump put the previous observer back";
  EXPECT_EQ(seen, 1);
  SetLockWaitObserver(before);
}

}  // namespace
}  // namespace mirabo::ui::qt
