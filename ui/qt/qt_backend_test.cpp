// The Qt binding on real widgets (offscreen platform): procedures run under
// the scheduler driven by Qt's event loop, the test plays the user on the
// widgets and checks what reaches the procedures and the model.  One suite
// for the whole binding: its cases share one application and frame.
#include "ui/qt/qt_backend.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QTextBrowser>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "ui/dialogs.h"
#include "ui/qt/help_window.h"
#include "ui/qt/icons.h"
#include "ui/qt/image_control.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo::ui::qt {
namespace {

// The offscreen platform says so whenever a window asks for something only a
// real display has; that is not news for these tests.
void QuietPlatformNotes(QtMsgType type, const QMessageLogContext& context, const QString& msg) {
  if (msg.startsWith(QLatin1String("This plugin does not support")) ||
      msg.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR"))) {
    return;
  }
  qt_message_output(type, context, msg);
}

QApplication& App() {
  static QApplication* app = [] {
    qInstallMessageHandler(QuietPlatformNotes);
    // Qt's dialogs remember their state in the user's settings: not ours to change.
    const QString config = QDir::tempPath() + QStringLiteral("/mirabo-uiqt-tests-config");
    QDir().mkpath(config);
    qputenv("XDG_CONFIG_HOME", config.toLocal8Bit());
    // MIRABO_UIQT_PLATFORM=xcb runs the same tests on a (virtual) X display.
    const char* platform = std::getenv("MIRABO_UIQT_PLATFORM");
    qputenv("QT_QPA_PLATFORM", platform && *platform ? platform : "offscreen");
    static int argc = 1;
    static char name[] = "uiqt_tests";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return *app;
}

constexpr int kList = 1;
constexpr int kEntry = 3;
constexpr int kClose = 4;
constexpr int kFileName = 5;

const WindowDef& FrameDef() {
  static const WindowDef def = [] {
    WindowDef d;
    d.name = "MAIN$APPFRAME";
    d.title = "Mirabo Features Database Browser";
    d.width = 439;
    d.height = 289;
    d.flags = kMdiFrame | kResizable | kMaximizeBox;
    d.icon = "BR32.ICO";
    d.menus = {
        {"&File",
         0,
         "",
         false,
         {{"&Create File", -1, "Create a copy of a File"},
          {},
          {"E&xit", -3, "Exit this application"}}},
        {"Se&arch", -12, "Search Features"},
        {"&Reports",
         -13,
         "Report data",
         false,
         {{"&Features",
           -15,
           "Features Reports",
           false,
           {{"By &Category", -16, "Print by Category"}}}}},
        {"&Window",
         0,
         "Create and Arrange windows",
         false,
         {{"T&ile", -23, "Make all open windows visible"},
          {"&Cascade", -24, "Stack all open windows"}}},
    };
    d.toolbar = {
        {.kind = ControlKind::kButton,
         .id = 2005,
         .help = "Go to the First Page",
         .icon = "VCRFIRST.ICO"},
        {.kind = ControlKind::kButton,
         .id = 2008,
         .help = "Go to the Next Record",
         .icon = "VCRDOWN.ICO"},
        {.kind = ControlKind::kButton,
         .id = 2013,
         .text = "Suppliers",
         .help = "Browse the Supplier Table"},
    };
    d.status_zones = {-1, 80, 120, 45};
    return d;
  }();
  return def;
}

const WindowDef& BrowseDef() {
  static const WindowDef def = [] {
    WindowDef d;
    d.name = "BROWSESUPPLIER$QUICKWINDOW";
    d.title = "Browse the Supplier Table";
    d.width = 250;
    d.height = 150;
    d.flags = kMdiChild | kResizable | kMaximizeBox;
    d.controls = {
        {.kind = ControlKind::kList,
         .id = kList,
         .at = {4, 16, 200, 100},
         .format = "120L(2)|M~Supplier~@s36@40R(2)|M~Ref~C@n6@"},
        {.kind = ControlKind::kEntry, .id = kEntry, .at = {4, 2, 100, 10}, .picture = "s20"},
        {.kind = ControlKind::kEntry,
         .id = kFileName,
         .at = {110, 2, 90, 10},
         .picture = "s255",
         .file_name = true},
        {.kind = ControlKind::kButton,
         .id = kClose,
         .text = "&Close",
         .at = {200, 130, 45, 14},
         .help = "Close this Window"},
    };
    return d;
  }();
  return def;
}

const WindowDef& AboutDef() {
  static const WindowDef def = [] {
    WindowDef d;
    d.name = "ABOUTQRT$WINDOW";
    d.width = 204;
    d.height = 94;
    d.flags = kNoCaption;
    d.controls = {{.kind = ControlKind::kString,
                   .id = 1,
                   .text = "MIRABO Features Database Browser",
                   .at = {0, 4, 204, 10},
                   .centred = true},
                  {.kind = ControlKind::kImage, .id = 2, .at = {70, 20, 64, 40}, .icon = "LOGO"}};
    return d;
  }();
  return def;
}

// What a procedure saw: its events, and the visible rows when it opened.
struct Seen {
  std::vector<Event> events;
  int rows_at_open = -1;
  Window* window = nullptr;
  bool Has(int code, int control = 0, int key = 0) const {
    for (const Event& e : events) {
      if (e.code == code && e.control == control && e.key == key) return true;
    }
    return false;
  }
  int Count(int code) const {
    int n = 0;
    for (const Event& e : events) n += e.code == code;
    return n;
  }
};

// Opens `def`, optionally fills it, and records every event until closed.
Proc Logged(const WindowDef& def, Seen& seen, std::function<void(Window&)> setup = {}) {
  Window w(def);
  w.Open();
  seen.window = &w;
  if (setup) setup(w);
  while (Event e = co_await w.Accept()) {
    if (e.code == EVENT_OpenWindow) {
      for (const auto& c : w.controls()) {
        if (c->kind == ControlKind::kList) seen.rows_at_open = c->visible_rows;
      }
    }
    seen.events.push_back(e);
  }
  seen.window = nullptr;
  w.Close();
}

std::vector<std::vector<std::string>> Rows(int n) {
  std::vector<std::vector<std::string>> rows;
  for (int i = 1; i <= n; ++i) rows.push_back({"Supplier " + std::to_string(i), std::to_string(i)});
  return rows;
}

class QtBackendTest : public ::testing::Test {
 protected:
  QtBackendTest() : backend_(App()), scheduler_(backend_, clock_) {}

  static bool WaitFor(const std::function<bool()>& done, int ms = 3000) {
    return QTest::qWaitFor(done, ms);
  }

  // The frame and one browse in it, with `rows` rows of which the last is
  // highlighted.
  void OpenFrameAndBrowse(int rows = 3) {
    scheduler_.Start(Logged(FrameDef(), frame_));
    ASSERT_TRUE(
        WaitFor([&] { return backend_.FrameWindow() && backend_.FrameWindow()->isVisible(); }));
    scheduler_.Start(Logged(BrowseDef(), browse_, [rows](Window& w) {
      w.Alert(MouseLeft2);
      w.Alert(InsertKey);
      w.SetRows(kList, Rows(rows));
      w.SetSelected(kList, rows);
      w.Select(kList);
    }));
    ASSERT_TRUE(WaitFor([&] {
      return browse_.window && backend_.TopWidget(*browse_.window) &&
             backend_.TopWidget(*browse_.window)->isVisible();
    }));
    view_ = qobject_cast<QTableView*>(backend_.ControlWidget(*browse_.window, kList));
    ASSERT_NE(view_, nullptr);
  }

  Control& ListModel() { return *browse_.window->Find(kList); }

  // Sends a key to the list and lets the procedure see it.
  void Key(Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier, const QString& text = {}) {
    QKeyEvent press(QEvent::KeyPress, key, mods, text);
    QApplication::sendEvent(view_, &press);
    backend_.Pump();
  }

  QtBackend backend_;
  SteadyClock clock_;
  Scheduler scheduler_;
  Seen frame_, browse_;
  QTableView* view_ = nullptr;
};

TEST_F(QtBackendTest, ToolbarButtonsAndMenuItemsReachTheFrameAsAccepted) {
  OpenFrameAndBrowse();
  QAbstractButton* first = backend_.ToolbarButton(2005);
  ASSERT_NE(first, nullptr);
  EXPECT_FALSE(first->icon().isNull());
  EXPECT_EQ(first->toolTip(), QStringLiteral("Go to the First Page"));
  EXPECT_EQ(backend_.ToolbarButton(2013)->text(), QStringLiteral("Suppliers"));
  QTest::mouseClick(first, Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return frame_.Has(EVENT_Accepted, 2005); }));

