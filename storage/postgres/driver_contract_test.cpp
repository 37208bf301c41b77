// The contract every table driver keeps, run against the native driver
// (SQLite files) and the server driver (PostgreSQL) from one table of
// cases: key order, positioning, positions, reading past the ends, direct
// reads, duplicates, transactions and other programs' writes and locks.
// What only one of them has (file names, journals, the server's pages) is
// tested beside that driver.
#include <sqlite3.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/file.h"
#include "runtime/text.h"
#include "storage/native/native_driver.h"
#include "storage/postgres/pg_driver.h"
#include "tests/testing/people_table.h"
#include "tests/testing/temp_dir.h"
#include "tests/testing/test_server.h"

namespace mirabo {
namespace {

using B = FileDeclBuilder;
using testing::Fill;
using testing::kPeople;
using testing::Latin1;
using testing::Name;
using testing::PeopleDecl;
using testing::Person;
using testing::ReadAll;
using enum testing::PeopleKey;

// Where a driver keeps PEOPLE, and another program that reads, writes and
// locks it behind the driver's back.
class Store {
 public:
  virtual ~Store() = default;
  // Registers the driver under "KARVINEX" on empty storage; a reason to skip
  // the case, or empty.
  virtual std::string SetUp() = 0;
  // Another program deletes the person with `id`.
  virtual void DeleteById(int id) = 0;
  // Another program empties the table and fills it with zed (90) and yak (91).
  virtual void RefillWithOthers() = 0;
  // Another program takes the table for itself until the holder goes.
  virtual std::shared_ptr<void> HoldTable() = 0;
  // NAME and CITY of the person with `id`, as other programs read them.
  virtual std::vector<std::string> NameAndCity(int id) = 0;
  virtual int Prepared(File& f) = 0;
};

class NativeStore final : public Store {
 public:
  std::string SetUp() override {
    native::RegisterNativeDriver();
    chdir_ = std::make_unique<testing::ScopedChdir>(dir_.path());
    return {};
  }
  void DeleteById(int id) override { Exec("DELETE FROM UNNAMED WHERE ID = " + std::to_string(id)); }
  void RefillWithOthers() override {
    Exec(
        "DELETE FROM UNNAMED;"
        "INSERT INTO UNNAMED (NAME, AGE, SCORE, CITY, ID, \"KEY$NAME$NC\", \"KEY$CITY\")"
        "  VALUES ('zed', 1, 0, 'x', 90, 'ZED', 'x'), ('yak', 1, 0, 'x', 91, 'YAK', 'x');");
  }
  std::shared_ptr<void> HoldTable() override {
    sqlite3* db = Raw();
    EXPECT_EQ(sqlite3_exec(db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    return std::shared_ptr<void>(db, [](void* d) { sqlite3_close(static_cast<sqlite3*>(d)); });
  }
  std::vector<std::string> NameAndCity(int id) override {
    sqlite3* db = Raw();
    sqlite3_stmt* s = nullptr;
    std::vector<std::string> out;
    const std::string sql = "SELECT NAME, CITY FROM UNNAMED WHERE ID = " + std::to_string(id);
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &s, nullptr) == SQLITE_OK &&
        sqlite3_step(s) == SQLITE_ROW) {
      for (int i = 0; i < 2; ++i)
        out.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, i)));
    }
    sqlite3_finalize(s);
    sqlite3_close(db);
    return out;
  }
  int Prepared(File& f) override { return native::PreparedStatements(f); }

 private:
  sqlite3* Raw() {
    sqlite3* db = nullptr;
    sqlite3_open(dir_.File("PEOPLE.KVX").c_str(), &db);
    sqlite3_busy_timeout(db, 0);
    return db;
  }
  void Exec(const std::string& sql) {
    sqlite3* db = Raw();
    EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK)
        << sqlite3_errmsg(db);
    sqlite3_close(db);
  }
  testing::TempDir dir_;
  std::unique_ptr<testing::ScopedChdir> chdir_;
};

