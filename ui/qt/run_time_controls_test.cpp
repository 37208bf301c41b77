// What a preview needs of the binding, on real widgets (offscreen): a child
// window with its own menus, toolbar strip and status bar; spin fields with
// ranges; controls created and removed at run time; image controls that load
// an image by name, draw it at a size of their own, cache it, scroll, show
// the zoom cursor and alert clicks; alerted paging keys.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QPainter>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <functional>
#include <string>
#include <vector>

#include "ui/image_source.h"
#include "ui/qt/image_control.h"
#include "ui/qt/image_painter.h"
#include "ui/qt/qt_backend.h"
#include "ui/qt/spin_field.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo::ui::qt {
namespace {

// One application for the whole test program, whichever test file makes it.
QApplication& App() {
  static QApplication* app = [] {
    if (auto* existing = qobject_cast<QApplication*>(QCoreApplication::instance())) {
      return existing;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "uiqt_run_time_tests";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return *app;
}

// Images named "swatch:RRGGBB" are a 2 x 3 inch field of that colour.
int g_loads = 0;
class Swatch final : public LoadedImage {
 public:
  explicit Swatch(QColor c) : colour_(c) {}
  QSize NaturalSize() const override { return QSize(2000, 3000); }
  std::string Error() const override { return {}; }
  void Paint(QPainter& p, const QRectF& target) const override { p.fillRect(target, colour_); }

 private:
  QColor colour_;
};

void RegisterSwatches() {
  RegisterImageKind("swatch", [](const std::string& name, int* w, int* h) {
    if (name.rfind("swatch:", 0) != 0) return false;
    *w = 2000;
    *h = 3000;
    return true;
  });
  RegisterImageLoader("swatch", [](const std::string& name) -> std::unique_ptr<LoadedImage> {
    if (name.rfind("swatch:", 0) != 0) return nullptr;
    ++g_loads;
    return std::make_unique<Swatch>(QColor(QString::fromStdString("#" + name.substr(7))));
  });
}

constexpr int kPrint = 1, kPrompt = 2, kSpin = 3, kMenuNext = -2, kMenuView = -1;

const WindowDef& ChildDef() {
  static const WindowDef def = [] {
    WindowDef d;
    d.name = "TEST$CHILD";
    d.title = "Pages";
    d.width = 300;
    d.height = 200;
    d.font_size = 10;
    d.flags = kResizable;
    d.status_zones = {-1, 80};
    d.menus = {{"&View", kMenuView, "", false, {{"&Next", kMenuNext, "Go on"}}}};
    d.toolbar = {
        {.kind = ControlKind::kButton,
         .id = kPrint,
         .at = {3, 2, 14, 14},
         .help = "Print this",
         .icon = "PRINT.ICO"},
        {.kind = ControlKind::kPrompt, .id = kPrompt, .text = "&Page:", .at = {60, 4, -1, -1}},
        {.kind = ControlKind::kSpin,
         .id = kSpin,
         .at = {85, 3, 33, 12},
         .picture = "n4",
         .low = 1,
         .high = 7},
    };
    return d;
  }();
  return def;
}

struct Seen {
  std::vector<Event> events;
  Window* window = nullptr;
  bool Has(int code, int control = 0, int key = 0) const {
    for (const Event& e : events) {
      if (e.code == code && e.control == control && e.key == key) return true;
    }
    return false;
  }
};

Proc Logged(Seen& seen, std::function<void(Window&)> setup) {
  Window w(ChildDef());
  w.Open();
  seen.window = &w;
  setup(w);
  while (Event e = co_await w.Accept()) seen.events.push_back(e);
  seen.window = nullptr;
  w.Close();
}

class RunTimeControlsTest : public ::testing::Test {
 protected:
  RunTimeControlsTest() : backend_(App()), scheduler_(backend_, clock_) { RegisterSwatches(); }

  void OpenChild(std::function<void(Window&)> setup = [](Window&) {}) {
    scheduler_.Start(Logged(seen_, std::move(setup)));
    ASSERT_TRUE(QTest::qWaitFor([&] {
      return seen_.window && backend_.TopWidget(*seen_.window) &&
             backend_.TopWidget(*seen_.window)->isVisible();
    }));
  }
  Window& W() { return *seen_.window; }
  QWidget* Widget(int id) { return backend_.ControlWidget(W(), id); }
  void Sync() {
    backend_.Pump();
    QApplication::processEvents();
  }

  QtBackend backend_;
  SteadyClock clock_;
  Scheduler scheduler_;
  Seen seen_;
};

TEST_F(RunTimeControlsTest, ChildWindowWearsItsMenusToolbarStripAndStatusBar) {
  OpenChild([](Window& w) { w.SetStatus(2, "Page 1 of 7"); });
  auto* chrome = qobject_cast<QMainWindow*>(backend_.TopWidget(W()));
  ASSERT_NE(chrome, nullptr) << "a top-level window with menus is a main window";
  ASSERT_NE(chrome->menuBar(), nullptr);
  QAction* next = nullptr;
  for (QAction* m : chrome->menuBar()->actions()) {
    if (m->menu()) {
      for (QAction* a : m->menu()->actions()) {
        if (a->text() == QStringLiteral("&Next")) next = a;
      }
    }
  }
  ASSERT_NE(next, nullptr);
  next->trigger();
  auto* print = qobject_cast<QToolButton*>(Widget(kPrint));
  ASSERT_NE(print, nullptr);
  EXPECT_FALSE(print->icon().isNull());
  QTest::mouseClick(print, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return seen_.Has(EVENT_Accepted, kMenuNext) && seen_.Has(EVENT_Accepted, kPrint); }));
  bool shows_zone = false;
  for (QLabel* l : chrome->statusBar()->findChildren<QLabel*>()) {
    shows_zone = shows_zone || l->text() == QStringLiteral("Page 1 of 7");
  }
  EXPECT_TRUE(shows_zone);
  W().EnableMenu(kMenuView, false);
  Sync();
  EXPECT_FALSE(chrome->menuBar()->actions().front()->isEnabled());

  // A control at y 1 sits just below the toolbar strip.
  W().CreateControl({.kind = ControlKind::kBox, .id = 50, .at = {1, 1, 20, 20}});
  Sync();
  ASSERT_NE(Widget(50), nullptr);
  EXPECT_GT(Widget(50)->y(), Widget(kSpin)->geometry().bottom());
}

TEST_F(RunTimeControlsTest, SpinArrowsKeepToTheRangeAndTypedEntriesAreChecked) {
  OpenChild([](Window& w) { w.SetValue(kSpin, "6"); });
  auto* spin = dynamic_cast<SpinField*>(Widget(kSpin));
  ASSERT_NE(spin, nullptr);
  EXPECT_EQ(spin->value(), 6);
  spin->stepBy(5);
  ASSERT_TRUE(QTest::qWaitFor([&] { return seen_.Has(EVENT_NewSelection, kSpin); }));
  EXPECT_EQ(W().Value(kSpin), "7") << "the arrows stop at the range's end";

  spin->setFocus();
  spin->selectAll();
  QTest::keyClicks(spin, "99");
  QTest::keyClick(spin, Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return seen_.Has(EVENT_Rejected, kSpin); }));
  EXPECT_EQ(W().Value(kSpin), "99") << "the procedure sees what was typed";

  W().SetRange(kSpin, 1, 200);
  Sync();
  spin->selectAll();
  QTest::keyClicks(spin, "150");
  QTest::keyClick(spin, Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return seen_.Has(EVENT_Accepted, kSpin); }));
  EXPECT_EQ(W().Value(kSpin), "150");
}