  backend_.MenuAction(-1)->trigger();
  backend_.MenuAction(-12)->trigger();  // an item on the menu bar itself
  backend_.MenuAction(-16)->trigger();  // two submenus deep
  ASSERT_TRUE(WaitFor([&] {
    return frame_.Has(EVENT_Accepted, -1) && frame_.Has(EVENT_Accepted, -12) &&
           frame_.Has(EVENT_Accepted, -16);
  }));
  EXPECT_FALSE(browse_.Has(EVENT_Accepted, 2005)) << "the frame passes buttons on, not the binding";
}

TEST_F(QtBackendTest, MenuStateAndStatusZonesFollowTheModel) {
  OpenFrameAndBrowse();
  Window& frame = *frame_.window;
  frame.EnableMenu(-1, false);
  frame.SetStatus(3, "Monday, 8 December 2025");
  frame.Disable(2008);
  backend_.Pump();
  EXPECT_FALSE(backend_.MenuAction(-1)->isEnabled());
  EXPECT_EQ(backend_.StatusZone(3)->text(), QStringLiteral("Monday, 8 December 2025"));
  EXPECT_FALSE(backend_.ToolbarButton(2008)->isEnabled());
  // Zone widths are dialog units; the first zone stretches.
  EXPECT_GT(backend_.StatusZone(1)->width(), backend_.StatusZone(4)->width());

  // Pointing at an item shows its message in zone 1.
  backend_.MenuAction(-3)->hover();
  backend_.Pump();
  EXPECT_EQ(frame.Status(1), "Exit this application");
  EXPECT_EQ(backend_.StatusZone(1)->text(), QStringLiteral("Exit this application"));
}

