// The report preview on real widgets, offscreen, inside the program's frame:
// pages composed with the real fonts, the grid switched, a zoom chosen and
// left, then Print through the print dialog to a PDF file that pdftotext
// reads.  The procedure that drives it stands where a report will: it
// composes, previews, prints on request and closes the report.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QWheelEvent>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/data/thread_block.h"
#include "app/reports/report_preview.h"
#include "app/reports/report_runner.h"
#include "app/shell/frame.h"
#include "app/startup.h"
#include "report/pdf_output.h"
#include "report/qt/page_renderer.h"
#include "report/report.h"
#include "tests/e2e/e2e_support.h"
#include "tests/testing/temp_dir.h"
#include "ui/qt/help_window.h"
#include "ui/qt/image_control.h"
#include "ui/qt/qt_backend.h"
#include "ui/qt/spin_field.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo {
namespace {

report::ReportDef Listing() {
  report::ReportDef d;
  d.name = "TEST:SUPPLIERS$REPORT";
  d.title = "SUPPLIER Table";
  d.detail_area = {1000, 1540, 6000, 7458};
  d.header.at = {1000, 1000, 6000, 542};
  report::ReportControl title =
      report::Text("SUPPLIER Table", {0, 20, 6000, 220}, report::Justify::kCentre);
  title.font.bold = true;
  d.header.controls = {title};
  d.detail.at = {0, 0, 6000, 281};
  d.detail.controls = {report::Variable("s36", {50, 50, 5900, 170}),
                       report::Line({50, 280, 5900, 0})};
  d.footer.at = {1000, 9000, 6000, 219};
  d.footer.controls = {report::PageNumber("pPage <<<#p", {5250, 30, 700, 135})};
  return d;
}

// What a report run does around the preview.
struct PreviewOutcome {
  report::PageImageList pages;
  int32_t response = 0;
  report::Status printed{report::StatusCode::kNotOpen, "not printed"};
  bool done = false;
};

ui::Proc PreviewRun(const report::ReportDef& def, const std::string& folder, PreviewOutcome& run) {
  report::qt::QtFontMetrics metrics;
  StringVar supplier(36);
  report::Report r(def, {supplier.ref()}, metrics);
  if (r.Open(&run.pages, {folder, "RPG"}).ok()) {
    for (int i = 1; i <= 120; ++i) {  // five pages of 26 lines, the last short
      supplier.Assign("Supplier " + std::to_string(i));
      (void)r.PrintDetail();
    }
    (void)r.EndReport();
    co_await app::REPORTPREVIEW(run.pages, def.title);
    run.response = app::CurrentThread().SharedResponse.value;
    if (run.response == app::RespCompleted) {
      run.printed = co_await app::PrintPageImages(r.job_name(), run.pages);
    }
  }
  r.Close();
  run.done = true;
}

// The program with no data of its own: the procedure that drives the
// preview makes its pages.
class PreviewGuiTest : public testing::ProgramOnWidgetsTest {
 protected:
  PreviewGuiTest() : ProgramOnWidgetsTest(/*load_sample=*/false) {}

  void SetUp() override {
    ProgramOnWidgetsTest::SetUp();
    if (HasFatalFailure()) return;
    report::qt::RegisterPageImagePainter();
    ASSERT_TRUE(QTest::qWaitFor([&] { return backend_->FrameWindow() != nullptr; }));
  }

