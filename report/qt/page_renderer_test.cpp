// Page images drawn by Qt and written as PDF files with the real fonts'
// widths, checked the way their readers see them: a PDF through pdftotext
// and poppler's drawing, a picture by its pixels, a printed job by its PDF.
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
#include "report/pdf_output.h"
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
  ASSERT_TRUE(WritePdf(pages_, pdf, "Listing by Cat\xE9gorie", kLetter, metrics_).ok());
  const std::string text = PdfText(pdf);
  ExpectInOrder(text, {"CATEGORY Table", "CATEGORY", "Category 1", "Category 2", "Category 26",
                       "Page 1", "\f", "CATEGORY Table", "Category 27", "Category 30", "Page 2"});
  EXPECT_EQ(text.find("Category 31"), std::string::npos);
  // One font a face and weight for the whole document, not one a page.
  const std::string fonts = CommandOutput("pdffonts '" + pdf + "' 2>&1");
  for (const std::string face : {"Helvetica ", "Helvetica-Bold "}) {
    const size_t at = fonts.find(face);
    EXPECT_NE(at, std::string::npos) << fonts;
    EXPECT_EQ(fonts.find(face, at + 1), std::string::npos) << fonts;
  }
  const std::string info = CommandOutput("pdfinfo '" + pdf + "' 2>&1");
  EXPECT_NE(info.find("Title:           Listing by Cat\xC3\xA9gorie"), std::string::npos) << info;
  EXPECT_NE(info.find("Pages:           2"), std::string::npos) << info;
  EXPECT_NE(info.find("612 x 792 pts (letter)"), std::string::npos) << info;
  EXPECT_EQ(info.find("rror"), std::string::npos) << info;
}

// Where pdftotext finds each word of a PDF's first page, in thousandths of
// an inch from the page's top-left corner.
struct PdfWord {
  std::string text;
  double x0, y0, x1, y1;
};
std::vector<PdfWord> PdfWords(const std::string& pdf) {
  const std::string html = CommandOutput("pdftotext -f 1 -l 1 -bbox '" + pdf + "' - 2>&1");
  std::vector<PdfWord> words;
  for (size_t at = html.find("<word "); at != std::string::npos; at = html.find("<word ", at + 1)) {
    PdfWord w;
    if (std::sscanf(html.c_str() + at, "<word xMin=\"%lf\" yMin=\"%lf\" xMax=\"%lf\" yMax=\"%lf\"",
                    &w.x0, &w.y0, &w.x1, &w.y1) != 4) {
      continue;
    }
    const size_t open = html.find('>', at) + 1;
    w.text = html.substr(open, html.find("</word>", open) - open);
    for (double* v : {&w.x0, &w.y0, &w.x1, &w.y1}) *v *= 1000.0 / 72;
    words.push_back(w);
  }
  return words;
}

TEST_F(PageRendererTest, PdfSetsEachTextWhereItsBoxAndAlignmentSay) {
  Compose(3);
  const std::string pdf = out_.File("placed.pdf");
  ASSERT_TRUE(WritePdf(pages_, pdf, "Placed", kLetter, metrics_).ok());
  const std::vector<PdfWord> words = PdfWords(pdf);
  PageImage page;
  ASSERT_TRUE(ReadPageFile(pages_[0], &page).ok());
  int checked = 0;
  for (const PageItem& item : page.items) {
    const auto* t = std::get_if<TextRun>(&item);
    if (!t || t->text.empty()) continue;
    SCOPED_TRACE(t->text);
    // The run's first and last words, told apart from others by their line.
    auto find = [&](const std::string& w) {
      return std::find_if(words.begin(), words.end(), [&](const PdfWord& p) {
        return p.text == w && p.y0 < t->box.y + t->box.h && p.y1 > t->box.y;
      });
    };
    const auto a = find(t->text.substr(0, t->text.find(' ')));
    const auto b = find(t->text.substr(t->text.rfind(' ') + 1));
    ASSERT_TRUE(a != words.end() && b != words.end());
    const double width = metrics_.TextWidth(page.fonts[t->font], t->text);
    const double left = t->align == Align::kLeft    ? t->box.x
                        : t->align == Align::kRight ? t->box.x + t->box.w - width
                                                    : t->box.x + (t->box.w - width) / 2;
    // Composition rounds a width up to a thousandth of an inch.
    EXPECT_NEAR(a->x0, left, 3);
    EXPECT_NEAR(b->x1, left + width, 3);
    EXPECT_GE(a->y0, t->box.y - 15);
    EXPECT_LE(a->y1, t->box.y + t->box.h + 40);
    ++checked;
  }
  EXPECT_EQ(checked, 6) << "title, column head, three lines and the page number";
}

