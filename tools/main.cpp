// The mirabo executable: the batch subcommands, and without one the browser.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "tools/commands.h"

#ifdef MIRABO_WITH_GUI
#include <QApplication>
#include <QTimer>

#include "app/startup.h"
#include "report/qt/page_renderer.h"
#include "ui/qt/qt_backend.h"
#include "ui/scheduler.h"
#endif

namespace {

// `mirabo [--data DIR]`: the browser, with DIR as its current directory.
int RunBrowser(int argc, char** argv, const std::vector<std::string>& args) {
  const auto started = std::chrono::steady_clock::now();
  std::string data;
  bool report_startup = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--data" && i + 1 < args.size()) {
      data = args[++i];
    } else if (args[i] == "--startup-time") {
      report_startup = true;  // for the start-up benchmark: quit once the frame is idle
    } else {
      std::cerr << "mirabo: unknown argument " << args[i] << "\n" << mirabo::tools::Usage();
      return 2;
    }
  }
  if (!data.empty()) {
    std::error_code ec;
    std::filesystem::current_path(data, ec);
    if (ec) {
      std::cerr << "mirabo: " << data << ": " << ec.message() << "\n";
      return 1;
    }
  }
#ifdef MIRABO_WITH_GUI
  namespace qt = mirabo::ui::qt;
  if (!qt::DisplayAvailable()) {
    std::cerr << qt::NoDisplayAdvice();
    return 2;
  }
  QApplication app(argc, argv);
  QApplication::setApplicationName("Mirabo Features Database Browser");
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
  (void)started;
  std::cerr << "mirabo: built without the window system (MIRABO_BUILD_GUI=OFF)\n";
  return 2;
#endif
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int rc = mirabo::tools::RunSubcommand(args);
  if (rc >= 0) return rc;
  return RunBrowser(argc, argv, args);
}