  ui::Window* Preview() { return Named(app::PreviewWindowDef().name); }
  QWidget* Widget(int id) { return backend_->ControlWidget(*Preview(), id); }
  // An item of the menus on the frame's bar, where the preview's show.
  QAction* MenuItem(const QString& text) {
    for (QAction* m : backend_->FrameWindow()->menuBar()->actions()) {
      if (!m->menu()) continue;
      for (QAction* a : m->menu()->actions()) {
        if (a->text() == text) return a;
      }
    }
    return nullptr;
  }
  // Starts a preview of the five pages and waits until it shows, active.
  bool StartPreview() {
    scheduler_->Start(PreviewRun(def_, pages_dir_.path(), run_));
    return QTest::qWaitFor([&] {
      QWidget* top = Preview() ? backend_->TopWidget(*Preview()) : nullptr;
      return top && top->isVisible() && Widget(app::kPreviewCellImageBase + 1) &&
             backend_->MdiArea()->currentSubWindow() == top;
    });
  }
  // The zoomed page, once the zoom `item` (of the Zoom menu, chosen through
  // the model) shows.
  ui::qt::ImageControl* Zoom(int item) {
    Preview()->Post(ui::EVENT_Accepted, item);
    if (!QTest::qWaitFor([&] { return Widget(app::kPreviewZoomImage) != nullptr; })) return nullptr;
    auto* page = dynamic_cast<ui::qt::ImageControl*>(Widget(app::kPreviewZoomImage));
    // Until both bars are there: the second comes a layout later.
    const bool settled = QTest::qWaitFor([&] {
      return page->verticalScrollBar()->isVisible() && page->horizontalScrollBar()->isVisible();
    });
    return settled ? page : nullptr;
  }
  // A click as the window system delivers it: to the frame's window, at a
  // place of it, whatever widget lies there.
  void ClickAt(QWidget* widget, QPoint at) {
    QMainWindow* frame = backend_->FrameWindow();
    QTest::mouseClick(frame->windowHandle(), Qt::LeftButton, {}, widget->mapTo(frame, at));
    backend_->Pump();
  }
  testing::TempDir pages_dir_;
  report::ReportDef def_ = Listing();
  PreviewOutcome run_;
};

TEST_F(PreviewGuiTest, GridZoomAndPrintToPdfOnRealWidgets) {
  scheduler_->Start(PreviewRun(def_, pages_dir_.path(), run_));
  ASSERT_TRUE(QTest::qWaitFor([&] {
    return Preview() && backend_->TopWidget(*Preview()) &&
           backend_->TopWidget(*Preview())->isVisible();
  }));
  ASSERT_EQ(run_.pages.size(), 5u);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Widget(app::kPreviewCellImageBase + 1) != nullptr; }));
  auto* cell = dynamic_cast<ui::qt::ImageControl*>(Widget(app::kPreviewCellImageBase + 1));
  ASSERT_NE(cell, nullptr);
  EXPECT_TRUE(cell->HasPicture());
  EXPECT_EQ(Preview()->Status(2), "Page 1 of 5");

  // Three across, typed into the toolbar's field.
  auto* across = dynamic_cast<ui::qt::SpinField*>(Widget(app::kPreviewAcrossField));
  ASSERT_NE(across, nullptr);
  across->setFocus();
  across->selectAll();
  QTest::keyClicks(across, "3");
  QTest::keyClick(across, Qt::Key_Return);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Preview()->Status(2) == "Pages 1-3 of 5"; }));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Widget(app::kPreviewCellImageBase + 3) != nullptr; }));
  EXPECT_GT(Widget(app::kPreviewCellImageBase + 3)->x(),
            Widget(app::kPreviewCellImageBase + 2)->x());
  Screenshot("preview_grid.png");

  // 100 percent from the Zoom menu: one page, larger than the window, with scroll bars.
  QAction* hundred = MenuItem(QStringLiteral("&100 Percent"));
  ASSERT_NE(hundred, nullptr);
  hundred->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Widget(app::kPreviewZoomImage) != nullptr; }));
  auto* zoomed = dynamic_cast<ui::qt::ImageControl*>(Widget(app::kPreviewZoomImage));
  ASSERT_NE(zoomed, nullptr);
  EXPECT_TRUE(hundred->isChecked());
  EXPECT_EQ(Preview()->Status(3), "Zoom (100%)");
  EXPECT_GT(zoomed->ContentSize().height(), zoomed->viewport()->height());
  EXPECT_TRUE(QTest::qWaitFor([&] { return zoomed->verticalScrollBar()->isVisible(); }))
      << "the page is taller than the window: a scroll bar moves over it";
  Screenshot("preview_zoom.png");
  // A click on the page goes back to the grid.
  QTest::mouseClick(zoomed->viewport(), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Preview()->Status(3) == "No Zoom"; }));

  // Print: the print dialog, set to a PDF file.
  const std::string pdf = pages_dir_.File("printed.pdf");
  backend_->printer().setOutputFormat(QPrinter::PdfFormat);
  backend_->printer().setOutputFileName(QString::fromStdString(pdf));
  auto* print = qobject_cast<QAbstractButton*>(Widget(app::kPreviewPrintButton));
  ASSERT_NE(print, nullptr);
  QTest::mouseClick(print, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return backend_->print_dialog() != nullptr; }));
  auto* dialog = qobject_cast<QPrintDialog*>(backend_->print_dialog());
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->printer()->docName(), QStringLiteral("SUPPLIER Table"));
  dialog->accept();
  ASSERT_TRUE(QTest::qWaitFor([&] { return run_.done; }, 10000));
  EXPECT_EQ(run_.response, app::RespCompleted);
  EXPECT_TRUE(run_.printed.ok()) << run_.printed.message();
  const std::string text = testing::PdfText(pdf);
  for (const char* t :
       {"SUPPLIER Table", "Supplier 1", "Supplier 26", "Supplier 27", "Supplier 120"}) {
    EXPECT_NE(text.find(t), std::string::npos) << t << " in\n" << text;
  }
  EXPECT_LT(text.find("Supplier 26"), text.find("Supplier 27"));
  for (const std::string& page : run_.pages) {
    EXPECT_FALSE(std::filesystem::exists(page)) << "the report's close removes " << page;
  }
}