class ServerStore final : public Store {
 public:
  ~ServerStore() override {
    if (previous_) RegisterDriver(previous_);
  }
  std::string SetUp() override {
    native::RegisterNativeDriver();
    const testing::TestDatabase db = testing::NewTestDatabase();
    if (!db.skip.empty()) return db.skip;
    EXPECT_EQ(db.error, "");
    uri_ = db.uri;
    previous_ = RegisteredDriver("KARVINEX");
    RegisterDriver(postgres::ServerDriver("KARVINEX", uri_));
    return {};
  }
  void DeleteById(int id) override {
    Exec("DELETE FROM mirabo.people WHERE id = " + std::to_string(id));
  }
  void RefillWithOthers() override {
    Exec(
        "DELETE FROM mirabo.people;"
        "INSERT INTO mirabo.people (recno, name, age, score, city, id, \"key$name$nc\", "
        "\"key$city\") VALUES (1, 'zed', 1, 0, 'x', 90, 'ZED', 'x'), (2, 'yak', 1, 0, 'x', 91, "
        "'YAK', 'x');");
  }
  std::shared_ptr<void> HoldTable() override {
    auto h = std::make_shared<testing::HoldingSession>(
        uri_, "BEGIN; LOCK TABLE mirabo.people IN ACCESS EXCLUSIVE MODE");
    EXPECT_TRUE(h->holding()) << h->error();
    return h;
  }
  std::vector<std::string> NameAndCity(int id) override {
    std::vector<std::vector<std::string>> rows;
    EXPECT_TRUE(testing::RunSql(
        uri_, "SELECT name, city FROM mirabo.people WHERE id = " + std::to_string(id), &rows));
    return rows.empty() ? std::vector<std::string>{} : rows[0];
  }
  int Prepared(File& f) override { return postgres::PreparedStatements(f); }

 private:
  void Exec(const std::string& sql) {
    std::string error;
    EXPECT_TRUE(testing::RunSql(uri_, sql, nullptr, &error)) << error;
  }
  std::string uri_;
  std::shared_ptr<const FileDriver> previous_;
};

enum class Driver { kNative, kServer };
void PrintTo(Driver d, std::ostream* os) { *os << (d == Driver::kNative ? "native" : "server"); }

class DriverContractTest : public ::testing::TestWithParam<Driver> {
 protected:
  void SetUp() override {
    if (GetParam() == Driver::kNative) {
      store_ = std::make_unique<NativeStore>();
    } else {
      store_ = std::make_unique<ServerStore>();
    }
    const std::string skip = store_->SetUp();
    if (!skip.empty()) GTEST_SKIP() << skip;
  }
  void TearDown() override {
    // Files go before the driver they were attached by.
    files_.clear();
    store_.reset();
  }

  File& NewFile(const FileDecl& decl) {
    files_.push_back(std::make_unique<File>(decl));
    return *files_.back();
  }

  // Creates the file with the standard people and leaves `f` open read-only.
  void Build(File& f, const std::vector<Person>& people = kPeople) {
    ASSERT_EQ(f.Create(), kNoError);
    ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
    ASSERT_EQ(f.BeginTransaction(), kNoError);
    Fill(f, people);
    ASSERT_EQ(f.Commit(), kNoError);
    ASSERT_EQ(f.Close(), kNoError);
    ASSERT_EQ(f.Open(kOpenShared), kNoError);
  }

  std::unique_ptr<Store> store_;
  FileDecl decl_ = PeopleDecl();
  std::vector<std::unique_ptr<File>> files_;
};

TEST_P(DriverContractTest, RegistersUnderItsNameAndRefusesWhatItMust) {
  const FileDriver* d = FindDriver("KARVINEX");
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->Register(), "KARVINEX");

  File& f = NewFile(decl_);
  EXPECT_EQ(f.Open(kOpenShared), kFileNotFound);
  FileDecl no_create = B("NC", "NC", "KARVINEX").Short("A").Build();
  EXPECT_EQ(File(no_create).Create(), kNoCreateAttribute);
  Build(f);
  EXPECT_EQ(f.Open(kOpenShared), kFileAlreadyOpen);
  EXPECT_EQ(f.Add(), kAccessDenied) << "a file opened for reading refuses writes";
}

