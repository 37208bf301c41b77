// Every output of the batch commands is complete or says it is not: each
// promise broken for real, with the installed program's binary where the
// failure must come from the system (a file-size limit stands for a full
// disk), in this process where a read must fail half-way.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/data/data_snapshot.h"
#include "runtime/error.h"
#include "runtime/faulty_file_system.h"
#include "runtime/file.h"
#include "tests/testing/changed_sample.h"
#include "tests/testing/external_readers.h"
#include "tests/testing/faulty_driver.h"
#include "tests/testing/locking_process.h"
#include "tests/testing/temp_dir.h"
#include "tools/batch/batch_commands.h"
#include "tools/batch/sample_data_test.h"

namespace mirabo::tools {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

struct Said {
  int status;
  std::string said;
};

class BatchOutputsTest : public SampleDataTest {
 protected:
  // The program itself, under a limit on the size of any file it writes
  // (SIGXFSZ ignored, so a write past it fails as on a full disk).
  Said Program(const std::vector<std::string>& args, long max_file_bytes = 0) {
    std::string command = "trap '' XFSZ; ";
    if (max_file_bytes > 0) command += "ulimit -f " + std::to_string(max_file_bytes / 512) + "; ";
    command += "exec '" + std::string(MIRABO_BINARY) + "'";
    for (const std::string& a : args) command += " '" + a + "'";
    command += " 2>&1";
    FILE* p = popen(command.c_str(), "r");
    std::string said;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;) said.append(buffer, n);
    const int status = pclose(p);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, said};
  }
  Said InProcess(const std::string& command, std::vector<std::string> args) {
    std::ostringstream err;
    std::streambuf* old = std::cerr.rdbuf(err.rdbuf());
    const int status = RunBatchCommand(command, args);
    std::cerr.rdbuf(old);
    return {status, err.str()};
  }
  // Names in the output folder that a run left besides the outputs.
  std::vector<std::string> Temporary() {
    std::vector<std::string> left;
    for (const std::string& name : testing::FilesIn(out_.path())) {
      if (name[0] == '.') left.push_back(name);
    }
    return left;
  }
};

// One row a kind of output: with its file there already, a write that fails
// half-way (the disk full) leaves it byte for byte, exits 2, names the file
// and the system's reason, and leaves no temporary file.
TEST_F(BatchOutputsTest, AFullDiskKeepsTheFileThatWasThere) {
  struct Case {
    std::vector<std::string> args;
    const char* file;  // in the output folder
    int limit;         // the largest file the run may write: its page spool fits
  };
  // A PDF is smaller than the pages spooled for it, so no limit on a file's
  // size tells them apart: for those the output folder's own disk fills up,
  // in this process, with the pages spooled elsewhere.
  const Case cases[] = {
      {{"export", "features", "txt", "out.txt"}, "out.txt", 16 * 1024},
      {{"export", "features", "dbf", "out.dbf"}, "out.dbf", 16 * 1024},
      {{"publish", "features", "out.htm"}, "out.htm", 16 * 1024},
      {{"report", "supplier-table", "--pdf", out_.File("out.pdf")}, "out.pdf", 0},
      {{"search", "disk", "--in", "product", "--pdf", out_.File("out.pdf")}, "out.pdf", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.file);
    WriteFile(out_.File(c.file), "the file that was there");
    std::vector<std::string> args = {"--data", Data(), "--force"};
    args.insert(args.end(), c.args.begin() + 1, c.args.end());
    Said r;
    if (c.limit > 0) {
      args.insert(args.begin(), c.args[0]);
      r = Program(args, c.limit);
    } else {
      FaultyFileSystem disk(CurrentFileSystem());
      ScopedFileSystemForTests use(disk);
      disk.FillDiskAfter(4096, out_.path() + "/");
      r = InProcess(c.args[0], args);
    }
    EXPECT_EQ(r.status, kBatchFailed) << r.said;
    EXPECT_NE(r.said.find(out_.File(c.file)), std::string::npos) << r.said;
    EXPECT_NE(r.said.find(std::strerror(c.limit > 0 ? EFBIG : ENOSPC)), std::string::npos)
        << r.said;
    EXPECT_EQ(ReadFile(out_.File(c.file)), "the file that was there");
    EXPECT_EQ(Temporary(), std::vector<std::string>());
  }
  const std::string too_large = std::strerror(EFBIG);
  // A disk full while the pages are composed: the report is not made, the
  // file that was there stays.
  {
    WriteFile(out_.File("out.pdf"), "the file that was there");
    const Said r =
        Program({"search", "--data", Data(), "--force", "a", "--in", "product", "--pdf", "out.pdf"},
                16 * 1024);
    EXPECT_EQ(r.status, kBatchFailed) << r.said;
    EXPECT_NE(r.said.find("could not be written"), std::string::npos) << r.said;
    EXPECT_NE(r.said.find(too_large), std::string::npos) << r.said;
    EXPECT_EQ(ReadFile(out_.File("out.pdf")), "the file that was there");
  }
  // A PNG page as large as the limit is not left cut short.
  fs::create_directory(out_.File("pages"));
  const Said r = Program({"report", "--data", Data(), "review-table", "--png", "pages"}, 8 * 1024);
  EXPECT_EQ(r.status, kBatchFailed) << r.said;
  EXPECT_NE(r.said.find(too_large), std::string::npos) << r.said;
  EXPECT_EQ(testing::FilesIn(out_.File("pages")), std::vector<std::string>());
}