// File, Save as PDF: a file dialog named after the report, then the file the
// batch writer makes of the same pages; the preview stays, and a file that
// cannot be written is a message, not a half file.
TEST_F(PreviewGuiTest, SaveAsPdfWritesTheFileTheBatchWritesAndThePreviewStays) {
  struct Case {
    const char* name;
    std::string typed;  // in the dialog's name field
    std::string file;   // what should be written; empty: nothing
  };
  const std::string folder = pages_dir_.path() + "/sorties";
  std::filesystem::create_directory(folder);
  const Case cases[] = {
      {"a name without extension gets .pdf, in the user's own bytes", folder + "/Relev\xC3\xA9",
       folder + "/Relev\xC3\xA9.pdf"},
      {"a folder that is not there", pages_dir_.path() + "/absent/r.pdf", ""},
      {"a data file in use", std::filesystem::absolute("FEATURES.KVX").string(), ""},
  };
  // The folder has no data loaded: a data file by its name stands for one.
  const std::string features = "the data file FEATURES.KVX";
  testing::WriteFile("FEATURES.KVX", features);
  ASSERT_TRUE(StartPreview());
  const std::string batch = pages_dir_.File("batch.pdf");
  ASSERT_TRUE(report::SavePagesAsPdf(run_.pages, batch, def_.title).ok());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    QAction* save = MenuItem(QStringLiteral("Save as &PDF..."));
    ASSERT_NE(save, nullptr);
    save->trigger();
    QFileDialog* dialog = nullptr;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return (dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())); }));
    EXPECT_TRUE(dialog->selectedFiles().value(0).endsWith(QStringLiteral("/SUPPLIER Table.pdf")))
        << dialog->selectedFiles().value(0).toStdString();
    dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
        ->setText(QString::fromStdString(c.typed));
    // The dialog's own question about an existing file (asked in a loop of
    // its own) is answered Yes: the program must refuse what the user agreed.
    QTimer yes;
    QObject::connect(&yes, &QTimer::timeout, [] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box && box->text().contains(QStringLiteral("replace"))) {
        box->button(QMessageBox::Yes)->click();
      }
    });
    yes.start(20);
    QMetaObject::invokeMethod(dialog, "accept", Qt::QueuedConnection);
    if (c.file.empty()) {
      QMessageBox* box = nullptr;
      ASSERT_TRUE(QTest::qWaitFor([&] {
        box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        return box && box->text().contains(QStringLiteral("could not be saved"));
      })) << (box ? box->text().toStdString() : "no message");
      box->accept();
    } else {
      ASSERT_TRUE(QTest::qWaitFor([&] { return Preview()->Status(1).rfind("Saved as ", 0) == 0; }));
      const std::string text = testing::PdfText(c.file, true);
      EXPECT_NE(text.find("Supplier 120"), std::string::npos) << text;
      EXPECT_EQ(text, testing::PdfText(batch, true));
    }
    EXPECT_FALSE(run_.done) << "the preview stays";
  }
  EXPECT_EQ(testing::ReadFile("FEATURES.KVX"), features) << "the data file is as it was";
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder),
                          std::filesystem::directory_iterator()),
            1)
      << "one file, no temporary left";
  backend_->TopWidget(*Preview())->close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return run_.done; }));
}