TEST_P(DriverContractTest, KeyOrderFollowsTheRuntimesRules) {
  File& f = NewFile(decl_);
  Build(f);
  // NOCASE: "ALPHA" and "alpha" together, in record order; Windows-1252 É
  // (0xC9) after every ASCII letter.
  ASSERT_EQ(f.SetKeyStart(kByName), kNoError);
  EXPECT_EQ(ReadAll(f, true),
            (std::vector<std::string>{"ALPHA", "alpha", "beta", "delta", "Gamma", Latin1("Épée")}));
  // Case-sensitive key: upper case before lower case, equal keys by record number.
  ASSERT_EQ(f.SetKeyStart(kByCity), kNoError);
  std::vector<std::string> cities;
  while (f.Next() == kNoError) cities.emplace_back(Clip(f.Field("CITY").Bytes()));
  EXPECT_EQ(cities,
            (std::vector<std::string>{"Arendal", "Bergen", "Bergen", "Oslo", "Oslo", "oslo"}));
  // Backwards from the end of a numeric key: equal keys in reverse record order.
  ASSERT_EQ(f.SetKeyStart(kByAge), kNoError);
  EXPECT_EQ(ReadAll(f, false),
            (std::vector<std::string>{Latin1("Épée"), "Gamma", "beta", "delta", "alpha", "ALPHA"}));
  // Record order.
  ASSERT_EQ(f.SetKeyStart(kRecordOrder), kNoError);
  EXPECT_EQ(ReadAll(f, true).front(), "beta");
}

TEST_P(DriverContractTest, ReadingPastEitherEndLeavesTheBufferUnchanged) {
  File& f = NewFile(decl_);
  Build(f);
  ASSERT_EQ(f.SetKeyStart(kByName), kNoError);
  while (f.Next() == kNoError) {
  }
  EXPECT_EQ(CurrentError().code, kRecordNotAvailable);
  EXPECT_EQ(Name(f), Latin1("Épée"));
  EXPECT_EQ(f.Next(), kRecordNotAvailable) << "stays at the end";
  EXPECT_EQ(f.Previous(), kNoError) << "turning round reads the record before the last";
  EXPECT_EQ(Name(f), "Gamma");

  ASSERT_EQ(f.SetKeyStart(kByName), kNoError);
  EXPECT_EQ(f.Previous(), kNoError) << "previous from the start reads the last record";
  EXPECT_EQ(Name(f), Latin1("Épée"));

  const FileDecl empty_decl = PeopleDecl("EMPTY");
  File& empty_file = NewFile(empty_decl);
  ASSERT_EQ(empty_file.Create(), kNoError);
  ASSERT_EQ(empty_file.Open(kOpenShared), kNoError);
  empty_file.Field("NAME").SetString("untouched");
  ASSERT_EQ(empty_file.SetKeyStart(kByName), kNoError);
  EXPECT_EQ(empty_file.Next(), kRecordNotAvailable);
  EXPECT_EQ(empty_file.Previous(), kRecordNotAvailable);
  EXPECT_EQ(Name(empty_file), "untouched");
}