// A read that fails half-way: the output is not written and the one that
// was there stays.
TEST_F(BatchOutputsTest, AReadFailingHalfWayKeepsTheFileThatWasThere) {
  const std::vector<std::string> cases[] = {
      {"export", "features", "txt", "out.txt"},
      {"export", "features", "dbf", "out.dbf"},
      {"publish", "features", "out.htm"},
  };
  for (const std::vector<std::string>& c : cases) {
    SCOPED_TRACE(c[0] + " " + c.back());
    WriteFile(out_.File(c.back()), "the file that was there");
    testing::ScopedFaultyDriver native("KARVINEX");
    native.Fail(testing::ScopedFaultyDriver::Op::kNext, 200, kAccessDenied);
    std::vector<std::string> args = {"--data", Data(), "--force"};
    args.insert(args.end(), c.begin() + 1, c.end());
    const Said r = InProcess(c[0], args);
    EXPECT_EQ(r.status, kBatchFailed) << r.said;
    EXPECT_NE(r.said.find("Access Denied"), std::string::npos) << r.said;
    EXPECT_EQ(ReadFile(out_.File(c.back())), "the file that was there");
    EXPECT_EQ(Temporary(), std::vector<std::string>());
  }
}

// Nothing is replaced unless --force said so for the very name that will be
// written; a folder, a data file and a link are never taken for new names.
TEST_F(BatchOutputsTest, OnlyForceReplacesAndOnlyWhatItMayReplace) {
  WriteFile(out_.File("out.DBF"), "kept");
  WriteFile(out_.File("name"), "kept");
  fs::create_directory(out_.File("folder"));
  fs::create_symlink(out_.File("nowhere/at/all"), out_.File("dangling.txt"));
  const std::string features = (fs::path(Data()) / "FEATURES.KVX").string();
  const std::string before = ReadFile(features);
  struct Case {
    std::vector<std::string> args;
    const char* says;
  };
  const Case cases[] = {
      {{"export", "features", "dbf", "out"}, "out.DBF: exists already (--force replaces it)"},
      {{"export", "review", "dbf", "name."}, "/name: exists already (--force replaces it)"},
      {{"export", "review", "txt", "dangling.txt"}, "dangling.txt: exists already"},
      {{"export", "--force", "review", "txt", "folder"}, "folder: is a folder"},
      {{"export", "--force", "review", "dbf", "folder"}, "folder.DBF"},  // a new name beside it
      {{"export", "--force", "review", "txt", features}, "is one of the data files in use"},
      {{"publish", "--force", "review", features}, "is one of the data files in use"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.says);
    std::vector<std::string> args = {"--data", Data()};
    args.insert(args.end(), c.args.begin() + 1, c.args.end());
    const Said r = InProcess(c.args[0], args);
    if (std::string(c.says) == "folder.DBF") {
      EXPECT_EQ(r.status, kBatchDone) << r.said;
      continue;
    }
    EXPECT_EQ(r.status, kBatchFailed) << r.said;
    EXPECT_NE(r.said.find(c.says), std::string::npos) << r.said;
  }
  EXPECT_EQ(ReadFile(out_.File("out.DBF")), "kept");
  EXPECT_EQ(ReadFile(out_.File("name")), "kept");
  EXPECT_TRUE(fs::is_symlink(out_.File("dangling.txt")));
  EXPECT_TRUE(fs::is_directory(out_.File("folder")));
  EXPECT_EQ(ReadFile(features), before) << "the data file is untouched";

  // --force replaces the existing file of the completed name.
  const Said r = InProcess("export", {"--data", Data(), "--force", "features", "dbf", "out"});
  EXPECT_EQ(r.status, kBatchDone) << r.said;
  EXPECT_NE(ReadFile(out_.File("out.DBF")), "kept");
  EXPECT_EQ(r.said.find("Overwrite ?"), std::string::npos) << "no question nobody can answer";
}

