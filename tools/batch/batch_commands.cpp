#include "tools/batch/batch_commands.h"

#include <unistd.h>

#include <charconv>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <thread>

#include "app/browse/browses.h"
#include "app/browse/html_export.h"
#include "app/create_file/create_files.h"
#include "app/data/declarations.h"
#include "app/data/globals.h"
#include "app/data/open_checked_file.h"
#include "app/data/output_check.h"
#include "app/data/thread_block.h"
#include "app/reports/reports.h"
#include "app/reports/search_report.h"
#include "app/startup.h"
#include "runtime/file.h"
#include "runtime/lock_wait.h"
#include "runtime/run_folder.h"
#include "runtime/text.h"
#include "tools/batch/batch_progress.h"
#include "tools/batch/batch_reports.h"
#include "tools/batch/batch_session.h"
#include "tools/batch/batch_value.h"
#include "tools/data_location.h"
#include "ui/window.h"

namespace mirabo::tools {
namespace {

namespace fs = std::filesystem;

// What a command line gave, once parsed.
struct Args {
  std::string data = ".";
  bool force = false;
  int wait = 5;         // seconds to wait for a data file another program holds locked
  bool utf8 = false;    // --encoding utf-8
  bool header = false;  // --header: a first line of field names
  PaperChoice paper = PaperChoice::kLocale;
  std::optional<std::string> order, value, in, pdf, png, printer;
  bool print = false;
  bool help = false;
  std::vector<std::string> positional;
};

// A refusal of the command line: status 1 with the usage line.
struct UsageError {
  std::string text;
};

struct Command {
  const char* name;
  const char* usage;
  const char* help;               // what --help prints after the usage: the choices and an example
  std::set<std::string> options;  // the options it takes besides --data, --force, --help
  size_t positionals;
  int (*run)(const Args&);
};

// ---------------------------------------------------------------------------
// The tables, as the command line names them.

struct TableName {
  const char* word;
  app::DataFile table;
  const char* choice;  // Create File's radio
  ui::Proc (*browse)();
};

constexpr TableName kTables[] = {
    {"features", app::DataFile::kFeatures, "Features", app::BrowseFEATURES},
    {"issues", app::DataFile::kIssues, "Issues", app::BrowseISSUES},
    {"supplier", app::DataFile::kSupplier, "Supplier", app::BrowseSupplier},
    {"review", app::DataFile::kReview, "Review", app::BrowseReview},
    {"category", app::DataFile::kCategory, "Category", app::BrowseCategory},
};

const TableName& Table(const std::string& word) {
  for (const TableName& t : kTables) {
    if (word == t.word) return t;
  }
  throw UsageError{"unknown table '" + word + "' (features, issues, supplier, review or category)"};
}

// The Features browse's orders: the tab that shows each, and the table whose
// row a --value picks for a ranged one.
struct OrderName {
  const char* word;
  int tab;
  std::optional<app::DataFile> range;
};

constexpr OrderName kOrders[] = {
    {"product", 1, std::nullopt},          {"supplier", 2, app::DataFile::kSupplier},
    {"review", 3, app::DataFile::kReview}, {"category", 4, app::DataFile::kCategory},
    {"issue", 5, app::DataFile::kIssues},
};

// ---------------------------------------------------------------------------
// Checks before a run: the data folder and its files, the output.

// Makes the tables of the server `uri` the data files; status 2 (with the
// reason on stderr) when it cannot be reached or lacks one of them.
int EnterServer(const std::string& uri, const char* command) {
  std::string why = UseServer(uri);
  if (why.empty()) why = CheckServerTables();
  if (why.empty()) return kBatchDone;
  std::cerr << "mirabo " << command << ": " << Printable(why, 400) << "\n";
  return kBatchFailed;
}

// Makes the data folder current; status 2 (with the reason on stderr) when
// it or one of the data files is missing: a batch command never creates
// empty data files.
int EnterData(const std::string& data, const char* command) {
  if (IsServerLocation(data)) return EnterServer(data, command);
  StopUsingServer();  // a folder's data files, whatever the program used before
  std::error_code ec;
  if (!fs::is_directory(data, ec)) {
    std::cerr << "mirabo " << command << ": " << Printable(data, 200) << ": no such data folder\n";
    return kBatchFailed;
  }
  fs::current_path(data, ec);
  if (ec) {
    std::cerr << "mirabo " << command << ": " << Printable(data, 200) << ": " << ec.message()
              << "\n";
    return kBatchFailed;
  }
  for (app::DataFile f : app::kAllDataFiles) {
    const std::string file = app::DataFileDecl(f).label + ".KVX";
    if (!fs::is_regular_file(file, ec)) {
      std::cerr << "mirabo " << command << ": " << Printable((fs::path(data) / file).string(), 200)
                << ": no such data file\n";
      return kBatchFailed;
    }
  }
  return kBatchDone;
}

// A name the user gave, made absolute before the data folder becomes
// current.  Its bytes are the user's own: never converted.
std::string Absolute(const std::string& name) {
  std::error_code ec;
  const fs::path full = fs::absolute(name, ec);
  return ec ? name : full.lexically_normal().string();
}

// The checks on the name an output will write (`target`, as the driver
// completes it), with the data folder current: a folder or a data file is
// never replaced, an existing file or link only with --force (said on
// stderr, since the window's question is not asked).
int CheckOutput(const std::string& target, bool force, const char* command) {
  const app::OutputTarget there = app::InspectOutput(target);
  if (there == app::OutputTarget::kFolder || there == app::OutputTarget::kDataFile) {
    std::cerr << "mirabo " << command << ": " << Printable(target, 200) << ": "
              << app::RefusalText(there) << "\n";
    return kBatchFailed;
  }
  if (there == app::OutputTarget::kExisting) {
    if (!force) {
      std::cerr << "mirabo " << command << ": " << Printable(target, 200)
                << ": exists already (--force replaces it)\n";
      return kBatchFailed;
    }
    if (isatty(STDERR_FILENO)) {
      std::cerr << "mirabo " << command << ": " << Printable(target, 200)
                << ": exists; replacing it once the new one is complete (--force)\n";
    }
  }
  return kBatchDone;
}

// Where "-" stands for standard output, the output is written to a file of
// the run's own first: standard output gets it only once it is complete.
std::string StagingFolder() {
  return RunFolder().empty() ? fs::temp_directory_path().string() : RunFolder();
}

// Copies the finished `written` file to standard output and removes it.
int ToStdout(const std::string& written, const char* command) {
  std::ifstream in(written, std::ios::binary);
  std::cout << in.rdbuf();
  std::cout.flush();
  std::error_code ec;
  fs::remove(written, ec);
  if (!in || !std::cout) {
    std::cerr << "mirabo " << command << ": standard output could not be written\n";
    return kBatchFailed;
  }
  return kBatchDone;
}

// Where an output goes: the name the user gave (made absolute before the
// data folder becomes current), or, for "-", a file of the run's own that
// goes to standard output once it is complete.
class Destination {
 public:
  Destination(const std::string& given, const std::string& extension)
      : to_stdout_(given == "-"),
        path_(to_stdout_ ? StagingFolder() + "/stdout." + extension : Absolute(given)) {}
  bool to_stdout() const { return to_stdout_; }
  const std::string& path() const { return path_; }

