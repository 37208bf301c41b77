// Waits for other processes' locks, and joint transactions over several
// files, tested against real locks held by another process and real failed
// commits.
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/file.h"
#include "runtime/lock_wait.h"
#include "runtime/text.h"
#include "storage/native/joint_transaction.h"
#include "storage/native/lock_holder.h"
#include "storage/native/native_driver.h"
#include "tests/testing/locking_process.h"
#include "tests/testing/temp_dir.h"

namespace mirabo::native {
namespace {

using testing::LockingProcess;
using testing::ReadFile;
using testing::ScopedChdir;
using testing::TempDir;
using B = FileDeclBuilder;

FileDecl ItemDecl(const std::string& name) {
  return B(name, "ITM", "KARVINEX")
      .Name(name)
      .Create()
      .String("NAME", 20)
      .Long("ID")
      .Key("BYNAME", {"NAME"}, B::kDup | B::kNoCase)
      .Key("BYID", {"ID"}, B::kUnique)
      .Build();
}

// Puts an observer in place for the test's life.
class ScopedObserver {
 public:
  explicit ScopedObserver(LockWaitObserver o) : previous_(SetLockWaitObserver(std::move(o))) {}
  ~ScopedObserver() { SetLockWaitObserver(std::move(previous_)); }

 private:
  LockWaitObserver previous_;
};

class NativeLockTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterNativeDriver();
    chdir_ = std::make_unique<ScopedChdir>(dir_.path());
  }

  // Creates the file with `n` items and leaves it closed.
  void Make(const FileDecl& decl, int n, int first_id = 1) {
    File f(decl);
    ASSERT_EQ(f.Create(), kNoError);
    ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
    for (int i = 0; i < n; ++i) Add(f, "item " + std::to_string(first_id + i), first_id + i);
    ASSERT_EQ(f.Close(), kNoError);
  }

  static void Add(File& f, const std::string& name, int id) {
    f.ClearRecord();
    f.Field("NAME").SetString(name);
    f.Field("ID").SetNumber(id);
    ASSERT_EQ(f.Add(), kNoError);
  }

  static int64_t Count(File& f) {
    int64_t n = -1;
    EXPECT_EQ(f.Records(&n), kNoError);
    return n;
  }

  // Every file in the folder that is not a data file (journals, super-journals).
  std::vector<std::string> Leftovers() const {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir_.path())) {
      if (e.path().extension() != ".KVX") out.push_back(e.path().filename().string());
    }
    return out;
  }

  TempDir dir_;
  std::unique_ptr<ScopedChdir> chdir_;
  FileDecl a_ = ItemDecl("ALPHA");
  FileDecl b_ = ItemDecl("BETA");
  FileDecl c_ = ItemDecl("GAMMA");
};

// A read that meets a writer's lock waits in short steps, telling the
// observer each time (the window layer repaints there), names the file and
// the process that holds it, and goes on when the lock goes.
TEST_F(NativeLockTest, AReadWaitsInStepsAndGoesOnWhenTheLockGoes) {
  Make(a_, 3);
  File f(a_);
  ASSERT_EQ(f.Open(kOpenShared), kNoError);
  LockingProcess writer(dir_.File("ALPHA.KVX"), "BEGIN EXCLUSIVE");
  ASSERT_TRUE(writer.holding());
  EXPECT_EQ(LockHolder(dir_.File("ALPHA.KVX")), writer.pid());

  const pid_t holder = writer.pid();
  std::vector<LockWait> steps;
  ScopedObserver observe([&](const LockWait& w) {
    steps.push_back(w);
    if (steps.size() == 3) writer.Release();
    return true;
  });
  ASSERT_EQ(f.SetKeyStart(kRecordOrder), kNoError);
  ASSERT_EQ(f.Next(), kNoError);
  EXPECT_EQ(Clip(f.Field("NAME").Bytes()), "item 1");
  ASSERT_GE(steps.size(), 3u);
  EXPECT_TRUE(steps[0].first);
  EXPECT_FALSE(steps[1].first);
  EXPECT_EQ(steps[0].file, dir_.File("ALPHA.KVX"));
  EXPECT_EQ(steps[0].holder, holder);
}

