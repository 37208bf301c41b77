#include "tools/commands.h"

#include "runtime/text.h"

#include <signal.h>
#include <unistd.h>

#include <csignal>

#include <charconv>
#include <cstdio>
#include <iostream>

#include "tools/batch/batch_commands.h"
#include "tools/data_location.h"
#include "tools/generate/sample_generator.h"
#include "tools/load/loader.h"
#include "tools/load/repair.h"

namespace mirabo::tools {

std::string Usage() {
  return "usage:\n"
         "  mirabo [--data DIR]        start the browser on the data files in DIR\n"
         "  mirabo --desktop           start it on your own data folder (~/.local/share/mirabo)\n"
         "  mirabo --version           print the version\n"
         "  mirabo load [--data DIR] [--replace] [--cp1252] [--wait SECONDS] FILE...\n"
         "                             build the data files from CSV files or xBase tables\n"
         "                             named after their tables (FEATURES.csv, SUPPLIER.dbf)\n"
         "  DIR may also be a database server: --data postgresql://user@host/db\n"
         "  mirabo repair [--data DIR]  rebuild the keys of data files another tool damaged\n"
         "  mirabo index [--data DIR]   add the search's index to data files made without it\n"
         "  mirabo generate [--features N] [--suppliers N] [--issues N] [--reviews N]\n"
         "                  [--categories N] [--seed S] [--no-edge-cases] DIR\n"
         "                             write a generated sample data set as CSV\n" +
         BatchUsage();
}

// SIGINT while a load runs: the load is cancelled and rolled back, then the
// command ends.
volatile std::sig_atomic_t g_load_cancelled = 0;
void CancelLoad(int) { g_load_cancelled = 1; }

int RunLoadCommand(const std::vector<std::string>& args) {
  LoadOptions options;
  bool progress_lines = false;  // --progress: one line a step, for a program that watches
  std::vector<std::string> files;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--data") {
      if (i + 1 >= args.size()) {
        std::cerr << "mirabo load: --data needs a folder\n" << Usage();
        return kBatchUsage;
      }
      options.data_dir = args[++i];
    } else if (a == "--wait") {
      int seconds = -1;
      if (i + 1 < args.size()) {
        const std::string& v = args[i + 1];
        auto r = std::from_chars(v.data(), v.data() + v.size(), seconds);
        if (r.ec != std::errc() || r.ptr != v.data() + v.size() || seconds > 86400) seconds = -1;
      }
      if (seconds < 0) {
        std::cerr << "mirabo load: --wait needs a number of seconds (0 to 86400)\n" << Usage();
        return kBatchUsage;
      }
      options.wait_seconds = seconds;
      ++i;
    } else if (a == "--help" || a == "-h") {
      std::cout
          << "usage: mirabo load [--data DIR] [--replace] [--cp1252] [--wait SECONDS] "
             "FILE.csv|FILE.dbf...\n"
             "Builds the data files from CSV files (a header row of field names) or xBase\n"
             "tables, each named after its table: FEATURES, SUPPLIER, REVIEW, CATEGORY, ISSUES.\n"
             "All the files of one load are one transaction: all or nothing.\n"
             "  --data DIR      the folder of the data files (default: the current folder)\n"
             "  --replace       empty the named tables first\n"
             "  --cp1252        the CSV text is Windows-1252, not UTF-8\n"
             "  --wait SECONDS  wait for a data file another program holds locked (default 5)\n"
             "example:\n  mirabo load --data ~/index --replace FEATURES.csv SUPPLIER.csv\n";
      return 0;
    } else if (a == "--replace") {
      options.replace = true;
    } else if (a == "--progress") {
      progress_lines = true;
    } else if (a == "--cp1252") {
      options.cp1252 = true;
    } else if (a.size() > 1 && a[0] == '-') {
      std::cerr << "mirabo load: unknown option " << Printable(a) << "\n" << Usage();
      return kBatchUsage;
    } else {
      files.push_back(a);
    }
  }
  if (files.empty()) {
    std::cerr << "mirabo load: name at least one CSV file\n" << Usage();
    return kBatchUsage;
  }
  const bool tty = isatty(STDERR_FILENO);
  options.progress = [tty, progress_lines](const std::string& file, int64_t done, int64_t size) {
    if (size <= 0) return;
    const int percent = static_cast<int>(done * 100 / size);
    if (progress_lines) {
      std::fprintf(stderr, "mirabo load: progress %d %s\n", percent, file.c_str());
      std::fflush(stderr);
    } else if (tty) {
      std::fprintf(stderr, "\r%s: %3d%%", file.c_str(), percent);
      if (percent >= 100) std::fputc('\n', stderr);
    } else if (size > (8 << 20)) {
      std::fprintf(stderr, "%s: %d%%\n", file.c_str(), percent);
    }
  };
  options.notice = [](const std::string& text) { std::cerr << "mirabo load: " << text << "\n"; };
  struct sigaction cancel {};
  cancel.sa_handler = CancelLoad;
  sigemptyset(&cancel.sa_mask);
  struct sigaction previous {};
  sigaction(SIGINT, &cancel, &previous);
  options.cancelled = [] { return g_load_cancelled != 0; };
  const LoadResult result = Load(files, options);
  sigaction(SIGINT, &previous, nullptr);
  if (!result.ok) {
    std::cerr << "mirabo load: " << result.error << "\nNothing was loaded.\n";
    return kBatchFailed;
  }
  const bool server = IsServerLocation(options.data_dir);
  auto lower = [](std::string s) {
    for (char& c : s) c = static_cast<char>(ToLower1252(static_cast<unsigned char>(c)));
    return s;
  };
  for (const LoadedTable& t : result.tables) {
    std::cout << t.table << ": " << t.rows << " rows loaded, " << t.records << " records in "
              << (server ? "mirabo." + lower(t.table) : t.table + ".KVX") << "\n";
  }
  return 0;
}