TEST_F(QtBackendTest, AMenuItemsStatusTextGoesWhenItsMenuCloses) {
  OpenFrameAndBrowse();
  Window& frame = *frame_.window;
  QMenuBar* bar = backend_.FrameWindow()->menuBar();
  QAction *window = nullptr, *search = nullptr;
  for (QAction* a : bar->actions()) {
    if (a->text() == QStringLiteral("&Window")) window = a;
    if (a->text() == QStringLiteral("Se&arch")) search = a;
  }
  ASSERT_TRUE(window && search);
  auto status = [&] {
    QApplication::processEvents();
    backend_.Pump();
    EXPECT_EQ(backend_.StatusZone(1)->text().toStdString(), frame.Status(1));
    return frame.Status(1);
  };

  // By keyboard: the menu opens on its title, an item is highlighted, Escape
  // closes the menu (the title stays highlighted), Escape leaves the bar.
  bar->setActiveAction(window);
  EXPECT_EQ(status(), "Create and Arrange windows");
  window->menu()->setActiveAction(backend_.MenuAction(-23));
  EXPECT_EQ(status(), "Make all open windows visible");
  QTest::keyClick(window->menu(), Qt::Key_Escape);
  EXPECT_EQ(status(), "Create and Arrange windows");
  QTest::keyClick(bar, Qt::Key_Escape);
  EXPECT_EQ(status(), "");

  // A submenu closing shows its parent's item again.
  bar->setActiveAction(backend_.MenuAction(-13));
  QMenu* reports = backend_.MenuAction(-13)->menu();
  QMenu* features = backend_.MenuAction(-15)->menu();
  reports->setActiveAction(backend_.MenuAction(-15));
  EXPECT_EQ(status(), "Features Reports");
  features->popup(reports->geometry().topRight());
  features->setActiveAction(backend_.MenuAction(-16));
  EXPECT_EQ(status(), "Print by Category");
  QTest::keyClick(features, Qt::Key_Escape);
  EXPECT_EQ(status(), "Features Reports");
  // Choosing an item ends it too.
  reports->hide();
  backend_.MenuAction(-16)->trigger();
  EXPECT_EQ(status(), "");
  EXPECT_TRUE(frame_.Has(EVENT_Accepted, -16));

  // An item on the bar itself, which opens no menu that could close.
  bar->setActiveAction(search);
  EXPECT_EQ(status(), "Search Features");
  QTest::keyClick(bar, Qt::Key_Return);
  EXPECT_EQ(status(), "");
  EXPECT_TRUE(frame_.Has(EVENT_Accepted, -12));
}

TEST_F(QtBackendTest, WindowMenuListsTheChildWindows) {
  OpenFrameAndBrowse();
  QMenu* menu = nullptr;
  for (QAction* a : backend_.FrameWindow()->menuBar()->actions()) {
    if (a->text() == QStringLiteral("&Window")) menu = a->menu();
  }
  ASSERT_NE(menu, nullptr);
  emit menu->aboutToShow();
  QStringList titles;
  for (QAction* a : menu->actions()) titles << a->text();
  EXPECT_TRUE(titles.contains(QStringLiteral("&1 Browse the Supplier Table")))
      << titles.join('|').toStdString();
  EXPECT_TRUE(titles.contains(QStringLiteral("T&ile")));
}

TEST_F(QtBackendTest, MessageBoxAnswersWithTheButtonClicked) {
  OpenFrameAndBrowse();
  int answer = 0;
  auto ask = [](int* out) -> Proc {
    MessageRequest r;
    r.text = "Delete the record for Caf\xE9?";
    r.caption = "Confirm";
    r.icon = Icon::kQuestion;
    r.buttons = kButtonYes | kButtonNo;
    r.default_button = kButtonNo;
    ModalAwaiter<int> box = Message(r);
    *out = co_await box;
  };
  scheduler_.Start(ask(&answer));
  QMessageBox* box = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    return box && box->isVisible();
  }));
  EXPECT_EQ(box->text(), QString::fromUtf8("Delete the record for Café?"));
  EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::No));
  EXPECT_EQ(answer, 0) << "the procedure waits while the box is up";
  EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
  QTest::mouseClick(box->button(QMessageBox::Yes), Qt::LeftButton);
  ASSERT_TRUE(WaitFor([&] { return answer != 0; }));
  EXPECT_EQ(answer, kButtonYes);
}

TEST_F(QtBackendTest, StopBoxOffersAbortAndIgnore) {
  bool returned = false;
  auto stop = [](bool* done) -> Proc {
    Proc box = StopBox("File access error");
    co_await box;
    *done = true;
  };
  scheduler_.Start(stop(&returned));
  QMessageBox* box = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    return box != nullptr;
  }));
  EXPECT_EQ(box->button(QMessageBox::Abort)->text(), QStringLiteral("&Abort"));
  EXPECT_EQ(box->button(QMessageBox::Ignore)->text(), QStringLiteral("&Ignore"));
  EXPECT_EQ(box->defaultButton(), box->button(QMessageBox::Abort));
  box->button(QMessageBox::Ignore)->click();
  ASSERT_TRUE(WaitFor([&] { return returned; }));
  EXPECT_FALSE(scheduler_.exited());
}

