// The server driver beside the native store on the same generated data,
// 1,000,000 features (MIRABO_SERVER_FEATURES sets another size), on a
// private PostgreSQL server of the benchmark's own (initdb in a temporary
// folder, a Unix socket, the server's syncs on):
//
//   BM_Load                      mirabo load of the five CSV files into the server, and in
//                                turn psql \copy of FEATURES.csv into a plain table of the
//                                same columns plus the same six indexes, in one transaction
//   BM_Browse/<op>/<store>       the Features browse through the engine and the window
//                                model (no Qt), 0 native, 1 server: op 0 opening it (its
//                                first page, product order), 1-4 the first page of the
//                                supplier, review, category and issue orders (a change of
//                                order), 5 End, 6 a locate by product prefix; ms each
//   BM_Batch/<job>/<store>       export dbf and publish of every feature, each in a process
//                                of its own: rows_per_s
//   BM_Readers/<readers>         that many batch readers (publish, export, search in turn)
//                                of 10,000 features, each a process, beside a load that
//                                replaces FEATURES: whether every reader succeeded with the
//                                data before or after it, the load's time and the longest
//                                reader beside the time the same reader takes alone
#include <benchmark/benchmark.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <thread>

#include "app/browse/browses.h"
#include "app/data/globals.h"
#include "app/data/thread_block.h"
#include "bench/bench_data.h"
#include "bench/browse_session.h"
#include "tests/testing/test_server.h"
#include "tools/batch/batch_commands.h"
#include "tools/data_location.h"
#include "tools/load/loader.h"
#include "ui/scheduler.h"
#include "ui/window.h"

