// The whole program on real widgets, offscreen: start on the sample data, open
// the Features browse from the menu, scroll, locate, switch orders, publish,
// and leave through File, Exit.  Screenshots go to the build folder.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMessageBox>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextDocument>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "app/browse/browses.h"
#include "app/browse/html_export.h"
#include "app/create_file/create_files.h"
#include "app/data/globals.h"
#include "app/data/profile.h"
#include "app/data/window_position.h"
#include "app/reports/report_preview.h"
#include "app/reports/report_runner.h"
#include "app/reports/search_features.h"
#include "app/shell/about.h"
#include "app/shell/frame.h"
#include "app/startup.h"
#include "runtime/text.h"
#include "tests/e2e/e2e_support.h"
#include "ui/qt/qt_backend.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo {
namespace {

class GuiTest : public testing::ProgramOnWidgetsTest {
 protected:
  void SetUp() override {
    ProgramOnWidgetsTest::SetUp();
    if (HasFatalFailure()) return;
    Pump();
  }

  void Pump() {
    for (int i = 0; i < 5; ++i) {
      QApplication::processEvents();
      backend_->Pump();
    }
  }

  QMdiSubWindow* Sub(const ui::Window& w) {
    return qobject_cast<QMdiSubWindow*>(backend_->TopWidget(w));
  }
  void Press(const ui::Window& w, int control) {
    auto* b = qobject_cast<QAbstractButton*>(backend_->ControlWidget(w, control));
    ASSERT_NE(b, nullptr) << control;
    b->click();
    Pump();
  }
  QAbstractItemView* ListView(const ui::Window& w) {
    return qobject_cast<QAbstractItemView*>(backend_->ControlWidget(w, app::kBrowseList));
  }
  // Types `keys` on `widget`, letting the procedures run after each.
  void Keys(QWidget* widget, std::initializer_list<Qt::Key> keys) {
    for (Qt::Key key : keys) {
      QTest::keyClick(widget, key);
      Pump();
    }
  }
  // Opens the Features browse and calls the supplier lookup from it.
  void OpenSupplierLookup(ui::Window** features, ui::Window** lookup) {
    QApplication::setActiveWindow(backend_->FrameWindow());
    *features = OpenFeatures();
    ASSERT_NE(*features, nullptr);
    *lookup = CallSupplierLookup(**features);
    ASSERT_NE(*lookup, nullptr);
  }

  ui::Window* OpenFeatures() {
    backend_->MenuAction(app::kMenuBrowseFeatures)->trigger();
    Pump();
    return Named("BROWSEFEATURES$QUICKWINDOW");
  }
  // Calls the supplier lookup from the Features browse's Supplier order.
  ui::Window* CallSupplierLookup(ui::Window& features) {
    qobject_cast<QTabWidget*>(backend_->ControlWidget(features, app::kBrowseSheet))
        ->setCurrentIndex(1);
    Pump();
    auto* select = qobject_cast<QAbstractButton*>(
        backend_->ControlWidget(features, app::kBrowseSelectSupplier));
    if (!select) return nullptr;
    select->click();
    Pump();
    ui::Window* lookup = Named("BROWSESUPPLIER$QUICKWINDOW");
    return lookup && lookup->title() == "Select Supplier" ? lookup : nullptr;
  }

  // The browse windows now open, oldest first.
  std::vector<ui::Window*> Browses() {
    std::vector<ui::Window*> out;
    for (ui::Window* w : scheduler_->windows()) {
      if (w->def().name.rfind("BROWSE", 0) == 0) out.push_back(w);
    }
    return out;
  }