TEST_F(QtBackendTest, ListKeysMoveTheHighlightInsideThePageAndScrollAtItsEdges) {
  OpenFrameAndBrowse(3);
  EXPECT_EQ(view_->selectionModel()->currentIndex().row(), 2);
  browse_.events.clear();

  Key(Qt::Key_Down);  // on the last row
  EXPECT_TRUE(browse_.Has(EVENT_ScrollDown, kList));
  EXPECT_EQ(ListModel().selected, 3);

  Key(Qt::Key_Up);
  EXPECT_EQ(ListModel().selected, 2);
  EXPECT_TRUE(browse_.Has(EVENT_NewSelection, kList));
  EXPECT_EQ(view_->selectionModel()->currentIndex().row(), 1);
  Key(Qt::Key_Up);
  EXPECT_EQ(browse_.Count(EVENT_ScrollUp), 0);
  Key(Qt::Key_Up);  // on the first row
  EXPECT_TRUE(browse_.Has(EVENT_ScrollUp, kList));
  EXPECT_EQ(ListModel().selected, 1);

  Key(Qt::Key_PageDown);
  Key(Qt::Key_PageUp);
  Key(Qt::Key_End, Qt::ControlModifier);
  Key(Qt::Key_Home);
  EXPECT_TRUE(browse_.Has(EVENT_PageDown, kList));
  EXPECT_TRUE(browse_.Has(EVENT_PageUp, kList));
  EXPECT_TRUE(browse_.Has(EVENT_ScrollBottom, kList));
  EXPECT_TRUE(browse_.Has(EVENT_ScrollTop, kList));

  // The wheel at the top edge scrolls.
  QWheelEvent wheel(QPointF(10, 10), view_->viewport()->mapToGlobal(QPointF(10, 10)), QPoint(),
                    QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(view_->viewport(), &wheel);
  backend_.Pump();
  EXPECT_EQ(browse_.Count(EVENT_ScrollUp), 2);
}

TEST_F(QtBackendTest, ListPassesAlertedKeysAndTypedCharacters) {
  OpenFrameAndBrowse(3);
  browse_.events.clear();
  Key(Qt::Key_Insert);
  Key(Qt::Key_Delete);  // not alerted by this window
  Key(Qt::Key_E, Qt::NoModifier, QString::fromUtf8("é"));
  EXPECT_TRUE(browse_.Has(EVENT_AlertKey, kList, InsertKey));
  EXPECT_FALSE(browse_.Has(EVENT_AlertKey, kList, DeleteKey));
  EXPECT_TRUE(browse_.Has(EVENT_AlertKey, kList, kCharKeyBase + 0xE9));

  // Clicks: left picks a row, right picks it and says so, double alerts.
  const QPoint row2 = view_->visualRect(view_->model()->index(1, 0)).center();
  QTest::mouseClick(view_->viewport(), Qt::RightButton, Qt::NoModifier, row2);
  backend_.Pump();
  EXPECT_EQ(ListModel().selected, 2);
  EXPECT_TRUE(browse_.Has(EVENT_NewSelection, kList, MouseRight));
  const QPoint row1 = view_->visualRect(view_->model()->index(0, 0)).center();
  QTest::mouseDClick(view_->viewport(), Qt::LeftButton, Qt::NoModifier, row1);
  backend_.Pump();
  EXPECT_EQ(ListModel().selected, 1);
  EXPECT_TRUE(browse_.Has(EVENT_AlertKey, kList, MouseLeft2));
}

TEST_F(QtBackendTest, ListShowsExactlyTheModelRowsWithFormatColumns) {
  OpenFrameAndBrowse(3);
  QAbstractItemModel* m = view_->model();
  ASSERT_EQ(m->rowCount(), 3);
  ASSERT_EQ(m->columnCount(), 2);
  EXPECT_EQ(m->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Supplier"));
  EXPECT_EQ(m->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Ref"));
  EXPECT_EQ(m->index(2, 0).data().toString(), QStringLiteral("Supplier 3"));
  const auto data_align = m->index(0, 1).data(Qt::TextAlignmentRole).value<Qt::Alignment>();
  const auto head_align =
      m->headerData(1, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>();
  EXPECT_TRUE(data_align & Qt::AlignRight);
  EXPECT_TRUE(head_align & Qt::AlignHCenter);

  browse_.window->SetRows(kList, {{"Only one", "7"}});
  browse_.window->SetSelected(kList, 0);
  backend_.Pump();
  EXPECT_EQ(m->rowCount(), 1);
  EXPECT_FALSE(view_->selectionModel()->hasSelection());
}

TEST_F(QtBackendTest, ThumbScrollBarShowsOnlyWhenAskedAndReportsDrags) {
  OpenFrameAndBrowse(3);
  auto* bar = view_->parentWidget()->findChild<QScrollBar*>(QString(), Qt::FindDirectChildrenOnly);
  ASSERT_NE(bar, nullptr);
  EXPECT_FALSE(bar->isVisible());
  EXPECT_FALSE(view_->verticalScrollBar()->isVisible()) << "the table never scrolls itself";

  browse_.window->ShowScrollbar(kList, true);
  browse_.window->SetThumb(kList, 40);
  backend_.Pump();
  EXPECT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->value(), 40);

  browse_.events.clear();
  bar->setSliderDown(true);
  bar->setSliderPosition(70);
  bar->setSliderPosition(75);
  bar->setSliderDown(false);
  backend_.Pump();
  EXPECT_EQ(ListModel().thumb, 75);
  EXPECT_EQ(browse_.Count(EVENT_ScrollDrag), 1) << "one drag event until the procedure ran";

  // The arrows ask for a row, and leave the thumb where the model has it.
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  backend_.Pump();
  EXPECT_TRUE(browse_.Has(EVENT_ScrollDown, kList));
  EXPECT_EQ(bar->value(), 75);

  browse_.window->ShowScrollbar(kList, false);
  backend_.Pump();
  EXPECT_FALSE(bar->isVisible());
}

TEST_F(QtBackendTest, VisibleRowsFollowTheListHeight) {
  OpenFrameAndBrowse(3);
  const int at_open = browse_.rows_at_open;
  EXPECT_GT(at_open, 2) << "measured before the window handled EVENT_OpenWindow";
  EXPECT_EQ(ListModel().visible_rows, view_->viewport()->height() / view_->rowHeight(0));
  EXPECT_EQ(ListModel().visible_rows, at_open) << "the measure before showing was right";
  EXPECT_FALSE(browse_.Has(EVENT_Sized));
  browse_.events.clear();

  auto* sub = qobject_cast<QMdiSubWindow*>(backend_.TopWidget(*browse_.window));
  ASSERT_NE(sub, nullptr);
  const int before = browse_.window->geometry().height;
  sub->resize(sub->width() + 40, sub->height() + 8 * view_->rowHeight(0));
  ASSERT_TRUE(WaitFor([&] { return browse_.Has(EVENT_Sized); }));
  EXPECT_GE(ListModel().visible_rows, at_open + 7);
  EXPECT_GT(browse_.window->geometry().height, before) << "the new size is written back";
  EXPECT_EQ(browse_.Count(EVENT_Sized), 1);
}

TEST_F(QtBackendTest, EntryShowsAndReturnsWindows1252) {
  OpenFrameAndBrowse();
  auto* edit = qobject_cast<QLineEdit*>(backend_.ControlWidget(*browse_.window, kEntry));
  ASSERT_NE(edit, nullptr);
  EXPECT_EQ(edit->maxLength(), 20);
  browse_.window->SetValue(kEntry, "Caf\xE9 \x80   ");
  backend_.Pump();
  EXPECT_EQ(edit->text(), QString::fromUtf8("Café €"));

  browse_.events.clear();
  edit->setFocus();
  edit->setText(QString::fromUtf8("Ωmega Größe"));
  QTest::keyClick(edit, Qt::Key_Return);
  ASSERT_TRUE(WaitFor([&] { return browse_.Has(EVENT_Accepted, kEntry); }));
  EXPECT_EQ(browse_.window->Value(kEntry),
            "?mega Gr\xF6\xDF"
            "e");

  // The locator: the procedure types the first letter, the user tabs out
  // without changing it, and that completes the entry too.
  browse_.window->SetValue(kEntry, "B");
  browse_.window->Select(kEntry);
  backend_.Pump();
  ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() == edit; }));
  browse_.events.clear();
  QTest::keyClick(edit, Qt::Key_Tab);
  ASSERT_TRUE(WaitFor([&] { return browse_.Has(EVENT_Accepted, kEntry); }));
  EXPECT_EQ(browse_.window->Value(kEntry), "B");

  // A file name is the user's own bytes both ways, whatever Windows-1252
  // could hold.
  auto* file = qobject_cast<QLineEdit*>(backend_.ControlWidget(*browse_.window, kFileName));
  ASSERT_NE(file, nullptr);
  browse_.window->SetValue(kFileName,
                           "/home/u/T\xC3\xA9"
                           "l\xC3\xA9"
                           "chargements/a.txt");
  backend_.Pump();
  EXPECT_EQ(file->text(), QString::fromUtf8("/home/u/Téléchargements/a.txt"));
  file->setFocus();
  file->setText(QString::fromUtf8("報告/review.txt"));
  QTest::keyClick(file, Qt::Key_Return);
  ASSERT_TRUE(WaitFor([&] { return browse_.Has(EVENT_Accepted, kFileName); }));
  EXPECT_EQ(browse_.window->Value(kFileName), "\xE5\xA0\xB1\xE5\x91\x8A/review.txt");

  // Clicking away from an entry nobody edited completes nothing.
  edit->setFocus(Qt::MouseFocusReason);
  backend_.Pump();
  browse_.events.clear();
  view_->setFocus(Qt::MouseFocusReason);
  backend_.Pump();
  EXPECT_FALSE(browse_.Has(EVENT_Accepted, kEntry));
}