// File names are the user's own bytes, whatever the data's character set
// can hold; a name that cannot be created says where and why.
TEST_F(BatchOutputsTest, NamesAreTheUsersOwnBytes) {
  fs::create_directories(out_.File("données"));
  fs::create_directories(out_.File("報告"));
  const std::vector<std::string> cases[] = {
      {"export", "review", "txt", "données/review.txt"},
      {"export", "review", "dbf", "café.dbf"},
      {"export", "review", "txt", "報告/review.txt"},
      {"publish", "review", "naïve.htm"},
  };
  for (const std::vector<std::string>& c : cases) {
    SCOPED_TRACE(c.back());
    std::vector<std::string> args = {"--data", Data()};
    args.insert(args.end(), c.begin() + 1, c.end());
    const Said r = InProcess(c[0], args);
    EXPECT_EQ(r.status, kBatchDone) << r.said;
    EXPECT_TRUE(fs::is_regular_file(out_.File(c.back()))) << testing::FilesIn(out_.path()).size();
  }
  const Said pdf = Program({"report", "--data", Data(), "review-table", "--pdf", "報告/r.pdf"});
  EXPECT_EQ(pdf.status, kBatchDone) << pdf.said;
  EXPECT_TRUE(fs::is_regular_file(out_.File("報告/r.pdf")));

  const Said r = InProcess("export", {"--data", Data(), "review", "txt", "out/x/review.txt"});
  EXPECT_EQ(r.status, kBatchFailed);
  EXPECT_NE(r.said.find("Unable to create Data File: " + out_.File("out/x/review.txt") +
                        ": No such file or directory"),
            std::string::npos)
      << r.said;
}

// A load that commits while a run reads (between two of its batches): the
// output is the new data's, never a mix of old and new; a load before every
// batch makes the run give up with a message and status 2.
TEST_F(BatchOutputsTest, ARunBesideALoadWritesOneStateOfTheData) {
  TempDir csv;
  const std::vector<std::string> files =
      testing::WriteChangedSample(std::string(MIRABO_SOURCE_DIR) + "/data/sample", csv);
  // The other process commits where the run checks; it could only have
  // done so while the run's read locks were given up, as between events.
  auto load_new = [&](const std::string& dir) {
    ReleaseAllFileLocks();
    LoadOptions o;
    o.data_dir = dir;
    o.replace = true;
    const LoadResult r = Load(files, o);
    ASSERT_TRUE(r.ok) << r.error;
  };
  auto copy_old = [&](const std::string& dir) {
    for (const auto& f : fs::directory_iterator(Data())) {
      fs::copy_file(f.path(), fs::path(dir) / f.path().filename());
    }
  };
  auto text_of = [](const std::string& path) {
    if (path.size() < 4 || path.compare(path.size() - 4, 4, ".pdf") != 0) return ReadFile(path);
    return testing::RunCommand("pdftotext '" + path + "' -").value_or("<no pdftotext>");
  };
  const std::vector<std::string> cases[] = {
      {"export", "features", "txt", "out.txt"},
      {"export", "features", "dbf", "out.dbf"},
      {"publish", "features", "--order", "supplier", "--value", "1", "out.htm"},
      {"report", "supplier-table", "--pdf", "out.pdf"},
      {"search", "e", "--in", "product,supplier", "--pdf", "out.pdf"},
  };
  TempDir fresh;
  load_new(fresh.path());
  for (const std::vector<std::string>& c : cases) {
    SCOPED_TRACE(c[0] + " " + c[1]);
    const std::string out = out_.File(c.back());
    std::vector<std::string> args = {"--data", fresh.path(), "--force"};
    args.insert(args.end(), c.begin() + 1, c.end());
    ASSERT_EQ(InProcess(c[0], args).status, kBatchDone);
    const std::string expected = text_of(out);

    // Loaded once, after the run began: it starts again on the new data.
    TempDir data;
    copy_old(data.path());
    int checks = 0;
    app::DataSnapshot::SetCheckHookForTests([&] {
      if (checks++ == 0) load_new(data.path());
    });
    args[1] = data.path();
    Said r = InProcess(c[0], args);
    EXPECT_EQ(r.status, kBatchDone) << r.said;
    EXPECT_GE(checks, 2) << "the run looked again after the load";
    EXPECT_TRUE(text_of(out) == expected) << "the output is the new data's, byte for byte";

    // Loaded before every batch: it gives up.
    TempDir busy;
    copy_old(busy.path());
    app::DataSnapshot::SetCheckHookForTests([&] { load_new(busy.path()); });
    args[1] = busy.path();
    fs::remove(out);
    r = InProcess(c[0], args);
    app::DataSnapshot::SetCheckHookForTests(nullptr);
    EXPECT_EQ(r.status, kBatchFailed) << r.said;
    EXPECT_NE(r.said.find("kept changing"), std::string::npos) << r.said;
    EXPECT_FALSE(fs::exists(out));
  }
}

