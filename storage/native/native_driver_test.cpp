// The native driver's own cases: file names and folders, declaration limits,
// options, other processes' locks and journals, query plans.  The contract it
// shares with the server driver is in storage/postgres/driver_contract_test.cpp.
#include "storage/native/native_driver.h"

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/file.h"
#include "runtime/text.h"
#include "tests/testing/people_table.h"
#include "tests/testing/temp_dir.h"

namespace mirabo::native {
namespace {

using testing::ScopedChdir;
using testing::TempDir;
using B = FileDeclBuilder;
using testing::Fill;
using testing::kPeople;
using testing::Latin1;
using testing::Name;
using testing::PeopleDecl;
using testing::Person;
using testing::ReadAll;
using enum testing::PeopleKey;

class NativeDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterNativeDriver();
    chdir_ = std::make_unique<ScopedChdir>(dir_.path());
  }

  // Creates the file with the standard people and leaves `f` open read-only.
  void Build(File& f, const std::vector<Person>& people = kPeople) {
    ASSERT_EQ(f.Create(), kNoError);
    ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
    Fill(f, people);
    ASSERT_EQ(f.Close(), kNoError);
    ASSERT_EQ(f.Open(kOpenShared), kNoError);
  }

  sqlite3* Raw() {
    sqlite3* db = nullptr;
    sqlite3_open(dir_.File("PEOPLE.KVX").c_str(), &db);
    return db;
  }

  TempDir dir_;
  std::unique_ptr<ScopedChdir> chdir_;
  FileDecl decl_ = PeopleDecl();
};

TEST_F(NativeDriverTest, NamesAreCompletedInTheCurrentDirectory) {
  File plain(decl_);
  EXPECT_EQ(plain.Name(), dir_.File("PEOPLE.KVX"));

  FileDecl with_ext = PeopleDecl("people.dat");
  EXPECT_EQ(File(with_ext).Name(), dir_.File("people.dat"));

  // Two tables in one file: each is addressed by the part after "\!".
  FileDecl first = PeopleDecl("DATA\\!first");
  FileDecl second = PeopleDecl("DATA\\!SECOND");
  File a(first), b(second);
  Build(a, {kPeople[0]});
  Build(b, {kPeople[1], kPeople[2]});
  int64_t na = 0, nb = 0;
  EXPECT_EQ(a.Records(&na), kNoError);
  EXPECT_EQ(b.Records(&nb), kNoError);
  EXPECT_EQ(na, 1);
  EXPECT_EQ(nb, 2);
  EXPECT_TRUE(std::filesystem::exists(dir_.File("DATA.KVX")));
  sqlite3* db = nullptr;
  sqlite3_open(dir_.File("DATA.KVX").c_str(), &db);
  sqlite3_stmt* s = nullptr;
  sqlite3_prepare_v2(
      db, "SELECT count(*) FROM sqlite_master WHERE type='table' AND name IN ('FIRST','SECOND')",
      -1, &s, nullptr);
  ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
  EXPECT_EQ(sqlite3_column_int(s, 0), 2);
  sqlite3_finalize(s);
  sqlite3_close(db);
}

TEST_F(NativeDriverTest, DeclarationLimitsAreCheckedOnFirstUse) {
  FileDecl at_limit = B("BIG", "BIG", "KARVINEX").Create().String("A", 14998).Short("B").Build();
  FileDecl over = B("BIGGER", "BIG", "KARVINEX").Create().String("A", 14999).Short("B").Build();
  EXPECT_EQ(at_limit.record_size, 15000);
  File ok(at_limit), bad(over);
  EXPECT_EQ(ok.Create(), kNoError);
  EXPECT_EQ(ok.Open(kOpenShared), kNoError);
  EXPECT_EQ(bad.Create(), kInvalidRecordDeclaration);
  EXPECT_EQ(bad.Open(kOpenShared), kInvalidRecordDeclaration);
  EXPECT_EQ(CurrentError().code, kInvalidRecordDeclaration);

  B many("KEYS", "K", "KARVINEX");
  many.Create().Short("A");
  for (int i = 0; i < 241; ++i) many.Key("K" + std::to_string(i), {"A"}, B::kDup);
  const FileDecl many_decl = many.Build();
  File too_many_keys(many_decl);
  EXPECT_EQ(too_many_keys.Create(), kInvalidRecordDeclaration);
}