TEST_F(QtBackendTest, CloseBoxAsksTheProcedureWhichClosesTheWindow) {
  OpenFrameAndBrowse();
  auto* sub = qobject_cast<QMdiSubWindow*>(backend_.TopWidget(*browse_.window));
  QPointer<QMdiSubWindow> watch(sub);
  sub->close();
  EXPECT_TRUE(sub->isVisible()) << "only the procedure closes its window";
  ASSERT_TRUE(WaitFor([&] { return browse_.window == nullptr; }));
  EXPECT_TRUE(browse_.Has(EVENT_CloseWindow));
  ASSERT_TRUE(WaitFor([&] { return watch.isNull(); }));
  EXPECT_TRUE(backend_.MdiArea()->subWindowList().isEmpty());
}

TEST_F(QtBackendTest, GeometryGoesBothWaysInDialogUnits) {
  OpenFrameAndBrowse();
  Window& w = *browse_.window;
  auto* sub = qobject_cast<QMdiSubWindow*>(backend_.TopWidget(w));
  Geometry g = w.geometry();
  g.x = 20;
  g.y = 10;
  w.SetGeometry(g);
  backend_.Pump();
  QWidget* client = backend_.ClientWidget(w);
  const QPoint placed = sub->pos();
  EXPECT_EQ(client->width(), client->sizeHint().width());
  EXPECT_EQ(w.geometry().width, 250) << "applying a size reads back the same size";

  sub->move(placed + QPoint(30, 26));
  ASSERT_TRUE(WaitFor([&] { return w.geometry().x != 20; }));
  EXPECT_GT(w.geometry().x, 20);
  EXPECT_GT(w.geometry().y, 10);
  EXPECT_FALSE(browse_.Has(EVENT_Sized)) << "a move is not a size change";

  sub->showMaximized();
  ASSERT_TRUE(WaitFor([&] { return w.geometry().maximized; }));
  EXPECT_EQ(w.geometry().width, 250) << "the normal placement is kept";
}

TEST_F(QtBackendTest, AChildOpenedOverAMaximizedOneIsMaximizedAndHandsTheStateBack) {
  OpenFrameAndBrowse();
  Window& first = *browse_.window;
  Geometry g = first.geometry();
  g.maximized = true;
  first.SetGeometry(g);
  backend_.Pump();
  auto* first_sub = qobject_cast<QMdiSubWindow*>(backend_.TopWidget(first));
  ASSERT_TRUE(first_sub->isMaximized());

  // The second child comes up maximized in the area, though its procedure
  // did not ask for it, and the first steps back to its normal placement.
  Seen second;
  scheduler_.Start(Logged(BrowseDef(), second));
  ASSERT_TRUE(WaitFor([&] {
    return second.window && backend_.TopWidget(*second.window) &&
           backend_.TopWidget(*second.window)->isVisible();
  }));
  Window& lookup = *second.window;
  EXPECT_TRUE(backend_.TopWidget(lookup)->isMaximized());
  ASSERT_TRUE(WaitFor([&] { return lookup.geometry().maximized; }))
      << "the model learns the state the window was shown in";
  ASSERT_TRUE(WaitFor([&] { return !first.geometry().maximized; }));

  // Closing it gives the maximized state back to the child behind it.
  lookup.Post(EVENT_CloseWindow);
  ASSERT_TRUE(WaitFor([&] { return second.window == nullptr; }));
  EXPECT_EQ(backend_.MdiArea()->currentSubWindow(), first_sub);
  EXPECT_TRUE(first_sub->isMaximized());
  ASSERT_TRUE(WaitFor([&] { return first.geometry().maximized; }));
  EXPECT_EQ(first.geometry().width, 250) << "the normal placement is kept";
}