TEST_P(DriverContractTest, PositioningOnAKeyValue) {
  File& f = NewFile(decl_);
  Build(f);
  struct Case {
    const char* value;
    bool forward;
    const char* expect;  // nullptr: end of file
  };
  const Case cases[] = {
      {"b", true, "beta"},        // between alpha and beta: the next higher
      {"b", false, "alpha"},      // ... and the next lower
      {"ALPHA", true, "ALPHA"},   // equal: the first equal, case ignored
      {"Alpha", false, "alpha"},  // equal going back: the last equal
      {"zzz", true,
       "\xC9p\xE9"
       "e"},                    // É sorts after every ASCII letter
      {"\xDE", true, nullptr},  // Þ, the highest upper-case letter
      {"\xDE", false,
       "\xC9p\xE9"
       "e"},
      {"", true, "ALPHA"},
      {"", false, nullptr},
  };
  for (const Case& c : cases) {
    f.Field("NAME").SetString(c.value);
    ASSERT_EQ(f.SetKeyValue(kByName), kNoError);
    const int rc = c.forward ? f.Next() : f.Previous();
    if (c.expect) {
      EXPECT_EQ(rc, kNoError) << c.value;
      EXPECT_EQ(Name(f), c.expect) << c.value << (c.forward ? " next" : " previous");
    } else {
      EXPECT_EQ(rc, kRecordNotAvailable) << c.value;
    }
  }
  // Trailing blanks are not part of a key.
  f.Field("NAME").SetString("delta   ");
  ASSERT_EQ(f.SetKeyValue(kByName), kNoError);
  ASSERT_EQ(f.Next(), kNoError);
  EXPECT_EQ(Name(f), "delta");
}

TEST_P(DriverContractTest, PositionsCarryKeyValueAndRecordNumber) {
  File& f = NewFile(decl_);
  Build(f);
  ASSERT_EQ(f.SetKeyStart(kByAge), kNoError);
  ASSERT_EQ(f.Next(), kNoError);  // ALPHA 20 (record 2)
  ASSERT_EQ(f.Next(), kNoError);  // alpha 20 (record 3)
  std::string pos;
  ASSERT_EQ(f.Position(kByAge, &pos), kNoError);
  EXPECT_EQ(pos.size(), 2u + 4u) << "key size + 4 bytes";
  std::string file_pos;
  ASSERT_EQ(f.Position(kRecordOrder, &file_pos), kNoError);
  EXPECT_EQ(file_pos, std::string("\x03\x00\x00\x00", 4)) << "the record number, little-endian";

  ASSERT_EQ(f.Next(), kNoError);
  ASSERT_EQ(f.Next(), kNoError);
  // Back to the stored position: reading on gives the record itself, in both
  // directions, although three records share its key.
  ASSERT_EQ(f.ResetToPosition(kByAge, pos), kNoError);
  ASSERT_EQ(f.Next(), kNoError);
  EXPECT_EQ(Name(f), "alpha");
  ASSERT_EQ(f.Next(), kNoError);
  EXPECT_EQ(Name(f), "delta");
  ASSERT_EQ(f.ResetToPosition(kByAge, pos), kNoError);
  ASSERT_EQ(f.Previous(), kNoError);
  EXPECT_EQ(Name(f), "alpha");
  ASSERT_EQ(f.Previous(), kNoError);
  EXPECT_EQ(Name(f), "ALPHA");
  // Past a position: its neighbours.
  ASSERT_EQ(f.ResetPastPosition(kByAge, pos), kNoError);
  ASSERT_EQ(f.Next(), kNoError);
  EXPECT_EQ(Name(f), "delta");
  ASSERT_EQ(f.ResetPastPosition(kByAge, pos), kNoError);
  ASSERT_EQ(f.Previous(), kNoError);
  EXPECT_EQ(Name(f), "ALPHA");

  ASSERT_EQ(f.ResetToPosition(kRecordOrder, file_pos), kNoError);
  ASSERT_EQ(f.Next(), kNoError);
  EXPECT_EQ(Name(f), "alpha");

  EXPECT_EQ(f.ResetToPosition(kByAge, "short"), kRecordNotFound);
}

