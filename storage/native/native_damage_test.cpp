// Damaged, foreign and mismatched data files: each is refused with its code,
// nothing crashes, and a damaged key can be rebuilt without losing records.
#include <sqlite3.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/file.h"
#include "runtime/text.h"
#include "storage/native/native_driver.h"
#include "tests/testing/temp_dir.h"

namespace mirabo::native {
namespace {

using B = FileDeclBuilder;

class NativeDamageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    RegisterNativeDriver();
    chdir_ = std::make_unique<testing::ScopedChdir>(dir_.path());
  }

  // Creates BOOKS.KVX with `rows` records titled "Title <n>" in reverse order.
  void Build(int rows) {
    File f(decl_);
    ASSERT_EQ(f.Create(), kNoError);
    ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
    ASSERT_EQ(f.BeginTransaction(), kNoError);
    for (int i = rows; i > 0; --i) {
      f.Field("TITLE").SetString("Title " + std::to_string(i) + std::string(200, 'x'));
      f.Field("NUM").SetNumber(i);
      ASSERT_EQ(f.Add(), kNoError);
    }
    ASSERT_EQ(f.Commit(), kNoError);
  }

  void Sql(const std::string& sql) {
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path_.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr), SQLITE_OK) << sql;
    sqlite3_close(db);
  }

  // Opens and reads every record in title order; returns the first failure.
  int OpenAndReadAll(File& f, int* count) {
    *count = 0;
    int rc = f.Open(kOpenShared);
    if (rc != kNoError) return rc;
    rc = f.SetKeyStart(0);
    while (rc == kNoError && (rc = f.Next()) == kNoError) ++*count;
    return rc == kRecordNotAvailable ? kNoError : rc;
  }

  testing::TempDir dir_;
  std::unique_ptr<testing::ScopedChdir> chdir_;
  std::string path_ = dir_.File("BOOKS.KVX");
  FileDecl decl_ = B("BOOKS", "BK", "KARVINEX")
                       .Create()
                       .String("TITLE", 250)
                       .Short("NUM")
                       .Key("BYTITLE", {"TITLE"}, B::kDup | B::kNoCase)
                       .Key("BYNUM", {"NUM"}, B::kUnique)
                       .Build();
};

TEST_F(NativeDamageTest, AFileThatIsNotADatabaseIsAnInvalidDataFile) {
  testing::WriteFile(path_, std::string("Not a database at all\n") + std::string(5000, 'z'));
  File f(decl_);
  EXPECT_EQ(f.Open(kOpenShared), kInvalidDataFile);
  EXPECT_EQ(ErrorText(CurrentError().code), "Invalid Data File");
  EXPECT_FALSE(f.is_open());
  EXPECT_EQ(testing::ReadFile(path_).substr(0, 21), "Not a database at all") << "left untouched";
}

TEST_F(NativeDamageTest, ATruncatedFileIsReportedNotFollowed) {
  Build(400);
  const auto full = std::filesystem::file_size(path_);
  for (auto keep : {full / 2, full / 4, decltype(full){4096}, decltype(full){100}}) {
    std::filesystem::remove(path_);
    Build(400);
    std::filesystem::resize_file(path_, keep);
    File f(decl_);
    int count = 0;
    const int rc = OpenAndReadAll(f, &count);
    EXPECT_TRUE(rc == kInvalidDataFile || rc == kKeyFileMustBeRebuilt ||
                rc == kInvalidRecordDeclaration)
        << "kept " << keep << " bytes: " << rc << " after " << count << " records";
  }
}

TEST_F(NativeDamageTest, ColumnsThatDifferFromTheDeclarationAreRefused) {
  Build(3);
  const FileDecl wider = B("BOOKS", "BK", "KARVINEX")
                             .Create()
                             .String("TITLE", 250)
                             .Short("NUM")
                             .String("EXTRA", 4)
                             .Key("BYTITLE", {"TITLE"}, B::kDup | B::kNoCase)
                             .Key("BYNUM", {"NUM"}, B::kUnique)
                             .Build();
  const FileDecl retyped = B("BOOKS", "BK", "KARVINEX")
                               .Create()
                               .String("TITLE", 250)
                               .Real("NUM")
                               .Key("BYTITLE", {"TITLE"}, B::kDup | B::kNoCase)
                               .Key("BYNUM", {"NUM"}, B::kUnique)
                               .Build();
  EXPECT_EQ(File(wider).Open(kOpenShared), kInvalidRecordDeclaration);
  EXPECT_EQ(File(retyped).Open(kOpenShared), kInvalidRecordDeclaration);
  // An empty database (a zero-length file) has no such table either.
  std::filesystem::resize_file(path_, 0);
  EXPECT_EQ(File(decl_).Open(kOpenShared), kInvalidRecordDeclaration);
}