TEST_F(RunTimeControlsTest, ControlsComeAndGoAtRunTime) {
  OpenChild();
  for (int i = 1; i <= 4; ++i) {
    W().CreateControl({.kind = ControlKind::kImage, .id = 200 + i, .at = {i * 30, 5, 25, 30}});
  }
  EXPECT_EQ(W().CreateControl({.kind = ControlKind::kBox, .id = 201}), nullptr)
      << "a number in use is refused";
  Sync();
  QPointer<QWidget> second = Widget(202);
  ASSERT_NE(second, nullptr);
  EXPECT_TRUE(second->isVisible());
  W().RemoveControl(202);
  Sync();
  EXPECT_EQ(Widget(202), nullptr);
  QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_TRUE(second.isNull()) << "its widget is deleted";
  ASSERT_NE(Widget(203), nullptr) << "the others stay";
  W().CreateControl({.kind = ControlKind::kImage, .id = 202, .at = {0, 100, 10, 10}});
  W().SetPosition(203, 200, 100, 40, 40);
  Sync();
  ASSERT_NE(Widget(202), nullptr);
  EXPECT_GT(Widget(203)->x(), Widget(204)->x()) << "moved from 90 to 200 units, past 120";
  EXPECT_GT(Widget(203)->width(), Widget(204)->width());
}