TEST_F(QtBackendTest, WindowsThatCannotBeResizedKeepTheirSize) {
  OpenFrameAndBrowse();
  static const WindowDef def = [] {
    WindowDef d;
    d.name = "SEARCHFEATURES$WINDOW";
    d.title = "Search Features Database";
    d.width = 198;
    d.height = 123;
    d.flags = kMdiChild;
    d.controls = {
        {.kind = ControlKind::kPrompt, .id = 7, .text = "Search String:", .at = {4, 4, -1, -1}},
        {.kind = ControlKind::kButton,
         .id = 4,
         .text = "Start Search",
         .at = {10, 100, 60, 14},
         .default_button = true}};
    return d;
  }();
  Seen seen;
  scheduler_.Start(Logged(def, seen));
  ASSERT_TRUE(
      WaitFor([&] { return seen.window && backend_.TopWidget(*seen.window)->isVisible(); }));
  QWidget* client = backend_.ClientWidget(*seen.window);
  const QSize designed = client->size();
  backend_.TopWidget(*seen.window)->resize(designed + QSize(100, 100));
  QTest::qWait(20);
  EXPECT_EQ(client->size(), designed);
  EXPECT_EQ(seen.window->geometry().width, 198);
  EXPECT_FALSE(seen.Has(EVENT_Sized));

  // A control without a size gets what its text needs.
  QWidget* prompt = backend_.ControlWidget(*seen.window, 7);
  EXPECT_GE(prompt->width(),
            prompt->fontMetrics().horizontalAdvance(QStringLiteral("Search String:")));

  // Enter presses the default button.
  client->setFocus();
  QTest::keyClick(client, Qt::Key_Return);
  ASSERT_TRUE(WaitFor([&] { return seen.Has(EVENT_Accepted, 4); }));
}

TEST_F(QtBackendTest, ActivatingAChildTellsTheSchedulerAndTheChild) {
  OpenFrameAndBrowse();
  Seen second;
  scheduler_.Start(Logged(BrowseDef(), second));
  ASSERT_TRUE(WaitFor([&] { return second.window && scheduler_.ActiveChild() == second.window; }));
  ASSERT_TRUE(WaitFor([&] { return second.Has(EVENT_GainFocus); }));
  browse_.events.clear();
  backend_.MdiArea()->setActiveSubWindow(
      qobject_cast<QMdiSubWindow*>(backend_.TopWidget(*browse_.window)));
  ASSERT_TRUE(WaitFor([&] { return browse_.Has(EVENT_GainFocus); }));
  EXPECT_EQ(scheduler_.ActiveChild(), browse_.window);
}

TEST_F(QtBackendTest, SheetTabsSwitchTheirControlsAndTellTheProcedure) {
  static const WindowDef def = [] {
    WindowDef d;
    d.name = "TABS$WINDOW";
    d.title = "Tabs";
    d.width = 200;
    d.height = 120;
    d.controls = {{.kind = ControlKind::kSheet,
                   .id = 10,
                   .at = {2, 2, 190, 100},
                   .children = {
                       {.kind = ControlKind::kTab,
                        .id = 11,
                        .text = "By &Name",
                        .children = {{.kind = ControlKind::kButton,
                                      .id = 12,
                                      .text = "One",
                                      .at = {10, 20, 40, 14}}}},
                       {.kind = ControlKind::kTab,
                        .id = 13,
                        .text = "By &Number",
                        .children = {{.kind = ControlKind::kButton,
                                      .id = 14,
                                      .text = "Two",
                                      .at = {10, 20, 40, 14}}}},
                   }}};
    return d;
  }();
  Seen seen;
  scheduler_.Start(Logged(def, seen));
  ASSERT_TRUE(
      WaitFor([&] { return seen.window && backend_.TopWidget(*seen.window)->isVisible(); }));
  auto* tabs = qobject_cast<QTabWidget*>(backend_.ControlWidget(*seen.window, 10));
  ASSERT_NE(tabs, nullptr);
  QWidget* one = backend_.ControlWidget(*seen.window, 12);
  QWidget* two = backend_.ControlWidget(*seen.window, 14);
  EXPECT_TRUE(one->isVisible());
  EXPECT_FALSE(two->isVisible());

  tabs->setCurrentIndex(1);
  ASSERT_TRUE(WaitFor([&] { return seen.Has(EVENT_NewSelection, 10); }));
  EXPECT_EQ(seen.window->Choice(10), 2);
  std::vector<int> order;
  for (const Event& e : seen.events) {
    if (e.control == 10) order.push_back(e.code);
  }
  EXPECT_EQ(order, (std::vector<int>{EVENT_TabChanging, EVENT_NewSelection}));
  EXPECT_FALSE(one->isVisible());
  EXPECT_TRUE(two->isVisible());

  seen.window->SetChoice(10, 1);  // the procedure switches back
  seen.window->Hide(13);
  backend_.Pump();
  EXPECT_EQ(tabs->currentIndex(), 0);
  EXPECT_FALSE(tabs->isTabVisible(1));
}

