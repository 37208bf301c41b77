// Report runs in a headless program (tests/testing/procedure_test.h): the
// page files in a folder of the test's own, the progress texts as they
// change, the preview found and left, the pages read back as display lists.
// Header-only: the tests that use it link the application themselves.
#pragma once

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/data/outcome.h"
#include "app/data/thread_block.h"
#include "app/reports/report_preview.h"
#include "app/reports/report_runner.h"
#include "report/page_image.h"
#include "report/page_spool.h"
#include "tests/testing/procedure_test.h"
#include "ui/window.h"

namespace mirabo::testing {

class ReportRunTest : public ProcedureTest {
 protected:
  ReportRunTest() {
    app::ReportSettings settings;
    settings.pages = {pages_dir_.path(), "RPG"};
    saved_ = app::SetReportSettings(settings);
    saved_observer_ =
        app::SetOutcomeObserver([this](const app::Outcome& o) { outcomes_.push_back(o); });
    backend_.on_change = [this](ui::Window& w) {
      const std::string& name = w.def().name;
      if (name.size() < 15 || name.compare(name.size() - 15, 15, "$PROGRESSWINDOW") != 0) return;
      const ui::Control* text = w.Find(app::kProgressPercent);
      if (text && (percents_.empty() || percents_.back() != text->text)) {
        percents_.push_back(text->text);
      }
    };
  }
  ~ReportRunTest() override {
    backend_.on_change = nullptr;
    app::SetReportSettings(saved_);
    app::SetOutcomeObserver(std::move(saved_observer_));
  }

  // Runs `plan` on a thread of its own and keeps its SharedResponse.
  static ui::Proc Probe(app::ReportPlan plan, int32_t* response) {
    co_await app::RunReport(std::move(plan));
    *response = app::CurrentThread().SharedResponse.value;
  }

  // Every batch exactly the minimum: each look at the work clock is past the
  // time budget.
  void ExactBatches() {
    scheduler_.SetWorkClock([this] { return work_us_ += 10000; });
  }

  ui::Window* Top(ui::ThreadId id) { return scheduler_.TopWindow(id); }
  bool Showing(ui::ThreadId id, const std::string& name) {
    return scheduler_.Alive(id) && Top(id) && Top(id)->def().name == name;
  }
  bool Previewing(ui::ThreadId id) { return Showing(id, app::PreviewWindowDef().name); }

  // Lets the timers run until the thread shows its preview or ends.
  bool UntilPreview(ui::ThreadId id, int64_t budget_ms = 600000) {
    for (int64_t t = 0; t < budget_ms && scheduler_.Alive(id) && !Previewing(id); t += 10) {
      scheduler_.Advance(10);
    }
    return Previewing(id);
  }
  // Chooses a menu item of the preview and lets the thread go on.
  void Leave(ui::ThreadId id, int item = app::kPreviewMenuExit) {
    ASSERT_TRUE(Previewing(id));
    Post(id, ui::EVENT_Accepted, item);
    scheduler_.RunReady();
  }

  // The pages in the run's folder (its spool), in page order.
  std::vector<report::PageImage> PageFiles() {
    std::vector<report::PageImage> pages;
    for (const auto& entry : std::filesystem::directory_iterator(pages_dir_.path())) {
      std::vector<std::string> names;
      EXPECT_TRUE(report::ListSpooledPages(entry.path().string(), &names).ok()) << entry.path();
      for (const std::string& name : names) {
        report::PageImage p;
        EXPECT_TRUE(report::ReadPageFile(name, &p).ok()) << name;
        pages.push_back(std::move(p));
      }
    }
    std::sort(pages.begin(), pages.end(),
              [](const auto& a, const auto& b) { return a.number < b.number; });
    return pages;
  }
  size_t FilesLeft() {
    return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(pages_dir_.path()),
                                             std::filesystem::directory_iterator()));
  }

  // The texts of the page's text runs whose box starts at `x`, at `from_y`
  // or below, in drawing order.
  static std::vector<std::string> TextsAt(const report::PageImage& page, int x, int from_y = 0) {
    std::vector<std::string> out;
    for (const report::PageItem& item : page.items) {
      const auto* run = std::get_if<report::TextRun>(&item);
      if (run && run->box.x == x && run->box.y >= from_y) out.push_back(run->text);
    }
    return out;
  }

  TempDir pages_dir_;
  app::ReportSettings saved_;
  app::OutcomeObserver saved_observer_;
  std::vector<app::Outcome> outcomes_;  // every run's, in the order they ended
  std::vector<std::string> percents_;   // PercentText, each change
  int64_t work_us_ = 0;
};

}  // namespace mirabo::testing