TEST_F(NativeDamageTest, AMissingKeyIndexIsRebuilt) {
  Build(50);
  Sql("DROP INDEX \"UNNAMED$BYTITLE\"");
  File f(decl_);
  EXPECT_EQ(f.Open(kOpenShared), kKeyFileMustBeRebuilt);
  EXPECT_EQ(ErrorText(CurrentError().code), "Key File Must Be Rebuilt");
  ASSERT_EQ(f.BuildKeys(), kNoError);
  int count = 0;
  ASSERT_EQ(OpenAndReadAll(f, &count), kNoError);
  EXPECT_EQ(count, 50);
}

TEST_F(NativeDamageTest, AKeyIndexOfTheWrongShapeOrAMissingKeyColumnIsRebuilt) {
  Build(20);
  Sql("DROP INDEX \"UNNAMED$BYNUM\"; CREATE INDEX \"UNNAMED$BYNUM\" ON UNNAMED (TITLE)");
  File f(decl_);
  EXPECT_EQ(f.Open(kOpenShared), kKeyFileMustBeRebuilt);
  ASSERT_EQ(f.BuildKeys(), kNoError);
  int count = 0;
  EXPECT_EQ(OpenAndReadAll(f, &count), kNoError);
  (void)f.Close();

  Sql("DROP INDEX \"UNNAMED$BYTITLE\"; ALTER TABLE UNNAMED DROP COLUMN \"KEY$TITLE$NC\"");
  EXPECT_EQ(f.Open(kOpenShared), kKeyFileMustBeRebuilt);
  ASSERT_EQ(f.BuildKeys(), kNoError);
  ASSERT_EQ(OpenAndReadAll(f, &count), kNoError);
  EXPECT_EQ(count, 20);
}

TEST_F(NativeDamageTest, AFullBuildCheckFindsKeysThatNoLongerMatchTheirRecords) {
  Build(30);
  // Another tool changed the titles without their key column: the order is
  // wrong although every index is present.
  Sql("UPDATE UNNAMED SET TITLE = 'changed ' || NUM");
  File f(decl_);
  ASSERT_EQ(f.Open(kOpenShared), kNoError) << "a plain open only checks the shape";
  (void)f.Close();
  ASSERT_EQ(f.Option("FULLBUILD=ON"), kNoError);
  EXPECT_EQ(f.Open(kOpenShared), kKeyFileMustBeRebuilt);
  ASSERT_EQ(f.BuildKeys(), kNoError);
  ASSERT_EQ(f.Open(kOpenShared), kNoError);
  ASSERT_EQ(f.SetKeyStart(0), kNoError);
  ASSERT_EQ(f.Next(), kNoError);
  EXPECT_EQ(Clip(f.Field("TITLE").Bytes()), "changed 1");
}

TEST_F(NativeDamageTest, ARebuildThatCannotKeepAUniqueKeyFailsAndChangesNothing) {
  Build(10);
  Sql("DROP INDEX \"UNNAMED$BYNUM\"; UPDATE UNNAMED SET NUM = 1 WHERE NUM = 2");
  File f(decl_);
  EXPECT_EQ(f.Open(kOpenShared), kKeyFileMustBeRebuilt);
  EXPECT_EQ(f.BuildKeys(), kCreatesDuplicateKey);
  EXPECT_EQ(f.Open(kOpenShared), kKeyFileMustBeRebuilt) << "the file is as it was";
}

TEST_F(NativeDamageTest, BuildingKeysOfAMissingFileReportsIt) {
  File f(decl_);
  EXPECT_EQ(f.BuildKeys(), kFileNotFound);
}

}  // namespace
}  // namespace mirabo::native
