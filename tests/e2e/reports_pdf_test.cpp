// Each report on the bundled sample data, from its procedure to paper: run
// on the window model, previewed, Print chosen there, and the pages printed
// by the program's own print code to a PDF printer.  pdftotext reads the PDF
// back: every record the report should print is there, in key order, with
// the names looked up for it, and every page has its "Page n" footer.
#include <QApplication>
#include <QPrinter>

#include <cstdio>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/data/declarations.h"
#include "app/data/globals.h"
#include "app/data/thread_block.h"
#include "app/reports/report_preview.h"
#include "app/reports/report_runner.h"
#include "app/reports/search_report.h"
#include "app/shell/procedures.h"
#include "app/startup.h"
#include "report/qt/page_renderer.h"
#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/file.h"
#include "runtime/picture.h"
#include "runtime/text.h"
#include "tests/e2e/e2e_support.h"
#include "tests/testing/temp_dir.h"
#include "tests/testing/watchdog.h"
#include "ui/headless.h"
#include "ui/qt/qt_backend.h"
#include "ui/qt/qt_text.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo {
namespace {

using app::DataFile;

// The headless window model, except that a print job goes to the PDF printer
// through the program's own printing, as it does after the print dialog.
class PdfBackend : public ui::HeadlessBackend {
 public:
  std::string pdf;
  void PrintPages(const ui::PrintRequest& r, std::function<void(ui::PrintResult)> done) override {
    print_jobs.push_back(r);
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(QString::fromStdString(pdf));
    printer.setDocName(QString::fromStdString(r.job));
    done(ui::qt::PrintImages(printer, r.pages));
  }
};

// What a report should print for one record: texts as the reader sees them
// (UTF-8); the first, found in order, stands on the record's upper line.
using Expected = std::vector<std::vector<std::string>>;

struct Case {
  const char* procedure;
  const char* title;  // the title printed on every page
  DataFile file;      // read in the order of `key`
  int key;
  int group_field;  // -1 for a listing; else the field that equals `group`
  double group;
  std::vector<int> fields;             // printed from the file itself, the first a unique text
  std::vector<app::Relation> lookups;  // names printed from lookups
  // The search: the products that hold this text regardless of case, with
  // their issue numbers to two decimals; nothing else is printed.
  const char* search = nullptr;
};

class ReportsPdfTest : public testing::DataFolderTest, public ::testing::WithParamInterface<Case> {
 protected:
  static void SetUpTestSuite() { testing::OffscreenApplication(); }

  void SetUp() override {
    DataFolderTest::SetUp();
    if (HasFatalFailure()) return;
    backend_.pdf = pages_.File("report.pdf");
    app::RegisterAll();
    app::ResetGlobals();
    app::UseSchedulerThreadBlocks();
    report::qt::RegisterPageImagePainter();
    app::ReportSettings settings;
    settings.pages = {pages_.path(), "RPG"};
    saved_ = app::SetReportSettings(settings);
  }
  void TearDown() override {
    app::SetReportSettings(saved_);
    report::SetReportFontMetrics(nullptr);
    DataFolderTest::TearDown();
  }

