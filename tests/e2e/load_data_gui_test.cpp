// File, Load Data on real widgets (offscreen): a desktop user fills an empty
// data folder from CSV files without a terminal, and the window answers all
// the while the loader works.
#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>

#include <algorithm>
#include <string>

#include <gtest/gtest.h>

#include "app/data/declarations.h"
#include "app/shell/frame.h"
#include "app/shell/load_data.h"
#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/file.h"
#include "tests/e2e/e2e_support.h"
#include "tests/testing/external_readers.h"

namespace mirabo {
namespace {

class LoadDataGuiTest : public testing::ProgramOnWidgetsTest {
 protected:
  LoadDataGuiTest() : ProgramOnWidgetsTest(/*load_sample=*/false) {}

  // Runs the event loop until `done`, or gives up after a generous while.
  template <typename Done>
  bool Until(Done done) {
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < 120000) {
      QApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
      backend_->Pump();
    }
    return done();
  }
  template <typename W>
  W* Modal() {
    return qobject_cast<W*>(QApplication::activeModalWidget());
  }
};

TEST_F(LoadDataGuiTest, TheSampleLoadsThroughLoadDataWhileTheWindowAnswers) {
  // Enough features that the load takes a while.
  testing::TempDir csv;
  ASSERT_TRUE(testing::RunCommand(std::string("'") + MIRABO_BINARY +
                                  "' generate --features 150000 '" + csv.path() + "'")
                  .has_value());
  app::SetLoaderProgram(MIRABO_BINARY);
  ASSERT_TRUE(Until([&] { return backend_->MenuAction(app::kMenuLoadData) != nullptr; }));
  backend_->MenuAction(app::kMenuLoadData)->trigger();

  QFileDialog* dialog = nullptr;
  ASSERT_TRUE(Until([&] { return (dialog = Modal<QFileDialog>()) != nullptr; }));
  EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles) << "several files at once";
  dialog->setDirectory(QString::fromStdString(csv.path()));
  dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))
      ->setText(QStringLiteral(
          "\"FEATURES.csv\" \"SUPPLIER.csv\" \"REVIEW.csv\" \"CATEGORY.csv\" \"ISSUES.csv\""));
  QMetaObject::invokeMethod(dialog, "accept");

  QMessageBox* ask = nullptr;
  ASSERT_TRUE(Until([&] { return (ask = Modal<QMessageBox>()) != nullptr; }));
  ask->button(QMessageBox::Yes)->click();  // replace

  // A timer of the test's own fires while the loader works: the event loop
  // is never held up by it.
  int ticks = 0;
  qint64 longest_gap = 0;
  QElapsedTimer since;
  since.start();
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    ++ticks;
    longest_gap = std::max(longest_gap, since.restart());
  });
  tick.start(20);
  bool progress_seen = false;
  QMessageBox* end = nullptr;
  ASSERT_TRUE(Until([&] {
    progress_seen = progress_seen || Named("LOADDATA$PROGRESSWINDOW") != nullptr;
    end = Modal<QMessageBox>();
    return end != nullptr;
  }));
  tick.stop();
  EXPECT_TRUE(progress_seen);
  EXPECT_EQ(end->text().toStdString(), "The data was loaded.")
      << end->informativeText().toStdString();
  EXPECT_GT(ticks, 10) << "the window answered while the data loaded";
  EXPECT_LT(longest_gap, 1000) << "no event waited on the loader";
  end->button(QMessageBox::Ok)->click();

  File features(app::DataFileDecl(app::DataFile::kFeatures));
  ASSERT_EQ(features.Open(kOpenShared), kNoError);
  int64_t records = 0;
  ASSERT_EQ(features.Records(&records), kNoError);
  EXPECT_GE(records, 150000);
  (void)features.Close();
}

}  // namespace
}  // namespace mirabo