TEST_F(QtBackendTest, CaptionlessWindowAlertsClicksAndShowsItsPicture) {
  const WindowDef& def = AboutDef();
  Seen seen;
  scheduler_.Start(Logged(def, seen, [](Window& w) {
    w.Alert(MouseLeft);
    w.Alert(MouseRight);
    w.SetTimer(5);
  }));
  ASSERT_TRUE(
      WaitFor([&] { return seen.window && backend_.TopWidget(*seen.window)->isVisible(); }));
  QWidget* top = backend_.TopWidget(*seen.window);
  EXPECT_TRUE(top->windowFlags() & Qt::FramelessWindowHint);
  auto* picture = dynamic_cast<ImageControl*>(backend_.ControlWidget(*seen.window, 2));
  ASSERT_NE(picture, nullptr);
  EXPECT_TRUE(picture->HasPicture());

  QTest::mouseClick(picture, Qt::LeftButton);
  QTest::mouseClick(backend_.ControlWidget(*seen.window, 1), Qt::RightButton);
  ASSERT_TRUE(WaitFor([&] { return seen.Has(EVENT_AlertKey, 1, MouseRight); }));
  EXPECT_TRUE(seen.Has(EVENT_AlertKey, 2, MouseLeft));
  EXPECT_EQ(seen.Count(EVENT_AlertKey), 2) << "a click is one key however deep the widget";
  // Its timer runs on the real clock.
  ASSERT_TRUE(WaitFor([&] { return seen.Has(EVENT_Timer); }));
}

TEST_F(QtBackendTest, FileDialogOffersTheFilterAndAnswersCancel) {
  std::optional<std::string> answer = "unset";
  auto pick = [](std::optional<std::string>* out) -> Proc {
    FileDialogRequest r;
    r.title = "Save the HTML page";
    r.file = QDir::tempPath().toStdString() + "/FEATURES.HTM";
    r.filter = "HTML Files|*.HTM|All Files|*.*";
    ModalAwaiter<std::optional<std::string>> dialog = FileDialog(r);
    *out = co_await dialog;
  };
  scheduler_.Start(pick(&answer));
  QFileDialog* dlg = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    return dlg != nullptr;
  }));
  EXPECT_EQ(dlg->nameFilters(), (QStringList{QStringLiteral("HTML Files (*.HTM *.htm)"),
                                             QStringLiteral("All Files (*)")}));
  EXPECT_EQ(dlg->acceptMode(), QFileDialog::AcceptSave);
  EXPECT_FALSE(dlg->testOption(QFileDialog::DontConfirmOverwrite));
  dlg->reject();
  ASSERT_TRUE(WaitFor([&] { return !answer.has_value(); }));

  // A name chosen is the user's own bytes, whatever Windows-1252 could hold.
  answer = "unset";
  scheduler_.Start(pick(&answer));
  ASSERT_TRUE(WaitFor([&] {
    dlg = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    return dlg != nullptr;
  }));
  auto* typed = dlg->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  ASSERT_NE(typed, nullptr);
  typed->setText(QString::fromUtf8("報告.HTM"));
  QMetaObject::invokeMethod(dlg, "accept");
  ASSERT_TRUE(WaitFor([&] { return answer.has_value() && *answer != "unset"; }));
  EXPECT_EQ(*answer, QDir::tempPath().toStdString() + "/\xE5\xA0\xB1\xE5\x91\x8A.HTM");
}

TEST_F(QtBackendTest, PrinterSetupConfiguresTheBackendsPrinter) {
  bool done = false;
  auto setup = [](bool* out) -> Proc {
    ModalAwaiter<bool> dialog = PrinterSetup();
    *out = co_await dialog;
  };
  scheduler_.Start(setup(&done));
  QPrintDialog* dlg = nullptr;
  ASSERT_TRUE(WaitFor([&] {
    dlg = qobject_cast<QPrintDialog*>(QApplication::activeModalWidget());
    return dlg != nullptr;
  }));
  EXPECT_EQ(dlg->printer(), &backend_.printer());
  EXPECT_FALSE(done);
  dlg->reject();
  ASSERT_TRUE(WaitFor([&] { return done; }));
}

TEST_F(QtBackendTest, HelpWindowShowsOurPagesAndFindsWords) {
  backend_.Help(HelpAction::kContents);
  HelpWindow* help = backend_.help_window();
  ASSERT_NE(help, nullptr);
  EXPECT_TRUE(help->isVisible());
  EXPECT_TRUE(help->browser()->documentTitle().contains(QStringLiteral("Contents")));
  backend_.Help(HelpAction::kHowToUse);
  EXPECT_TRUE(help->browser()->source().toString().endsWith(QStringLiteral("howto.html")));

  const auto hits = HelpWindow::Find(QStringLiteral("xbase comma"));
  ASSERT_EQ(hits.size(), 1u);
  EXPECT_TRUE(hits[0].url.toString().endsWith(QStringLiteral("createfile.html")));
  EXPECT_TRUE(HelpWindow::Find(QStringLiteral("nosuchwordanywhere")).empty());
  EXPECT_TRUE(HelpWindow::Find(QStringLiteral("   ")).empty());

  backend_.Help(HelpAction::kSearch);
  help->search_box()->setText(QStringLiteral("publish"));
  QTest::keyClick(help->search_box(), Qt::Key_Return);
  EXPECT_TRUE(help->results()->isVisible());
  EXPECT_GE(help->results()->count(), 1);
}

