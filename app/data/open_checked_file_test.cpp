#include "app/data/open_checked_file.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "app/data/thread_block.h"
#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/file_driver.h"
#include "storage/native/native_driver.h"
#include "tests/testing/locking_process.h"
#include "tests/testing/temp_dir.h"
#include "ui/dialogs.h"
#include "ui/headless.h"
#include "ui/scheduler.h"

namespace mirabo::app {
namespace {

using B = FileDeclBuilder;

// A driver that answers opens, creates and rebuilds from a script and logs
// what it was asked: the branches that real files cannot reach on demand.
struct Script {
  std::deque<int> opens, creates, builds;
  std::vector<std::string> calls;
};
Script* g_script = nullptr;

int Take(std::deque<int>& q) {
  if (q.empty()) return kNoError;
  const int rc = q.front();
  q.pop_front();
  return rc;
}

class ScriptedFile : public DriverFile {
 public:
  int Open(uint8_t mode) override {
    g_script->calls.push_back("open " + std::to_string(mode));
    return Take(g_script->opens);
  }
  int Create() override {
    g_script->calls.push_back("create");
    return Take(g_script->creates);
  }
  int Close() override { return kNoError; }
  std::string Name() override { return "/data/SCRIPTED.KVX"; }
  int BuildKeys() override {
    g_script->calls.push_back("build");
    return Take(g_script->builds);
  }
  int Option(std::string_view text, std::string*) override {
    g_script->calls.push_back("option " + std::string(text));
    return kNoError;
  }
};

class ScriptedDriver : public FileDriver {
 public:
  std::string Register() const override { return "SCRIPTED"; }
  std::unique_ptr<DriverFile> Attach(File&) const override {
    return std::make_unique<ScriptedFile>();
  }
};

class OpenCheckedFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    native::RegisterNativeDriver();
    Fresh();
  }
  void TearDown() override {
    scheduler_.reset();
    SetThreadBlockFinder({});
  }

  // A new program run: a fresh backend and scheduler, threads with zeroed blocks.
  void Fresh() {
    scheduler_.reset();
    backend_.emplace();
    scheduler_.emplace(*backend_, clock_);
    UseSchedulerThreadBlocks();
  }