// The observer may end a wait (a batch run that gives up): the read answers
// 43 and the file reads on normally afterwards.  The statements the failed
// read left behind are not touched after a bulk load has finalized them.
TEST_F(NativeLockTest, AnObserverEndsTheWaitWithRecordHeld) {
  Make(a_, 0);
  File f(a_);
  ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
  LockingProcess writer(dir_.File("ALPHA.KVX"), "BEGIN EXCLUSIVE");
  ASSERT_TRUE(writer.holding());
  {
    ScopedObserver observe([](const LockWait&) { return false; });
    ASSERT_EQ(f.SetKeyStart(0), kNoError);
    EXPECT_EQ(f.Next(), kRecordIsAlreadyHeld);
  }
  writer.Release();
  ASSERT_EQ(f.BeginTransaction(), kNoError);
  Add(f, "after", 1);  // the first add of an empty table finalizes the key statements
  ASSERT_EQ(f.Commit(), kNoError);
  ASSERT_EQ(f.SetKeyStart(0), kNoError);
  ASSERT_EQ(f.Next(), kNoError);
  EXPECT_EQ(Clip(f.Field("NAME").Bytes()), "after");
}

// Opening never waits: a live lock answers 32 at once, with or without
// "Recover", and the holder can be named.
TEST_F(NativeLockTest, AnOpenAnswersALiveLockAtOnce) {
  Make(a_, 1);
  LockingProcess writer(dir_.File("ALPHA.KVX"), "BEGIN EXCLUSIVE");
  ASSERT_TRUE(writer.holding());
  int observed = 0;
  ScopedObserver observe([&](const LockWait&) { return ++observed < 1000; });
  File f(a_);
  EXPECT_EQ(f.Open(kOpenShared), kFileIsAlreadyLocked);
  ASSERT_EQ(f.Option("Recover=10"), kNoError);
  EXPECT_EQ(f.Open(kOpenShared), kFileIsAlreadyLocked);
  EXPECT_EQ(observed, 0) << "an open does not wait";
  writer.Release();
  EXPECT_EQ(LockHolder(dir_.File("ALPHA.KVX")), 0);
  EXPECT_EQ(f.Open(kOpenShared), kNoError);
}

TEST_F(NativeLockTest, AJointTransactionCommitsEveryFileOrNone) {
  Make(a_, 2);
  Make(b_, 2);
  File a(a_), b(b_), c(c_);
  ASSERT_EQ(c.Create(), kNoError);
  for (File* f : {&a, &b, &c}) ASSERT_EQ(f->Open(kOpenExclusive), kNoError);

  {
    JointTransaction t;
    ASSERT_EQ(t.Begin({&a, &b, &c}), kNoError);
    ASSERT_EQ(a.Empty(), kNoError);
    Add(a, "new a", 7);
    Add(b, "new b", 8);
    Add(c, "new c", 9);
    EXPECT_EQ(b.Commit(), kUnsupportedFunction) << "the joint transaction is the file's";
    // Reads inside the transaction see its changes.
    EXPECT_EQ(Count(a), 1);
    EXPECT_EQ(Count(b), 3);
    b.Field("ID").SetNumber(1);
    EXPECT_EQ(b.GetByKey(1), kNoError);
    EXPECT_EQ(t.Rollback(), kNoError);
  }
  EXPECT_EQ(Count(a), 2);
  EXPECT_EQ(Count(b), 2);
  EXPECT_EQ(Count(c), 0);

  JointTransaction t;
  ASSERT_EQ(t.Begin({&a, &b, &c}), kNoError);
  Add(b, "new b", 8);
  Add(c, "new c", 9);
  Add(c, "another c", 10);
  ASSERT_EQ(t.Commit(), kNoError);
  EXPECT_FALSE(t.active());
  EXPECT_EQ(Count(b), 3);
  EXPECT_EQ(Count(c), 2);
  // The deferred keys of the table that was empty were built at the commit.
  ASSERT_EQ(c.SetKeyStart(0), kNoError);
  ASSERT_EQ(c.Next(), kNoError);
  EXPECT_EQ(Clip(c.Field("NAME").Bytes()), "another c");
  EXPECT_TRUE(Leftovers().empty());
}

// A data file given twice, as the same file, as another table in it or
// through a link, is refused before anything changes: the members keep their
// own connections and go on working alone.
TEST_F(NativeLockTest, AJointTransactionTakesEachDataFileOnce) {
  Make(a_, 1);
  const FileDecl other = ItemDecl("ALPHA\\!OTHER");
  const FileDecl link = ItemDecl("LINK");
  Make(other, 2);
  std::filesystem::create_symlink(dir_.File("ALPHA.KVX"), dir_.File("LINK.KVX"));
  File a(a_), in_alpha(other), through_link(link);
  for (File* f : {&a, &in_alpha, &through_link}) ASSERT_EQ(f->Open(kOpenExclusive), kNoError);
  // Were the second member attached, the wait for its lock would never end.
  ScopedObserver give_up([](const LockWait& w) { return w.waited_ms < 50; });
  const std::pair<const char*, std::vector<File*>> cases[] = {
      {"the same file", {&a, &a}},
      {"another table of the file", {&a, &in_alpha}},
      {"a link to the file", {&through_link, &a}},
  };
  for (const auto& [what, files] : cases) {
    SCOPED_TRACE(what);
    JointTransaction t;
    EXPECT_EQ(t.Begin(files), kFileSystemError);
    EXPECT_NE(CurrentError().fs_text.find("named twice"), std::string::npos)
        << CurrentError().fs_text;
    EXPECT_FALSE(t.active());
    EXPECT_EQ(Count(a), 1);
    EXPECT_EQ(Count(in_alpha), 2);
  }
  // The others' read locks would keep a writer waiting; the first file's
  // own connection writes once they are closed.
  ASSERT_EQ(in_alpha.Close(), kNoError);
  ASSERT_EQ(through_link.Close(), kNoError);
  ASSERT_EQ(a.BeginTransaction(), kNoError);
  Add(a, "alone", 2);
  ASSERT_EQ(a.Commit(), kNoError);
  EXPECT_EQ(Count(a), 2);
}

