#include "tools/batch/batch_commands.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/browse/browses.h"
#include "app/browse/html_export.h"
#include "app/create_file/create_files.h"
#include "app/data/globals.h"
#include "app/data/thread_block.h"
#include "app/startup.h"
#include "tests/testing/temp_dir.h"
#include "tools/batch/sample_data_test.h"
#include "tools/load/loader.h"
#include "ui/headless.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo::tools {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;

// Standard error of a run, and its status.
struct Outcome {
  int status;
  std::string said;
};

class BatchCommandsTest : public SampleDataTest {
 protected:
  Outcome Command(const std::string& command, std::vector<std::string> args) {
    std::ostringstream err;
    std::streambuf* old = std::cerr.rdbuf(err.rdbuf());
    const int status = RunBatchCommand(command, args);
    std::cerr.rdbuf(old);
    return {status, err.str()};
  }

  // Runs `proc` on the headless window model as the window would, `drive`
  // playing the user, until nothing is left to do.
  static void AsTheWindowWould(ui::Proc proc,
                               const std::function<void(ui::Scheduler&, ui::ThreadId)>& drive) {
    testing::ScopedChdir in(Data());
    ui::HeadlessBackend backend;
    ui::VirtualClock clock;
    ui::Scheduler s(backend, clock);
    app::StartUp(s);
    const ui::ThreadId id = s.Start(std::move(proc));
    s.RunReady();
    drive(s, id);
    for (int64_t due; (due = s.NextTimerDue()) >= 0;)
      s.Advance(std::max<int64_t>(0, due - clock.NowMs()));
  }
};

// Every table in both formats: the command writes the bytes that the Create
// File window writes for the same choice.
TEST_F(BatchCommandsTest, ExportWritesWhatCreateFileWrites) {
  struct Choice {
    const char* table;
    const char* radio;
  } choices[] = {{"features", "Features"},
                 {"issues", "Issues"},
                 {"supplier", "Supplier"},
                 {"review", "Review"},
                 {"category", "Category"}};
  for (const Choice& c : choices) {
    for (const char* format : {"dbf", "txt"}) {
      SCOPED_TRACE(std::string(c.table) + " " + format);
      const std::string reference = out_.File(std::string("window-") + c.table + "." + format);
      AsTheWindowWould(app::CreateFiles(), [&](ui::Scheduler& s, ui::ThreadId id) {
        ui::Window& w = *s.TopWindow(id);
        w.SetValue(app::kCreateSourceGroup, c.radio);
        w.SetValue(app::kCreateTypeGroup, format[0] == 'd' ? "Xbase" : "Text (Delim)");
        w.SetValue(app::kCreateName, reference);
        w.Post(ui::EVENT_Accepted, app::kCreateStart);
        s.RunReady();
      });
      const std::string out = std::string(c.table) + "." + format;
      const Outcome r = Command("export", {"--data", Data(), c.table, format, out});
      EXPECT_EQ(r.status, kBatchDone) << r.said;
      EXPECT_EQ(r.said, "") << "nothing but errors goes to a pipe";
      ASSERT_TRUE(fs::exists(reference));
      EXPECT_TRUE(ReadFile(out_.File(out)) == ReadFile(reference)) << "the bytes differ";
    }
  }
}

// The features of one supplier, and all the issues: the page the window's
// Publish writes in its all-records mode, byte for byte.
TEST_F(BatchCommandsTest, PublishWritesWhatTheBrowsesPublishWrites) {
  // Supplier 1 through the Features browse's Supplier tab, as a pick in the
  // supplier lookup leaves it.
  AsTheWindowWould(app::BrowseFEATURES(), [&](ui::Scheduler& s, ui::ThreadId id) {
    app::GLO::supplier.value = 1;
    ui::Window& w = *s.TopWindow(id);
    w.SetChoice(app::kBrowseSheet, 2);
    w.Post(ui::EVENT_NewSelection, app::kBrowseSheet);
    s.RunReady();
    w.Post(ui::EVENT_Accepted, app::kBrowsePublish);
    s.RunReady();
    ui::Window& html = *s.TopWindow(id);
    html.SetValue(app::kHtmlName, out_.File("window-features.htm"));
    html.Post(ui::EVENT_Accepted, app::kHtmlAll);
    s.RunReady();
  });
  Outcome r = Command("publish", {"--data", Data(), "features", "--order", "supplier", "--value",
                                  "1", "features.htm"});
  EXPECT_EQ(r.status, kBatchDone) << r.said;
  const std::string page = ReadFile(out_.File("features.htm"));
  EXPECT_TRUE(page == ReadFile(out_.File("window-features.htm")));
  EXPECT_GT(std::count(page.begin(), page.end(), '\n'), 20) << "the supplier's features are there";
  EXPECT_NE(page.find("</HTML>"), std::string::npos);

  AsTheWindowWould(app::BrowseISSUES(), [&](ui::Scheduler& s, ui::ThreadId id) {
    s.TopWindow(id)->Post(ui::EVENT_Accepted, app::kBrowsePublish);
    s.RunReady();
    ui::Window& html = *s.TopWindow(id);
    html.SetValue(app::kHtmlName, out_.File("window-issues.htm"));
    html.Post(ui::EVENT_Accepted, app::kHtmlAll);
    s.RunReady();
  });
  r = Command("publish", {"--data", Data(), "issues", "issues.htm"});
  EXPECT_EQ(r.status, kBatchDone) << r.said;
  EXPECT_TRUE(ReadFile(out_.File("issues.htm")) == ReadFile(out_.File("window-issues.htm")));
}