// Every batch command beside a data file another program holds locked: it
// waits up to --wait seconds naming the holder, then says what to do and
// exits 2; a lock that goes while it waits is no failure.
TEST_F(BatchOutputsTest, EveryCommandWaitsForALockThenSaysWhoseItIs) {
  const std::vector<std::string> cases[] = {
      {"export", "features", "txt", "out.txt"},
      {"publish", "features", "out.htm"},
      {"publish", "features", "--order", "supplier", "--value", "1", "out.htm"},
      {"report", "features-by-supplier", "--value", "1", "--pdf", "out.pdf"},
      {"search", "ltd", "--in", "supplier", "--pdf", "out.pdf"},
  };
  const std::string supplier = (fs::path(Data()) / "SUPPLIER.KVX").string();
  for (const std::vector<std::string>& c : cases) {
    SCOPED_TRACE(c[0] + " " + c[1] + " " + c[2]);
    std::vector<std::string> args = {c[0], "--data", Data(), "--force", "--wait", "1"};
    args.insert(args.end(), c.begin() + 1, c.end());
    testing::LockingProcess shell(supplier, "BEGIN EXCLUSIVE");
    ASSERT_TRUE(shell.holding());
    const std::string holder =
        "SUPPLIER.KVX is locked by sqlite3 (process " + std::to_string(shell.pid()) + ")";
    Said r = Program(args);
    EXPECT_EQ(r.status, kBatchFailed) << r.said;
    EXPECT_NE(r.said.find(holder + "; waiting up to 1 seconds for it"), std::string::npos)
        << r.said;
    EXPECT_NE(r.said.find(holder + "; close it or end its transaction, then try again"),
              std::string::npos)
        << r.said;
    EXPECT_FALSE(fs::exists(out_.File(c.back())));

    // Released while the command waits: it goes on.
    args[5] = "20";
    FILE* p = popen(("'" + std::string(MIRABO_BINARY) + "'" +
                     [&] {
                       std::string tail;
                       for (size_t i = 0; i < args.size(); ++i) tail += " '" + args[i] + "'";
                       return tail;
                     }() +
                     " 2>&1")
                        .c_str(),
                    "r");
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    shell.Release();
    std::string said;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, p)) > 0;) said.append(buffer, n);
    EXPECT_EQ(WEXITSTATUS(pclose(p)), kBatchDone) << said;
    fs::remove(out_.File(c.back()));
  }
}

