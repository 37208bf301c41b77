// The printing batch commands against what the same report procedure prints
// on the headless window model: the same pages, read back as PNG pictures
// (byte for byte) and as the text of the PDF.
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <QGuiApplication>

#include "app/data/globals.h"
#include "app/reports/report_runner.h"
#include "app/reports/reports.h"
#include "app/reports/search_features.h"
#include "app/startup.h"
#include "report/qt/page_renderer.h"
#include "tests/testing/external_readers.h"
#include "tests/testing/temp_dir.h"
#include "tools/batch/batch_commands.h"
#include "tools/batch/sample_data_test.h"
#include "ui/headless.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo::tools {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;

class BatchReportsTest : public SampleDataTest {
 protected:
  static void SetUpTestSuite() {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "tools_tests";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) new QGuiApplication(argc, argv);
    SampleDataTest::SetUpTestSuite();
  }

  int Command(std::vector<std::string> args, std::string* said, const char* command = "report") {
    std::ostringstream err;
    std::streambuf* old = std::cerr.rdbuf(err.rdbuf());
    args.insert(args.begin(), {"--data", data_->path()});
    const int status = RunBatchCommand(command, args);
    std::cerr.rdbuf(old);
    *said = err.str();
    return status;
  }

  static ui::Task<app::Outcome> WritePngs(app::FinishedReport& f, std::string folder,
                                          size_t* pages) {
    fs::create_directories(folder);
    for (size_t i = 0; i < f.pages.size(); ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "/page-%04zu.png", i + 1);
      EXPECT_TRUE(report::qt::WritePng(f.pages[i], folder + name, 150).ok());
    }
    *pages = f.pages.size();
    co_return app::Outcome::Complete(static_cast<int64_t>(*pages));
  }

  // The pages a report prints on the headless window model, as PNG pictures
  // in `folder`; their count.  `start` starts the run as the window would.
  using Start = std::function<ui::ThreadId(ui::Scheduler&)>;
  static size_t AsTheWindowPrints(const Start& start, const std::string& folder) {
    testing::ScopedChdir in(data_->path());
    report::qt::RegisterPageImagePainter();
    ui::HeadlessBackend backend;
    ui::VirtualClock clock;
    ui::Scheduler s(backend, clock);
    app::StartUp(s);
    size_t pages = 0;
    app::ReportSettings settings;
    settings.output = [&](app::FinishedReport& f) { return WritePngs(f, folder, &pages); };
    const app::ReportSettings previous = app::SetReportSettings(std::move(settings));
    const ui::ThreadId t = start(s);
    while (s.Alive(t) && pages == 0) s.Advance(10);
    app::SetReportSettings(previous);
    return pages;
  }
};

TEST_F(BatchReportsTest, ReportsPrintTheSamePagesAsTheWindow) {
  auto report = [](app::ReportId id, std::function<void()> pick) -> Start {
    return [id, pick](ui::Scheduler& s) {
      pick();
      return s.Start(app::PrintReport(id));
    };
  };
  // The search window: "modem" looked for in the products and categories.
  const Start search = [](ui::Scheduler& s) {
    const ui::ThreadId t = s.Start(app::SearchFeatures());
    s.RunReady();
    ui::Window& w = *s.TopWindow(t);
    w.EnterValue(app::kSearchText, "modem");
    w.SetValue(app::kSearchCategory, "Yes");
    w.Post(ui::EVENT_Accepted, app::kSearchStart);
    return t;
  };
  struct Case {
    const char* command;
    const char* word;
    std::vector<std::string> more;
    Start start;
    const char* heard;  // in the PDF's text
  } cases[] = {
      {"report",
       "supplier-table",
       {},
       report(app::ReportId::kSupplierTable, [] {}),
       "SUPPLIER Table"},
      {"report",
       "features-by-supplier",
       {"--value", "Brennock Labs"},
       report(app::ReportId::kFeaturesBySupplier, [] { app::GLO::supplier.value = 230; }),
       "FEATURES by Supplier Brennock Labs"},
      {"report",
       "features-by-issue",
       {"--value", "12"},
       report(app::ReportId::kFeaturesByIssue, [] { app::GLO::Issue.value = 12; }),
       "FEATURES by Issue 12"},
      {"search",
       "modem",
       {"--in", "product,category"},
       search,
       "Search Features by String.. modem"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.word);
    const std::string window = out_.File(std::string("window-") + c.word);
    const size_t pages = AsTheWindowPrints(c.start, window);
    ASSERT_GT(pages, 0u);
    std::vector<std::string> args = {c.word};
    args.insert(args.end(), c.more.begin(), c.more.end());
    std::vector<std::string> png = args;
    png.insert(png.end(), {"--png", c.word});
    std::string said;
    ASSERT_EQ(Command(png, &said, c.command), kBatchDone) << said;
    for (size_t i = 1; i <= pages; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "/page-%04zu.png", i);
      EXPECT_TRUE(ReadFile(out_.File(c.word) + name) == ReadFile(window + name)) << name;
    }
    EXPECT_FALSE(fs::exists(out_.File(c.word) + "/page-" +
                            std::to_string(10000 + pages + 1).substr(1) + ".png"));

    std::vector<std::string> pdf = args;
    pdf.insert(pdf.end(), {"--pdf", std::string(c.word) + ".pdf"});
    ASSERT_EQ(Command(pdf, &said, c.command), kBatchDone) << said;
    const auto text =
        testing::RunCommand("pdftotext '" + out_.File(std::string(c.word) + ".pdf") + "' -");
    if (!text) continue;  // pdftotext missing: the PNG pages were compared
    EXPECT_NE(text->find(c.heard), std::string::npos) << *text;
  }
}