TEST_F(NativeDriverTest, OpenAndCreateFailures) {
  File f(decl_);
  EXPECT_EQ(f.Open(kOpenShared), kFileNotFound);
  FileDecl no_create = B("NC", "NC", "KARVINEX").Short("A").Build();
  EXPECT_EQ(File(no_create).Create(), kNoCreateAttribute);

  FileDecl in_missing_dir = PeopleDecl("nowhere/PEOPLE");
  EXPECT_EQ(File(in_missing_dir).Open(kOpenShared), kPathNotFound);
  EXPECT_EQ(File(in_missing_dir).Create(), kPathNotFound);

  std::filesystem::create_directory(dir_.File("ADIR.KVX"));
  FileDecl a_dir = PeopleDecl("ADIR");
  EXPECT_EQ(File(a_dir).Open(kOpenShared), kAccessDenied);

  testing::WriteFile(dir_.File("plain"), "x");
  FileDecl under_file = PeopleDecl("plain/PEOPLE");
  EXPECT_EQ(File(under_file).Create(), kPathNotFound);

  Build(f);
  EXPECT_EQ(f.Open(kOpenShared), kFileAlreadyOpen);
  EXPECT_EQ(f.Add(), kAccessDenied) << "a file opened for reading refuses writes";
}

TEST_F(NativeDriverTest, Options) {
  File f(decl_);
  std::string answer;
  EXPECT_EQ(f.Option("TCF", &answer), kNoError);
  EXPECT_EQ(answer, "c:\\karvinex.tcf");
  EXPECT_EQ(f.Option("tcf = /var/lib/mirabo/trans.tcf"), kNoError);
  EXPECT_EQ(f.Option(" T C F", &answer), kNoError);
  EXPECT_EQ(answer, "/var/lib/mirabo/trans.tcf");
  EXPECT_EQ(f.Option("TCF=c:\\karvinex.tcf"), kNoError);

  EXPECT_EQ(f.Option("FULLBUILD", &answer), kNoError);
  EXPECT_EQ(answer, "OFF");
  EXPECT_EQ(f.Option("fullbuild=on"), kNoError);
  EXPECT_EQ(f.Option("FULLBUILD", &answer), kNoError);
  EXPECT_EQ(answer, "ON");
  EXPECT_EQ(f.Option("FULLBUILD=YES"), kNoError);
  EXPECT_EQ(f.Option("FULLBUILD", &answer), kNoError);
  EXPECT_EQ(answer, "OFF") << "any value but ON switches it off";

  EXPECT_EQ(f.Option("PNM"), kFileNotOpen);
  Build(f);
  EXPECT_EQ(f.Option("PNM=x", &answer), kNoError);
  EXPECT_EQ(answer, dir_.File("PEOPLE.KVX"));
  EXPECT_EQ(f.Option("NOSUCHOPTION"), kUnsupportedFunction);
}