namespace mirabo::bench {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

int64_t Features() {
  const char* n = std::getenv("MIRABO_SERVER_FEATURES");
  return n ? std::atoll(n) : 1'000'000;
}

double Seconds(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

testing::PrivateServer& Server() {
  static testing::PrivateServer* server = [] {
    auto* s = new testing::PrivateServer;
    std::string why;
    if (!s->Start(/*durable=*/true, &why)) {
      std::fprintf(stderr, "server_bench: %s\n", why.c_str());
      std::exit(1);
    }
    std::atexit([] { Server().Stop(); });
    return s;
  }();
  return *server;
}

// The URI of database `db`, made when missing.
std::string Database(const std::string& db) {
  (void)testing::RunSql(Server().Uri("postgres"), "CREATE DATABASE " + db);
  return Server().Uri(db);
}

std::vector<std::string> CsvFiles(int64_t features) {
  const std::string csv = CsvFolder(features);
  std::vector<std::string> files;
  for (const char* t : {"FEATURES", "SUPPLIER", "REVIEW", "CATEGORY", "ISSUES"}) {
    files.push_back(csv + "/" + t + ".csv");
  }
  return files;
}

// The server database with the benchmark's data, loaded once.
const std::string& Loaded() {
  static const std::string uri = [] {
    const std::string u = Database("loaded");
    tools::LoadOptions o;
    o.data_dir = u;
    o.replace = true;
    const tools::LoadResult r = tools::Load(CsvFiles(Features()), o);
    if (!r.ok) {
      std::fprintf(stderr, "server_bench: %s\n", r.error.c_str());
      std::exit(1);
    }
    return u;
  }();
  return uri;
}

// The loader and psql in turn, so that both meet the same load of the
// machine: their mean times and the loader's over psql's.
void BM_Load(benchmark::State& state) {
  const std::vector<std::string> files = CsvFiles(Features());
  const std::string loading = Database("loading");
  const std::string copied = Database("copied");
  // The CSV's own columns, the same indexes on the same values (the
  // product's upper-cased text where the driver keeps its key bytes).
  const std::string script =
      "DROP TABLE IF EXISTS f;\n"
      "CREATE TABLE f (recno serial, product text, review smallint, issue float8, supplier "
      "smallint, hs text, category smallint, v text, comments text);\n"
      "\\copy f (product, review, issue, supplier, hs, category, v, comments) FROM '" +
      files[0] +
      "' CSV HEADER\n"
      "ALTER TABLE f ADD PRIMARY KEY (recno);\n"
      "CREATE INDEX ON f (upper(product) COLLATE \"C\", recno);\n"
      "CREATE INDEX ON f (supplier, recno);\nCREATE INDEX ON f (review, recno);\n"
      "CREATE INDEX ON f (category, recno);\nCREATE INDEX ON f (issue, recno);\n"
      "ANALYZE f;\n";
  const std::string path = fs::temp_directory_path() / "server_bench_copy.sql";
  std::ofstream(path) << script;
  double loader_s = 0, psql_s = 0;
  for (auto _ : state) {
    auto start = Clock::now();
    tools::LoadOptions o;
    o.data_dir = loading;
    o.replace = true;
    const tools::LoadResult r = tools::Load(files, o);
    if (!r.ok) state.SkipWithError(r.error.c_str());
    const double loader = Seconds(start);
    start = Clock::now();
    if (std::system(("psql -q -1 -v ON_ERROR_STOP=1 '" + copied + "' -f " + path + " 2>/dev/null")
                        .c_str()) != 0) {
      state.SkipWithError("psql failed");
    }
    const double psql = Seconds(start);
    loader_s += loader;
    psql_s += psql;
    state.SetIterationTime(loader);
  }
  state.counters["loader_s"] = loader_s / state.iterations();
  state.counters["psql_copy_s"] = psql_s / state.iterations();
  state.counters["loader_over_psql"] = loader_s / psql_s;
}
BENCHMARK(BM_Load)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(4);

// One open Features browse on a headless scheduler, on the files or the server.
using Session = BrowseSession;

Session& Get(bool server) {
  return SessionFor(server, [server] {
    return std::make_unique<Session>(Features(), [server] {
      if (!server) {
        tools::StopUsingServer();
        return;
      }
      const std::string why = tools::UseServer(Loaded());
      if (!why.empty()) std::fprintf(stderr, "%s\n", why.c_str());
    });
  });
}

const char* const kOps[] = {
    "open", "order-supplier", "order-review", "order-category", "order-issue", "end", "locate"};

void BM_Browse(benchmark::State& state) {
  const int op = static_cast<int>(state.range(0));
  const bool server = state.range(1) == 1;
  state.SetLabel(std::string(kOps[op]) + (server ? "/server" : "/native"));
  Session& s = Get(server);
  app::GLO::supplier.value = 5;
  app::GLO::review.value = 3;
  app::GLO::category.value = 4;
  const char* prefixes[] = {"M", "Quillon", "Br", "T", "Lum", "Dove"};
  int i = 0;
  if (op >= 5) s.Tab(1);  // End and locate in the product order
  for (auto _ : state) {
    Clock::time_point start;
    if (op == 0) {
      start = Clock::now();
      const ui::ThreadId id = s.scheduler->Start(app::BrowseFEATURES());
      s.scheduler->RunReady();
      state.SetIterationTime(Seconds(start));
      s.scheduler->TopWindow(id)->Post(ui::EVENT_CloseWindow);
      s.scheduler->RunReady();
      continue;
    }
    if (op <= 4) {
      s.Tab(1);
      if (op == 4) {
        // The issue order's range is the issue the lookup left in the thread's record.
        app::SetBrowseSelection(*static_cast<app::ThreadBlock*>(s.scheduler->ThreadData(s.id)),
                                app::DataFile::kIssues, 12);
      }
      start = Clock::now();
      s.Tab(op + 1);
    } else if (op == 5) {
      s.Post(ui::EVENT_ScrollTop);
      start = Clock::now();
      s.Post(ui::EVENT_ScrollBottom);
    } else {
      s.Win().SetValue(app::kBrowseLocator, prefixes[i++ % 6]);
      start = Clock::now();
      s.Post(ui::EVENT_Accepted, app::kBrowseLocator);
    }
    state.SetIterationTime(Seconds(start));
  }
}
BENCHMARK(BM_Browse)
    ->ArgsProduct({{0, 1, 2, 3, 4, 5, 6}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(30);

struct Job {
  const char* name;
  const char* command;
  std::vector<std::string> args;  // after --data DATA --force
};
const Job kJobs[] = {
    {"export-dbf", "export", {"features", "dbf", "OUT/features.dbf"}},
    {"publish-features", "publish", {"features", "OUT/features.htm"}},
};

void BM_Batch(benchmark::State& state) {
  const Job& job = kJobs[state.range(0)];
  const bool server = state.range(1) == 1;
  state.SetLabel(std::string(job.name) + (server ? "/server" : "/native"));
  const std::string data = server ? Loaded() : DataFolder(Features());
  const std::string out = DataFolder(Features()) + "/batch-out";
  fs::create_directories(out);
  std::vector<std::string> args = {"--data", data, "--force"};
  for (const std::string& a : job.args) {
    args.push_back(a.compare(0, 4, "OUT/") == 0 ? out + a.substr(3) : a);
  }
  for (auto _ : state) {
    const auto start = Clock::now();
    const int64_t peak = ChildPeakKiB([&] {
      if (tools::RunBatchCommand(job.command, args) != 0) _exit(1);
    });
    state.SetIterationTime(Seconds(start));
    if (peak < 0) state.SkipWithError("the command failed");
  }
  state.counters["rows_per_s"] = benchmark::Counter(
      static_cast<double>(Features()) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_Batch)
    ->ArgsProduct({{0, 1}, {0, 1}})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1);

// Runs `argv` in a process of its own; its exit status.
pid_t Spawn(const std::vector<std::string>& argv, const std::string& err) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (!freopen("/dev/null", "w", stdout) || !freopen(err.c_str(), "w", stderr)) _exit(126);
    std::vector<char*> c;
    for (const std::string& a : argv) c.push_back(const_cast<char*>(a.c_str()));
    c.push_back(nullptr);
    execv(c[0], c.data());
    _exit(127);
  }
  return pid;
}

void BM_Readers(benchmark::State& state) {
  const int readers = static_cast<int>(state.range(0));
  constexpr int64_t kSmall = 10'000;
  const std::string uri = Database("readers");
  const std::vector<std::string> files = CsvFiles(kSmall);
  tools::LoadOptions o;
  o.data_dir = uri;
  o.replace = true;
  if (!tools::Load(files, o).ok) {
    state.SkipWithError("the load failed");
    return;
  }
  const std::string program =
      fs::canonical("/proc/self/exe").parent_path().parent_path() / "mirabo";
  const std::string out = fs::temp_directory_path() / "server_bench_readers";
  fs::create_directories(out);
  auto reader = [&](int i) {
    const std::string name = out + "/r" + std::to_string(i);
    switch (i % 3) {
      case 0:
        return std::vector<std::string>{program,   "publish",  "--data",     uri,
                                        "--force", "features", name + ".htm"};
      case 1:
        return std::vector<std::string>{program,   "export",   "--data", uri,
                                        "--force", "features", "txt",    name + ".txt"};
      default:
        return std::vector<std::string>{program,   "search", "--data", uri,
                                        "--force", "modem",  "--pdf",  name + ".pdf"};
    }
  };
  // Each reader's output before the load and after it.
  std::vector<std::string> before(3), after(3);
  auto output = [&](int i) {
    const std::string& name = reader(i).back();
    std::ifstream in(name, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return name.size() > 4 && name.compare(name.size() - 4, 4, ".pdf") == 0
               ? std::to_string(text.str().size() > 0)
               : text.str();
  };
  // The new features: the same rows, the products' names upper-cased.
  const std::string new_features = out + "/FEATURES.csv";
  {
    std::ifstream in(files[0], std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    std::string t = text.str();
    for (size_t k = t.find('\n'); k < t.size(); ++k) {
      if (t[k] >= 'a' && t[k] <= 'z') t[k] = static_cast<char>(t[k] - 'a' + 'A');
    }
    std::ofstream(new_features, std::ios::binary) << t;
  }
  // All the readers at once: the longest of them, and how many failed or
  // wrote neither the data before the load nor the data after it.
  auto round = [&](bool with_load, double* longest, double* load_s, int* failed) {
    std::vector<std::pair<pid_t, Clock::time_point>> running;
    for (int i = 0; i < readers; ++i) {
      running.emplace_back(Spawn(reader(i), out + "/r" + std::to_string(i) + ".err"), Clock::now());
    }
    if (with_load) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      const auto load_start = Clock::now();
      tools::LoadOptions replace = o;
      replace.wait_seconds = 60;
      if (!tools::Load({new_features}, replace).ok) ++*failed;
      *load_s = Seconds(load_start);
    }
    for (int i = 0; i < readers; ++i) {
      int status = 0;
      waitpid(running[i].first, &status, 0);
      *longest = std::max(*longest, Seconds(running[i].second));
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        ++*failed;
      } else if (with_load) {
        const std::string got = output(i);
        if (got != before[i % 3] && got != after[i % 3]) ++*failed;
      }
    }
  };
  tools::LoadOptions replace = o;
  if (!tools::Load({new_features}, replace).ok) state.SkipWithError("the new data did not load");
  for (int k = 0; k < 3; ++k) {
    int status = 0;
    waitpid(Spawn(reader(k), out + "/alone.err"), &status, 0);
    after[k] = output(k);
  }
  (void)tools::Load({files[0]}, replace);
  for (int k = 0; k < 3; ++k) {
    int status = 0;
    waitpid(Spawn(reader(k), out + "/alone.err"), &status, 0);
    before[k] = output(k);
  }
  double alone = 0, longest = 0, load_s = 0, unused = 0;
  int failed = 0, failed_alone = 0;
  round(false, &alone, &unused, &failed_alone);
  for (auto _ : state) {
    const auto start = Clock::now();
    round(true, &longest, &load_s, &failed);
    state.SetIterationTime(Seconds(start));
  }
  state.counters["failed"] = failed + failed_alone;
  state.counters["load_s"] = load_s;
  state.counters["longest_reader_s"] = longest;
  state.counters["longest_without_load_s"] = alone;
}
BENCHMARK(BM_Readers)->Arg(50)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace
}  // namespace mirabo::bench

int main(int argc, char** argv) { return mirabo::bench::BenchMain(argc, argv); }
