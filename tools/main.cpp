// The mirabo executable: the batch subcommands, and without one the browser.
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "runtime/run_folder.h"
#include "tools/commands.h"
#include "tools/data_location.h"
#include "tools/load/loader.h"
#include "tools/shared_data.h"

#ifdef MIRABO_WITH_GUI
#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QTimer>

#include "app/shell/data_folders.h"
#include "app/shell/load_data.h"
#include "app/startup.h"
#include "report/qt/page_renderer.h"
#include "ui/qt/qt_backend.h"
#include "ui/scheduler.h"
#endif

namespace {

namespace fs = std::filesystem;

#ifdef MIRABO_WITH_GUI
// A desktop user's data folder that holds no data files yet: offered the
// sample data once (a marker file remembers the answer), loaded all or
// nothing.
void OfferSampleData(const std::string& folder) {
  const std::vector<std::string> files =
      mirabo::tools::SampleFiles(mirabo::tools::SharedDataFolder());
  if (files.empty() || !mirabo::tools::OfferSampleOnce(folder)) return;
  const QString title = QStringLiteral("Mirabo Features Database Browser");
  const auto answer = QMessageBox::question(
      nullptr, title,
      QStringLiteral("Your data folder %1 holds no data yet.\n\nLoad the sample index of "
                     "reviews and features into it?  (Your own data can be loaded later with "
                     "\"mirabo load --data %1\".)")
          .arg(QString::fromStdString(folder)),
      QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
  if (answer != QMessageBox::Yes) return;
  mirabo::tools::LoadOptions options;
  options.data_dir = folder;
  const mirabo::tools::LoadResult r = mirabo::tools::Load(files, options);
  if (!r.ok) {
    QMessageBox::warning(nullptr, title,
                         QStringLiteral("The sample data could not be loaded:\n%1")
                             .arg(QString::fromStdString(r.error)));
  }
}
#endif

// `mirabo [--data DIR | --desktop]`: the browser, with DIR as its current
// directory; from the desktop menu, the user's own data folder.
int RunBrowser(int argc, char** argv, const std::vector<std::string>& args) {
  const auto started = std::chrono::steady_clock::now();
  std::string data;
  bool desktop = false;
  bool report_startup = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--data" && i + 1 < args.size()) {
      data = args[++i];
    } else if (args[i] == "--desktop") {
      desktop = true;
    } else if (args[i] == "--startup-time") {
      report_startup = true;  // for the start-up benchmark: quit once the frame is idle
    } else {
      std::cerr << "mirabo: unknown argument " << args[i] << "\n" << mirabo::tools::Usage();
      return 1;
    }
  }
  // The desktop entry's data may be a server the profile names.
  if (desktop && data.empty()) data = mirabo::tools::ProfileDataLocation();
  if (mirabo::tools::IsServerLocation(data)) {
    const std::string why = mirabo::tools::UseServer(data);
    if (!why.empty()) {
      std::cerr << "mirabo: " << why << "\n";
      return 1;
    }
  } else if (desktop && data.empty()) {
    data = mirabo::tools::UserDataFolder();
    std::error_code ec;
    fs::create_directories(data, ec);
    if (ec) {
      std::cerr << "mirabo: " << data << ": " << ec.message() << "\n";
      return 2;
    }
  }
  if (!data.empty() && !mirabo::tools::IsServerLocation(data)) {
    std::error_code ec;
    std::filesystem::current_path(data, ec);
    if (ec) {
      std::cerr << "mirabo: " << data << ": " << ec.message() << "\n";
      return 2;
    }
  }
#ifdef MIRABO_WITH_GUI
  // The window's File, Load Data runs this program's loader; the folder it
  // starts in is the first of its recent data folders.
  {
    std::error_code ec;
    mirabo::app::SetLoaderProgram(fs::read_symlink("/proc/self/exe", ec).string());
    const fs::path here = fs::current_path(ec);
    if (!ec) mirabo::app::RememberDataFolder(here.string());
  }
#endif
#ifdef MIRABO_WITH_GUI
  namespace qt = mirabo::ui::qt;
  if (!qt::DisplayAvailable()) {
    std::cerr << qt::NoDisplayAdvice();
    return 2;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("Mirabo Features Database Browser");
  QApplication::setApplicationVersion(mirabo::tools::Version());
  QApplication::setDesktopFileName("invalid.mirabo.browser");
  QApplication::setWindowIcon(QIcon(":/mirabo/icons/br32.svg"));
  if (desktop && !mirabo::tools::IsServerLocation(data))
    OfferSampleData(fs::current_path().string());
  qt::QtBackend backend(app);
  mirabo::ui::SteadyClock clock;
  mirabo::ui::Scheduler scheduler(backend, clock);
  mirabo::app::StartUp(scheduler);
  mirabo::report::qt::RegisterPageImagePainter();
  scheduler.Start(mirabo::app::Program());
  if (report_startup) {
    QTimer::singleShot(0, &app, [&] {
      backend.Pump();
      const auto ms =
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started);
      std::printf("frame shown and idle after %.1f ms\n", ms.count());
      std::fflush(stdout);
      std::_Exit(0);
    });
  }
  return qt::RunEventLoop(app, scheduler);
#else
  (void)argc;
  (void)argv;
  (void)report_startup;
  (void)desktop;
  (void)started;
  std::cerr << "mirabo: built without the window system (MIRABO_BUILD_GUI=OFF)\n";
  return 2;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && args[0] == "--version") {
    std::cout << "mirabo " << mirabo::tools::Version() << "\n";
    return 0;
  }
  // Temporary files live in a folder of the run's own, which goes with it
  // (also on SIGINT, SIGTERM and SIGHUP); those of runs that were killed go
  // at the next start.
  mirabo::RemoveStaleRunFolders();
  mirabo::RemoveRunFolderAtExit();
  // A write past the file-size limit (ulimit -f) fails like one on a full
  // disk, reported and cleaned up, instead of killing the run half-way with
  // its temporary files left behind.
  std::signal(SIGXFSZ, SIG_IGN);
  // Qt makes a runtime folder in the temporary folder when the session has
  // none; the run's own serves, and goes with it.
  if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
      (!runtime || !*runtime) && !mirabo::RunFolder().empty()) {
    setenv("XDG_RUNTIME_DIR", mirabo::RunFolder().c_str(), 1);
  }
  const int rc = mirabo::tools::RunSubcommand(args);
  if (rc >= 0) return rc;
  return RunBrowser(argc, argv, args);
}
