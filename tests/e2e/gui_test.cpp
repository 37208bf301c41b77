// The whole program on real widgets, offscreen: start on the sample data, open
// the Features browse from the menu, scroll, locate, switch orders, publish,
// and leave through File, Exit.  Screenshots go to the build folder.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMessageBox>
#include <QProgressBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "app/browses.h"
#include "app/create_files.h"
#include "app/data/globals.h"
#include "app/frame.h"
#include "app/startup.h"
#include "runtime/text.h"
#include "tests/testing/temp_dir.h"
#include "tools/loader.h"
#include "ui/qt/qt_backend.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo {
namespace {

class GuiTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "gui_test";
    static char* argv[] = {name, nullptr};
    app_ = new QApplication(argc, argv);
  }

  void SetUp() override {
    setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
    std::vector<std::string> csv;
    for (const char* t : {"FEATURES", "SUPPLIER", "REVIEW", "CATEGORY", "ISSUES"}) {
      csv.push_back(std::string(MIRABO_SOURCE_DIR) + "/data/sample/" + t + ".csv");
    }
    tools::LoadOptions o;
    o.data_dir = data_.path();
    const tools::LoadResult r = tools::Load(csv, o);
    ASSERT_TRUE(r.ok) << r.error;
    chdir_ = std::make_unique<testing::ScopedChdir>(data_.path());
    backend_ = std::make_unique<ui::qt::QtBackend>(*app_);
    scheduler_ = std::make_unique<ui::Scheduler>(*backend_, clock_);
    app::StartUp(*scheduler_);
    scheduler_->Start(app::Program());
    Pump();
  }

  void TearDown() override {
    scheduler_.reset();
    backend_.reset();
    unsetenv("XDG_CONFIG_HOME");
  }

  void Pump() {
    for (int i = 0; i < 5; ++i) {
      QApplication::processEvents();
      backend_->Pump();
    }
  }

  ui::Window* Open(const std::string& name) {
    for (ui::Window* w : scheduler_->windows()) {
      if (w->def().name == name) return w;
    }
    return nullptr;
  }

  void Screenshot(const char* file) {
    std::filesystem::create_directories(MIRABO_SCREENSHOT_DIR);
    backend_->FrameWindow()->grab().save(
        QString::fromStdString(std::string(MIRABO_SCREENSHOT_DIR) + "/" + file));
  }

  static QApplication* app_;
  testing::TempDir config_, data_;
  std::unique_ptr<testing::ScopedChdir> chdir_;
  ui::SteadyClock clock_;
  std::unique_ptr<ui::qt::QtBackend> backend_;
  std::unique_ptr<ui::Scheduler> scheduler_;
};

QApplication* GuiTest::app_ = nullptr;