  // The records the report should print, read from the data file in the
  // key's order with their lookups.
  Expected Records(const Case& c) {
    File f(app::DataFileDecl(c.file));
    EXPECT_EQ(f.Open(kOpenShared), kNoError);
    std::vector<std::unique_ptr<File>> lookups;
    for (const app::Relation& l : c.lookups) {
      lookups.push_back(std::make_unique<File>(app::DataFileDecl(l.lookup)));
      EXPECT_EQ(lookups.back()->Open(kOpenShared), kNoError);
    }
    Expected out;
    EXPECT_EQ(f.SetKeyStart(c.key), kNoError);
    while (f.Next() == kNoError) {
      if (c.group_field >= 0 && f.Field(c.group_field).GetNumber() != c.group) continue;
      if (c.search && ToUpper1252(f.Field(app::FEA::PRODUCT).Bytes()).find(ToUpper1252(c.search)) ==
                          std::string::npos) {
        continue;
      }
      std::vector<std::string> texts;
      for (int field : c.fields) {
        const ValueRef v = f.Field(field);
        const char* picture = c.search ? "n10.2" : "n10";
        texts.push_back(v.numeric() ? std::string(Clip(FormatPicture(picture, v.GetNumber())))
                                    : std::string(Clip(v.Bytes())));
      }
      for (size_t i = 0; i < c.lookups.size(); ++i) {
        File& l = *lookups[i];
        l.Field(c.lookups[i].lookup_field).Assign(f.Field(c.lookups[i].features_field));
        texts.push_back(l.GetByKey(c.lookups[i].lookup_key) == kNoError
                            ? std::string(Clip(l.Field(0).Bytes()))
                            : std::string());
      }
      for (std::string& t : texts) {
        const size_t first = t.find_first_not_of(' ');
        t = first == std::string::npos ? std::string()
                                       : ui::qt::FromCp1252(t.substr(first)).toStdString();
      }
      out.push_back(texts);
    }
    return out;
  }