TEST_F(PreviewGuiTest, ClosingThePreviewPrintsNothingAndRemovesThePages) {
  scheduler_->Start(PreviewRun(def_, pages_dir_.path(), run_));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Preview() && backend_->TopWidget(*Preview()); }));
  backend_->TopWidget(*Preview())->close();
  ASSERT_TRUE(QTest::qWaitFor([&] { return run_.done; }));
  EXPECT_EQ(run_.response, app::RespCancelled);
  EXPECT_EQ(backend_->print_dialog(), nullptr);
  EXPECT_TRUE(std::filesystem::is_empty(pages_dir_.path()));
}

// A page at 300 percent is three windows tall: the arrow of its scroll bar
// and the wheel move over it, and only a click on the page itself goes back
// to the grid.
TEST_F(PreviewGuiTest, AZoomedPageScrollsByItsBarAndTheWheelAndAClickOnItGoesBack) {
  ASSERT_TRUE(StartPreview());
  QApplication::setActiveWindow(backend_->FrameWindow());
  ui::qt::ImageControl* page = Zoom(app::kPreviewMenu300);
  ASSERT_NE(page, nullptr);
  QScrollBar* bar = page->verticalScrollBar();
  ASSERT_TRUE(QTest::qWaitFor([&] { return bar->isVisible(); }));
  ClickAt(bar, QPoint(bar->width() / 2, bar->height() - 3));  // its lower arrow
  QTest::qWait(50);
  ASSERT_EQ(Preview()->Status(3), "Zoom (300%)") << "the page stayed zoomed";
  EXPECT_GT(bar->value(), 0) << "and scrolled";

  const int before = bar->value();
  const QPoint at = page->viewport()->rect().center();
  QWheelEvent notch(at, page->viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(page->viewport(), &notch);
  EXPECT_GE(bar->value() - before, 30) << "a notch is three lines of text, not three pixels";

  ClickAt(page->viewport(), QPoint(20, 20));
  EXPECT_TRUE(QTest::qWaitFor([&] { return Preview()->Status(3) == "No Zoom"; }));
}

// Each key of the preview, on a preview of its own: the grid, or a page at
// 300 percent.  The preview's menus are on the frame's bar while it is in
// front, so Alt+F is its File menu.
TEST_F(PreviewGuiTest, TheKeysOfThePreviewScrollTurnPrintExitAndHelp) {
  auto bar = [&]() -> QScrollBar* {
    auto* p = dynamic_cast<ui::qt::ImageControl*>(Widget(app::kPreviewZoomImage));
    return p ? p->verticalScrollBar() : nullptr;
  };
  auto at = [&](const char* page, bool foot) {
    return Preview()->Status(2) == page && bar() &&
           bar()->value() == (foot ? bar()->maximum() : bar()->minimum());
  };
  auto exited = [&] { return run_.done && run_.response == app::RespCancelled; };
  struct Case {
    const char* name;
    bool zoomed;
    std::vector<QKeyCombination> keys;
    std::function<bool()> done;
  };
  const Case cases[] = {
      {"Down scrolls a line",
       true,
       {Qt::Key_Down},
       [&] { return bar()->value() == bar()->singleStep(); }},
      {"Page Down scrolls a window",
       true,
       {Qt::Key_PageDown},
       [&] {
         return Preview()->Status(2) == "Page 1 of 5" && bar()->value() == bar()->pageStep();
       }},
      {"End goes to the foot", true, {Qt::Key_End}, [&] { return at("Page 1 of 5", true); }},
      {"Home goes back to the head",
       true,
       {Qt::Key_End, Qt::Key_Home},
       [&] { return at("Page 1 of 5", false); }},
      {"Page Down at the foot turns to the next page's head",
       true,
       {Qt::Key_End, Qt::Key_PageDown},
       [&] { return at("Page 2 of 5", false); }},
      {"Page Up at the head turns back to the foot of the page before",
       true,
       {Qt::Key_End, Qt::Key_PageDown, Qt::Key_PageUp},
       [&] { return at("Page 1 of 5", true); }},
      {"Page Down in the grid shows the next page",
       false,
       {Qt::Key_PageDown},
       [&] { return Preview()->Status(2) == "Page 2 of 5"; }},
      {"Ctrl+P prints",
       false,
       {Qt::CTRL | Qt::Key_P},
       [&] { return backend_->print_dialog() != nullptr; }},
      {"Escape exits without printing", false, {Qt::Key_Escape}, exited},
      {"Alt+F, X exits the preview, not the program",
       false,
       {Qt::ALT | Qt::Key_F, Qt::Key_X},
       [&] { return exited() && !scheduler_->exited(); }},
      {"F1 shows the help on the preview",
       false,
       {Qt::Key_F1},
       [&] {
         auto* help = backend_->help_window();
         return help && help->isVisible() &&
                help->browser()->source().fileName() == QStringLiteral("reports.html");
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    run_ = PreviewOutcome{};
    ASSERT_TRUE(StartPreview());
    QApplication::setActiveWindow(backend_->FrameWindow());
    if (c.zoomed) {
      ASSERT_NE(Zoom(app::kPreviewMenu300), nullptr);
    }
    for (QKeyCombination k : c.keys) {
      // A menu the keys opened takes the next one.
      QWidget* popup = QApplication::activePopupWidget();
      QTest::keyClick(popup ? popup->windowHandle() : backend_->FrameWindow()->windowHandle(),
                      k.key(), k.keyboardModifiers());
      backend_->Pump();
    }
    EXPECT_TRUE(QTest::qWaitFor(c.done));
    // Leave the preview, whatever the key did.
    if (auto* help = backend_->help_window()) help->hide();
    if (QDialog* dialog = backend_->print_dialog()) dialog->reject();
    if (!run_.done && Preview()) backend_->TopWidget(*Preview())->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return run_.done; }));
  }
}

