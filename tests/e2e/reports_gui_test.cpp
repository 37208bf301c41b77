// Reports on real widgets, offscreen, in the whole program on the sample
// data: a table listing from the Reports menu, Features by Supplier picked
// in its lookup, and a search typed into the search window; each reaches its
// preview and prints through the print dialog to a PDF that pdftotext reads.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPrintDialog>
#include <QPrinter>
#include <QTest>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "app/browse/browses.h"
#include "app/data/globals.h"
#include "app/reports/report_preview.h"
#include "app/reports/report_runner.h"
#include "app/reports/search_features.h"
#include "app/shell/frame.h"
#include "app/startup.h"
#include "report/qt/page_renderer.h"
#include "tests/e2e/e2e_support.h"
#include "tests/testing/temp_dir.h"
#include "ui/qt/qt_backend.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo {
namespace {

class ReportsGuiTest : public testing::ProgramOnWidgetsTest {
 protected:
  void SetUp() override {
    ProgramOnWidgetsTest::SetUp();
    if (HasFatalFailure()) return;
    report::qt::RegisterPageImagePainter();
    ASSERT_TRUE(QTest::qWaitFor([&] { return backend_->FrameWindow() != nullptr; }));
    QApplication::setActiveWindow(backend_->FrameWindow());
  }

  void TearDown() override {
    ProgramOnWidgetsTest::TearDown();
    report::SetReportFontMetrics(nullptr);
  }

  ui::Window* Preview() { return Named(app::PreviewWindowDef().name); }
  bool Shown(ui::Window* w) {
    return w && backend_->TopWidget(*w) && backend_->TopWidget(*w)->isVisible();
  }
  // Print in the preview, the print dialog set to a PDF file: its text.
  std::string PrintToPdf(const std::string& job) {
    const std::string pdf = pages_.File("printed.pdf");
    backend_->printer().setOutputFormat(QPrinter::PdfFormat);
    backend_->printer().setOutputFileName(QString::fromStdString(pdf));
    auto* print = qobject_cast<QAbstractButton*>(
        backend_->ControlWidget(*Preview(), app::kPreviewPrintButton));
    if (!print) return "no Print button";
    QTest::mouseClick(print, Qt::LeftButton);
    if (!QTest::qWaitFor([&] { return backend_->print_dialog() != nullptr; })) return "no dialog";
    auto* dialog = qobject_cast<QPrintDialog*>(backend_->print_dialog());
    EXPECT_EQ(dialog->printer()->docName().toStdString(), job);
    dialog->accept();
    if (!QTest::qWaitFor([&] { return Preview() == nullptr; }, 10000)) return "still previewing";
    QTest::qWait(50);
    return testing::PdfText(pdf);
  }

  testing::TempDir pages_;
};

TEST_F(ReportsGuiTest, TheSupplierTableFromTheMenuPrintsToPdfAfterACancelledPrintDialog) {
  backend_->MenuAction(app::kMenuReportSupplier)->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Shown(Preview()); }, 20000));
  EXPECT_EQ(Named("PRINTSUP:SUPPLIER$PROGRESSWINDOW"), nullptr) << "gone before the preview";
  EXPECT_EQ(Preview()->Status(2), "Page 1 of 13") << "320 suppliers, 26 a page";
  Screenshot("report_supplier_table.png");
  // Cancel in the print dialog: back to the same pages, no run again.
  auto* print =
      qobject_cast<QAbstractButton*>(backend_->ControlWidget(*Preview(), app::kPreviewPrintButton));
  ASSERT_NE(print, nullptr);
  QTest::mouseClick(print, Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([&] { return backend_->print_dialog() != nullptr; }));
  backend_->print_dialog()->reject();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !backend_->print_dialog() && Shown(Preview()); }));
  EXPECT_EQ(Named("PRINTSUP:SUPPLIER$PROGRESSWINDOW"), nullptr) << "the report did not run again";
  EXPECT_EQ(Preview()->Status(2), "Page 1 of 13");
  const std::string text = PrintToPdf("SUPPLIER Table");
  for (const char* t : {"SUPPLIER Table", "Page 1", "Page 13"}) {
    EXPECT_NE(text.find(t), std::string::npos) << t << " in\n" << text;
  }
}

TEST_F(ReportsGuiTest, TheProgressWindowShowsThePercentageAndCancelStopsTheRun) {
  // 25 records an event, whatever the machine: 13 events for 320 suppliers.
  int64_t work_us = 0;
  scheduler_->SetWorkClock([&work_us] { return work_us += 10000; });
  backend_->MenuAction(app::kMenuReportSupplier)->trigger();
  ui::Window* progress = nullptr;
  ASSERT_TRUE(QTest::qWaitFor([&] {
    progress = Named("PRINTSUP:SUPPLIER$PROGRESSWINDOW");
    return Shown(progress) && progress->Value(app::kProgressBar) != "0";
  }));
  EXPECT_EQ(backend_->TopWidget(*progress)->windowTitle(), QStringLiteral("Generating Report"));
  Screenshot("report_progress.png", backend_->TopWidget(*progress));
  auto* cancel =
      qobject_cast<QAbstractButton*>(backend_->ControlWidget(*progress, app::kProgressCancel));
  ASSERT_NE(cancel, nullptr);
  cancel->click();
  ASSERT_TRUE(
      QTest::qWaitFor([&] { return Named("PRINTSUP:SUPPLIER$PROGRESSWINDOW") == nullptr; }));
  QTest::qWait(100);
  EXPECT_EQ(Preview(), nullptr) << "a cancelled run shows nothing";
}