// A record its column cannot hold (an issue number of five digits for a
// four-digit column) is reported as lost, with the copy's counts, and the
// command fails: a scheduled export never passes a short copy as whole.
TEST_F(BatchCommandsTest, AnExportThatLosesARecordSaysSoAndFails) {
  TempDir data;
  for (const char* t : {"SUPPLIER", "REVIEW", "CATEGORY", "ISSUES"}) {
    fs::copy_file(fs::path(Data()) / (std::string(t) + ".KVX"), data.File(std::string(t) + ".KVX"));
  }
  testing::WriteFile(out_.File("FEATURES.csv"),
                     "PRODUCT,REVIEW,ISSUE,SUPPLIER,HS,CATEGORY,V,COMMENTS\n"
                     "Fits,1,12,1,H,1,1.0,\n"
                     "Too Late,1,12345,1,H,1,1.0,\n");
  LoadOptions o;
  o.data_dir = data.path();
  ASSERT_TRUE(Load({out_.File("FEATURES.csv")}, o).ok);
  for (const char* format : {"dbf", "txt"}) {
    SCOPED_TRACE(format);
    const std::string out = std::string("short.") + format;
    const Outcome r = Command("export", {"--data", data.path(), "features", format, out});
    EXPECT_EQ(r.status, kBatchFailed) << r.said;
    EXPECT_NE(r.said.find("File Generation Incomplete"), std::string::npos) << r.said;
    EXPECT_NE(r.said.find("1 of 2 records could not be written"), std::string::npos) << r.said;
    EXPECT_TRUE(fs::exists(out_.File(out))) << "the records it could write are kept";
  }
}

// Every refusal has its status, says why, and writes nothing.
TEST_F(BatchCommandsTest, BadArgumentsAreRefusedWithTheirStatus) {
  testing::WriteFile(out_.File("taken.txt"), "someone's file");
  fs::create_directory(out_.File("empty"));
  struct Case {
    const char* command;
    std::vector<std::string> args;
    int status;
    const char* says;
  } cases[] = {
      {"export", {"prices", "dbf", "x.dbf"}, kBatchUsage, "unknown table 'prices'"},
      {"export", {"features", "xls", "x.xls"}, kBatchUsage, "unknown format 'xls'"},
      {"export", {"features", "dbf"}, kBatchUsage, "too few arguments"},
      {"export",
       {"--frobnicate", "features", "dbf", "x.dbf"},
       kBatchUsage,
       "unknown option --frobnicate"},
      {"export",
       {"features", "txt", "taken.txt"},
       kBatchFailed,
       "exists already (--force replaces it)"},
      {"export",
       {"features", "txt", "no/such/folder/x.txt"},
       kBatchFailed,
       "Unable to create Data File"},
      {"publish",
       {"supplier", "--order", "supplier", "--value", "1", "x.htm"},
       kBatchUsage,
       "--order is for the features browse"},
      {"publish", {"features", "--order", "supplier", "x.htm"}, kBatchUsage, "needs --value"},
      {"publish",
       {"features", "--order", "supplier", "--value", "Nobody At All", "x.htm"},
       kBatchUsage,
       "no row of SUPPLIER is 'Nobody At All'"},
      {"publish",
       {"features", "--order", "supplier", "--value", "brennock", "x.htm"},
       kBatchUsage,
       "names 4 rows of SUPPLIER"},
      {"publish",
       {"features", "--order", "sideways", "--value", "1", "x.htm"},
       kBatchUsage,
       "unknown order 'sideways'"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--data", Data()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Outcome r = Command(c.command, args);
    EXPECT_EQ(r.status, c.status) << c.says << "\n" << r.said;
    EXPECT_NE(r.said.find(c.says), std::string::npos) << r.said;
    if (c.status == kBatchUsage) {
      EXPECT_NE(r.said.find("usage: mirabo "), std::string::npos);
    }
  }
  EXPECT_FALSE(fs::exists(out_.File("x.dbf")));
  EXPECT_FALSE(fs::exists(out_.File("x.htm")));
  EXPECT_EQ(ReadFile(out_.File("taken.txt")), "someone's file");

  // No data folder, or a folder without data files: nothing is created there.
  Outcome r = Command("export", {"--data", out_.File("missing"), "features", "dbf", "x.dbf"});
  EXPECT_EQ(r.status, kBatchFailed);
  EXPECT_NE(r.said.find("no such data folder"), std::string::npos) << r.said;
  r = Command("publish", {"--data", out_.File("empty"), "issues", "x.htm"});
  EXPECT_EQ(r.status, kBatchFailed);
  EXPECT_NE(r.said.find("FEATURES.KVX: no such data file"), std::string::npos) << r.said;
  EXPECT_TRUE(fs::is_empty(out_.File("empty"))) << "no empty data file was made";
  EXPECT_EQ(RunBatchCommand("frobnicate", {}), -1);
}

}  // namespace
}  // namespace mirabo::tools