  testing::Watchdog watchdog_{std::chrono::seconds(120), "reports_pdf_test"};
  testing::TempDir pages_;
  PdfBackend backend_;
  ui::VirtualClock clock_;
  ui::Scheduler scheduler_{backend_, clock_};
  app::ReportSettings saved_;
};

TEST_P(ReportsPdfTest, PrintsEveryRecordInKeyOrderWithItsNamesAndPageFooters) {
  const Case& c = GetParam();
  app::GLO::supplier.value = 37;
  app::GLO::review.value = 9;
  app::GLO::category.value = 6;
  app::GLO::Issue.value = 34;
  const Expected expected = Records(c);
  ASSERT_GT(expected.size(), 1u);

  app::ProcedureFactory procedure = app::FindProcedure(c.procedure);
  if (c.search) {
    // What "Start Search" hands over: the text, looked for in the products.
    app::SearchText.Assign(c.search);
    app::SearchInProduct.value = 1;
    procedure = app::SEARCHRUN;
  }
  ASSERT_TRUE(procedure);
  const ui::ThreadId id = scheduler_.Start(procedure());
  scheduler_.RunReady();
  for (int t = 0; t < 60000 && scheduler_.Alive(id) &&
                  scheduler_.TopWindow(id)->def().name != app::PreviewWindowDef().name;
       t += 10) {
    scheduler_.Advance(10);
  }
  ASSERT_TRUE(scheduler_.Alive(id));
  scheduler_.TopWindow(id)->Post(ui::EVENT_Accepted, app::kPreviewMenuPrint);
  scheduler_.RunReady();
  ASSERT_FALSE(scheduler_.Alive(id));
  ASSERT_EQ(backend_.print_jobs.size(), 1u);
  const size_t pages = backend_.print_jobs[0].pages.size();
  EXPECT_TRUE(backend_.messages.empty());

  const std::string text = testing::PdfText(backend_.pdf, /*layout=*/true);
  // Records in order, each on its own line with its names.
  size_t at = 0;
  for (const std::vector<std::string>& record : expected) {
    const size_t found = text.find(record[0], at);
    ASSERT_NE(found, std::string::npos) << record[0] << " after offset " << at << " in\n" << text;
    // The record's two lines: its upper line, where the anchor is, and the next.
    const size_t line_start = text.rfind('\n', found) + 1;
    const size_t line_end = text.find('\n', text.find('\n', found) + 1);
    const std::string lines = text.substr(line_start, line_end - line_start);
    for (size_t i = 1; i < record.size(); ++i) {
      EXPECT_NE(lines.find(record[i]), std::string::npos)
          << record[i] << " with " << record[0] << ":\n"
          << lines;
    }
    at = found + record[0].size();
  }
  for (size_t n = 1; n <= pages; ++n) {
    EXPECT_TRUE(std::regex_search(text, std::regex("Page +" + std::to_string(n) + "\\b"))) << n;
  }
  size_t titles = 0;
  for (size_t p = text.find(c.title); p != std::string::npos; p = text.find(c.title, p + 1)) {
    ++titles;
  }
  EXPECT_EQ(titles, pages) << "the title heads every page";
  if (c.search) {
    // Exactly the matching records: one issue number with decimals each.
    const std::regex issue("\\b[0-9]+\\.00\\b");
    const auto printed = std::distance(std::sregex_iterator(text.begin(), text.end(), issue),
                                       std::sregex_iterator());
    EXPECT_EQ(static_cast<size_t>(printed), expected.size()) << text;
  }
}

constexpr app::Relation kSupplierOf = app::kRelations[0], kReviewOf = app::kRelations[1],
                        kCategoryOf = app::kRelations[2];

INSTANTIATE_TEST_SUITE_P(EachReport, ReportsPdfTest,
                         ::testing::Values(Case{"PRINTFEA:FEATSUPP",
                                                "FEATURES by Supplier",
                                                DataFile::kFeatures,
                                                app::FEA::FEATSUPP,
                                                app::FEA::SUPPLIER,
                                                37,
                                                {app::FEA::PRODUCT, app::FEA::ISSUE},
                                                {kReviewOf, kCategoryOf}},
                                           Case{"PRINTFEA:FEATREV",
                                                "FEATURES by Review",
                                                DataFile::kFeatures,
                                                app::FEA::FEATREV,
                                                app::FEA::REVIEW,
                                                9,
                                                {app::FEA::PRODUCT, app::FEA::ISSUE},
                                                {kSupplierOf, kCategoryOf}},
                                           Case{"PRINTFEA:FEATCAT",
                                                "FEATURES by Category",
                                                DataFile::kFeatures,
                                                app::FEA::FEATCAT,
                                                app::FEA::CATEGORY,
                                                6,
                                                {app::FEA::PRODUCT},
                                                {kReviewOf, kSupplierOf}},
                                           Case{"PRINTFEA:FEATISS",
                                                "FEATURES by Issue 34",
                                                DataFile::kFeatures,
                                                app::FEA::FEATISS,
                                                app::FEA::ISSUE,
                                                34,
                                                {app::FEA::PRODUCT},
                                                {kReviewOf, kSupplierOf, kCategoryOf}},
                                           Case{"PRINTISS:ISSUE",
                                                "ISSUES Table Print",
                                                DataFile::kIssues,
                                                app::ISS::ISSUE,
                                                -1,
                                                0,
                                                {app::ISS::ISSUE_NAME, app::ISS::ISSUE_NUMB},
                                                {}},
                                           Case{"PRINTCAT:CATEGORY",
                                                "CATEGORY Table",
                                                DataFile::kCategory,
                                                app::CAT::KEY_CATEGORY,
                                                -1,
                                                0,
                                                {app::CAT::CATEGORY},
                                                {}},
                                           Case{"PRINTREV:REVIEW",
                                                "REVIEW Table",
                                                DataFile::kReview,
                                                app::REV::KEY_REVIEW,
                                                -1,
                                                0,
                                                {app::REV::REVIEW},
                                                {}},
                                           Case{"PRINTSUP:SUPPLIER",
                                                "SUPPLIER Table",
                                                DataFile::kSupplier,
                                                app::SUP::KEY_SUPPLIER,
                                                -1,
                                                0,
                                                {app::SUP::SUPPLIER},
                                                {}},
                                           Case{"SEARCHRUN",
                                                "Search Features by String.. disk",
                                                DataFile::kFeatures,
                                                app::FEA::FEATISS,
                                                -1,
                                                0,
                                                {app::FEA::PRODUCT, app::FEA::ISSUE},
                                                {kReviewOf, kSupplierOf, kCategoryOf},
                                                "disk"}),
                         [](const ::testing::TestParamInfo<Case>& param) {
                           const std::string name = param.param.procedure;
                           return name.substr(name.find(':') + 1);
                         });

}  // namespace
}  // namespace mirabo
