#include "tools/commands.h"

#include "runtime/text.h"

#include <unistd.h>

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
         "  mirabo generate [--features N] [--suppliers N] [--issues N] [--reviews N]\n"
         "                  [--categories N] [--seed S] [--no-edge-cases] DIR\n"
         "                             write a generated sample data set as CSV\n" +
         BatchUsage();
}

int RunLoadCommand(const std::vector<std::string>& args) {
  LoadOptions options;
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
      std::cout << "usage: mirabo load [--data DIR] [--replace] [--cp1252] [--wait SECONDS] "
                   "FILE.csv|FILE.dbf...\n";
      return 0;
    } else if (a == "--replace") {
      options.replace = true;
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
  options.progress = [tty](const std::string& file, int64_t done, int64_t size) {
    if (size <= 0) return;
    const int percent = static_cast<int>(done * 100 / size);
    if (tty) {
      std::fprintf(stderr, "\r%s: %3d%%", file.c_str(), percent);
      if (percent >= 100) std::fputc('\n', stderr);
    } else if (size > (8 << 20)) {
      std::fprintf(stderr, "%s: %d%%\n", file.c_str(), percent);
    }
  };
  options.notice = [](const std::string& text) { std::cerr << "mirabo load: " << text << "\n"; };
  const LoadResult result = Load(files, options);
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

int RunRepairCommand(const std::vector<std::string>& args) {
  std::string data = ".";
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--data" && i + 1 < args.size()) {
      data = args[++i];
    } else if (args[i] == "--help" || args[i] == "-h") {
      std::cout << "usage: mirabo repair [--data DIR]\n";
      return kBatchDone;
    } else {
      std::cerr << "mirabo repair: unknown argument " << Printable(args[i])
                << "\nusage: mirabo repair [--data DIR]\n";
      return kBatchUsage;
    }
  }
  const RepairResult r = RepairKeys(data);
  for (const std::string& file : r.rebuilt) {
    std::cout << Printable(file, 200) << ": keys rebuilt\n";
  }
  if (!r.ok) {
    std::cerr << "mirabo repair: " << r.error << "\n";
    return kBatchFailed;
  }
  if (r.rebuilt.empty()) std::cout << "The data files need no repair.\n";
  return kBatchDone;
}

int RunSubcommand(const std::vector<std::string>& args) {
  if (args.empty()) return -1;
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  if (args[0] == "load") return RunLoadCommand(rest);
  if (args[0] == "generate") return RunGenerateCommand(rest);
  if (args[0] == "repair") return RunRepairCommand(rest);
  if (const int rc = RunBatchCommand(args[0], rest); rc >= 0) return rc;
  if (args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
    std::cout << Usage();
    return 0;
  }
  return -1;
}

}  // namespace mirabo::tools