  // For "-": copies the finished `written` file to standard output and
  // removes it; the status of the command.
  int Deliver(const std::string& written, const char* command) const {
    return to_stdout_ ? ToStdout(written, command) : kBatchDone;
  }

 private:
  bool to_stdout_;
  std::string path_;
};

// The one output a printing command names, made absolute before the data
// folder becomes current.
PageOutput Output(const Args& a) {
  const int given = (a.pdf ? 1 : 0) + (a.png ? 1 : 0) + (a.print ? 1 : 0);
  if (given != 1) throw UsageError{"give one of --pdf OUT.pdf, --png OUTDIR or --print [PRINTER]"};
  PageOutput out;
  out.paper = a.paper;
  out.force = a.force;
  out.print = a.print;
  out.printer = a.printer;
  if (a.png) out.png = Absolute(*a.png);
  if (a.pdf) {
    out.pdf_to_stdout = *a.pdf == "-";
    out.pdf = out.pdf_to_stdout ? StagingFolder() + "/stdout.pdf" : Absolute(*a.pdf);
  }
  return out;
}

// The checks on a printing command's files, with the data folder current:
// a PDF as any output; a PNG folder must be a folder (made when missing),
// whose earlier pages are replaced only with --force.
int CheckPages(const PageOutput& out, const char* command) {
  if (out.pdf) return out.pdf_to_stdout ? kBatchDone : CheckOutput(*out.pdf, out.force, command);
  if (!out.png) return kBatchDone;
  const app::OutputTarget there = app::InspectOutput(*out.png);
  if (there != app::OutputTarget::kNew && there != app::OutputTarget::kFolder) {
    std::cerr << "mirabo " << command << ": " << Printable(*out.png, 200)
              << ": is not a folder for the pages\n";
    return kBatchFailed;
  }
  if (there == app::OutputTarget::kFolder && !out.force && !PagePictures(*out.png).empty()) {
    std::cerr << "mirabo " << command << ": " << Printable(*out.png, 200)
              << ": holds pages of an earlier run (--force replaces them)\n";
    return kBatchFailed;
  }
  return kBatchDone;
}

// A row the command line named that could not be found: a usage error, or
// status 2 when the data file could not be read.
int Refused(const PickedRow& picked, const char* command) {
  if (picked.ok) return kBatchDone;
  if (!picked.unreadable) throw UsageError{picked.error};
  std::cerr << "mirabo " << command << ": " << picked.error << "\n";
  return kBatchFailed;
}

// Another program holding a data file: the run waits for it up to --wait
// seconds (in real time, though the session's clock does not wait), says
// once whose lock it waits for, and when it gives up says so again with what
// to do.  A batch run never changes a data file: damaged keys are reported,
// not rebuilt.
class LockWaits {
 public:
  LockWaits(const char* command, int seconds)
      : command_(command),
        seconds_(seconds),
        previous_settings_(app::SetOpenCheckSettings({seconds, /*may_repair=*/false})),
        previous_(SetLockWaitObserver([this](const LockWait& w) { return Step(w); })) {}
  ~LockWaits() {
    SetLockWaitObserver(std::move(previous_));
    app::SetOpenCheckSettings(previous_settings_);
    if (gave_up_) {
      std::cerr << "mirabo " << command_ << ": " << Printable(LockSentence(file_, holder_), 300)
                << "; close it or end its transaction, then try again"
                << (seconds_ > 0 ? "" : " (--wait SECONDS waits for it)") << "\n";
    }
  }
  LockWaits(const LockWaits&) = delete;
  LockWaits& operator=(const LockWaits&) = delete;