  // A browse where a user can see and use all of it: the window inside the
  // frame's area, every control shown inside the window, the list and the
  // tab's own controls inside the tab's panel, and no control on top of
  // another.
  void ExpectLaidOut(const ui::Window& w, const std::string& when, bool in_area = true) {
    SCOPED_TRACE(w.def().name + " " + when);
    QMdiSubWindow* sub = Sub(w);
    const QRect area = backend_->MdiArea()->viewport()->rect();
    if (in_area) {
      EXPECT_TRUE(area.contains(sub->geometry())) << "the window is inside the area";
    }
    QWidget* client = backend_->ClientWidget(w);
    const QRect window(client->mapTo(sub, QPoint(0, 0)), client->size());
    EXPECT_TRUE(sub->rect().contains(window)) << "the window shows all its client";
    auto* sheet = qobject_cast<QTabWidget*>(backend_->ControlWidget(w, app::kBrowseSheet));
    QWidget* page = sheet->currentWidget();
    const QRect panel(page->mapTo(client, QPoint(0, 0)), page->size());
    std::vector<std::pair<int, QRect>> shown;
    for (const auto& c : w.controls()) {
      if (c->kind == ui::ControlKind::kTab || c->kind == ui::ControlKind::kSheet) continue;
      QWidget* widget = backend_->ControlWidget(w, c->id);
      if (c->kind == ui::ControlKind::kList) widget = widget->parentWidget();  // with its thumb
      if (!widget->isVisibleTo(client)) continue;
      const QRect at(widget->mapTo(client, QPoint(0, 0)), widget->size());
      EXPECT_TRUE(client->rect().contains(at)) << c->id << " inside the window";
      const bool on_tab = c->kind == ui::ControlKind::kList || c->parent != 0;
      if (on_tab) {
        EXPECT_TRUE(panel.contains(at)) << c->id << " inside the tab's panel";
      }
      for (const auto& [other, other_at] : shown) {
        EXPECT_FALSE(at.intersects(other_at)) << c->id << " over " << other;
      }
      shown.emplace_back(c->id, at);
    }
  }
};

TEST_F(GuiTest, BrowsingTheFeaturesOnRealWidgets) {
  QMainWindow* frame = backend_->FrameWindow();
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->windowTitle().toStdString(), "Mirabo Features Database Browser");
  ASSERT_NE(Named("ABOUTQRT$WINDOW"), nullptr) << "the greeting";
  Screenshot("frame.png");

