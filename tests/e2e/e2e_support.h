// What the end-to-end tests on Qt share: the offscreen application, a data
// folder with the bundled sample loaded (tests/e2e/sample_data.h), the whole
// program started on real widgets, and a PDF read back the way a reader sees
// it.  Header-only; the tests that use it link the application, Qt's widgets
// and the loader, and define MIRABO_SOURCE_DIR and MIRABO_SCREENSHOT_DIR.
#pragma once

#include <QApplication>
#include <QMainWindow>
#include <QString>
#include <QWidget>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "app/startup.h"
#include "tests/e2e/sample_data.h"
#include "tests/testing/temp_dir.h"
#include "ui/qt/qt_backend.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo::testing {

// The process's application on the offscreen platform, made on first use.
inline QApplication& OffscreenApplication() {
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "e2e_test";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return *app;
}

// The text pdftotext reads from the PDF at `path`; with `layout`, each line
// of the page keeps its columns together.
inline std::string PdfText(const std::string& path, bool layout = false) {
  std::string out;
  const std::string command =
      std::string("pdftotext ") + (layout ? "-layout '" : "'") + path + "' - 2>&1";
  FILE* p = popen(command.c_str(), "r");
  if (!p) return {};
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

// A configuration folder of its own and a data folder as the current
// directory, with the bundled sample loaded into it unless the fixture asks
// for an empty one.  A fixture's SetUp calls this one first and stops when it
// failed (HasFatalFailure()).
class DataFolderTest : public ::testing::Test {
 protected:
  explicit DataFolderTest(bool load_sample = true) : load_sample_(load_sample) {}

  void SetUp() override {
    setenv("XDG_CONFIG_HOME", config_.path().c_str(), 1);
    if (load_sample_) {
      const std::string error = LoadSampleData(data_.path());
      ASSERT_TRUE(error.empty()) << error;
    }
    chdir_ = std::make_unique<ScopedChdir>(data_.path());
  }

  void TearDown() override { unsetenv("XDG_CONFIG_HOME"); }

  TempDir config_, data_;
  std::unique_ptr<ScopedChdir> chdir_;

 private:
  const bool load_sample_;
};

// The whole program on real widgets, offscreen, in a DataFolderTest's
// folders: started on the Qt backend, its frame still to come.
class ProgramOnWidgetsTest : public DataFolderTest {
 protected:
  using DataFolderTest::DataFolderTest;

  static void SetUpTestSuite() { OffscreenApplication(); }

  void SetUp() override {
    DataFolderTest::SetUp();
    if (HasFatalFailure()) return;
    backend_ = std::make_unique<ui::qt::QtBackend>(OffscreenApplication());
    scheduler_ = std::make_unique<ui::Scheduler>(*backend_, clock_);
    app::StartUp(*scheduler_);
    scheduler_->Start(app::Program());
  }

  void TearDown() override {
    scheduler_.reset();
    backend_.reset();
    DataFolderTest::TearDown();
  }

  // The first open window made from the definition of that name, else null.
  ui::Window* Named(const std::string& name) {
    for (ui::Window* w : scheduler_->windows()) {
      if (w->def().name == name) return w;
    }
    return nullptr;
  }

  // Saves `widget` (by default the frame) as it is drawn, as `file` in the
  // build's screenshot folder.
  void Screenshot(const char* file, QWidget* widget = nullptr) {
    std::filesystem::create_directories(MIRABO_SCREENSHOT_DIR);
    (widget ? widget : backend_->FrameWindow())
        ->grab()
        .save(QString::fromStdString(std::string(MIRABO_SCREENSHOT_DIR) + "/" + file));
  }

  ui::SteadyClock clock_;
  std::unique_ptr<ui::qt::QtBackend> backend_;
  std::unique_ptr<ui::Scheduler> scheduler_;
};

}  // namespace mirabo::testing