 private:
  bool Step(const LockWait& w) {
    file_ = w.file;
    holder_ = w.holder;
    if (w.waited_ms >= int64_t{seconds_} * 1000) {
      gave_up_ = true;
      return false;
    }
    if (noticed_.insert(w.file).second) {
      std::cerr << "mirabo " << command_ << ": " << Printable(LockSentence(w.file, w.holder), 300)
                << "; waiting up to " << seconds_ << " seconds for it\n";
    }
    if (w.pause_ms > 0) std::this_thread::sleep_for(std::chrono::milliseconds(w.pause_ms));
    return true;
  }

  const char* command_;
  int seconds_;
  app::OpenCheckSettings previous_settings_;
  LockWaitObserver previous_;
  std::set<std::string> noticed_;
  std::string file_;
  int holder_ = 0;
  bool gave_up_ = false;
};

// The exit status of a run that wrote a file: done only when it says it
// wrote the whole of it.  A run that told nothing (the program ended under
// it, a window refused) failed.
int StatusOf(BatchSession& s) {
  const int status =
      s.outcome() && s.outcome()->complete() && !s.ended() ? kBatchDone : kBatchFailed;
  if (status != kBatchDone) s.PrintHeld(std::cerr);
  return status;
}

// Closes what is left of thread `id`'s windows and lets it end.
void Finish(BatchSession& s, ui::ThreadId id) {
  for (int i = 0; i < 8 && s.Alive(id) && !s.ended(); ++i) {
    s.Post(id, ui::EVENT_CloseWindow);
    s.RunUntil([&] { return !s.Alive(id); });
  }
}

// ---------------------------------------------------------------------------
// export TABLE FORMAT OUT

int Export(const Args& a) {
  const TableName& table = Table(a.positional[0]);
  const std::string& format = a.positional[1];
  if (format != "dbf" && format != "txt")
    throw UsageError{"unknown format '" + format + "' (dbf or txt)"};
  if ((a.utf8 || a.header) && format != "txt") {
    throw UsageError{"--encoding and --header are for txt"};
  }
  const Destination out(a.positional[2], format);
  if (int rc = EnterData(a.data, "export")) return rc;
  LockWaits waits("export", a.wait);
  const std::string target = app::CopyTargetPath(table.table, format == "dbf", out.path());
  if (!out.to_stdout()) {
    if (int rc = CheckOutput(target, a.force, "export")) return rc;
  }

  BatchSession s(std::cerr);
  s.HoldInformation(!isatty(STDERR_FILENO));
  // Replacing an existing output was allowed by --force, above.
  const ui::ThreadId id = s.Start(
      app::CreateFiles({}, /*ask_before_replacing=*/false, {.utf8 = a.utf8, .header = a.header}));
  // The window opens once the data files are open: a lock may be waited for.
  s.RunUntil([&] { return s.Top(id) != nullptr || !s.Alive(id); });
  ui::Window* w = s.Top(id);
  if (!w) return kBatchFailed;
  w->SetValue(app::kCreateSourceGroup, table.choice);
  w->SetValue(app::kCreateTypeGroup, format == "dbf" ? "Xbase" : "Text (Delim)");
  w->SetValue(app::kCreateName, out.path());
  Progress progress("export");
  // Read as the window changes, also within one long event.
  s.set_on_change([&](ui::Window& changed) {
    if (&changed != w) return;
    const std::string text = changed.Value(app::kCreatePercent);
    if (text.find('%') != std::string::npos) progress.Show(std::atoi(text.c_str()));
  });
  s.Post(id, ui::EVENT_Accepted, app::kCreateStart);
  s.RunUntil([] { return false; });
  s.set_on_change(nullptr);
  Finish(s, id);
  const int status = StatusOf(s);
  return status == kBatchDone ? out.Deliver(target, "export") : status;
}

// ---------------------------------------------------------------------------
// publish BROWSE [--order ORDER [--value VALUE]] OUT.htm

int Publish(const Args& a) {
  const TableName& table = Table(a.positional[0]);
  const OrderName* order = nullptr;
  if (a.order) {
    if (table.table != app::DataFile::kFeatures)
      throw UsageError{"--order is for the features browse"};
    for (const OrderName& o : kOrders) {
      if (*a.order == o.word) order = &o;
    }
    if (!order) {
      throw UsageError{"unknown order '" + *a.order +
                       "' (product, supplier, review, category or issue)"};
    }
    if (order->range && !a.value) throw UsageError{"--order " + *a.order + " needs --value"};
    if (!order->range && a.value) throw UsageError{"--order product takes no --value"};
  } else if (a.value) {
    throw UsageError{"--value needs --order"};
  }
  const Destination out(a.positional[1], "htm");
  if (int rc = EnterData(a.data, "publish")) return rc;
  LockWaits waits("publish", a.wait);
  const std::string target = app::PageTargetPath(out.path());
  if (!out.to_stdout()) {
    if (int rc = CheckOutput(target, a.force, "publish")) return rc;
  }
  PickedRow picked;
  if (order && order->range) {
    picked = PickRow(*order->range, *a.value);
    if (int rc = Refused(picked, "publish")) return rc;
  }

  struct PageEncoding {  // for this command's pages only
    explicit PageEncoding(bool utf8) : previous(app::SetPageSettings({.utf8 = utf8})) {}
    ~PageEncoding() { app::SetPageSettings(previous); }
    app::PageSettings previous;
  } encoding(a.utf8);
  BatchSession s(std::cerr);
  s.HoldInformation(!isatty(STDERR_FILENO));
  const ui::ThreadId id = s.Start(table.browse());
  s.RunUntil([] { return false; });
  ui::Window* browse = s.Top(id);
  if (!browse) return kBatchFailed;
  if (order) {
    // The range a pick in the lookup would have left.
    if (order->range) app::SetBrowseSelection(s.Block(id), *order->range, picked.key);
    browse->SetChoice(app::kBrowseSheet, order->tab);
    s.Post(id, ui::EVENT_NewSelection, app::kBrowseSheet);
    s.RunUntil([] { return false; });
  }
  s.Post(id, ui::EVENT_Accepted, app::kBrowsePublish);
  ui::Window* html = s.Top(id);
  if (!html || html == browse) return kBatchFailed;
  html->SetValue(app::kHtmlName, out.path());
  Progress progress("publish");
  int64_t total = 0;
  {
    File count(app::DataFileDecl(table.table));
    if (count.Open(0x40) == 0) (void)count.Records(&total);
  }
  // Read as the window changes.
  s.set_on_change([&](ui::Window& changed) {
    if (total <= 0 || &changed != html) return;
    const std::string text = changed.Text(app::kHtmlProgress);
    const size_t colon = text.rfind(':');
    if (colon != std::string::npos) {
      progress.Show(static_cast<int>(
          std::min<int64_t>(100, std::atoll(text.c_str() + colon + 1) * 100 / total)));
    }
  });
  s.Post(id, ui::EVENT_Accepted, app::kHtmlAll);
  s.RunUntil([&] { return s.Top(id) != html; });
  s.set_on_change(nullptr);
  Finish(s, id);
  const int status = StatusOf(s);
  return status == kBatchDone ? out.Deliver(target, "publish") : status;
}

// ---------------------------------------------------------------------------
// report REPORT [--value VALUE] (--pdf OUT.pdf | --png OUTDIR | --print [PRINTER])

struct ReportName {
  const char* word;
  app::ReportId id;
  std::optional<app::DataFile> group;  // the table whose row --value picks
};

constexpr ReportName kReports[] = {
    {"supplier-table", app::ReportId::kSupplierTable, std::nullopt},
    {"review-table", app::ReportId::kReviewTable, std::nullopt},
    {"category-table", app::ReportId::kCategoryTable, std::nullopt},
    {"issue-table", app::ReportId::kIssueTable, std::nullopt},
    {"features-by-supplier", app::ReportId::kFeaturesBySupplier, app::DataFile::kSupplier},
    {"features-by-review", app::ReportId::kFeaturesByReview, app::DataFile::kReview},
    {"features-by-category", app::ReportId::kFeaturesByCategory, app::DataFile::kCategory},
    {"features-by-issue", app::ReportId::kFeaturesByIssue, app::DataFile::kIssues},
};

int Report(const Args& a) {
  const ReportName* report = nullptr;
  for (const ReportName& r : kReports) {
    if (a.positional[0] == r.word) report = &r;
  }
  if (!report) {
    std::string words;
    for (const ReportName& r : kReports) words += std::string(words.empty() ? "" : ", ") + r.word;
    throw UsageError{"unknown report '" + a.positional[0] + "' (" + words + ")"};
  }
  if (report->group && !a.value) throw UsageError{std::string(report->word) + " needs --value"};
  if (!report->group && a.value) throw UsageError{std::string(report->word) + " takes no --value"};
  const PageOutput out = Output(a);
  if (int rc = EnterData(a.data, "report")) return rc;
  LockWaits waits("report", a.wait);
  if (int rc = CheckPages(out, "report")) return rc;
  PickedRow picked;
  if (report->group) {
    picked = PickRow(*report->group, *a.value);
    if (int rc = Refused(picked, "report")) return rc;
  }
  // The value a pick in the lookup leaves for the report.
  auto setup = [&] {
    if (report->group) app::SetReportSelection(*report->group, picked.key);
  };
  const app::ReportId id = report->id;
  const int status = PrintPages(
      "report", setup, [id] { return app::PrintReport(id); }, out);
  return status == kBatchDone && out.pdf_to_stdout ? ToStdout(*out.pdf, "report") : status;
}

// ---------------------------------------------------------------------------
// search TEXT [--in FIELDS] (--pdf OUT.pdf | --png OUTDIR | --print [PRINTER])

// The text as the search window's entry would hold it: Windows-1252, at most
// its 30 characters, not blank.  A text the window could not take is refused
// rather than cut or changed, so the command never searches for something
// else than it was given.
std::string SearchTextOf(const std::string& utf8) {
  const std::optional<std::string> text = Cp1252FromUtf8(utf8);
  if (!text) throw UsageError{"the search text holds a character the data files cannot hold"};
  if (Clip(*text).empty()) throw UsageError{"the search text is blank"};
  const size_t width = app::SearchText.value.size();
  if (text->size() > width) {
    throw UsageError{"the search text is longer than " + std::to_string(width) + " characters"};
  }
  return *text;
}

// The fields --in names: a comma list of product, review, category and
// supplier; product alone when not given, as the search window opens.
app::SearchCriteria SearchFieldsOf(const std::optional<std::string>& in) {
  app::SearchCriteria c;
  if (!in) {
    c.product = true;
    return c;
  }
  const std::pair<const char*, bool app::SearchCriteria::*> kFields[] = {
      {"product", &app::SearchCriteria::product},
      {"review", &app::SearchCriteria::review},
      {"category", &app::SearchCriteria::category},
      {"supplier", &app::SearchCriteria::supplier}};
  size_t from = 0;
  for (;;) {
    const size_t comma = in->find(',', from);
    const std::string word = in->substr(from, comma == std::string::npos ? comma : comma - from);
    bool known = false;
    for (const auto& [name, flag] : kFields) {
      if (word == name) {
        c.*flag = true;
        known = true;
      }
    }
    if (!known) {
      throw UsageError{"unknown field '" + word +
                       "' for --in (product, review, category, supplier)"};
    }
    if (comma == std::string::npos) break;
    from = comma + 1;
  }
  return c;
}

int Search(const Args& a) {
  app::SearchCriteria criteria = SearchFieldsOf(a.in);
  criteria.text = SearchTextOf(a.positional[0]);
  const PageOutput out = Output(a);
  if (int rc = EnterData(a.data, "search")) return rc;
  LockWaits waits("search", a.wait);
  if (int rc = CheckPages(out, "search")) return rc;
  // What "Start Search" hands the report.
  auto setup = [&] {
    app::SearchText.Assign(criteria.text);
    app::SearchInProduct.value = criteria.product ? 1 : 0;
    app::SearchInReview.value = criteria.review ? 1 : 0;
    app::SearchInCategory.value = criteria.category ? 1 : 0;
    app::SearchInSupplier.value = criteria.supplier ? 1 : 0;
  };
  const int status = PrintPages("search", setup, app::SEARCHRUN, out);
  return status == kBatchDone && out.pdf_to_stdout ? ToStdout(*out.pdf, "search") : status;
}

// ---------------------------------------------------------------------------

// Options every command takes: --data, --force, --wait, --help.
constexpr char kCommonHelp[] =
    "  --data DIR      the folder of the data files (default: the current folder), or a\n"
    "                  database server: postgresql://user@host/db\n"
    "  --force         replace an output that exists (once the new one is complete)\n"
    "  --wait SECONDS  wait for a data file another program holds locked (default 5)\n";

const Command kCommands[] = {
    {.name = "export",
     .usage = "mirabo export  [--data DIR] [--force] [--wait SECONDS] [--encoding ENC] [--header] "
              "TABLE FORMAT OUT",
     .help = "Copies a table as Create File does.\n"
             "  TABLE           features, issues, supplier, review or category\n"
             "  FORMAT          dbf (an xBase table, with its .cpg) or txt (comma-delimited)\n"
             "  OUT             the file to write; - writes it to standard output\n"
             "  --encoding ENC  txt: windows-1252 (the default) or utf-8\n"
             "  --header        txt: a first line of field names\n"
             "example:\n  mirabo export --data ~/index --encoding utf-8 --header features txt "
             "features.txt\n",
     .options = {"--encoding", "--header"},
     .positionals = 3,
     .run = Export},
    {.name = "publish",
     .usage = "mirabo publish [--data DIR] [--force] [--wait SECONDS] [--encoding ENC] BROWSE "
              "[--order ORDER [--value VALUE]] OUT.htm",
     .help = "Writes the HTML page Publish writes for every record of a browse.\n"
             "  BROWSE          features, issues, supplier, review or category\n"
             "  --order ORDER   features: product (the default), supplier, review, category or "
             "issue\n"
             "  --value VALUE   with an order but product: the reference number, issue number or "
             "name\n"
             "  --encoding ENC  windows-1252 (the default) or utf-8\n"
             "  OUT.htm         the page to write; - writes it to standard output\n"
             "example:\n  mirabo publish --data ~/index features --order supplier --value "
             "\"Brennock Labs\" brennock.htm\n",
     .options = {"--order", "--value", "--encoding"},
     .positionals = 2,
     .run = Publish},
    {.name = "report",
     .usage = "mirabo report  [--data DIR] [--force] [--wait SECONDS] REPORT [--value VALUE] "
              "[--paper PAPER] (--pdf OUT.pdf | --png OUTDIR | --print [PRINTER])",
     .help = "Prints a report.\n"
             "  REPORT          supplier-table, review-table, category-table, issue-table,\n"
             "                  features-by-supplier, features-by-review, features-by-category,\n"
             "                  features-by-issue (these four with --value)\n"
             "  --value VALUE   the reference number, issue number or name of the group\n"
             "  --paper PAPER   a4 or letter (default: the locale's paper)\n"
             "  --pdf OUT.pdf   a PDF file; - writes it to standard output\n"
             "  --png OUTDIR    one PNG picture a page, OUTDIR/page-0001.png ...\n"
             "  --print [NAME]  the default printer, or the one named\n"
             "example:\n  mirabo report --data ~/index features-by-issue --value 12 --pdf "
             "issue12.pdf\n",
     .options = {"--value", "--pdf", "--png", "--print", "--paper"},
     .positionals = 1,
     .run = Report},
    {.name = "search",
     .usage = "mirabo search  [--data DIR] [--force] [--wait SECONDS] TEXT [--in FIELDS] "
              "[--paper PAPER] (--pdf OUT.pdf | --png OUTDIR | --print [PRINTER])",
     .help = "Prints the features that hold TEXT, as the Search window does.\n"
             "  TEXT            at most 30 characters, matched regardless of case\n"
             "  --in FIELDS     a comma list of product, review, category and supplier\n"
             "                  (default: product)\n"
             "  --paper, --pdf, --png, --print as for report\n"
             "example:\n  mirabo search --data ~/index modem --in product,category --pdf "
             "modems.pdf\n",
     .options = {"--in", "--pdf", "--png", "--print", "--paper"},
     .positionals = 1,
     .run = Search},
};

Args Parse(const Command& c, const std::vector<std::string>& args) {
  Args a;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= args.size()) throw UsageError{arg + " needs a value"};
      return args[++i];
    };
    if (arg == "--help" || arg == "-h") {
      a.help = true;
    } else if (arg == "--data") {
      a.data = value();
    } else if (arg == "--force") {
      a.force = true;
    } else if (arg == "--wait") {
      const std::string text = value();
      int seconds = -1;
      const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
      if (ec != std::errc() || end != text.data() + text.size() || seconds < 0) {
        throw UsageError{"--wait needs a number of seconds, not '" + text + "'"};
      }
      a.wait = seconds;
    } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      if (!c.options.count(arg)) throw UsageError{"unknown option " + arg};
      if (arg == "--order") a.order = value();
      if (arg == "--encoding") {
        const std::string e = value();
        if (e == "utf-8" || e == "UTF-8" || e == "utf8") {
          a.utf8 = true;
        } else if (e != "windows-1252" && e != "cp1252") {
          throw UsageError{"unknown encoding '" + e + "' (utf-8 or windows-1252)"};
        }
      }
      if (arg == "--header") a.header = true;
      if (arg == "--paper") {
        const std::string p = value();
        if (p == "a4" || p == "A4") {
          a.paper = PaperChoice::kA4;
        } else if (p == "letter" || p == "Letter") {
          a.paper = PaperChoice::kLetter;
        } else {
          throw UsageError{"unknown paper '" + p + "' (a4 or letter)"};
        }
      }
      if (arg == "--value") a.value = value();
      if (arg == "--in") a.in = value();
      if (arg == "--pdf") a.pdf = value();
      if (arg == "--png") a.png = value();
      if (arg == "--print") {
        a.print = true;
        if (i + 1 < args.size() && args[i + 1].compare(0, 2, "--") != 0 &&
            a.positional.size() >= c.positionals) {
          a.printer = args[++i];
        }
      }
    } else {
      a.positional.push_back(arg);
    }
  }
  if (!a.help && a.positional.size() != c.positionals) {
    throw UsageError{a.positional.size() < c.positionals ? "too few arguments"
                                                         : "too many arguments"};
  }
  return a;
}

}  // namespace

std::string BatchUsage() {
  std::string out;
  for (const Command& c : kCommands) out += std::string("  ") + c.usage + "\n";
  return out;
}

int RunBatchCommand(const std::string& command, const std::vector<std::string>& args) {
  for (const Command& c : kCommands) {
    if (command != c.name) continue;
    std::error_code ec;
    const fs::path previous = fs::current_path(ec);
    int status = kBatchUsage;
    app::RegisterAll();
    try {
      const Args a = Parse(c, args);
      if (a.help) {
        std::cout << "usage: " << c.usage << "\n" << c.help << kCommonHelp;
        return kBatchDone;
      }
      status = c.run(a);
      StopUsingServer();
    } catch (const UsageError& e) {
      StopUsingServer();
      // The text may quote an argument: its control characters are shown escaped.
      std::cerr << "mirabo " << c.name << ": " << Printable(e.text, 400) << "\nusage: " << c.usage
                << "\n";
      status = kBatchUsage;
    }
    fs::current_path(previous, ec);
    return status;
  }
  return -1;
}

}  // namespace mirabo::tools