TEST_P(DriverContractTest, APositionWhoseRecordWasDeletedYieldsTheNextRecord) {
  File& f = NewFile(decl_);
  Build(f);
  ASSERT_EQ(f.SetKeyStart(kByName), kNoError);
  ASSERT_EQ(f.Next(), kNoError);
  ASSERT_EQ(f.Next(), kNoError);  // alpha
  std::string pos;
  ASSERT_EQ(f.Position(kByName, &pos), kNoError);
  f.ReleaseLocks();  // as the program does while it waits for its user
  store_->DeleteById(12);

  ASSERT_EQ(f.ResetToPosition(kByName, pos), kNoError);
  ASSERT_EQ(f.Next(), kNoError);
  EXPECT_EQ(Name(f), "beta");
  EXPECT_EQ(f.GetByPosition(kByName, pos), kRecordNotFound);
}

TEST_P(DriverContractTest, APositionDoesNotReadARecordThatReusedItsNumber) {
  File& f = NewFile(decl_);
  Build(f);
  ASSERT_EQ(f.SetKeyStart(kByName), kNoError);
  ASSERT_EQ(f.Next(), kNoError);  // ALPHA, record 2
  std::string pos;
  ASSERT_EQ(f.Position(kByName, &pos), kNoError);
  f.ReleaseLocks();
  // Another program empties the table and fills it again: record 2 is now
  // somebody else.
  store_->RefillWithOthers();
  f.Field("NAME").SetString("kept");
  EXPECT_EQ(f.GetByPosition(kByName, pos), kRecordNotFound);
  EXPECT_EQ(Name(f), "kept") << "the buffer is left alone";
  std::string file_pos;
  ASSERT_EQ(f.Position(kRecordOrder, &file_pos), kNoError) << "the current record is kept too";
  EXPECT_EQ(f.GetByPosition(kRecordOrder, file_pos), kNoError) << "by record number alone it reads";
}

TEST_P(DriverContractTest, ReleasingLocksLetsOthersWriteAndReadingContinues) {
  File& f = NewFile(decl_);
  Build(f);
  ASSERT_EQ(f.SetKeyStart(kByName), kNoError);
  ASSERT_EQ(f.Next(), kNoError);  // ALPHA
  f.ReleaseLocks();
  store_->DeleteById(12);  // a released file does not block a writer
  ASSERT_EQ(f.Next(), kNoError);
  EXPECT_EQ(Name(f), "beta") << "alpha was deleted meanwhile";
}

TEST_P(DriverContractTest, SequentialReadsStepOnePreparedStatement) {
  std::vector<Person> many;
  for (int i = 0; i < 300; ++i) many.push_back({"n", i % 7, 0, "c", 1000 + i});
  File& f = NewFile(decl_);
  Build(f, many);
  ASSERT_EQ(f.SetKeyStart(kByAge), kNoError);
  ASSERT_EQ(f.Next(), kNoError);
  const int after_first = store_->Prepared(f);
  for (int i = 0; i < 250; ++i) ASSERT_EQ(f.Next(), kNoError);
  // The server reads on with a few page sizes, each prepared once.
  EXPECT_LE(store_->Prepared(f), after_first + 3);
  const int after_reading = store_->Prepared(f);
  std::string pos;
  ASSERT_EQ(f.Position(kByAge, &pos), kNoError);
  for (int round = 0; round < 20; ++round) {
    ASSERT_EQ(f.ResetToPosition(kByAge, pos), kNoError);
    for (int i = 0; i < 10; ++i) ASSERT_EQ(f.Previous(), kNoError);
    ASSERT_EQ(f.ResetToPosition(kByAge, pos), kNoError);
    for (int i = 0; i < 10; ++i) (void)f.Next();
  }
  EXPECT_LE(store_->Prepared(f), after_reading + 6) << "re-positioning reuses its statements";
}