  backend_->MenuAction(app::kMenuBrowseFeatures)->trigger();
  Pump();
  EXPECT_EQ(Named("ABOUTQRT$WINDOW"), nullptr) << "the first choice closed the greeting";
  ui::Window* features = Named("BROWSEFEATURES$QUICKWINDOW");
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

TEST_F(GuiTest, ADoubleClickInAnInactiveLookupPicksTheRowUnderThePointer) {
  ui::Window *features = nullptr, *lookup = nullptr;
  OpenSupplierLookup(&features, &lookup);
  QAbstractItemView* view = ListView(*lookup);
  Keys(view, {Qt::Key_Home});
  // Another window comes to the front; the lookup waits behind it.
  backend_->MenuAction(app::kMenuBrowseReview)->trigger();
  Pump();
  ASSERT_NE(Named("BROWSEREVIEW$QUICKWINDOW"), nullptr);
  ASSERT_NE(backend_->MdiArea()->activeSubWindow(), Sub(*lookup));

  const ui::Control* list = lookup->Find(app::kBrowseList);
  ASSERT_GE(list->rows.size(), 8u);
  ASSERT_EQ(list->selected, 1);
  const int target = 6;
  const std::string aimed = std::string(Clip(list->rows[target][0]));
  const QPoint at = view->visualRect(view->model()->index(target, 0)).center();
  // The first click activates the window; the browse runs before the second.
  QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, at);
  Pump();
  ASSERT_EQ(backend_->MdiArea()->activeSubWindow(), Sub(*lookup));
  EXPECT_EQ(Clip(list->rows[target][0]), aimed) << "the row stayed under the pointer";
  QMouseEvent second(QEvent::MouseButtonDblClick, at, view->viewport()->mapToGlobal(at),
                     Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(view->viewport(), &second);
  Pump();

  ASSERT_EQ(Named("BROWSESUPPLIER$QUICKWINDOW"), nullptr) << "the double click picked";
  const ui::Control* rows = features->Find(app::kBrowseList);
  ASSERT_FALSE(rows->rows.empty());
  for (const auto& row : rows->rows) EXPECT_EQ(Clip(row[3]), aimed);
}

TEST_F(GuiTest, ALookupOverAMaximizedBrowseClosesMaximizedAndLeavesItMaximized) {
  ui::Window* features = OpenFeatures();
  ASSERT_NE(features, nullptr);
  const ui::Geometry normal = features->geometry();
  Sub(*features)->showMaximized();
  Pump();
  ASSERT_TRUE(features->geometry().maximized);

  ui::Window* lookup = CallSupplierLookup(*features);
  ASSERT_NE(lookup, nullptr);
  EXPECT_TRUE(Sub(*lookup)->isMaximized()) << "the area shows it as the one before";
  Press(*lookup, app::kBrowseClose);
  ASSERT_EQ(Named("BROWSESUPPLIER$QUICKWINDOW"), nullptr);
  auto saved = [](const char* section, const char* key) {
    return app::GetProfileString(section, key, app::kPositionProfile);
  };
  EXPECT_EQ(saved("BrowseSupplier", "Maximize"), "Yes");
  EXPECT_TRUE(Sub(*features)->isMaximized()) << "the browse behind is maximized again";
  EXPECT_TRUE(features->geometry().maximized);

  Press(*features, app::kBrowseClose);
  ASSERT_EQ(Named("BROWSEFEATURES$QUICKWINDOW"), nullptr);
  EXPECT_EQ(saved("BrowseFEATURES", "Maximize"), "Yes");
  EXPECT_EQ(saved("BrowseFEATURES", "Width"), std::to_string(normal.width))
      << "with its normal placement";
}

TEST_F(GuiTest, TiledCascadedMaximizedOrResizedBrowsesKeepTheirControlsInside) {
  const int menus[] = {app::kMenuBrowseFeatures, app::kMenuBrowseSupplier, app::kMenuBrowseReview,
                       app::kMenuBrowseCategory, app::kMenuBrowseIssues};
  for (const QSize frame : {QSize(1400, 900), QSize(1024, 700), backend_->FrameWindow()->size()}) {
    backend_->FrameWindow()->resize(frame);
    Pump();
    for (ui::Window* w : Browses()) Press(*w, app::kBrowseClose);
    // One browse tiled, then two, ... then all five; and cascaded.
    for (int menu : menus) {
      backend_->MenuAction(menu)->trigger();
      Pump();
      backend_->MenuAction(app::kMenuTile)->trigger();
      Pump();
      const std::string when =
          "tiled in " + std::to_string(frame.width()) + "x" + std::to_string(frame.height());
      for (ui::Window* w : Browses()) ExpectLaidOut(*w, when);
    }
    backend_->MenuAction(app::kMenuCascade)->trigger();
    Pump();
    for (ui::Window* w : Browses()) ExpectLaidOut(*w, "cascaded");
  }
  backend_->MenuAction(app::kMenuTile)->trigger();
  Pump();
  Screenshot("browses_tiled.png");

  for (ui::Window* w : Browses()) {
    QMdiSubWindow* sub = Sub(*w);
    sub->showMaximized();
    Pump();
    ExpectLaidOut(*w, "maximized");
    EXPECT_EQ(backend_->ControlWidget(*w, app::kBrowseHelp)->width(),
              backend_->ControlWidget(*w, app::kBrowseClose)->width())
        << "Help keeps the size of its neighbour";
    sub->showNormal();
    Pump();
    // Every size from the smallest the window takes to half again its
    // designed size.
    const QSize designed = sub->size();
    const QSize smallest = sub->minimumSizeHint().expandedTo(sub->minimumSize());
    for (int wd = smallest.width(); wd <= designed.width() * 3 / 2; wd += 23) {
      for (int ht = smallest.height(); ht <= designed.height() * 3 / 2; ht += 19) {
        sub->resize(wd, ht);
        ExpectLaidOut(*w, std::to_string(wd) + "x" + std::to_string(ht), false);
        if (HasFailure()) return;
      }
    }
  }
}

TEST_F(GuiTest, InSelectModeEnterChoosesTheHighlightedRowAndEscapeCloses) {
  ui::Window *features = nullptr, *lookup = nullptr;
  OpenSupplierLookup(&features, &lookup);
  QAbstractItemView* view = ListView(*lookup);
  view->setFocus();
  Keys(view, {Qt::Key_Home, Qt::Key_Down, Qt::Key_Down});
  const ui::Control* list = lookup->Find(app::kBrowseList);
  ASSERT_EQ(list->selected, 3);
  const std::string chosen(Clip(list->rows[2][0]));

  // Enter in the locator only locates: the user sees the row it found.
  auto* locator = qobject_cast<QLineEdit*>(backend_->ControlWidget(*lookup, app::kBrowseLocator));
  locator->setFocus();
  locator->setText("Br");
  QTest::keyClick(locator, Qt::Key_Return);
  Pump();
  ASSERT_NE(Named("BROWSESUPPLIER$QUICKWINDOW"), nullptr) << "still choosing";
  EXPECT_EQ(Clip(list->rows[list->selected - 1][0]).substr(0, 2), "Br");
  Keys(view, {Qt::Key_Home, Qt::Key_Down, Qt::Key_Down});
  ASSERT_EQ(Clip(list->rows[list->selected - 1][0]), chosen);

  Keys(view, {Qt::Key_Return});
  ASSERT_EQ(Named("BROWSESUPPLIER$QUICKWINDOW"), nullptr) << "Enter chose";
  const ui::Control* rows = features->Find(app::kBrowseList);
  ASSERT_FALSE(rows->rows.empty());
  for (const auto& row : rows->rows) EXPECT_EQ(Clip(row[3]), chosen);

  // Escape closes without a choice: the order keeps its supplier.
  lookup = CallSupplierLookup(*features);
  ASSERT_NE(lookup, nullptr);
  Keys(ListView(*lookup), {Qt::Key_Home, Qt::Key_Escape});
  ASSERT_EQ(Named("BROWSESUPPLIER$QUICKWINDOW"), nullptr) << "Escape closed";
  for (const auto& row : rows->rows) EXPECT_EQ(Clip(row[3]), chosen);

  // An ordinary browse is no dialog: neither key closes it.
  backend_->MenuAction(app::kMenuBrowseSupplier)->trigger();
  Pump();
  ui::Window* plain = Named("BROWSESUPPLIER$QUICKWINDOW");
  ASSERT_NE(plain, nullptr);
  Keys(ListView(*plain), {Qt::Key_Return, Qt::Key_Escape});
  EXPECT_NE(Named("BROWSESUPPLIER$QUICKWINDOW"), nullptr);
}

TEST_F(GuiTest, TheHelpOnBrowsingDescribesTheTabsAsTheyAre) {
  QFile file(QStringLiteral(":/mirabo/help/browsing.html"));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  QTextDocument doc;
  doc.setHtml(QString::fromUtf8(file.readAll()));
  const std::string page = doc.toPlainText().simplified().toStdString();
  auto says = [&](const std::string& text) { return page.find(text) != std::string::npos; };

  // Every ranged tab and the button on it, by the names the window shows.
  const ui::WindowDef& def = *app::FeaturesBrowseDesign().window;
  const ui::ControlDef& sheet = def.controls.at(0);
  ASSERT_EQ(sheet.kind, ui::ControlKind::kSheet);
  for (size_t t = 1; t < sheet.children.size(); ++t) {
    const ui::ControlDef& tab = sheet.children[t];
    EXPECT_TRUE(says(tab.text)) << tab.text;
    ASSERT_EQ(tab.children.size(), 1u);
    EXPECT_TRUE(says(tab.children[0].text)) << tab.children[0].text;
  }
  // Choosing such a tab shows its features at once and opens no window.
  EXPECT_TRUE(says("does not ask"));
  ui::Window* features = OpenFeatures();
  ASSERT_NE(features, nullptr);
  const size_t windows = scheduler_->windows().size();
  for (int tab = 1; tab < 5; ++tab) {
    qobject_cast<QTabWidget*>(backend_->ControlWidget(*features, app::kBrowseSheet))
        ->setCurrentIndex(tab);
    Pump();
    EXPECT_EQ(scheduler_->windows().size(), windows) << tab;
  }
  // The typed letters go to the field below the list, in every browse.
  EXPECT_TRUE(says("the letters go to the field below the list"));
  for (const app::BrowseDesign* d :
       {&app::FeaturesBrowseDesign(), &app::SupplierBrowseDesign(), &app::ReviewBrowseDesign(),
        &app::CategoryBrowseDesign(), &app::IssuesBrowseDesign()}) {
    ui::Window w(*d->window);
    const ui::Control* list = w.Find(app::kBrowseList);
    EXPECT_GE(w.Find(app::kBrowseLocator)->def->at.y, list->def->at.y + list->def->at.h)
        << d->procedure;
  }
  EXPECT_TRUE(says("press Select or Enter"));
  EXPECT_TRUE(says("Close or Escape closes the window without a choice"));
}

// Opens `def` and waits for its close; `shown` is the window meanwhile.
ui::Proc ShowWindow(const ui::WindowDef& def, ui::Window** shown) {
  ui::Window w(def);
  w.Open();
  if (w.geometry().width <= 0) w.SetGeometry({0, 0, 400, 300});  // the preview sizes itself
  *shown = &w;
  while (ui::Event e = co_await w.Accept()) {
  }
  *shown = nullptr;
  w.Close();
}

// Every control of every window the program defines answers the mouse where
// it is drawn: at its centre the window system finds it, not a group's frame
// or any other control that came later in the definition and lies over it.
TEST_F(GuiTest, EveryControlOfEveryWindowAnswersTheMouseWhereItIsDrawn) {
  static const ui::WindowDef progress = app::ProgressWindowDef("PRINTSUP:SUPPLIER");
  const ui::WindowDef* defs[] = {
      &app::AboutWindowDef(),
      app::FeaturesBrowseDesign().window,
      app::SupplierBrowseDesign().window,
      app::ReviewBrowseDesign().window,
      app::CategoryBrowseDesign().window,
      app::IssuesBrowseDesign().window,
      &app::HtmlPropertyWindowDef(),
      &app::SearchFeaturesWindowDef(),
      &app::CreateFilesWindowDef(),
      &app::PreviewWindowDef(),
      &app::JumpWindowDef(),
      &app::SelectDisplayWindowDef(),
      &progress,
  };
  int checked = 0;
  for (const ui::WindowDef* def : defs) {
    SCOPED_TRACE(def->name);
    ui::Window* w = nullptr;
    scheduler_->Start(ShowWindow(*def, &w));
    Pump();
    ASSERT_TRUE(w && backend_->TopWidget(*w)->isVisible());
    QWidget* top = backend_->TopWidget(*w)->window();
    for (const auto& c : w->controls()) {
      using K = ui::ControlKind;
      // What is drawn around or under other controls: sheets, tabs, groups,
      // boxes and lines.
      if (c->id == 0 || c->kind == K::kSheet || c->kind == K::kTab || c->kind == K::kGroup ||
          c->kind == K::kOption || c->kind == K::kBox || c->kind == K::kLine) {
        continue;
      }
      QWidget* widget = backend_->ControlWidget(*w, c->id);
      if (!widget || !widget->isVisible()) continue;
      QWidget* hit = top->childAt(widget->mapTo(top, widget->rect().center()));
      EXPECT_TRUE(hit == widget || widget->isAncestorOf(hit))
          << c->id << " lies under " << (hit ? hit->metaObject()->className() : "nothing");
      ++checked;
    }
    w->Post(ui::EVENT_CloseWindow);
    Pump();
  }
  EXPECT_GT(checked, 60);
}

TEST_F(GuiTest, TheIssuesLocatorIsEmptyToTypeIntoAndSitsInItsPanel) {
  backend_->MenuAction(app::kMenuBrowseIssues)->trigger();
  Pump();
  ui::Window* issues = Named("BROWSEISSUES$QUICKWINDOW");
  ASSERT_NE(issues, nullptr);
  auto* locator = qobject_cast<QLineEdit*>(backend_->ControlWidget(*issues, app::kBrowseLocator));
  ASSERT_NE(locator, nullptr);
  EXPECT_EQ(locator->text().toStdString(), "") << "no 0 to type around";
  QWidget* client = backend_->ClientWidget(*issues);
  QWidget* panel = qobject_cast<QTabWidget*>(backend_->ControlWidget(*issues, app::kBrowseSheet))
                       ->currentWidget();
  const QRect panel_at(panel->mapTo(client, QPoint(0, 0)), panel->size());
  EXPECT_TRUE(panel_at.contains(QRect(locator->mapTo(client, QPoint(0, 0)), locator->size())));

  locator->setFocus();
  QTest::keyClicks(locator, QStringLiteral("12"));
  QTest::keyClick(locator, Qt::Key_Return);
  Pump();
  const ui::Control* list = issues->Find(app::kBrowseList);
  ASSERT_GE(list->selected, 1);
  EXPECT_EQ(TrimLeft(Clip(list->rows[list->selected - 1][0])), "12") << "located";
  EXPECT_EQ(locator->text().toStdString(), "") << "and empty again";
}

// Create File on real widgets: a copy that gives way between batches keeps
// its window painted and its bar moving while its buttons rest, and ends with
// the message box.
TEST_F(GuiTest, CreateFileShowsItsProgressWhileItCopies) {
  // Batches of 100 records: the sample's 3,216 features take 33 of them.
  scheduler_->Start(app::CreateFiles({.batch_records = 100, .batch_ms = 1000}));
  Pump();
  ui::Window* w = Named("CREATEFILES$WINDOW");
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
