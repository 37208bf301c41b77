// The report engine and its drawing: composing 1,000 pages of a two-line
// listing (with the page files written), drawing one page at 100 percent,
// filling and repainting a 10 x 10 preview grid, writing a 1,000-page PDF.
//
//   report_bench                 timings (offscreen, no display needed)
//   report_bench --memory        peak memory of the preview and the printer
//                                for 10 and for 1,000 pages
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QPainter>
#include <QPrinter>
#include <QWidget>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_data.h"
#include "bench/qt_bench_main.h"
#include "report/pdf_output.h"
#include "report/qt/page_renderer.h"
#include "report/report.h"
#include "ui/qt/image_control.h"
#include "ui/qt/qt_backend.h"

namespace mirabo::bench {
namespace {

namespace fs = std::filesystem;
using report::Justify;
using report::ReportControl;

// The layout of the Features reports: a title, a grey head box with column
// lines and heads, two text lines in three columns per record and a rule,
// the page number in the footer.  15 records fill a page.
report::ReportDef TwoLineLayout() {
  report::ReportDef d;
  d.name = "BENCH:FEATURES$REPORT";
  d.title = "FEATURES by Supplier";
  d.detail_area = {490, 1740, 7000, 7260};
  d.header.at = {490, 1052, 7000, 667};
  ReportControl title = report::Variable("s60", {0, 21, 6969, 219}, Justify::kCentre);
  title.font.bold = true;
  d.header.controls = {title, report::Box({10, 260, 6979, 458}, report::kBlack, report::kLightGrey),
                       report::Line({3385, 271, 0, 460}), report::Line({5000, 271, 0, 460})};
  const char* heads[] = {"PRODUCT", "CATEGORY", "REVIEW", "HARD/SOFTWARE", "VERSION"};
  const report::Rect at[] = {{50, 310, 1400, 170},
                             {52, 479, 1400, 170},
                             {3448, 323, 1400, 170},
                             {3438, 479, 1400, 170},
                             {5083, 490, 781, 167}};
  for (int i = 0; i < 5; ++i) {
    ReportControl head = report::Text(heads[i], at[i]);
    head.transparent = true;
    d.header.controls.push_back(head);
  }
  ReportControl issue =
      report::Text("ISSUE", {5083, 302, report::kSizedToText, report::kSizedToText});
  issue.transparent = true;
  d.header.controls.push_back(issue);
  d.detail.at = {0, 0, 7010, 469};
  d.detail.controls = {
      report::Line({3385, 10, 0, 460}),
      report::Line({5000, 10, 0, 460}),
      report::Variable("s86", {52, 52, 3281, 167}),
      report::Variable("s31", {42, 229, 2365, 167}),
      report::Variable("s19", {3448, 52, 1400, 170}),
      report::Variable("n10", {5042, 31, 667, 208}, Justify::kLeft),
      report::Variable("s4", {3458, 208, 323, 167}),
      report::Variable("s15", {5052, 229, 1125, 167}),
      report::Line({10, 469, 6938, 0}),
  };
  d.footer.at = {1000, 9000, 6000, 219};
  ReportControl number = report::PageNumber("pPage <<<#p", {5250, 30, 700, 135});
  number.font.size = 8;
  d.footer.controls = {number};
  return d;
}

struct Fields {
  StringVar title{60}, product{86}, category{31}, review{19}, hs{4}, version{15};
  RealVar issue;
  std::vector<ValueRef> Refs() {
    return {title.ref(), product.ref(), category.ref(), review.ref(),
            issue.ref(), hs.ref(),      version.ref()};
  }
};

std::string Folder(const std::string& name) {
  const fs::path p = fs::temp_directory_path() / ("mirabo-report-bench-" + name);
  fs::create_directories(p);
  return p.string();
}

// Composes `pages` pages (15 records each) into `folder`; the report keeps
// the files until it goes.
std::unique_ptr<report::Report> Compose(int pages, const std::string& folder,
                                        report::PageImageList* list, Fields& f,
                                        report::FontMetrics& metrics) {
  static const report::ReportDef def = TwoLineLayout();
  auto r = std::make_unique<report::Report>(def, f.Refs(), metrics);
  if (!r->Open(list, {folder, "RPG"}).ok()) return nullptr;
  f.title.Assign("FEATURES by Supplier Northwind Peripherals");
  for (int i = 0; i < pages * 15; ++i) {
    f.product.Assign("Product number " + std::to_string(i) + " with a longer name");
    f.category.Assign(i % 3 ? "Printers" : "Modems");
    f.review.Assign("Group Test");
    f.issue.value = 100 + i % 50;
    f.hs.Assign(i % 2 ? "S" : "H");
    f.version.Assign("2.1");
    if (!r->PrintDetail().ok()) return nullptr;
  }
  if (!r->EndReport().ok()) return nullptr;
  return r;
}

// One composed report shared by the drawing benchmarks.
struct Composed {
  Fields fields;
  report::qt::QtFontMetrics metrics;
  report::PageImageList pages;
  std::unique_ptr<report::Report> report;
};
Composed& Pages1000() {
  static Composed c;  // its report removes the page files at exit
  if (!c.report) c.report = Compose(1000, Folder("shared"), &c.pages, c.fields, c.metrics);
  return c;
}

void BM_Compose1000Pages(benchmark::State& state) {
  report::qt::QtFontMetrics metrics;
  const std::string folder = Folder("compose");
  for (auto _ : state) {
    Fields f;
    report::PageImageList list;
    auto r = Compose(1000, folder, &list, f, metrics);
    if (!r || list.size() != 1000) state.SkipWithError("composition failed");
    state.PauseTiming();
    r.reset();  // removes the page files
    state.ResumeTiming();
  }
  state.counters["detail_bands"] = 15000;
}
BENCHMARK(BM_Compose1000Pages)->Unit(benchmark::kMillisecond)->Iterations(3);

// One page read from its file and drawn at 100 percent (96 dots an inch).
void BM_RenderPageAt100(benchmark::State& state) {
  Composed& c = Pages1000();
  QImage img(816, 1056, QImage::Format_ARGB32_Premultiplied);
  size_t i = 0;
  for (auto _ : state) {
    report::PageImage page;
    if (!report::ReadPageFile(c.pages[i++ % c.pages.size()], &page).ok()) {
      state.SkipWithError("unreadable page");
    }
    QPainter p(&img);
    report::qt::PaintPage(p, page, QRectF(0, 0, 816, 1056));
  }
}
BENCHMARK(BM_RenderPageAt100)->Unit(benchmark::kMillisecond);

// A 10 x 10 grid of image controls the size the preview gives them in a
// 1,000 x 800 pixel window: filled with new pages (loaded and drawn at the
// cell's size), then repainted as they are.
struct Grid {
  QWidget window;
  std::vector<ui::qt::ImageControl*> cells;
  Grid() {
    window.resize(1000, 800);
    for (int i = 0; i < 100; ++i) {
      auto* c = new ui::qt::ImageControl(&window);
      c->setGeometry(1 + (i % 10) * 99, 1 + (i / 10) * 79, 60, 76);
      cells.push_back(c);
    }
    window.show();
  }
  void Show(const report::PageImageList& pages, size_t first) {
    for (size_t i = 0; i < cells.size(); ++i) {
      cells[i]->Show(pages[(first + i) % pages.size()], QSize(), false, false, ui::kDefaultColour,
                     ui::Cursor::kZoom);
    }
  }
};

void BM_GridFill10x10(benchmark::State& state) {
  Composed& c = Pages1000();
  Grid g;
  QImage target(1000, 800, QImage::Format_ARGB32_Premultiplied);
  size_t first = 0;
  for (auto _ : state) {
    g.Show(c.pages, first);
    first += 100;
    g.window.render(&target);
  }
}
BENCHMARK(BM_GridFill10x10)->Unit(benchmark::kMillisecond);

void BM_GridRepaint10x10(benchmark::State& state) {
  Composed& c = Pages1000();
  Grid g;
  QImage target(1000, 800, QImage::Format_ARGB32_Premultiplied);
  g.Show(c.pages, 0);
  g.window.render(&target);
  for (auto _ : state) g.window.render(&target);
}
BENCHMARK(BM_GridRepaint10x10)->Unit(benchmark::kMillisecond);

void BM_WritePdf1000Pages(benchmark::State& state) {
  Composed& c = Pages1000();
  const std::string pdf = Folder("pdf") + "/report.pdf";
  for (auto _ : state) {
    if (!report::WritePdf(c.pages, pdf, "FEATURES by Supplier", report::kLetter, c.metrics).ok()) {
      state.SkipWithError("PDF not written");
    }
  }
  state.counters["pdf_MB"] = static_cast<double>(fs::file_size(pdf)) / 1e6;
}
BENCHMARK(BM_WritePdf1000Pages)->Unit(benchmark::kMillisecond);

// Peak memory, each case in a process of its own: the preview pages through
// every page a grid of 100 at a time and zooms each page; the printer prints
// them all to a PDF printer.
int MemoryReport(int argc, char** argv) {
  std::printf("%-30s %12s %12s\n", "pages", "10", "1,000");
  auto peak = [&](int pages, bool printer) {
    return static_cast<long long>(ChildPeakKiB([&] {
      QApplication app(argc, argv);
      report::qt::RegisterPageImagePainter();
      Fields f;
      report::qt::QtFontMetrics metrics;
      report::PageImageList list;
      auto r = Compose(pages, Folder("memory"), &list, f, metrics);
      if (!r) _exit(1);
      if (printer) {
        QPrinter p(QPrinter::HighResolution);
        p.setOutputFormat(QPrinter::PdfFormat);
        p.setOutputFileName(QString::fromStdString(Folder("memory") + "/printed.pdf"));
        if (ui::qt::PrintImages(p, list).outcome != ui::PrintOutcome::kPrinted) _exit(1);
      } else {
        Grid g;
        QImage target(1000, 800, QImage::Format_ARGB32_Premultiplied);
        for (size_t first = 0; first < list.size(); first += 100) {
          g.Show(list, first);
          g.window.render(&target);
        }
        ui::qt::ImageControl zoom(nullptr);
        zoom.resize(800, 600);
        for (const std::string& page : list) {
          zoom.Show(page, QSize(1632, 2112), true, true, ui::kWhiteColour, ui::Cursor::kZoom);
          zoom.render(&target);
        }
      }
    }));
  };
  for (bool printer : {false, true}) {
    const long long small = peak(10, printer), large = peak(1000, printer);
    std::printf("%-30s %8lld KiB %8lld KiB\n",
                printer ? "printer: peak resident" : "preview: peak resident", small, large);
  }
  return 0;
}

}  // namespace
}  // namespace mirabo::bench

int main(int argc, char** argv) {
  return mirabo::bench::QtBenchMain(argc, argv, mirabo::bench::MemoryReport);
}