TEST_P(DriverContractTest, DirectReadsByKeyAndPosition) {
  File& f = NewFile(decl_);
  Build(f);
  f.Field("ID").SetNumber(13);
  ASSERT_EQ(f.GetByKey(kById), kNoError);
  EXPECT_EQ(Name(f), "Gamma");
  std::string pos;
  ASSERT_EQ(f.Position(kById, &pos), kNoError);
  f.Field("ID").SetNumber(99);
  EXPECT_EQ(f.GetByKey(kById), kRecordNotFound);
  EXPECT_EQ(Name(f), "Gamma") << "a failed read leaves the buffer";
  ASSERT_EQ(f.GetByPosition(kById, pos), kNoError);
  EXPECT_EQ(f.Field("ID").GetNumber(), 13);
  EXPECT_EQ(f.Field("SCORE").GetNumber(), 4.5);
  // Reading on after a direct read continues from that record.
  ASSERT_EQ(f.SetKeyStart(kByName), kNoError);
  ASSERT_EQ(f.Next(), kNoError);
  f.Field("NAME").SetString("gamma");
  ASSERT_EQ(f.GetByKey(kByName), kNoError);
  ASSERT_EQ(f.Next(), kNoError);
  EXPECT_EQ(Name(f), Latin1("Épée"));
}

TEST_P(DriverContractTest, AUniqueKeyRefusesADuplicate) {
  File& f = NewFile(decl_);
  ASSERT_EQ(f.Create(), kNoError);
  ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
  Fill(f, {kPeople[0]});
  f.Field("NAME").SetString("other");
  EXPECT_EQ(f.Add(), kCreatesDuplicateKey);
  EXPECT_EQ(ErrorText(CurrentError().code), "Creates Duplicate Key");
  int64_t n = 0;
  ASSERT_EQ(f.Records(&n), kNoError);
  EXPECT_EQ(n, 1);
}

TEST_P(DriverContractTest, TransactionsAreAllOrNothingAndKeepKeys) {
  File& f = NewFile(decl_);
  ASSERT_EQ(f.Create(), kNoError);
  ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
  ASSERT_EQ(f.BeginTransaction(), kNoError);
  Fill(f, kPeople);
  ASSERT_EQ(f.Rollback(), kNoError);
  int64_t n = -1;
  ASSERT_EQ(f.Records(&n), kNoError);
  EXPECT_EQ(n, 0);

  // Filling an empty table builds its keys at the commit; the order is the same.
  ASSERT_EQ(f.BeginTransaction(), kNoError);
  Fill(f, kPeople);
  f.Field("ID").SetNumber(10);
  EXPECT_EQ(f.Add(), kCreatesDuplicateKey) << "unique keys still refuse during the fill";
  ASSERT_EQ(f.Commit(), kNoError);
  ASSERT_EQ(f.SetKeyStart(kByName), kNoError);
  EXPECT_EQ(ReadAll(f, true).size(), kPeople.size());
  ASSERT_EQ(f.Close(), kNoError);
  ASSERT_EQ(f.Open(kOpenShared), kNoError) << "every key index is present again";

  // Emptied and filled anew in one transaction: readers see the old records
  // until the commit, and the new ones after it.
  const FileDecl reader_decl = PeopleDecl();
  File& reader = NewFile(reader_decl);
  ASSERT_EQ(f.Close(), kNoError);
  ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
  ASSERT_EQ(f.BeginTransaction(), kNoError);
  ASSERT_EQ(f.Empty(), kNoError);
  Fill(f, {kPeople[3], kPeople[4]});
  uint64_t before = 0, after = 0;
  if (GetParam() == Driver::kServer) {
    // (SQLite files admit no reader beside a writer's transaction.)
    ASSERT_EQ(reader.Open(kOpenShared), kNoError);
    ASSERT_EQ(reader.DataVersion(&before), kNoError);
    ASSERT_EQ(reader.Records(&n), kNoError);
    EXPECT_EQ(n, static_cast<int64_t>(kPeople.size())) << "the old table until the commit";
  }
  ASSERT_EQ(f.Commit(), kNoError);
  if (GetParam() == Driver::kServer) {
    ASSERT_EQ(reader.Records(&n), kNoError);
    EXPECT_EQ(n, 2);
    ASSERT_EQ(reader.DataVersion(&after), kNoError);
    EXPECT_NE(after, before) << "the commit changed the version readers watch";
  }
  ASSERT_EQ(f.SetKeyStart(kByName), kNoError);
  EXPECT_EQ(ReadAll(f, true), (std::vector<std::string>{"delta", "Gamma"}));
}