TEST_F(NativeDriverTest, AFileLockedByAnotherProcessIsReportedAndRecovered) {
  File f(decl_);
  Build(f);
  ASSERT_EQ(f.Close(), kNoError);
  sqlite3* other = Raw();
  ASSERT_EQ(sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
  EXPECT_EQ(f.Open(kOpenShared), kFileIsAlreadyLocked);
  EXPECT_EQ(ErrorText(CurrentError().code), "File Is Already Locked");

  // The recovery does not wait for a live lock: the open answers 32 at once
  // and its caller waits between attempts (the program does so between
  // events).
  EXPECT_EQ(f.Option("Recover=10"), kNoError);
  EXPECT_EQ(f.Open(kOpenShared), kFileIsAlreadyLocked);
  std::string armed;
  ASSERT_EQ(f.Option("RECOVER", &armed), kNoError);
  EXPECT_EQ(armed, "10") << "the recovery stays armed until an open succeeds";
  sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
  EXPECT_EQ(f.Open(kOpenShared), kNoError);
  ASSERT_EQ(f.Option("RECOVER", &armed), kNoError);
  EXPECT_EQ(armed, "0");
  sqlite3_close(other);
}

TEST_F(NativeDriverTest, AWriterThatDiedLeavesAStaleLockThatRecoverReleases) {
  std::vector<Person> many;
  for (int i = 0; i < 2000; ++i) many.push_back({"name", i % 50, 0, "city", i});
  File f(decl_);
  Build(f, many);
  ASSERT_EQ(f.Close(), kNoError);

  const pid_t child = fork();
  if (child == 0) {
    // Change every row with a tiny cache so the change spills into the file,
    // then die without committing: a hot journal stays behind.
    sqlite3* db = nullptr;
    sqlite3_open(dir_.File("PEOPLE.KVX").c_str(), &db);
    sqlite3_exec(db, "PRAGMA cache_size=1; BEGIN; UPDATE UNNAMED SET NAME = 'zzzzzzzzzzzzzzzzzzzz'",
                 nullptr, nullptr, nullptr);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(std::filesystem::exists(dir_.File("PEOPLE.KVX-journal")));

  EXPECT_EQ(f.Open(kOpenShared), kFileIsAlreadyLocked);
  ASSERT_EQ(f.Option("Recover=10"), kNoError);
  ASSERT_EQ(f.Open(kOpenShared), kNoError);
  ASSERT_EQ(f.SetKeyStart(kRecordOrder), kNoError);
  ASSERT_EQ(f.Next(), kNoError);
  EXPECT_EQ(Name(f), "name") << "the unfinished change was rolled back";
}

TEST_F(NativeDriverTest, EveryStatementSearchesAnIndex) {
  File f(decl_);
  Build(f);
  const auto plans = ExplainQueries(f);
  ASSERT_GT(plans.size(), 30u);
  for (const auto& [sql, plan] : plans) {
    EXPECT_EQ(plan.find("TEMP B-TREE"), std::string::npos) << sql << "\n" << plan;
    EXPECT_EQ(plan.find("error"), std::string::npos) << sql << "\n" << plan;
    const bool searches = plan.find("SEARCH") != std::string::npos;
    const bool scans_index =
        plan.find("SCAN") != std::string::npos &&
        (plan.find("INDEX") != std::string::npos || sql.find("WHERE") == std::string::npos);
    EXPECT_TRUE(searches || scans_index) << sql << "\n" << plan;
    if (sql.find("WHERE") != std::string::npos) {
      EXPECT_TRUE(searches) << "a positioned read must not walk the index\n" << sql << "\n" << plan;
    }
  }
}

TEST_F(NativeDriverTest, TheFileIsAPlainDatabaseOtherToolsRead) {
  File f(decl_);
  Build(f);
  sqlite3* db = Raw();
  sqlite3_stmt* s = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &s, nullptr), SQLITE_OK);
  ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)), "ok");
  sqlite3_finalize(s);
  // Text is stored as UTF-8 without the trailing blanks.
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT NAME, CITY FROM UNNAMED WHERE ID = 15", -1, &s, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)), "Épée");
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(s, 1)), "Bergen");
  sqlite3_finalize(s);
  sqlite3_close(db);
}

// Text another program stored, read into the record as Windows-1252: runs
// of ASCII copied whole, a character of the set converted, one it lacks
// shown as '?', a text longer than its field cut at the field's end.
TEST_F(NativeDriverTest, TextAnotherProgramStoredReadsAsWindows1252) {
  File f(decl_);
  Build(f);
  ASSERT_EQ(f.Close(), kNoError);
  struct Case {
    const char* stored;  // UTF-8, as the other program wrote it
    std::string read;    // NAME, 20 bytes of Windows-1252
  };
  const Case cases[] = {
      {"Abernethy", Fit("Abernethy", 20)},
      {"Abcdefgh\xC3\xA9t\xC3\xA9", Fit("Abcdefgh\xE9t\xE9", 20)},
      {"\xC3\x89p\xC3\xA9" "e 12345678", Fit("\xC9p\xE9" "e 12345678", 20)},
      {"Ohm \xCE\xA9 and \xE2\x82\xAC", Fit("Ohm ? and \x80", 20)},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "ABCDEFGHIJKLMNOPQRST"},
      {"ABCDEFGHIJKLMNOPQRS\xC3\xA9xyz", "ABCDEFGHIJKLMNOPQRS\xE9"},
  };
  sqlite3* db = Raw();
  for (const Case& c : cases) {
    sqlite3_stmt* s = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(db, "UPDATE UNNAMED SET NAME = ? WHERE ID = 15", -1, &s, nullptr),
              SQLITE_OK);
    sqlite3_bind_text(s, 1, c.stored, -1, SQLITE_STATIC);
    ASSERT_EQ(sqlite3_step(s), SQLITE_DONE);
    sqlite3_finalize(s);
    ASSERT_EQ(f.Open(kOpenShared), kNoError);
    ASSERT_EQ(f.SetKeyStart(kRecordOrder), kNoError);
    std::string read;
    while (f.Next() == kNoError) {
      if (f.Field("ID").GetNumber() == 15) read = std::string(f.Field("NAME").Bytes());
    }
    EXPECT_EQ(read, c.read) << c.stored;
    ASSERT_EQ(f.Close(), kNoError);
  }
  sqlite3_close(db);
}

}  // namespace
}  // namespace mirabo::native