// A preview opens at the size of the frame's area: with other windows open
// too it still lies wholly inside, at the area's corner, and the area shows
// no scroll bars.
TEST_F(PreviewGuiTest, APreviewOpenedWithThreeWindowsOpenLiesInsideTheFrame) {
  for (int i = 0; i < 3; ++i) backend_->MenuAction(app::kMenuSearch)->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] {
    return backend_->MdiArea()->subWindowList().size() == 3 &&
           backend_->MdiArea()->subWindowList().back()->isVisible();
  }));
  ASSERT_TRUE(StartPreview());
  QMdiArea* area = backend_->MdiArea();
  QWidget* sub = backend_->TopWidget(*Preview());
  QTest::qWait(50);
  EXPECT_TRUE(area->viewport()->rect().contains(sub->geometry()))
      << sub->geometry().x() << "," << sub->geometry().y() << " " << sub->width() << "x"
      << sub->height() << " in " << area->viewport()->width() << "x" << area->viewport()->height();
  EXPECT_FALSE(area->horizontalScrollBar()->isVisible());
  EXPECT_FALSE(area->verticalScrollBar()->isVisible());
  Screenshot("preview_with_three_windows.png");
}

// Maximized, then the frame made larger while the preview stays maximized:
// each time the pages are laid out for the size the preview shows at.
TEST_F(PreviewGuiTest, AMaximizedPreviewLaysItsPagesOutForTheSizeItShowsAt) {
  backend_->FrameWindow()->resize(640, 420);
  ASSERT_TRUE(StartPreview());
  auto* sub = qobject_cast<QMdiSubWindow*>(backend_->TopWidget(*Preview()));
  QWidget* client = backend_->ClientWidget(*Preview());
  // The one page of the grid is as tall as the window less its toolbar,
  // within the margins of the layout: its foot is near the window's.
  auto page_fills_the_height = [&] {
    QWidget* cell = Widget(app::kPreviewCellImageBase + 1);
    return cell && client->height() - cell->geometry().bottom() < 12 &&
           cell->height() > client->height() / 2;
  };
  ASSERT_TRUE(QTest::qWaitFor(page_fills_the_height)) << "as it opened";
  for (const char* change : {"maximized", "the frame made larger"}) {
    SCOPED_TRACE(change);
    const QSize before = client->size();
    if (sub->isMaximized()) {
      backend_->FrameWindow()->resize(790, 580);
    } else {
      sub->showMaximized();
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return client->height() > before.height(); }));
    EXPECT_TRUE(QTest::qWaitFor(page_fills_the_height));
  }
  Screenshot("preview_maximized.png");
  MenuItem(QStringLiteral("Page &Width"))->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Widget(app::kPreviewZoomImage) != nullptr; }));
  EXPECT_TRUE(QTest::qWaitFor([&] {
    auto* page = dynamic_cast<ui::qt::ImageControl*>(Widget(app::kPreviewZoomImage));
    return std::abs(page->ContentSize().width() - client->width()) <= 2 &&
           client->height() - page->geometry().bottom() < 4;
  })) << "the page as wide as the window, in all of it below the toolbar";
}

}  // namespace
}  // namespace mirabo