// A page drawn at 100 dots an inch by Qt, or written as a PDF and drawn by
// poppler.
QImage DrawnByQt(const PageImage& page, const std::string&) {
  QImage img(850, 1100, QImage::Format_RGB32);
  QPainter p(&img);
  PaintPage(p, page, QRectF(0, 0, 850, 1100));
  return img;
}
QImage DrawnFromPdf(const PageImage& page, const std::string& folder) {
  std::string name;
  if (!WritePageFile(page, folder, "RPG", &name).ok()) return {};
  FixedPitchMetrics fixed;
  const bool ok = WritePdf({name}, folder + "/one.pdf", "One", kLetter, fixed).ok();
  std::filesystem::remove(name);
  if (!ok) return {};
  CommandOutput("pdftoppm -r 100 -png -singlefile '" + folder + "/one.pdf' '" + folder + "/one'");
  return QImage(QString::fromStdString(folder + "/one.png")).convertToFormat(QImage::Format_RGB32);
}

TEST_F(PageRendererTest, TextIsClippedToItsBoxOnScreenAndInPdf) {
  PageImage page;
  const uint16_t f = page.FontIndex({"Arial", 10, false});
  const std::string wide(20, 'W');
  page.items.emplace_back(TextRun{{1000, 1000, 500, 200}, f, Align::kLeft, false, kBlack, wide});
  // A right-aligned run that spills over is cut at its box's left edge.
  page.items.emplace_back(TextRun{{3000, 2000, 500, 200}, f, Align::kRight, false, kBlack, wide});
  for (auto draw : {DrawnByQt, DrawnFromPdf}) {
    const QImage img = draw(page, out_.path());
    ASSERT_EQ(img.size(), QSize(850, 1100));
    auto ink = [&](int y0, int x0, int x1) {
      int n = 0;
      for (int y = y0; y < y0 + 30; ++y) {
        for (int x = x0; x < x1; ++x) n += qGray(img.pixel(x, y)) < 200;
      }
      return n;
    };
    EXPECT_GT(ink(95, 100, 150), 50) << "the text shows inside its box";
    EXPECT_EQ(ink(95, 151, 300), 0) << "and nothing of it beyond the box";
    EXPECT_GT(ink(195, 300, 350), 50);
    EXPECT_EQ(ink(195, 150, 299), 0);
  }
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
  PageImage page;
  ASSERT_TRUE(ReadPageFile(pages_[0], &page).ok());
  // At 300 dots an inch the compressed picture takes several of the
  // encoder's output buffers.
  for (const int dpi : {96, 300}) {
    SCOPED_TRACE(dpi);
    const std::string png = out_.File("page1.png");
    ASSERT_TRUE(WritePng(pages_[0], png, dpi).ok());
    QImage img(QString::fromStdString(png));
    ASSERT_FALSE(img.isNull());
    const QSize size(85 * dpi / 10, 11 * dpi);
    EXPECT_EQ(img.size(), size);
    // The grey column-head box at 1000,1260 (thousandths of an inch).
    EXPECT_EQ(QColor(img.pixel(dpi * 104 / 100, dpi * 130 / 100)), QColor(0xC0, 0xC0, 0xC0));
    // Every pixel is the page as drawn: a grey page loses nothing on its
    // way through the picture's own encoding.
    QImage drawn(size, QImage::Format_RGB32);
    {
      QPainter p(&drawn);
      PaintPage(p, page, QRectF(QPointF(0, 0), QSizeF(size)));
    }
    EXPECT_TRUE(img.convertToFormat(QImage::Format_Grayscale8) ==
                drawn.convertToFormat(QImage::Format_Grayscale8));
  }
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
  EXPECT_FALSE(WritePdf(pages_, out_.File("bad.pdf"), "x", kLetter, metrics_).ok());
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