TEST_F(BatchReportsTest, RefusalsAndNothingToPrint) {
  std::string said;
  EXPECT_EQ(Command({"supplier-list", "--pdf", "x.pdf"}, &said), kBatchUsage);
  EXPECT_NE(said.find("unknown report 'supplier-list'"), std::string::npos) << said;
  EXPECT_EQ(Command({"features-by-review", "--pdf", "x.pdf"}, &said), kBatchUsage);
  EXPECT_NE(said.find("features-by-review needs --value"), std::string::npos) << said;
  EXPECT_EQ(Command({"supplier-table", "--value", "1", "--pdf", "x.pdf"}, &said), kBatchUsage);
  EXPECT_EQ(Command({"supplier-table"}, &said), kBatchUsage);
  EXPECT_NE(said.find("give one of --pdf"), std::string::npos) << said;
  EXPECT_EQ(Command({"supplier-table", "--pdf", "a.pdf", "--png", "b"}, &said), kBatchUsage);
  EXPECT_EQ(Command({"features-by-issue", "--value", "9999", "--pdf", "x.pdf"}, &said), kBatchUsage)
      << "no such issue";
  testing::WriteFile(out_.File("kept.pdf"), "mine");
  EXPECT_EQ(Command({"supplier-table", "--pdf", "kept.pdf"}, &said), kBatchFailed);
  EXPECT_EQ(ReadFile(out_.File("kept.pdf")), "mine");
  EXPECT_FALSE(fs::exists(out_.File("x.pdf")));

  // Search texts the search window could not take, and fields it has not.
  struct SearchRefusal {
    std::vector<std::string> args;
    const char* said;
  } refusals[] = {
      {{"   ", "--pdf", "x.pdf"}, "the search text is blank"},
      {{std::string(31, 'a'), "--pdf", "x.pdf"}, "longer than 30 characters"},
      {{"\xe2\x82\xac\xe2\x82\xac \xe6\x97\xa5", "--pdf", "x.pdf"}, "cannot hold"},
      {{"modem", "--in", "product,price", "--pdf", "x.pdf"}, "unknown field 'price'"},
      {{"modem", "--in", "", "--pdf", "x.pdf"}, "unknown field ''"},
      {{"modem"}, "give one of --pdf"},
  };
  for (const SearchRefusal& r : refusals) {
    EXPECT_EQ(Command(r.args, &said, "search"), kBatchUsage) << r.said;
    EXPECT_NE(said.find(r.said), std::string::npos) << said;
    EXPECT_NE(said.find("usage: mirabo search"), std::string::npos) << said;
  }
  EXPECT_EQ(Command({"zeppelin", "--in", "supplier,review", "--pdf", "x.pdf"}, &said, "search"),
            kBatchNothing)
      << said;
  EXPECT_EQ(Command({"\xc3\xa9"
                     "cran",
                     "--pdf", "x.pdf"},
                    &said, "search"),
            kBatchNothing)
      << "a text Windows-1252 holds is taken: " << said;
  EXPECT_FALSE(fs::exists(out_.File("x.pdf")));

  // A supplier without features: nothing to print, and nothing written.
  TempDir empty;
  for (const char* t : {"SUPPLIER", "REVIEW", "CATEGORY", "ISSUES"}) {
    fs::copy_file(data_->File(std::string(t) + ".KVX"), empty.File(std::string(t) + ".KVX"));
  }
  testing::WriteFile(out_.File("FEATURES.csv"),
                     "PRODUCT,REVIEW,ISSUE,SUPPLIER,HS,CATEGORY,V,COMMENTS\n");
  LoadOptions o;
  o.data_dir = empty.path();
  ASSERT_TRUE(Load({out_.File("FEATURES.csv")}, o).ok);
  std::ostringstream err;
  std::streambuf* old = std::cerr.rdbuf(err.rdbuf());
  const int status = RunBatchCommand("report", {"--data", empty.path(), "features-by-supplier",
                                                "--value", "1", "--pdf", "none.pdf"});
  std::cerr.rdbuf(old);
  EXPECT_EQ(status, kBatchNothing) << err.str();
  EXPECT_NE(err.str().find("nothing to print"), std::string::npos) << err.str();
  EXPECT_FALSE(fs::exists(out_.File("none.pdf")));
}

}  // namespace
}  // namespace mirabo::tools