TEST_F(ReportsGuiTest, FeaturesBySupplierPickedInItsLookupPrintsToPdf) {
  backend_->MenuAction(app::kMenuBySupplier)->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Shown(Named("BROWSESUPPLIER$QUICKWINDOW")); }));
  ui::Window* lookup = Named("BROWSESUPPLIER$QUICKWINDOW");
  EXPECT_EQ(lookup->title(), "Select Supplier");
  auto* select =
      qobject_cast<QAbstractButton*>(backend_->ControlWidget(*lookup, app::kBrowseSelect));
  ASSERT_NE(select, nullptr);
  select->click();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Shown(Preview()); }, 20000));
  // The progress window before it has gone: the window system activates the
  // frame again, and the preview stays in front, active.
  QApplication::setActiveWindow(backend_->FrameWindow());
  QTest::qWait(50);
  QMdiArea* area = backend_->MdiArea();
  const QWidget* preview = backend_->TopWidget(*Preview());
  EXPECT_EQ(static_cast<const QWidget*>(area->activeSubWindow()), preview);
  EXPECT_EQ(static_cast<const QWidget*>(area->subWindowList(QMdiArea::StackingOrder).back()),
            preview);
  Screenshot("report_features_by_supplier.png");
  const std::string text = PrintToPdf("FEATURES by Supplier");
  EXPECT_NE(text.find("FEATURES by Supplier "), std::string::npos) << text;
  EXPECT_NE(text.find("PRODUCT"), std::string::npos);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Named("BROWSESUPPLIER$QUICKWINDOW") == nullptr; }))
      << "the lookup closes when its report has returned";
}

TEST_F(ReportsGuiTest, ASearchTypedInTheSearchWindowPrintsToPdfAndTheWindowStays) {
  backend_->MenuAction(app::kMenuSearch)->trigger();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Shown(Named("SEARCHFEATURES$WINDOW")); }));
  ui::Window* search = Named("SEARCHFEATURES$WINDOW");
  auto button = [&](int id) {
    return qobject_cast<QAbstractButton*>(backend_->ControlWidget(*search, id));
  };
  auto* entry = qobject_cast<QLineEdit*>(backend_->ControlWidget(*search, app::kSearchText));
  QAbstractButton* start = button(app::kSearchStart);
  ASSERT_TRUE(entry && start);
  EXPECT_EQ(entry->maxLength(), 30);
  EXPECT_EQ(qobject_cast<QLabel*>(backend_->ControlWidget(*search, app::kSearchHint))
                ->text()
                .toStdString(),
            "Enter Text to Search for and press " + start->text().toStdString());
  // Clicks where the radios show, as the window system delivers them: not
  // the product's, which the group of the four would take, but the radio's.
  QMainWindow* frame = backend_->FrameWindow();
  for (int id : {app::kSearchProductNo, app::kSearchCategoryYes}) {
    QTest::mouseClick(frame->windowHandle(), Qt::LeftButton, {},
                      button(id)->mapTo(frame, button(id)->rect().center()));
  }
  ASSERT_TRUE(QTest::qWaitFor([&] {
    return search->Value(app::kSearchProduct) == "No" &&
           search->Value(app::kSearchCategory) == "Yes";
  }));
  entry->setFocus();
  ASSERT_TRUE(QTest::qWaitFor([&] { return entry->hasFocus(); }));
  QTest::keyClicks(entry, QStringLiteral("modem"));
  Screenshot("search_window.png", backend_->TopWidget(*search));
  QTest::keyClick(entry, Qt::Key_Return);  // completes the entry and starts the search
  ASSERT_TRUE(QTest::qWaitFor([&] { return Shown(Preview()); }, 20000));
  Screenshot("search_preview.png");
  const std::string text = PrintToPdf("Search Features");
  EXPECT_NE(text.find("Search Features by String.. modem"), std::string::npos) << text;
  EXPECT_NE(text.find("Modems"), std::string::npos) << "found by its category";
  ASSERT_TRUE(QTest::qWaitFor([&] { return start->isEnabled(); }))
      << "the window is there for the next search";
  EXPECT_EQ(entry->text(), QStringLiteral("modem"));
  EXPECT_TRUE(button(app::kSearchCategoryYes)->isChecked());
  QTest::qWait(100);
  EXPECT_EQ(Preview(), nullptr) << "one search for one press";
}

}  // namespace
}  // namespace mirabo