TEST_P(DriverContractTest, ARecordHeldByAnotherProcessWaitsThenFails) {
  File& f = NewFile(decl_);
  Build(f);
  const std::shared_ptr<void> other = store_->HoldTable();
  f.SetHoldWait(1);
  ASSERT_EQ(f.SetKeyStart(kByName), kNoError);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(f.Next(), kRecordIsAlreadyHeld);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
}

TEST_P(DriverContractTest, TheTableIsPlainDataOtherToolsRead) {
  File& f = NewFile(decl_);
  Build(f);
  // Text is stored as UTF-8 without the trailing blanks.
  EXPECT_EQ(store_->NameAndCity(15), (std::vector<std::string>{"Épée", "Bergen"}));
}

// The server's own: every read the driver makes of a table is a search of
// one of its indexes, in the index's order (no sort, no scan of the table),
// as the server plans it once the statement is planned generically.
// (native_driver_test.cpp checks SQLite's plans.)
class ServerDriverTest : public DriverContractTest {};

TEST_P(ServerDriverTest, EveryReadSearchesAnIndexInItsOrder) {
  std::vector<Person> many;
  for (int i = 0; i < 3000; ++i)
    many.push_back({i % 2 ? "n" : "m", i % 50, 0, i % 3 ? "c" : "d", i});
  File& f = NewFile(decl_);
  Build(f, many);
  for (int key : {kRecordOrder, int{kByName}, int{kByCity}, int{kByAge}, int{kById}}) {
    for (bool forward : {true, false}) {
      ASSERT_EQ(f.SetKeyStart(key), kNoError);
      for (int i = 0; i < 200; ++i) ASSERT_EQ(forward ? f.Next() : f.Previous(), kNoError);
      std::string pos;
      ASSERT_EQ(f.Position(key, &pos), kNoError);
      ASSERT_EQ(f.ResetToPosition(key, pos), kNoError);
      ASSERT_EQ(forward ? f.Next() : f.Previous(), kNoError);
      ASSERT_EQ(f.ResetPastPosition(key, pos), kNoError);
      ASSERT_EQ(forward ? f.Next() : f.Previous(), kNoError);
      ASSERT_EQ(f.GetByPosition(key, pos), kNoError);
      if (key != kRecordOrder) {
        ASSERT_EQ(f.SetKeyValue(key), kNoError);
        ASSERT_EQ(forward ? f.Next() : f.Previous(), kNoError);
        ASSERT_EQ(f.GetByKey(key), kNoError);
      }
    }
  }
  const auto plans = postgres::ExplainQueries(f);
  int reads = 0;
  for (const auto& [sql, plan] : plans) {
    if (sql.rfind("SELECT recno", 0) != 0) continue;  // catalogs, counts, versions
    ++reads;
    EXPECT_NE(plan.find("Index Scan"), std::string::npos) << sql << "\n" << plan;
    EXPECT_EQ(plan.find("Sort"), std::string::npos) << sql << "\n" << plan;
    EXPECT_EQ(plan.find("Seq Scan on people"), std::string::npos) << sql << "\n" << plan;
  }
  EXPECT_GE(reads, 30);
}

INSTANTIATE_TEST_SUITE_P(Drivers, DriverContractTest,
                         ::testing::Values(Driver::kNative, Driver::kServer),
                         [](const ::testing::TestParamInfo<Driver>& p) {
                           return p.param == Driver::kNative ? "Native" : "Server";
                         });
INSTANTIATE_TEST_SUITE_P(Driver, ServerDriverTest, ::testing::Values(Driver::kServer),
                         [](const ::testing::TestParamInfo<Driver>&) { return "Server"; });

}  // namespace
}  // namespace mirabo
