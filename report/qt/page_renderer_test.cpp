// Page images drawn by Qt, checked the way their readers see them: a PDF
// through pdftotext, a picture by its pixels, a printed job by its PDF.
#include "report/qt/page_renderer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFontInfo>
#include <QImage>
#include <QPainter>
#include <QPrinter>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "report/page_spool.h"
#include "report/report.h"
#include "tests/testing/temp_dir.h"
#include "ui/qt/image_painter.h"
#include "ui/qt/qt_backend.h"

namespace mirabo::report::qt {
namespace {

QApplication& App() {
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "reportqt_tests";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);
  }();
  return *app;
}

std::string CommandOutput(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return "<" + command + " did not run>";
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

// What pdftotext reads from a PDF file, pages separated by form feeds.
std::string PdfText(const std::string& path) {
  const std::string out = CommandOutput("pdftotext -layout '" + path + "' - 2>&1");
  // Runs of blanks are layout, not text.
  std::string squeezed;
  for (char c : out) {
    if (c == ' ' && !squeezed.empty() && squeezed.back() == ' ') continue;
    squeezed += c;
  }
  return squeezed;
}

// Checks that `needles` occur in `text` in this order.
void ExpectInOrder(const std::string& text, const std::vector<std::string>& needles) {
  size_t at = 0;
  for (const std::string& n : needles) {
    const size_t found = text.find(n, at);
    ASSERT_NE(found, std::string::npos) << "\"" << n << "\" missing after offset " << at << " in\n"
                                        << text;
    at = found + n.size();
  }
}

ReportDef Listing() {
  ReportDef d;
  d.name = "TEST:LISTING$REPORT";
  d.title = "Listing by Category";
  d.detail_area = {1000, 1540, 6000, 7458};
  d.header.at = {1000, 1000, 6000, 542};
  ReportControl title = Text("CATEGORY Table", {0, 20, 6000, 220}, Justify::kCentre);
  title.font.bold = true;
  ReportControl head = Text("CATEGORY", {50, 310, 5900, 170});
  head.transparent = true;
  d.header.controls = {title, Box({0, 260, 6000, 280}, kBlack, kLightGrey), head};
  d.detail.at = {0, 0, 6000, 281};
  d.detail.controls = {Variable("s31", {50, 50, 5900, 170}), Line({50, 280, 5900, 0})};
  d.footer.at = {1000, 9000, 6000, 219};
  ReportControl number = PageNumber("pPage <<<#p", {5250, 30, 700, 135});
  number.font.size = 8;
  d.footer.controls = {number};
  return d;
}

class PageRendererTest : public ::testing::Test {
 protected:
  PageRendererTest() {
    App();
    RegisterPageImagePainter();
  }

  // Composes `n` detail lines "Category 1" ... with the real font metrics.
  void Compose(int n) {
    StringVar category(31);
    report_ = std::make_unique<Report>(def_, std::vector<ValueRef>{category.ref()}, metrics_);
    ASSERT_TRUE(report_->Open(&pages_, {dir_.path(), "RPG"}).ok());
    for (int i = 1; i <= n; ++i) {
      category.Assign("Category " + std::to_string(i));
      ASSERT_TRUE(report_->PrintDetail().ok());
    }
    ASSERT_TRUE(report_->EndReport().ok());
  }

  testing::TempDir dir_, out_;
  ReportDef def_ = Listing();
  QtFontMetrics metrics_;
  PageImageList pages_;
  std::unique_ptr<Report> report_;
};

TEST_F(PageRendererTest, PdfHoldsThePagesTextsInOrder) {
  Compose(30);  // 26 lines a page: two pages
  ASSERT_EQ(pages_.size(), 2u);
  const std::string pdf = out_.File("listing.pdf");
  ASSERT_TRUE(WritePdf(pages_, pdf, "Listing by Category").ok());
  const std::string text = PdfText(pdf);
  ExpectInOrder(text, {"CATEGORY Table", "CATEGORY", "Category 1", "Category 2", "Category 26",
                       "Page 1", "\f", "CATEGORY Table", "Category 27", "Category 30", "Page 2"});
  EXPECT_EQ(text.find("Category 31"), std::string::npos);
  // Each face is embedded once for the whole document, not once a page.
  const std::string fonts = CommandOutput("pdffonts '" + pdf + "' 2>&1");
  EXPECT_NE(fonts.find("LiberationSans-Bold"), std::string::npos) << fonts;
  size_t faces = 0;
  for (size_t at = fonts.find("LiberationSans"); at != std::string::npos;
       at = fonts.find("LiberationSans", at + 1)) {
    ++faces;
  }
  EXPECT_EQ(faces, 2u) << fonts;
  EXPECT_NE(CommandOutput("pdfinfo '" + pdf + "'").find("Title:           Listing by Category"),
            std::string::npos);
}

TEST_F(PageRendererTest, TextIsClippedToItsBox) {
  PageImage page;
  const uint16_t f = page.FontIndex({"Arial", 10, false});
  page.items.emplace_back(
      TextRun{{1000, 1000, 500, 200}, f, Align::kLeft, false, kBlack, "WWWWWWWWWWWWWWWWWWWW"});
  QImage img(850, 1100, QImage::Format_RGB32);  // 100 dots an inch
  {
    QPainter p(&img);
    PaintPage(p, page, QRectF(0, 0, 850, 1100));
  }
  auto ink = [&](int x0, int x1) {
    int n = 0;
    for (int y = 95; y < 125; ++y) {
      for (int x = x0; x < x1; ++x) n += img.pixel(x, y) != qRgb(255, 255, 255);
    }
    return n;
  };
  EXPECT_GT(ink(100, 150), 50) << "the text shows inside its box";
  EXPECT_EQ(ink(151, 300), 0) << "and nothing of it beyond the box";
}

TEST_F(PageRendererTest, ArialIsLiberationSansMeasuredForReal) {
  EXPECT_EQ(QFontInfo(ReportFont({"Arial", 10, false})).family(),
            QStringLiteral("Liberation Sans"));
  const int plain = metrics_.TextWidth({"Arial", 10, false}, "ISSUE");
  // Bold capitals keep their widths; bold small letters are wider.
  EXPECT_EQ(metrics_.TextWidth({"Arial", 10, true}, "ISSUE"), plain);
  const int bold = metrics_.TextWidth({"Arial", 10, true}, "report");
  // "ISSUE" in Liberation Sans 10: I 0.278, S 0.667 (x3), U 0.722 em of 10/72 inch.
  EXPECT_NEAR(plain, (0.278 + 3 * 0.667 + 0.722) * 10 * 1000 / 72, 8);
  EXPECT_GT(bold, metrics_.TextWidth({"Arial", 10, false}, "report"));
  EXPECT_NEAR(metrics_.LineHeight({"Arial", 10, false}), 160, 10);
}

TEST_F(PageRendererTest, PngIsThePageAtTheAskedResolution) {
  Compose(3);
  const std::string png = out_.File("page1.png");
  ASSERT_TRUE(WritePng(pages_[0], png, 96).ok());
  QImage img(QString::fromStdString(png));
  ASSERT_FALSE(img.isNull());
  EXPECT_EQ(img.size(), QSize(816, 1056));
  // The grey column-head box at 1000,1260: 96 dpi puts its inside near 100,125.
  EXPECT_EQ(QColor(img.pixel(100, 125)), QColor(0xC0, 0xC0, 0xC0));
}

// Overwrites a page's bytes in its spool, past its header.
void Damage(const std::string& entry) {
  SpooledPage page;
  ASSERT_TRUE(ParseSpooledPage(entry, &page)) << entry;
  std::fstream f(page.path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(page.offset + static_cast<int64_t>(kPageHeaderSize));
  f << "garbage";
  ASSERT_TRUE(f.good());
}

TEST_F(PageRendererTest, UnreadablePageLoadsAsAnErrorThatDrawsANote) {
  Compose(1);
  Damage(pages_[0]);
  std::unique_ptr<ui::qt::LoadedImage> image = ui::qt::LoadImage(pages_[0]);
  ASSERT_NE(image, nullptr);
  EXPECT_NE(image->Error().find("damaged"), std::string::npos) << image->Error();
  EXPECT_TRUE(image->NaturalSize().isEmpty());
  QImage img(200, 260, QImage::Format_RGB32);
  img.fill(Qt::black);
  {
    QPainter p(&img);
    image->Paint(p, QRectF(0, 0, 200, 260));
  }
  int red = 0;
  for (int y = 0; y < 260; ++y) {
    for (int x = 0; x < 200; ++x) red += qRed(img.pixel(x, y)) > qGreen(img.pixel(x, y)) + 40;
  }
  EXPECT_GT(red, 20) << "the note is written on the page";
  EXPECT_EQ(QColor(img.pixel(5, 250)), QColor(Qt::white)) << "a blank page, not garbage";
  EXPECT_FALSE(WritePdf(pages_, out_.File("bad.pdf"), "x").ok());
  EXPECT_FALSE(std::filesystem::exists(out_.File("bad.pdf")));
}

TEST_F(PageRendererTest, PrintJobOnAPdfPrinterHoldsEveryPageAndStopsAtABadOne) {
  Compose(60);  // three pages
  ASSERT_EQ(pages_.size(), 3u);
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  const std::string pdf = out_.File("printed.pdf");
  printer.setOutputFileName(QString::fromStdString(pdf));
  const ui::PrintResult ok = ui::qt::PrintImages(printer, pages_);
  EXPECT_EQ(ok.outcome, ui::PrintOutcome::kPrinted) << ok.error;
  ExpectInOrder(PdfText(pdf), {"Category 1", "Page 1", "\f", "Category 27", "Page 2", "\f",
                               "Category 60", "Page 3"});

  Damage(pages_[1]);
  const ui::PrintResult bad = ui::qt::PrintImages(printer, pages_);
  EXPECT_EQ(bad.outcome, ui::PrintOutcome::kFailed);
  EXPECT_NE(bad.error.find("Page 2 could not be printed"), std::string::npos) << bad.error;
  EXPECT_NE(bad.error.find("damaged"), std::string::npos) << bad.error;
}

}  // namespace
}  // namespace mirabo::report::qt