  // Runs `proc` on a new thread, with a minute of the clock to spend.
  void Run(ui::Proc proc) {
    scheduler_->Start(std::move(proc));
    scheduler_->Advance(60'000);
  }

  // Opens `file` through the check on a procedure thread; `*returned` tells
  // whether the check came back.
  static ui::Proc Check(File& file, bool* returned) {
    co_await OpenCheckedFile(file);
    *returned = true;
  }
  static ui::Proc CheckData(DataFile f, bool* returned, bool* open) {
    File& file = CurrentThread().Data(f);
    co_await OpenCheckedFile(file);
    *returned = true;
    *open = file.is_open();
  }

  // Expects the message box, then the halt box with `halt`, and the program ended.
  void ExpectHalt(const std::string& caption, const std::string& text, const std::string& halt) {
    ASSERT_EQ(backend_->messages.size(), 2u);
    EXPECT_EQ(backend_->messages[0].request.caption, caption);
    EXPECT_EQ(backend_->messages[0].request.text, text);
    EXPECT_EQ(backend_->messages[1].request.caption, "Halt");
    EXPECT_EQ(backend_->messages[1].request.text, halt);
    EXPECT_TRUE(scheduler_->exited());
    EXPECT_EQ(backend_->quit_code, 0);
  }

  void Sql(const std::string& file, const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(dir_.File(file).c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
  }

  // SUPPLIER.KVX with suppliers of references 1 to `rows`.
  void BuildSuppliers(int rows) {
    File f(DataFileDecl(DataFile::kSupplier));
    ASSERT_EQ(f.Create(), kNoError);
    ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
    for (int i = 1; i <= rows; ++i) {
      f.Field("SUPPLIER").SetString("Maker " + std::to_string(i));
      f.Field("REFERENCE").SetNumber(i);
      ASSERT_EQ(f.Add(), kNoError);
    }
    ASSERT_EQ(f.Close(), kNoError);
  }

  mirabo::testing::TempDir dir_;
  mirabo::testing::ScopedChdir chdir_{dir_.path()};
  std::optional<ui::HeadlessBackend> backend_;
  ui::VirtualClock clock_;
  std::optional<ui::Scheduler> scheduler_;
  const std::string supplier_ = dir_.File("SUPPLIER.KVX");
  bool returned_ = false;
  bool open_ = false;
};

TEST_F(OpenCheckedFileTest, ScriptedBranches) {
  RegisterDriver(std::make_shared<ScriptedDriver>());
  const FileDecl decl = B("SCRIPTED", "SCR", "SCRIPTED").Create().Short("N").Build();
  struct Case {
    const char* what;
    std::deque<int> opens, creates, builds;
    std::deque<int> answers;
    std::vector<std::string> calls;
    std::vector<std::string> captions;  // the boxes shown, halt box included
    const char* first_text;
    const char* halt;
  };
  const std::string open = "open 64";  // read-only, deny none
  // Still locked: tried again every tenth of a second for ten seconds, each
  // time asking who holds the lock, for whoever watches the wait.
  const std::string holder = "option LOCKHOLDER";
  std::deque<int> always_locked(200, kFileIsAlreadyLocked);
  std::vector<std::string> tried_for_ten_seconds = {open, "option Recover=10"};
  for (int i = 0; i <= 100; ++i) {
    tried_for_ten_seconds.push_back(open);
    tried_for_ten_seconds.push_back(holder);
  }
  const Case cases[] = {
      {"locked, free after the recovery",
       {32, 0},
       {},
       {},
       {},
       {open, "option Recover=10", open},
       {},
       "",
       ""},
      {"locked, free on the third try",
       {32, 32, 32, 0},
       {},
       {},
       {},
       {open, "option Recover=10", open, holder, open, holder, open},
       {},
       "",
       ""},
      {"locked, still locked after the recovery",
       always_locked,
       {},
       {},
       {},
       tried_for_ten_seconds,
       {"File Access Error", "Halt"},
       "File (/data/SCRIPTED.KVX) could not be opened.  Error: File Is Already Locked (32).",
       "Disk Error"},
      {"created but not opened",
       {2, 5},
       {0},
       {},
       {},
       {open, "create", open},
       {"File Creation Error", "Halt"},
       "Error: (Access Denied (5)) opening created file:/data/SCRIPTED.KVX.  Press OK to end "
       "this application.",
       "File Creation Error!"},
      {"rebuilt, then another error",
       {46, 36},
       {},
       {0},
       {ui::kButtonYes},
       {open, "build", open},
       {"Invalid Key", "File Access Error", "Halt"},
       "/data/SCRIPTED.KVX key file is invalid.  Do you want to rebuild the key?",
       "Disk Error"},
      {"any other error is not retried",
       {5},
       {},
       {},
       {},
       {open},
       {"File Access Error", "Halt"},
       "File (/data/SCRIPTED.KVX) could not be opened.  Error: Access Denied (5).",
       "Disk Error"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Fresh();
    ui::HeadlessBackend& backend = *backend_;
    Script script{c.opens, c.creates, c.builds, {}};
    g_script = &script;
    backend.answers = c.answers;
    File file(decl);
    bool returned = false;
    Run(Check(file, &returned));
    EXPECT_EQ(script.calls, c.calls);
    std::vector<std::string> captions;
    for (const auto& m : backend.messages) captions.push_back(m.request.caption);
    EXPECT_EQ(captions, c.captions);
    if (!backend.messages.empty()) {
      EXPECT_EQ(backend.messages[0].request.text, c.first_text);
    }
    const bool halts = *c.halt != '\0';
    EXPECT_EQ(returned, !halts);
    EXPECT_EQ(file.is_open(), !halts);
    if (halts) {
      EXPECT_EQ(backend.messages.back().request.text, c.halt);
    }
    g_script = nullptr;
  }
}

ui::Proc OpenAll(bool* all_open_and_empty) {
  const std::vector<DataFile> files(kAllDataFiles.begin(), kAllDataFiles.end());
  co_await OpenDataFiles(files);
  bool ok = true;
  for (const DataFile f : files) {
    int64_t records = -1;
    ok = ok && CurrentThread().UseCount(f) == 1 && CurrentThread().Data(f).Records(&records) == 0 &&
         records == 0;
  }
  *all_open_and_empty = ok;
  CloseDataFiles(files);
}

TEST_F(OpenCheckedFileTest, AnEmptyDirectoryGetsAllFiveFilesCreatedEmpty) {
  bool ok = false;
  Run(OpenAll(&ok));
  EXPECT_TRUE(ok);
  for (const char* name : {"FEATURES", "SUPPLIER", "REVIEW", "CATEGORY", "ISSUES"}) {
    EXPECT_TRUE(std::filesystem::exists(dir_.File(std::string(name) + ".KVX"))) << name;
  }
  ok = false;
  Run(OpenAll(&ok));
  EXPECT_TRUE(ok) << "later runs open the files created before";
  EXPECT_TRUE(backend_->messages.empty());
  EXPECT_FALSE(scheduler_->exited());
}

TEST_F(OpenCheckedFileTest, AFileAlreadyOpenIsLeftOpen) {
  File file(DataFileDecl(DataFile::kReview));
  Run(Check(file, &returned_));
  returned_ = false;
  Run(Check(file, &returned_));
  EXPECT_TRUE(returned_);
  EXPECT_TRUE(file.is_open());
  EXPECT_TRUE(backend_->messages.empty());
}

TEST_F(OpenCheckedFileTest, AFileThatCannotBeCreatedHalts) {
  // A declaration without the create attribute.
  const FileDecl no_create = B("BOOKS", "BK", "KARVINEX").String("TITLE", 20).Build();
  File books(no_create);
  Run(Check(books, &returned_));
  EXPECT_FALSE(returned_);
  ExpectHalt("File Creation Error",
             "Error: (No Create Attribute (54)) creating " + dir_.File("BOOKS.KVX") +
                 ".  Press OK to end this application.",
             "File Creation Error!");

  // A name that is a link into a folder that does not exist: the open finds
  // no file, and the create fails in the operating system.
  Fresh();
  std::filesystem::create_symlink("missing/SUPPLIER.KVX", supplier_);
  Run(CheckData(DataFile::kSupplier, &returned_, &open_));
  EXPECT_FALSE(returned_);
  ExpectHalt(
      "File Creation Error",
      "Error: (File Not Found (2)) creating " + supplier_ + ".  Press OK to end this application.",
      "File Creation Error!");
}

TEST_F(OpenCheckedFileTest, ACurrentDirectoryThatVanishedIsADiskError) {
  // Root ignores permissions, so a folder that is gone stands in for one that
  // cannot be used.  The open already tells the missing folder from a missing
  // file, so no create is tried.
  const std::string gone = dir_.File("gone");
  ASSERT_EQ(::mkdir(gone.c_str(), 0755), 0);
  ASSERT_EQ(::chdir(gone.c_str()), 0);
  ASSERT_EQ(::rmdir(gone.c_str()), 0);
  Run(CheckData(DataFile::kSupplier, &returned_, &open_));
  EXPECT_FALSE(returned_);
  ExpectHalt("File Access Error",
             "File (SUPPLIER.KVX) could not be opened.  Error: Path Not Found (3).", "Disk Error");
}

TEST_F(OpenCheckedFileTest, AStoredLayoutThatDiffersIsAnInvalidFile) {
  const FileDecl wider = B("SUPPLIER", "SUP", "KARVINEX")
                             .Create()
                             .String("SUPPLIER", 36)
                             .Short("REFERENCE")
                             .String("EXTRA", 4)
                             .Build();
  ASSERT_EQ(File(wider).Create(), kNoError);
  Run(CheckData(DataFile::kSupplier, &returned_, &open_));
  EXPECT_FALSE(returned_);
  ExpectHalt("Invalid File",
             "Error: (Invalid Record Declaration (47)) accessing " + supplier_ +
                 ".  Press OK to end this application.",
             "Invalid File!");
}

TEST_F(OpenCheckedFileTest, ADamagedKeyIsRebuiltOnYesAndHaltsOnNo) {
  for (const int answer : {ui::kButtonYes, ui::kButtonNo}) {
    SCOPED_TRACE(answer);
    Fresh();
    ui::HeadlessBackend& backend = *backend_;
    BuildSuppliers(3);
    Sql("SUPPLIER.KVX", "DROP INDEX \"UNNAMED$KEY_SUPPLIER\"");
    backend.answers = {answer};
    bool returned = false, open = false;
    Run(CheckData(DataFile::kSupplier, &returned, &open));
    ASSERT_GE(backend.messages.size(), 1u);
    EXPECT_EQ(backend.messages[0].request.caption, "Invalid Key");
    EXPECT_EQ(backend.messages[0].request.text,
              supplier_ + " key file is invalid.  Do you want to rebuild the key?");
    if (answer == ui::kButtonYes) {
      EXPECT_TRUE(returned && open);
      EXPECT_EQ(backend.messages.size(), 1u);
      EXPECT_EQ(File(DataFileDecl(DataFile::kSupplier)).Open(kOpenShared), kNoError)
          << "the key is whole again";
    } else {
      EXPECT_FALSE(returned);
      ASSERT_EQ(backend.messages.size(), 2u);
      EXPECT_EQ(backend.messages[1].request.text, "Invalid Key!");
      EXPECT_TRUE(scheduler_->exited());
    }
    std::filesystem::remove(supplier_);
  }
}

TEST_F(OpenCheckedFileTest, ARebuildThatFailsHalts) {
  BuildSuppliers(3);
  // Two suppliers with one reference: the unique key cannot be rebuilt.
  Sql("SUPPLIER.KVX",
      "DROP INDEX \"UNNAMED$SUPPLIER_REF\"; UPDATE UNNAMED SET REFERENCE = 1 WHERE REFERENCE = 2");
  backend_->answers = {ui::kButtonYes};
  Run(CheckData(DataFile::kSupplier, &returned_, &open_));
  EXPECT_FALSE(returned_);
  ASSERT_EQ(backend_->messages.size(), 3u);
  EXPECT_EQ(backend_->messages[0].request.caption, "Invalid Key");
  EXPECT_EQ(backend_->messages[1].request.caption, "Key Rebuild Error");
  EXPECT_EQ(backend_->messages[1].request.text,
            "Error: (Creates Duplicate Key (40)) repairing key for " + supplier_ +
                ".  Press OK to end this application.");
  EXPECT_EQ(backend_->messages[2].request.caption, "Halt");
  EXPECT_EQ(backend_->messages[2].request.text, "Error Rebuilding Key!");
  EXPECT_TRUE(scheduler_->exited());
}

// Another program holds the file locked (a sqlite3 shell in a transaction):
// the check waits between events, so other procedures run meanwhile, and
// opens the file once the lock goes.
TEST_F(OpenCheckedFileTest, ALockReleasedDuringTheRecoveryIsOpened) {
  BuildSuppliers(1);
  mirabo::testing::LockingProcess shell(supplier_, "BEGIN EXCLUSIVE");
  ASSERT_TRUE(shell.holding());
  scheduler_->Start(CheckData(DataFile::kSupplier, &returned_, &open_));
  scheduler_->Advance(3000);
  EXPECT_FALSE(returned_) << "still waiting after three seconds";
  bool other_ran = false;
  scheduler_->Start([](bool* ran) -> ui::Proc {
    *ran = true;
    co_return;
  }(&other_ran));
  scheduler_->RunReady();
  EXPECT_TRUE(other_ran) << "another procedure runs while the check waits";
  shell.Release();
  scheduler_->Advance(200);
  EXPECT_TRUE(returned_ && open_);
  EXPECT_TRUE(backend_->messages.empty());
}

TEST_F(OpenCheckedFileTest, ALockThatStaysPastTheRecoveryIsADiskError) {
  BuildSuppliers(1);
  mirabo::testing::LockingProcess shell(supplier_, "BEGIN EXCLUSIVE");
  ASSERT_TRUE(shell.holding());
  scheduler_->Start(CheckData(DataFile::kSupplier, &returned_, &open_));
  scheduler_->Advance(9900);
  EXPECT_TRUE(backend_->messages.empty()) << "nothing is shown while the wait lasts";
  scheduler_->Advance(200);
  EXPECT_FALSE(returned_);
  ExpectHalt("File Access Error",
             "File (" + supplier_ + ") could not be opened.  Error: File Is Already Locked (32).",
             "Disk Error");
}

TEST_F(OpenCheckedFileTest, AFileThatIsNotADataFileIsADiskError) {
  mirabo::testing::WriteFile(supplier_, "Not a data file\n" + std::string(5000, 'z'));
  Run(CheckData(DataFile::kSupplier, &returned_, &open_));
  EXPECT_FALSE(returned_);
  ExpectHalt("File Access Error",
             "File (" + supplier_ + ") could not be opened.  Error: Invalid Data File (36).",
             "Disk Error");
}

struct Counts {
  int32_t after_two_opens = -1, after_one_close = -1, after_two_closes = -1;
  bool open_after_one_close = false, open_after_two_closes = true;
  bool opened_when_counted = true;
};

ui::Proc CountOnOneThread(Counts* c) {
  const std::vector<DataFile> review = {DataFile::kReview};
  co_await OpenDataFiles(review);
  co_await OpenDataFiles(review);
  ThreadBlock& t = CurrentThread();
  c->after_two_opens = t.UseCount(DataFile::kReview);
  CloseDataFiles(review);
  c->after_one_close = t.UseCount(DataFile::kReview);
  c->open_after_one_close = t.Data(DataFile::kReview).is_open();
  CloseDataFiles(review);
  CloseDataFiles(review);  // one release too many
  c->after_two_closes = t.UseCount(DataFile::kReview);
  c->open_after_two_closes = t.Data(DataFile::kReview).is_open();

  // A count above zero means another procedure of the thread opened the file.
  const std::vector<DataFile> category = {DataFile::kCategory};
  t.UseCount(DataFile::kCategory) = 1;
  co_await OpenDataFiles(category);
  c->opened_when_counted = t.Data(DataFile::kCategory).is_open();
}

TEST_F(OpenCheckedFileTest, UseCountsOpenOnceAndCloseAtZero) {
  Counts c;
  Run(CountOnOneThread(&c));
  EXPECT_EQ(c.after_two_opens, 2);
  EXPECT_EQ(c.after_one_close, 1);
  EXPECT_TRUE(c.open_after_one_close);
  EXPECT_EQ(c.after_two_closes, 0);
  EXPECT_FALSE(c.open_after_two_closes);
  EXPECT_FALSE(c.opened_when_counted);
  EXPECT_FALSE(std::filesystem::exists(dir_.File("CATEGORY.KVX")));
}

struct TwoThreads {
  File* first = nullptr;
  File* second = nullptr;
  int32_t second_count = -1;
  bool second_ran_while_first_waited = false;
  int32_t first_count_after = -1;
  bool first_open_after = false;
};

ui::Proc FirstThread(TwoThreads* t) {
  const std::vector<DataFile> files = {DataFile::kIssues};
  co_await OpenDataFiles(files);
  t->first = &CurrentThread().Data(DataFile::kIssues);
  // While this thread waits for the box, the second one runs.
  const ui::MessageRequest box{"Wait", "Test"};
  co_await ui::Message(box);
  t->second_ran_while_first_waited = t->second != nullptr;
  t->first_count_after = CurrentThread().UseCount(DataFile::kIssues);
  t->first_open_after = CurrentThread().Data(DataFile::kIssues).is_open();
  CloseDataFiles(files);
}

ui::Proc SecondThread(TwoThreads* t) {
  const std::vector<DataFile> files = {DataFile::kIssues};
  co_await OpenDataFiles(files);
  t->second = &CurrentThread().Data(DataFile::kIssues);
  t->second_count = CurrentThread().UseCount(DataFile::kIssues);
  CloseDataFiles(files);
}

TEST_F(OpenCheckedFileTest, EveryThreadHasItsOwnInstanceAndCount) {
  TwoThreads t;
  scheduler_->Start(FirstThread(&t));
  scheduler_->Start(SecondThread(&t));
  scheduler_->RunReady();
  ASSERT_TRUE(t.second_ran_while_first_waited);
  EXPECT_NE(t.first, t.second);
  EXPECT_EQ(t.second_count, 1);
  EXPECT_EQ(t.first_count_after, 1);
  EXPECT_TRUE(t.first_open_after) << "the other thread's close leaves this instance open";
}

}  // namespace
}  // namespace mirabo::app