TEST_F(GuiTest, BrowsingTheFeaturesOnRealWidgets) {
  QMainWindow* frame = backend_->FrameWindow();
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->windowTitle().toStdString(), "Mirabo Features Database Browser");
  ASSERT_NE(Open("ABOUTQRT$WINDOW"), nullptr) << "the greeting";
  Screenshot("frame.png");

  backend_->MenuAction(app::kMenuBrowseFeatures)->trigger();
  Pump();
  EXPECT_EQ(Open("ABOUTQRT$WINDOW"), nullptr) << "the first choice closed the greeting";
  ui::Window* features = Open("BROWSEFEATURES$QUICKWINDOW");
  ASSERT_NE(features, nullptr);
  const ui::Control* list = features->Find(app::kBrowseList);
  ASSERT_GT(list->visible_rows, 3);
  ASSERT_EQ(static_cast<int>(list->rows.size()), list->visible_rows);

  // Down past the last visible row scrolls the page by one record.
  auto* view =
      qobject_cast<QAbstractItemView*>(backend_->ControlWidget(*features, app::kBrowseList));
  ASSERT_NE(view, nullptr);
  view->setFocus();
  const std::string first = list->rows[0][0];
  for (int i = 0; i < list->visible_rows; ++i) {
    QTest::keyClick(view, Qt::Key_Down);
    Pump();
  }
  EXPECT_EQ(list->selected, list->visible_rows);
  EXPECT_EQ(list->rows[0][0], list->rows[0][0]);
  EXPECT_NE(list->rows[0][0], first) << "the page moved on";

  // Locate a product prefix.
  auto* locator = qobject_cast<QLineEdit*>(backend_->ControlWidget(*features, app::kBrowseLocator));
  ASSERT_NE(locator, nullptr);
  locator->setFocus();
  locator->setText("Q");
  QTest::keyClick(locator, Qt::Key_Return);
  Pump();
  ASSERT_GE(list->selected, 1);
  EXPECT_EQ(ToUpper1252(list->rows[list->selected - 1][0]).substr(0, 1), "Q");
  Screenshot("features_located.png");

  // The Supplier order shows the features of the current supplier.
  app::GLO::supplier.value = 1;
  QWidget* sheet = backend_->ControlWidget(*features, app::kBrowseSheet);
  ASSERT_NE(sheet, nullptr);
  if (auto* tabs = qobject_cast<QTabWidget*>(sheet)) {
    tabs->setCurrentIndex(1);
  } else if (auto* bar = qobject_cast<QTabBar*>(sheet)) {
    bar->setCurrentIndex(1);
  }
  Pump();
  EXPECT_EQ(features->Choice(app::kBrowseSheet), 2);
  ASSERT_FALSE(list->rows.empty());
  const std::string supplier = list->rows[0][3];
  for (const auto& row : list->rows) EXPECT_EQ(row[3], supplier);
  Screenshot("features_supplier_order.png");

  backend_->MenuAction(app::kMenuExit)->trigger();
  Pump();
  EXPECT_TRUE(scheduler_->exited());
  EXPECT_EQ(scheduler_->exit_code(), 0);
}

// Create File on real widgets: a copy that gives way between batches keeps
// its window painted and its bar moving while its buttons rest, and ends with
// the message box.
TEST_F(GuiTest, CreateFileShowsItsProgressWhileItCopies) {
  // Batches of 100 records: the sample's 3,216 features take 33 of them.
  scheduler_->Start(app::CreateFiles({.batch_records = 100, .batch_ms = 1000}));
  Pump();
  ui::Window* w = Open("CREATEFILES$WINDOW");
  ASSERT_NE(w, nullptr);
  auto* text = qobject_cast<QAbstractButton*>(backend_->ControlWidget(*w, app::kCreateText));
  ASSERT_NE(text, nullptr);
  text->click();
  Pump();
  EXPECT_EQ(w->Value(app::kCreateName), data_.File("Features.txt"));
  auto* start = qobject_cast<QAbstractButton*>(backend_->ControlWidget(*w, app::kCreateStart));
  auto* bar = qobject_cast<QProgressBar*>(backend_->ControlWidget(*w, app::kCreateProgress));
  ASSERT_TRUE(start && bar);

  start->click();
  std::set<int> shown;
  bool rested = false;
  QMessageBox* box = nullptr;
  // Each pause of the copy is a timer of the program's own: the loop waits
  // for the next event, never for a time of its own choosing.
  for (int i = 0; i < 100000 && !box; ++i) {
    QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    if (bar->value() > 0 && bar->value() < 100 && shown.empty()) Screenshot("create_file.png");
    shown.insert(bar->value());
    rested = rested || !start->isEnabled();
    box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
  }
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->text().toStdString(), "File Generation Complete");
  EXPECT_TRUE(rested) << "the buttons rest while the copy runs";
  EXPECT_GT(std::count_if(shown.begin(), shown.end(), [](int v) { return v > 0 && v < 100; }), 5)
      << "the bar moved during the copy";
  box->button(QMessageBox::Ok)->click();
  Pump();
  EXPECT_TRUE(start->isEnabled());
  EXPECT_EQ(bar->value(), 0);
  const std::string copy = testing::ReadFile(data_.File("Features.txt"));
  EXPECT_EQ(std::count(copy.begin(), copy.end(), '\n'), 3216);
}

}  // namespace
}  // namespace mirabo