TEST_F(NativeLockTest, ClosingAMemberRollsTheJointTransactionBack) {
  Make(a_, 1);
  Make(b_, 1);
  File a(a_), b(b_);
  for (File* f : {&a, &b}) ASSERT_EQ(f->Open(kOpenExclusive), kNoError);
  JointTransaction t;
  ASSERT_EQ(t.Begin({&a, &b}), kNoError);
  Add(a, "gone", 5);
  Add(b, "gone", 5);
  ASSERT_EQ(b.Close(), kNoError);
  EXPECT_FALSE(t.active());
  EXPECT_EQ(Count(a), 1);
  ASSERT_EQ(b.Open(kOpenShared), kNoError);
  EXPECT_EQ(Count(b), 1);
}

// The commit of the second file's pages fails (the file-size limit of a
// full disk): neither file changes by a byte, and no journal stays behind.
TEST_F(NativeLockTest, ACommitThatFailsHalfWayLeavesEveryFileAsItWas) {
  Make(a_, 5);
  Make(b_, 5);
  const std::string before_a = ReadFile(dir_.File("ALPHA.KVX"));
  const std::string before_b = ReadFile(dir_.File("BETA.KVX"));
  const pid_t child = fork();
  if (child == 0) {
    std::signal(SIGXFSZ, SIG_IGN);
    File a(a_), b(b_);
    if (a.Open(kOpenExclusive) != kNoError || b.Open(kOpenExclusive) != kNoError) _exit(2);
    JointTransaction t;
    if (t.Begin({&a, &b}) != kNoError) _exit(2);
    // A few rows into ALPHA, many into BETA: only BETA outgrows the limit.
    for (int i = 0; i < 3; ++i) {
      a.ClearRecord();
      a.Field("NAME").SetString("small");
      a.Field("ID").SetNumber(100 + i);
      if (a.Add() != kNoError) _exit(2);
    }
    for (int i = 0; i < 5000; ++i) {
      b.ClearRecord();
      b.Field("NAME").SetString("a name long enough");
      b.Field("ID").SetNumber(100 + i);
      if (b.Add() != kNoError) _exit(3);
    }
    const rlim_t limit = before_b.size() + 8192;
    rlimit rl{limit, limit};
    setrlimit(RLIMIT_FSIZE, &rl);
    _exit(t.Commit() == kNoError ? 0 : 4);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  ASSERT_EQ(WEXITSTATUS(status), 4) << "the commit fails";
  // What the failed commit left is rolled back by the next writer to open.
  File a(a_), b(b_);
  ASSERT_EQ(a.Option("Recover=1"), kNoError);
  ASSERT_EQ(b.Option("Recover=1"), kNoError);
  ASSERT_EQ(a.Open(kOpenExclusive), kNoError);
  ASSERT_EQ(b.Open(kOpenExclusive), kNoError);
  (void)a.Close();
  (void)b.Close();
  EXPECT_TRUE(ReadFile(dir_.File("ALPHA.KVX")) == before_a) << "ALPHA changed";
  EXPECT_TRUE(ReadFile(dir_.File("BETA.KVX")) == before_b) << "BETA changed";
  EXPECT_TRUE(Leftovers().empty()) << Leftovers().front();
}

// A reader's lock (a sqlite3 shell in a transaction) keeps the commit
// waiting; when the wait is given up the transaction is rolled back and no
// journal stays.
TEST_F(NativeLockTest, AReaderKeepsTheJointCommitWaitingUntilItIsGivenUp) {
  Make(a_, 1);
  Make(b_, 1);
  const std::string before_b = ReadFile(dir_.File("BETA.KVX"));
  File a(a_), b(b_);
  for (File* f : {&a, &b}) ASSERT_EQ(f->Open(kOpenExclusive), kNoError);
  JointTransaction t;
  ASSERT_EQ(t.Begin({&a, &b}), kNoError);
  Add(a, "x", 2);
  Add(b, "y", 2);
  LockingProcess reader(dir_.File("BETA.KVX"), "BEGIN; SELECT count(*) FROM sqlite_master");
  ASSERT_TRUE(reader.holding());
  EXPECT_EQ(LockHolder(dir_.File("BETA.KVX")), reader.pid());
  std::string waited_for;
  int holder = 0;
  {
    ScopedObserver observe([&](const LockWait& w) {
      waited_for = w.file;
      holder = w.holder;
      return w.waited_ms < 50;
    });
    EXPECT_EQ(t.Commit(), kRecordIsAlreadyHeld);
  }
  EXPECT_EQ(waited_for, dir_.File("BETA.KVX"));
  EXPECT_EQ(holder, reader.pid());
  reader.Release();
  EXPECT_EQ(Count(a), 1);
  EXPECT_EQ(Count(b), 1);
  (void)a.Close();
  (void)b.Close();
  EXPECT_TRUE(ReadFile(dir_.File("BETA.KVX")) == before_b);
  EXPECT_TRUE(Leftovers().empty()) << Leftovers().front();
}

// Only a unique key makes a duplicate key; another constraint that a file
// carries is reported with SQLite's own words.
// A journal SQLite does not take for hot (a writer killed between the steps
// of a multi-file commit leaves one, header zeroed or super-journal gone)
// would stay for ever: the next open that can write removes it; a reader
// leaves it alone.
TEST_F(NativeLockTest, AStaleJournalGoesAtTheNextWritableOpen) {
  Make(a_, 3);
  const std::string before = testing::ReadFile(dir_.File("ALPHA.KVX"));
  testing::WriteFile(dir_.File("ALPHA.KVX-journal"), std::string(512, '\0'));
  {
    File reader(a_);
    ASSERT_EQ(reader.Open(kOpenShared), kNoError);
    EXPECT_EQ(Count(reader), 3);
  }
  EXPECT_EQ(Leftovers(), std::vector<std::string>{"ALPHA.KVX-journal"});
  File writer(a_);
  ASSERT_EQ(writer.Open(kOpenExclusive), kNoError);
  EXPECT_EQ(Leftovers(), std::vector<std::string>());
  EXPECT_EQ(Count(writer), 3);
  ASSERT_EQ(writer.Close(), kNoError);
  EXPECT_EQ(testing::ReadFile(dir_.File("ALPHA.KVX")), before);
}

TEST_F(NativeLockTest, ConstraintsOtherThanUniqueKeysAreNotDuplicates) {
  Make(a_, 1);
  sqlite3* db = nullptr;
  sqlite3_open(dir_.File("ALPHA.KVX").c_str(), &db);
  ASSERT_EQ(sqlite3_exec(db,
                         "CREATE TRIGGER refuse BEFORE INSERT ON UNNAMED WHEN NEW.ID = 99 "
                         "BEGIN SELECT RAISE(ABORT, 'ninety-nine is refused'); END",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  File f(a_);
  ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
  f.Field("NAME").SetString("dup");
  f.Field("ID").SetNumber(1);
  EXPECT_EQ(f.Add(), kCreatesDuplicateKey);
  f.Field("ID").SetNumber(99);
  EXPECT_EQ(f.Add(), kFileSystemError);
  EXPECT_EQ(CurrentError().fs_text, "ninety-nine is refused");
}

// Positions carry record numbers in four bytes: a larger one is refused on
// adding, and a file that holds one (written by another tool) is not a valid
// data file.
TEST_F(NativeLockTest, RecordNumbersStayWithinFourBytes) {
  Make(a_, 0);
  sqlite3* db = nullptr;
  sqlite3_open(dir_.File("ALPHA.KVX").c_str(), &db);
  ASSERT_EQ(sqlite3_exec(db,
                         "INSERT INTO UNNAMED (rowid, NAME, ID, \"KEY$NAME$NC\") "
                         "VALUES (4294967295, 'last', 1, x'4C415354')",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  File f(a_);
  ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
  f.Field("NAME").SetString("one more");
  f.Field("ID").SetNumber(2);
  EXPECT_EQ(f.Add(), kFileSystemError);
  EXPECT_EQ(Count(f), 1) << "the refused record is not kept";
  (void)f.Close();

  ASSERT_EQ(sqlite3_exec(db,
                         "INSERT INTO UNNAMED (rowid, NAME, ID, \"KEY$NAME$NC\") "
                         "VALUES (4294967296, 'past', 3, x'50415354')",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  EXPECT_EQ(f.Open(kOpenShared), kInvalidDataFile);
}

}  // namespace
}  // namespace mirabo::native
