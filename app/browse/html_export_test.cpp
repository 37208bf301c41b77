#include "app/browse/html_export.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/browse/browses.h"
#include "app/data/globals.h"
#include "app/data/thread_block.h"
#include "app/startup.h"
#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/faulty_file_system.h"
#include "runtime/file.h"
#include "runtime/file_system.h"
#include "runtime/text.h"
#include "tests/testing/data_files.h"
#include "tests/testing/faulty_driver.h"
#include "tests/testing/html_cells.h"
#include "tests/testing/procedure_test.h"
#include "tests/testing/temp_dir.h"
#include "ui/headless.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo::app {
namespace {

using testing::WriteTable;

std::string Page(const std::string& heading, const std::string& header,
                 const std::vector<std::string>& rows) {
  std::string out =
      "<HTML>\r\n\r\n<HEAD><META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; "
      "charset=windows-1252\"><TITLE>Features Database</TITLE></HEAD>\r\n\r\n<BODY>\r\n\r\n" +
      heading + "\r\n<HR>\r\n<TABLE BORDER=1>\r\n" + header + "\r\n";
  for (const std::string& r : rows) out += r + "\r\n";
  return out + "\r\n</TABLE>\r\n\r\n</BODY>\r\n</HTML>\r\n";
}

TEST(HtmlRowTest, RowsAreEscapedAndLongRowsContinueOnFollowingLines) {
  EXPECT_EQ(HtmlRowLines({"a", "b"}),
            (std::vector<std::string>{"<TR> <TD>a</TD> <TD>b</TD> </TR>"}));
  EXPECT_EQ(HtmlRowLines({"Bright & Sons \"Micro\"", "<Beta>"}),
            (std::vector<std::string>{
                "<TR> <TD>Bright &amp; Sons &quot;Micro&quot;</TD> <TD>&lt;Beta&gt;</TD> </TR>"}));
  // A row over the line width breaks between cells; a cell over it at a blank.
  const std::string product(86, 'P');
  std::string comment;
  for (int i = 0; i < 40; ++i) comment += "word" + std::to_string(i) + " ";
  const std::vector<std::string> cells = {product, "Group Test", "     12", comment, "&&&&"};
  const auto lines = HtmlRowLines(cells);
  ASSERT_GT(lines.size(), 1u);
  std::string joined;
  for (const std::string& l : lines) {
    EXPECT_LE(l.size(), 255u);
    joined += l + "\n";
  }
  EXPECT_EQ(lines.back().substr(lines.back().size() - 11), "</TD> </TR>")
      << "the row is always closed";
  EXPECT_NE(joined.find(product), std::string::npos) << "no text lost";
  EXPECT_NE(joined.find("word39"), std::string::npos);
  EXPECT_NE(joined.find("&amp;&amp;&amp;&amp;"), std::string::npos);
  // A cell without blanks is split without cutting an entity.
  const auto hard = HtmlRowLines({std::string(300, '&')});
  for (const std::string& l : hard) {
    EXPECT_LE(l.size(), 255u);
    EXPECT_TRUE(l.find('&') == std::string::npos || l.rfind(';') > l.rfind('&') ||
                l.find("</TD>") != std::string::npos)
        << l;
  }
}

// What the browser shows is each value exactly: a line break inside a cell
// falls on one of its blanks or inside an empty comment, never between two
// characters that stood together.
TEST(HtmlRowTest, ABrowserShowsEveryValueAsItIsWhereverTheRowBreaks) {
  const std::string url =
      "http://www.example.com/" + std::string(180, 'p') + "/index.html?a=1&b=2&c=3";
  std::string words;
  for (int i = 0; i < 60; ++i) words += "word" + std::to_string(i) + " ";
  words.pop_back();
  const std::vector<std::vector<std::string>> rows = {
      {std::string(86, 'P'), url, "Group Test"},
      {std::string(600, 'x'), "a<b>&c\"d", words},
      {std::string(254, '&'), std::string(251, 'y') + " z", std::string(500, ';')},
  };
  std::string page;
  for (const auto& cells : rows) {
    for (const std::string& line : HtmlRowLines(cells)) {
      EXPECT_LE(line.size(), 255u);
      page += line + "\r\n";
    }
  }
  std::vector<std::string> expected;
  for (const auto& cells : rows) expected.insert(expected.end(), cells.begin(), cells.end());
  EXPECT_EQ(testing::ShownCells(page), expected);
}

class PublishTest : public testing::ProcedureTest {
 protected:
  void SetUp() override {
    WriteTable(
        DataFile::kSupplier,
        {{"Brennock Systems", "1"}, {"Bright & Sons \"Micro\"", "2"}, {"Tallowmere <Data>", "3"}});
    WriteTable(DataFile::kReview, {{"Group Test", "1"}, {"First Look", "2"}});
    WriteTable(DataFile::kCategory, {{"Modems", "1"}});
    WriteTable(DataFile::kIssues,
               {{"12", "May 1996", "Christmas special"}, {"1234", "Far off", ""}});
    std::vector<std::vector<std::string>> features;
    for (int i = 0; i < 25; ++i) {
      features.push_back({"Quillon Write " + std::string(1, static_cast<char>('A' + i)), "1", "12",
                          i < 20 ? "1" : "2", "S", "1", "2.1",
                          i == 3 ? std::string(207, 'x') : ""});
    }
    WriteTable(DataFile::kFeatures, features);
  }
  void TearDown() override { SetFileSystemForTests(nullptr); }
  // Publish, then one button of the property window.
  void Publish(ui::ThreadId id, int button) {
    Post(id, ui::EVENT_Accepted, kBrowsePublish);
    ASSERT_EQ(scheduler_.TopWindow(id)->def().name, "$HTMLPROPWINDOW");
    Post(id, ui::EVENT_Accepted, button);
    for (int i = 0; i < 100 && scheduler_.TopWindow(id)->def().name == "$HTMLPROPWINDOW"; ++i) {
      scheduler_.Advance(10);
    }
  }
  std::string Written(const char* name) { return testing::ReadFile(data_.File(name)); }
};

TEST_F(PublishTest, EachLookupPublishesItsListingInBothModes) {
  const ui::ThreadId sup = Open(BrowseSupplier());
  Publish(sup, kHtmlDisplayed);
  const std::string expected = Page("<H1>Supplier Listing</H1><P>", "<TR> <TD>SUPPLIER</TD> </TR>",
                                    {"<TR> <TD>Brennock Systems</TD> </TR>",
                                     "<TR> <TD>Bright &amp; Sons &quot;Micro&quot;</TD> </TR>",
                                     "<TR> <TD>Tallowmere &lt;Data&gt;</TD> </TR>"});
  EXPECT_EQ(Written("SUPPLIER.HTM"), expected);
  EXPECT_EQ(HTMLName, data_.File("SUPPLIER.HTM")) << "the current folder joined with the name";
  Publish(sup, kHtmlAll);
  EXPECT_EQ(Written("SUPPLIER.HTM"), expected) << "all records of a short table are the rows shown";

  const ui::ThreadId iss = Open(BrowseISSUES());
  Publish(iss, kHtmlAll);
  EXPECT_EQ(Written("ISSUES.HTM"),
            Page("<H1>Issues Listing</H1><P>",
                 "<TR> <TD>ISSUE NO.</TD> <TD>NAME</TD> <TD>COMMENTS</TD> </TR>",
                 {"<TR> <TD>        12</TD> <TD>May 1996</TD> <TD>Christmas special</TD> </TR>",
                  "<TR> <TD>     1,234</TD> <TD>Far off</TD> <TD></TD> </TR>"}));
}

TEST_F(PublishTest, ReviewAndCategoryListingsInBothModes) {
  struct Case {
    ui::Proc (*browse)();
    const char* file;
    std::string expected;
  };
  const Case cases[] = {
      {BrowseReview, "REVIEW.HTM",
       Page("<H1>Review Listing</H1><P>", "<TR> <TD>REVIEW</TD> </TR>",
            {"<TR> <TD>First Look</TD> </TR>", "<TR> <TD>Group Test</TD> </TR>"})},
      {BrowseCategory, "CATEGORY.HTM",
       Page("<H1>Category Listing</H1><P>", "<TR> <TD>CATEGORY</TD> </TR>",
            {"<TR> <TD>Modems</TD> </TR>"})},
  };
  for (const Case& c : cases) {
    for (int mode : {kHtmlDisplayed, kHtmlAll}) {
      const ui::ThreadId id = Open(c.browse());
      Publish(id, mode);
      EXPECT_EQ(Written(c.file), c.expected) << c.file << " mode " << mode;
      Post(id, ui::EVENT_Accepted, kBrowseClose);
    }
  }
}

TEST_F(PublishTest, TheFeaturesPageShowsTheDisplayedRowsAsTheyAreInTheFile) {
  const ui::ThreadId id = Open(BrowseFEATURES());
  Publish(id, kHtmlDisplayed);
  const std::string page = Written("FEATURES.HTM");
  // Sixteen rows fit the list; each is re-read, so it carries today's values.
  size_t rows = 0;
  for (size_t at = page.find("<TR> <TD>Quillon"); at != std::string::npos;
       at = page.find("<TR> <TD>Quillon", at + 1)) {
    ++rows;
  }
  EXPECT_EQ(rows, 16u);
  EXPECT_NE(page.find("<TR> <TD>Quillon Write A</TD> <TD>Group Test</TD> <TD>        12</TD> "
                      "<TD>Brennock Systems</TD> <TD>S</TD> <TD>Modems</TD> <TD>2.1</TD> <TD></TD> "
                      "</TR>\r\n"),
            std::string::npos);
}

TEST_F(PublishTest, TheFeaturesSupplierOrderWritesOnlyThatSupplier) {
  GLO::supplier.value = 2;
  const ui::ThreadId id = Open(BrowseFEATURES());
  scheduler_.TopWindow(id)->SetChoice(kBrowseSheet, 2);
  Post(id, ui::EVENT_NewSelection, kBrowseSheet);
  Publish(id, kHtmlAll);
  std::vector<std::string> rows;
  for (char c : std::string("UVWXY")) {
    rows.push_back(
        std::string("<TR> <TD>Quillon Write ") + c +
        "</TD> <TD>Group Test</TD> <TD>        12</TD> <TD>Bright &amp; Sons "
        "&quot;Micro&quot;</TD> <TD>S</TD> <TD>Modems</TD> <TD>2.1</TD> <TD></TD> </TR>");
  }
  EXPECT_EQ(
      Written("FEATURES.HTM"),
      Page("<H1>Features </H1><P>",
           "<TR> <TD>PRODUCT</TD> <TD>REVIEW</TD> <TD>ISSUE</TD> <TD>SUPPLIER</TD> <TD>H/S</TD> "
           "<TD>CATEGORY</TD> <TD>VERSION</TD> <TD>COMMENTS</TD> </TR>",
           rows));
}

TEST_F(PublishTest, AnEmptyBrowseGivesTheHeaderRowOnly) {
  GLO::supplier.value = 9;
  const ui::ThreadId id = Open(BrowseFEATURES());
  scheduler_.TopWindow(id)->SetChoice(kBrowseSheet, 2);
  Post(id, ui::EVENT_NewSelection, kBrowseSheet);
  Publish(id, kHtmlDisplayed);
  const std::string page = Written("FEATURES.HTM");
  EXPECT_NE(page.find("<TD>COMMENTS</TD> </TR>\r\n\r\n</TABLE>"), std::string::npos) << page;
}

TEST_F(PublishTest, AllRecordsGoTenPerTimerTickAndCancelFinishesThePage) {
  // Work that is always past the event's time budget: the minimum a tick.
  int64_t now_us = 0;
  scheduler_.SetWorkClock([&now_us] { return now_us += 10000; });
  const ui::ThreadId id = Open(BrowseFEATURES());
  Post(id, ui::EVENT_Accepted, kBrowsePublish);
  ui::Window& w = *scheduler_.TopWindow(id);
  Post(id, ui::EVENT_Accepted, kHtmlAll);
  EXPECT_TRUE(w.Find(kHtmlAll)->hidden);
  EXPECT_FALSE(w.Find(kHtmlCancel)->hidden);
  scheduler_.Advance(10);
  EXPECT_EQ(w.Find(kHtmlProgress)->text, "Processing. Record Read: 10");
  EXPECT_EQ(w.Find(kHtmlIcon)->icon, "~KVHTML02.ICO");
  Post(id, ui::EVENT_Accepted, kHtmlCancel);
  const std::string page = Written("FEATURES.HTM");
  size_t rows = 0;
  for (size_t at = page.find("<TR> <TD>Quillon"); at != std::string::npos;
       at = page.find("<TR> <TD>Quillon", at + 1)) {
    ++rows;
  }
  EXPECT_EQ(rows, 10u);
  EXPECT_EQ(page.substr(page.size() - 9), "</HTML>\r\n") << "Cancel still finishes the page";
  EXPECT_EQ(scheduler_.TopWindow(id)->def().name, "BROWSEFEATURES$QUICKWINDOW");
}

TEST_F(PublishTest, AllRecordsGoOnPastTenRowsWhileATickIsShortOfItsBudget) {
  int64_t now_us = 0;
  scheduler_.SetWorkClock([&now_us] { return now_us += 1000; });  // a millisecond a row
  const ui::ThreadId id = Open(BrowseFEATURES());
  Post(id, ui::EVENT_Accepted, kBrowsePublish);
  ui::Window& w = *scheduler_.TopWindow(id);
  Post(id, ui::EVENT_Accepted, kHtmlAll);
  scheduler_.Advance(10);
  EXPECT_EQ(w.Find(kHtmlProgress)->text, "Processing. Record Read: 17") << "10, and 7 within 8 ms";
  scheduler_.SetWorkClock([] { return int64_t{0}; });
  scheduler_.Advance(10);
  EXPECT_EQ(scheduler_.TopWindow(id)->def().name, "BROWSEFEATURES$QUICKWINDOW")
      << "the other 8 in the next tick, and the page finished";
  const std::string page = Written("FEATURES.HTM");
  EXPECT_EQ(page.substr(page.size() - 9), "</HTML>\r\n");
}

TEST_F(PublishTest, ALongCommentRowContinuesOnTheNextLine) {
  const ui::ThreadId id = Open(BrowseFEATURES());
  Publish(id, kHtmlDisplayed);
  const std::string page = Written("FEATURES.HTM");
  std::istringstream in(page);
  std::string line;
  while (std::getline(in, line)) EXPECT_LE(line.size(), 256u) << "255 and the CR";
  const std::vector<std::string> cells = testing::ShownCells(page);
  EXPECT_NE(std::find(cells.begin(), cells.end(), std::string(207, 'x')), cells.end())
      << "the 207-character comment shows whole, with no blank in it";
}

TEST_F(PublishTest, TheNameCanBeChosenWithASaveDialog) {
  const ui::ThreadId id = Open(BrowseReview());
  Post(id, ui::EVENT_Accepted, kBrowsePublish);
  backend_.file_answers = {data_.File("chosen.htm")};
  Post(id, ui::EVENT_Accepted, kHtmlPick);
  ASSERT_EQ(backend_.file_dialogs.size(), 1u);
  EXPECT_EQ(backend_.file_dialogs[0].title, "Enter the name of your HTML File");
  EXPECT_EQ(backend_.file_dialogs[0].filter, "HTML Files|*.HTM|All Files|*.*");
  EXPECT_TRUE(backend_.file_dialogs[0].save) << "the save dialog asks before replacing a file";
  Post(id, ui::EVENT_Accepted, kHtmlDisplayed);
  EXPECT_NE(Written("chosen.htm").find("<TD>First Look</TD>"), std::string::npos);
}

// Every way a page can fail over a page that was there: the runtime's stop
// box says why and names the file, the old page is as it was byte for byte,
// and nothing is left beside it.  Ignore goes on; Abort ends the program.
TEST_F(PublishTest, AFailedPageLeavesThePageThatWasThere) {
  using Op = testing::ScopedFaultyDriver::Op;
  FaultyFileSystem faulty(FileSystem::Default());
  SetFileSystemForTests(&faulty);
  std::unique_ptr<testing::ScopedFaultyDriver> native;
  struct Case {
    const char* name;
    const char* file;
    std::function<void()> arm;
    int button;
    const char* caption;
    const char* says;
  };
  const Case cases[] = {
      {"a folder that is missing", "no/such/folder/x.htm", [] {}, kHtmlDisplayed, "Stop",
       "No such file or directory"},
      {"a full disk", "page.htm", [&] { faulty.FillDiskAfter(600); }, kHtmlAll, "Stop",
       "Access Denied"},
      {"a failing close", "page.htm", [&] { faulty.FailClose(EIO); }, kHtmlDisplayed, "Stop", ""},
      {"a read failing half-way", "page.htm",
       [&] {
         native = std::make_unique<testing::ScopedFaultyDriver>("KARVINEX");
         native->Fail(Op::kNext, 40, kAccessDenied);
       },
       kHtmlAll, "Record Retrieval Error", "Access Denied (5)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string file = data_.File(c.file);
    testing::WriteFile(data_.File("page.htm"), "the page that was there\r\n");
    const std::vector<std::string> before = testing::FilesIn(data_.path());
    c.arm();
    const ui::ThreadId id = Open(BrowseFEATURES());
    Post(id, ui::EVENT_Accepted, kBrowsePublish);
    scheduler_.TopWindow(id)->SetValue(kHtmlName, file);
    backend_.messages.clear();
    backend_.answers = {ui::kButtonIgnore};
    Post(id, ui::EVENT_Accepted, c.button);
    for (int i = 0; i < 100 && scheduler_.TopWindow(id)->def().name == "$HTMLPROPWINDOW"; ++i) {
      scheduler_.Advance(10);
    }
    faulty.Clear();
    native.reset();
    ASSERT_EQ(backend_.messages.size(), 1u);
    const ui::MessageRequest& m = backend_.messages[0].request;
    EXPECT_EQ(m.caption, c.caption);
    EXPECT_NE(m.text.find(c.says), std::string::npos) << m.text;
    if (m.caption == std::string("Stop")) {
      EXPECT_EQ(m.detail.rfind(file, 0), 0u) << m.detail;
    }
    EXPECT_FALSE(scheduler_.exited()) << "Ignore goes on";
    EXPECT_EQ(testing::ReadFile(data_.File("page.htm")), "the page that was there\r\n");
    EXPECT_EQ(testing::FilesIn(data_.path()), before);
    Post(id, ui::EVENT_CloseWindow, 0);
  }

  // Abort ends the program.
  const ui::ThreadId id = Open(BrowseReview());
  Post(id, ui::EVENT_Accepted, kBrowsePublish);
  scheduler_.TopWindow(id)->SetValue(kHtmlName, data_.File("no/such/folder/x.htm"));
  backend_.answers = {ui::kButtonAbort};
  Post(id, ui::EVENT_Accepted, kHtmlDisplayed);
  EXPECT_TRUE(scheduler_.exited());
}

}  // namespace
}  // namespace mirabo::app