// `mirabo repair` and `mirabo index`: the same walk over the data files.
int RunMendCommand(const std::string& command, Mend mend, const std::vector<std::string>& args) {
  const std::string usage = "usage: mirabo " + command + " [--data DIR]\n";
  std::string data = ".";
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--data" && i + 1 < args.size()) {
      data = args[++i];
    } else if (args[i] == "--help" || args[i] == "-h") {
      std::cout << usage;
      return kBatchDone;
    } else {
      std::cerr << "mirabo " << command << ": unknown argument " << Printable(args[i]) << "\n"
                << usage;
      return kBatchUsage;
    }
  }
  const RepairResult r = MendDataFiles(data, mend);
  const bool keys = mend == Mend::kKeys;
  for (const std::string& file : r.rebuilt) {
    std::cout << Printable(file, 200) << (keys ? ": keys rebuilt\n" : ": search index built\n");
  }
  if (!r.ok) {
    std::cerr << "mirabo " << command << ": " << r.error << "\n";
    return kBatchFailed;
  }
  if (r.rebuilt.empty()) {
    std::cout << (keys ? "The data files need no repair.\n"
                       : "The data files have their search index.\n");
  }
  return kBatchDone;
}

int RunSubcommand(const std::vector<std::string>& args) {
  if (args.empty()) return -1;
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "load") return RunLoadCommand(rest);
  if (args[0] == "generate") return RunGenerateCommand(rest);
  if (args[0] == "repair") return RunMendCommand("repair", Mend::kKeys, rest);
  if (args[0] == "index") return RunMendCommand("index", Mend::kTextIndexes, rest);
  if (const int rc = RunBatchCommand(args[0], rest); rc >= 0) return rc;
  if (args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
    std::cout << Usage();
    return 0;
  }
  return -1;
}

}  // namespace mirabo::tools
