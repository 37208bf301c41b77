#include "tools/batch/batch_reports.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <thread>
#include <vector>

#include "runtime/text.h"
#include "tools/batch/batch_commands.h"
#include "tools/batch/batch_progress.h"

#ifdef MIRABO_BATCH_REPORTS
#include <QGuiApplication>
#include <QPrinter>
#include <QPrinterInfo>

#include "app/reports/report_runner.h"
#include "report/pdf_output.h"
#include "report/qt/page_renderer.h"
#include "tools/batch/batch_session.h"
#include "ui/qt/qt_backend.h"
#include "ui/window.h"
#endif

namespace mirabo::tools {

std::string PagePictureName(size_t page) {
  char name[32];
  std::snprintf(name, sizeof name, "page-%04zu.png", page);
  return name;
}

std::vector<std::string> PagePictures(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    const std::string name = entry.path().filename().string();
    // "page-" digits ".png", as PagePictureName writes them.
    if (name.size() < 13 || name.compare(0, 5, "page-") != 0 ||
        name.compare(name.size() - 4, 4, ".png") != 0 ||
        name.find_first_not_of("0123456789", 5) != name.size() - 4) {
      continue;
    }
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

#ifdef MIRABO_BATCH_REPORTS
namespace {

namespace fs = std::filesystem;

// Qt's notes about a platform without a display are no news to a batch run.
void QuietNotes(QtMsgType type, const QMessageLogContext& context, const QString& msg) {
  if (msg.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR")) ||
      msg.startsWith(QLatin1String("This plugin does not support"))) {
    return;
  }
  qt_message_output(type, context, msg);
}

// Every page as OUTDIR/page-NNNN.png.  Drawing and compressing a picture
// takes far longer than reading its page, so the pages are shared out among
// a thread a core; the first failure (in page order) stops the others.
report::Status WritePictures(const report::PageImageList& pages, const std::string& folder) {
  const size_t workers =
      std::clamp<size_t>(std::thread::hardware_concurrency(), 1, std::max<size_t>(pages.size(), 1));
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  std::vector<report::Status> results(pages.size());
  auto work = [&] {
    for (size_t i; !failed.load() && (i = next.fetch_add(1)) < pages.size();) {
      const std::string path = (fs::path(folder) / PagePictureName(i + 1)).string();
      results[i] = report::qt::WritePng(pages[i], path, 150);
      if (!results[i].ok()) failed.store(true);
    }
  };
  {
    std::vector<std::jthread> threads;
    for (size_t t = 1; t < workers; ++t) threads.emplace_back(work);
    work();
  }
  for (const report::Status& s : results) {
    if (!s.ok()) return s;
  }
  return report::Status::Ok();
}

// The pages of a finished run, to where the command line says; a failure is
// said on standard error.
int Write(const app::FinishedReport& f, const PageOutput& out, const char* command) {
  const report::PageImageList& pages = f.pages;
  if (out.pdf) {
    const report::Paper paper = out.paper == PaperChoice::kA4       ? report::kA4
                                : out.paper == PaperChoice::kLetter ? report::kLetter
                                                                    : report::LocalePaper();
    const report::Status s = report::WritePdf(pages, *out.pdf, f.plan.layout.title, paper,
                                              report::ReportFontMetrics());
    if (!s.ok()) {
      std::cerr << "mirabo " << command << ": " << Printable(s.message(), 400) << "\n";
      return kBatchFailed;
    }
  }
  if (out.png) {
    std::error_code ec;
    fs::create_directories(*out.png, ec);
    if (ec) {
      std::cerr << "mirabo " << command << ": " << Printable(*out.png, 200) << ": " << ec.message()
                << "\n";
      return kBatchFailed;
    }
    // Each page takes its name only once whole; pages an earlier, longer run
    // left go, so the folder holds this run's pages and no others.
    const std::vector<std::string> earlier = PagePictures(*out.png);
    if (const report::Status s = WritePictures(pages, *out.png); !s.ok()) {
      std::cerr << "mirabo " << command << ": " << Printable(s.message(), 400) << "\n";
      return kBatchFailed;
    }
    for (const std::string& name : earlier) {
      if (std::strtoull(name.c_str() + 5, nullptr, 10) > pages.size()) {
        fs::remove(fs::path(*out.png) / name, ec);
      }
    }
  }
  if (out.print) {
    QPrinter printer(QPrinter::HighResolution);
    if (out.printer) {
      const QPrinterInfo info = QPrinterInfo::printerInfo(QString::fromStdString(*out.printer));
      if (info.isNull()) {
        std::cerr << "mirabo " << command << ": no printer named " << *out.printer << "\n";
        return kBatchFailed;
      }
      printer.setPrinterName(info.printerName());
    } else if (QPrinterInfo::defaultPrinter().isNull()) {
      std::cerr << "mirabo " << command << ": there is no default printer\n";
      return kBatchFailed;
    }
    printer.setDocName(QString::fromStdString(f.plan.layout.title));
    const ui::PrintResult r = ui::qt::PrintImages(printer, pages);
    if (r.outcome != ui::PrintOutcome::kPrinted) {
      std::cerr << "mirabo " << command << ": printing failed: " << r.error << "\n";
      return kBatchFailed;
    }
  }
  return kBatchDone;
}

// The batch run's output in place of the preview.  `out` and `command` are
// the command's own and outlive the run, which awaits this at once.
ui::Task<app::Outcome> WritePages(app::FinishedReport& f, const PageOutput& out,
                                  const char* command) {
  if (Write(f, out, command) != kBatchDone)
    co_return app::Outcome::Failed("the pages were not written");
  co_return app::Outcome::Complete(static_cast<int64_t>(f.pages.size()));
}

}  // namespace

int PrintPages(const char* command, const std::function<void()>& setup,
               const std::function<ui::Proc()>& procedure, const PageOutput& out) {
  // Fonts and the PDF writer need a GUI application, never a display.
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  qInstallMessageHandler(QuietNotes);
  std::unique_ptr<QGuiApplication> app;
  if (!QGuiApplication::instance()) {
    static int argc = 1;
    static char name[] = "mirabo";
    static char* argv[] = {name, nullptr};
    app = std::make_unique<QGuiApplication>(argc, argv);
  }
  report::qt::RegisterPageImagePainter();

  BatchSession s(std::cerr);
  s.HoldInformation(!isatty(STDERR_FILENO));
  // The whole run in one timer event: nothing waits for a user.
  s.scheduler().SetWorkClock([] { return int64_t{0}; });
  app::ReportSettings settings;
  settings.output = [&out, command](app::FinishedReport& f) { return WritePages(f, out, command); };
  const app::ReportSettings previous = app::SetReportSettings(std::move(settings));
  setup();
  // The run's progress window shows how far it has read.
  Progress progress(command);
  s.set_on_change([&](ui::Window& w) {
    const std::string& name = w.def().name;
    if (name.size() > 15 && name.compare(name.size() - 15, 15, "$PROGRESSWINDOW") == 0) {
      progress.Show(std::atoi(w.Value(app::kProgressBar).c_str()));
    }
  });
  const ui::ThreadId id = s.Start(procedure());
  s.RunUntil([&] { return !s.Alive(id); });
  s.set_on_change(nullptr);
  app::SetReportSettings(previous);
  // A run that found no record wrote nothing and says so; one that failed
  // (a read, a view refused, a page not written) has said why.
  const std::optional<app::Outcome>& outcome = s.outcome();
  if (!outcome || s.ended() || !outcome->complete()) {
    s.PrintHeld(std::cerr);
    return kBatchFailed;
  }
  if (outcome->written == 0) {
    std::cerr << "mirabo " << command << ": nothing to print\n";
    return kBatchNothing;
  }
  return kBatchDone;
}

#else

int PrintPages(const char* command, const std::function<void()>&, const std::function<ui::Proc()>&,
               const PageOutput&) {
  std::cerr << "mirabo " << command << ": built without the window system, which prints\n";
  return kBatchFailed;
}

#endif

}  // namespace mirabo::tools