TEST_F(RunTimeControlsTest, ImageLoadsByNameDrawsAtItsSizeCachesScrollsAndAlertsClicks) {
  OpenChild([](Window& w) { w.Alert(MouseLeft); });
  int width = 0, height = 0;
  W().CreateControl({.kind = ControlKind::kImage, .id = 300, .at = {0, 0, 60, 50}});
  W().SetIcon(300, "swatch:3366CC");
  ASSERT_TRUE(W().NaturalSize(300, &width, &height));
  EXPECT_GT(height, width) << "2 x 3 inches stands upright";
  W().SetCursor(300, Cursor::kZoom);
  Sync();
  auto* image = dynamic_cast<ImageControl*>(Widget(300));
  ASSERT_NE(image, nullptr);
  EXPECT_TRUE(image->HasPicture());
  QImage shot = image->grab().toImage();
  EXPECT_EQ(QColor(shot.pixel(10, 10)), QColor(0x33, 0x66, 0xCC));
  const int loads = g_loads;
  image->viewport()->repaint();
  image->grab();
  EXPECT_EQ(g_loads, loads) << "what is shown is drawn once and kept";
  EXPECT_EQ(image->viewport()->cursor().shape(), Qt::BitmapCursor);

  // Drawn larger than the control, with scroll bars to move over it.
  W().SetDrawnSize(300, width, height);
  W().SetScrollbars(300, true, true);
  Sync();
  EXPECT_GT(image->verticalScrollBar()->maximum(), 0);
  EXPECT_GT(image->horizontalScrollBar()->maximum(), 0);
  EXPECT_TRUE(image->verticalScrollBar()->isVisible());
  EXPECT_TRUE(image->horizontalScrollBar()->isVisible());
  EXPECT_NEAR(image->ContentSize().height(), image->ContentSize().width() * 3 / 2, 3);

  QTest::mouseClick(image->viewport(), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return seen_.Has(EVENT_AlertKey, 300, MouseLeft); }));
}

TEST_F(RunTimeControlsTest, AlertedPagingKeysReachTheProcedureFromAField) {
  OpenChild([](Window& w) { w.Alert(PgDnKey); });
  QWidget* spin = Widget(kSpin);
  spin->setFocus();
  QTest::keyClick(spin, Qt::Key_PageDown);
  QTest::keyClick(spin, Qt::Key_PageUp);  // not alerted: the field's own
  ASSERT_TRUE(QTest::qWaitFor([&] { return seen_.Has(EVENT_AlertKey, kSpin, PgDnKey); }));
  for (const Event& e : seen_.events) EXPECT_NE(e.key, PgUpKey);
}

}  // namespace
}  // namespace mirabo::ui::qt