TEST_F(QtBackendTest, EveryIconOfTheDefinitionsHasADrawing) {
  std::vector<std::string> names = {"BR32.ICO",  "VCRFIRST.ICO", "VCRPRIOR.ICO", "VCRUP.ICO",
                                    "FIND.ICO",  "VCRDOWN.ICO",  "VCRNEXT.ICO",  "VCRLAST.ICO",
                                    "MARK.ICO",  "INSERT.ICO",   "EDIT.ICO",     "DELETE.ICO",
                                    "DITTO.ICO", "HELP.ICO",     "LOGO"};
  for (int i = 1; i <= 15; ++i) {
    names.push_back(QStringLiteral("~KVHTML%1.ICO").arg(i, 2, 10, QLatin1Char('0')).toStdString());
  }
  for (const std::string& n : names) {
    const QPixmap pm = IconPixmap(n, QSize(24, 24));
    ASSERT_FALSE(pm.isNull()) << n;
    EXPECT_FALSE(pm.toImage().allGray() && pm.toImage().pixelColor(12, 12).alpha() == 0) << n;
  }
  EXPECT_TRUE(IconResource("NOSUCH.ICO").isEmpty());
  // The animation frames differ from one another.
  EXPECT_NE(IconPixmap("~KVHTML01.ICO", QSize(32, 32)).toImage(),
            IconPixmap("~KVHTML02.ICO", QSize(32, 32)).toImage());
}

TEST_F(QtBackendTest, DesktopAreaIsTheMdiAreaAndExitEndsTheLoop) {
  OpenFrameAndBrowse();
  int w = 0, h = 0;
  ASSERT_TRUE(backend_.DesktopArea(&w, &h));
  EXPECT_GT(w, 200);
  EXPECT_LE(w, 439);
  EXPECT_GT(h, 100);
  EXPECT_LT(h, 289);

  // A procedure placing a window of its own that is not a child: the screen.
  int screen_w = 0, screen_h = 0;
  auto ask = [](int* out_w, int* out_h) -> Proc {
    Window about(AboutDef());
    about.Open();
    Scheduler::Get().backend().DesktopArea(out_w, out_h);
    about.Close();
    co_return;
  };
  scheduler_.Start(ask(&screen_w, &screen_h));
  ASSERT_TRUE(WaitFor([&] { return screen_w != 0; }));
  const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_GT(screen_h, h);
  EXPECT_NEAR(screen_h * backend_.FrameWindow()->height() / 289, screen.height(), 16);

  // A picture of the frame with its child, for people to look at.
  QDir().mkpath(QStringLiteral(MIRABO_SCREENSHOT_DIR));
  const QString shot = QStringLiteral(MIRABO_SCREENSHOT_DIR "/uiqt_frame.png");
  ASSERT_TRUE(backend_.FrameWindow()->grab().save(shot));
  EXPECT_TRUE(QFileInfo::exists(shot));

  scheduler_.Exit(3);
  EXPECT_EQ(backend_.quit_code(), 3);
}

TEST_F(QtBackendTest, PopupMenuAnswersTheItemNumberOrNothing) {
  OpenFrameAndBrowse();
  std::vector<int> answers;
  auto ask = [](std::vector<int>* out) -> Proc {
    for (const char* items : {"~&Select|-|+&Checked|&Other", "&Select"}) {
      ModalAwaiter<int> menu = PopupMenu(items);
      out->push_back(co_await menu);
    }
  };
  scheduler_.Start(ask(&answers));
  ASSERT_TRUE(WaitFor([&] { return backend_.popup_menu() && backend_.popup_menu()->isVisible(); }));
  QList<QAction*> items = backend_.popup_menu()->actions();
  ASSERT_EQ(items.size(), 4);
  EXPECT_EQ(items[0]->text(), QStringLiteral("&Select"));
  EXPECT_FALSE(items[0]->isEnabled());
  EXPECT_TRUE(items[1]->isSeparator());
  EXPECT_TRUE(items[2]->isChecked());
  items[3]->trigger();
  backend_.popup_menu()->close();
  ASSERT_TRUE(WaitFor([&] { return answers.size() == 1; }));
  EXPECT_EQ(answers[0], 3) << "separators are not counted";

  QPointer<QMenu> second;
  ASSERT_TRUE(WaitFor([&] {
    second = backend_.popup_menu();
    return second && second->isVisible() && second->actions().size() == 1;
  }));
  second->close();  // Escape, or a click elsewhere
  ASSERT_TRUE(WaitFor([&] { return answers.size() == 2; }));
  EXPECT_EQ(answers[1], 0);
}

TEST_F(QtBackendTest, EditActionsWorkOnTheFocusedControl) {
  OpenFrameAndBrowse();
  auto* edit = qobject_cast<QLineEdit*>(backend_.ControlWidget(*browse_.window, kEntry));
  QApplication::setActiveWindow(backend_.FrameWindow());
  edit->setFocus();
  edit->setText(QStringLiteral("Northwind"));
  edit->setSelection(0, 5);
  ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() == edit; }));
  backend_.Edit(EditAction::kCut);
  EXPECT_EQ(edit->text(), QStringLiteral("wind"));
  edit->setCursorPosition(4);
  backend_.Edit(EditAction::kPaste);
  EXPECT_EQ(edit->text(), QStringLiteral("windNorth"));

  view_->setFocus();
  ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() == view_; }));
  backend_.Edit(EditAction::kCopy);
  EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("Supplier 3\t3"));
}

TEST_F(QtBackendTest, EventLoopRunsTheProceduresUntilOneExits) {
  auto proc = []() -> Proc {
    Window w(FrameDef());
    w.Open();
    w.SetTimer(2);
    while (Event e = co_await w.Accept()) {
      if (e.code == EVENT_Timer) Scheduler::Get().Exit(5);
    }
  };
  scheduler_.Start(proc());
  EXPECT_EQ(RunEventLoop(App(), scheduler_), 5);
  EXPECT_TRUE(scheduler_.exited());
}

TEST_F(QtBackendTest, EventLoopEndsWhenTheLastProcedureReturns) {
  auto proc = []() -> Proc { co_return; };
  scheduler_.Start(proc());
  EXPECT_EQ(RunEventLoop(App(), scheduler_), 0);
}

}  // namespace
}  // namespace mirabo::ui::qt