// A batch command never changes a data file: damaged keys are reported with
// the way to mend them, and a lookup table that cannot be read is the data's
// failure (status 2), not a usage error.
TEST_F(BatchOutputsTest, DamagedDataIsReportedNeverMendedByABatchCommand) {
  TempDir data;
  for (const auto& f : fs::directory_iterator(Data())) {
    fs::copy_file(f.path(), fs::path(data.path()) / f.path().filename());
  }
  const std::string features = data.File("FEATURES.KVX");
  ASSERT_TRUE(
      testing::RunCommand("sqlite3 '" + features + "' 'DROP INDEX \"UNNAMED$FEATSUPP\"' 2>&1")
          .has_value());
  const std::string before = ReadFile(features);
  Said r = Program({"export", "--data", data.path(), "features", "txt", "out.txt"});
  EXPECT_EQ(r.status, kBatchFailed) << r.said;
  EXPECT_NE(r.said.find("mirabo repair"), std::string::npos) << r.said;
  EXPECT_NE(r.said.find(features), std::string::npos) << r.said;
  EXPECT_TRUE(ReadFile(features) == before) << "the data file is as it was";

  // "mirabo repair" mends it, and the export then goes.
  r = Program({"repair", "--data", data.path()});
  EXPECT_EQ(r.status, kBatchDone) << r.said;
  r = Program({"export", "--data", data.path(), "features", "txt", "out.txt"});
  EXPECT_EQ(r.status, kBatchDone) << r.said;

  WriteFile(data.File("ISSUES.KVX"), "not a database at all, but long enough to be looked at....");
  r = Program(
      {"report", "--data", data.path(), "features-by-issue", "--value", "12", "--pdf", "x.pdf"});
  EXPECT_EQ(r.status, kBatchFailed) << r.said;
  EXPECT_EQ(r.said.find("usage:"), std::string::npos) << r.said;
  EXPECT_NE(r.said.find("ISSUES"), std::string::npos) << r.said;
}

// Page files live in a folder of the run's own that nobody else can read; a
// signal that ends the run removes it and the output it was writing, and the
// next start removes the folder of a run that was killed outright.
TEST_F(BatchOutputsTest, PageFilesArePrivateAndGoWithTheRun) {
  TempDir tmp;
  const std::string env_tmp = "TMPDIR=" + tmp.path();
  auto start = [&](std::vector<std::string> args) {
    args.insert(args.begin(), MIRABO_BINARY);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** e = environ; *e; ++e) {
      if (std::strncmp(*e, "XDG_RUNTIME_DIR=", 16) != 0 && std::strncmp(*e, "TMPDIR=", 7) != 0) {
        envp.push_back(*e);
      }
    }
    std::string tmpdir = env_tmp;
    envp.push_back(tmpdir.data());
    envp.push_back(nullptr);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, sig);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    posix_spawn(&pid, MIRABO_BINARY, nullptr, &attr, argv.data(), envp.data());
    posix_spawnattr_destroy(&attr);
    return pid;
  };
  for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    SCOPED_TRACE(strsignal(sig));
    const std::string pages = out_.File("pages-" + std::to_string(sig));
    const pid_t pid =
        start({"search", "--data", Data(), "e", "--in", "product,supplier", "--png", pages});
    ASSERT_GT(pid, 0);
    const std::string folder =
        tmp.File("mirabo-" + std::to_string(getuid()) + "-" + std::to_string(pid));
    for (int i = 0; i < 200 && (!fs::exists(folder) || fs::is_empty(folder)); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_FALSE(fs::is_empty(folder)) << "the run's page files are there";
    EXPECT_EQ(fs::status(folder).permissions() & fs::perms::all, fs::perms::owner_all);
    if (sig == SIGTERM) {
      // Ended while it writes its pictures: the one under way goes too.
      for (int i = 0; i < 400 && (!fs::exists(pages) || fs::is_empty(pages)); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
      }
    }
    kill(pid, sig);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig);
    std::vector<std::string> left;
    if (fs::exists(pages)) {
      for (const std::string& name : testing::FilesIn(pages)) {
        if (name[0] == '.') left.push_back(name);
      }
    }
    if (sig == SIGKILL) {
      EXPECT_TRUE(fs::exists(folder)) << "nothing runs after SIGKILL";
      const pid_t next = start({"export", "--help"});
      waitpid(next, &status, 0);
    } else {
      EXPECT_EQ(left, std::vector<std::string>()) << "the page it was writing went too";
    }
    EXPECT_FALSE(fs::exists(folder));
  }
}

}  // namespace
}  // namespace mirabo::tools
