#include "storage/xbase/dbf_table.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/faulty_file_system.h"
#include "runtime/text.h"
#include "storage/xbase/dbf_error.h"
#include "storage/xbase/dbf_test_util.h"
#include "tests/testing/temp_dir.h"

namespace mirabo::xbase {
namespace {

using testing::Bytes;
using testing::Le32;

constexpr DbfAccess kBuffered{};
constexpr DbfAccess kWriteThrough{false, false, true, false};
constexpr DbfAccess kShared{false, true, true, true};

class DbfTableTest : public ::testing::Test {
 protected:
  // Creates "t.dbf" and opens it.
  std::unique_ptr<DbfTable> Make(std::vector<NewField> fields, DbfAccess access = kBuffered,
                                 const std::string& path = "t.dbf") {
    EXPECT_EQ(DbfTable::Create(path, &fields), kDbfOk);
    std::unique_ptr<DbfTable> t;
    EXPECT_EQ(DbfTable::Open(path, access, &t), kDbfOk);
    return t;
  }
  // Appends one record whose first field holds `text`.
  int AppendText(DbfTable& t, const std::string& text) {
    t.BlankRecord();
    EXPECT_EQ(t.PutText(0, text), kDbfOk);
    return t.Append();
  }
  std::string Text(DbfTable& t, int64_t n, int field = 0) {
    if (IsDbfError(t.Read(n))) return "<unreadable>";
    std::string s;
    (void)t.GetText(field, &s);
    return s;
  }
  std::string File(const std::string& path = "t.dbf") { return Bytes(fs_, path); }
  uint32_t CountOnDisk(const std::string& path = "t.dbf") { return Le32(File(path), 4); }

  MemoryFileSystem fs_;
  FaultyFileSystem faulty_{fs_};
  ScopedFileSystemForTests use_{faulty_};
  testing::ScopedTestDate date_;
};

TEST_F(DbfTableTest, NumbersAreRightAlignedWithTheirDecimalsOrRefused) {
  auto t = Make({{"N3", 'N', 3, 0}, {"N92", 'N', 9, 2}, {"N52", 'N', 5, 2}});
  struct Case {
    int field;
    double value;
    const char* stored;  // nullptr: refused with bad data, field unchanged
  };
  const Case cases[] = {
      {0, 7, "  7"},
      {0, 999, "999"},
      {0, -99, "-99"},
      {0, 1234, nullptr},
      {0, -999, nullptr},
      {0, 12.6, " 13"},
      {0, -0.2, "  0"},
      {1, 3.14159, "     3.14"},
      {1, -2.5, "    -2.50"},
      {1, 999999.99, "999999.99"},
      {1, 1e6, nullptr},
      {2, 99.99, "99.99"},
      {2, 100, nullptr},
      {2, 1.0 / 0.0, nullptr},
      // Halves round away from zero, as the program's pictures do (a text
      // copy of the same record shows the same number).
      {0, 12.5, " 13"},
      {0, -12.5, "-13"},
      {2, 1.005, " 1.01"},
      {2, -0.004, " 0.00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    ASSERT_EQ(t->PutText(c.field, "old"), kDbfOk);
    std::string before;
    (void)t->GetText(c.field, &before);
    const int rc = t->PutNumber(c.field, c.value);
    std::string after;
    (void)t->GetText(c.field, &after);
    if (c.stored) {
      EXPECT_EQ(rc, kDbfOk);
      EXPECT_EQ(after, c.stored);
    } else {
      EXPECT_EQ(rc, kErrBadData);
      EXPECT_EQ(after, before);
    }
  }
  double v = 0;
  ASSERT_EQ(t->PutNumber(1, -12.5), kDbfOk);
  EXPECT_EQ(t->GetNumber(1, &v), kDbfOk);
  EXPECT_DOUBLE_EQ(v, -12.5);
  ASSERT_EQ(t->PutText(1, ""), kDbfOk);
  EXPECT_EQ(t->GetNumber(1, &v), kWarnBlankField);
  EXPECT_EQ(v, 0);
}

TEST_F(DbfTableTest, TextLogicalDateAndMemoFieldsFollowTheirRules) {
  auto t = Make({{"NAME", 'C', 5, 0},
                 {"OK", 'L', 1, 0},
                 {"WHEN", 'D', 8, 0},
                 {"TEXT", 'M', 10, 0},
                 {"WIDE", 'C', 20, 0}});
  std::string s;
  EXPECT_EQ(t->PutText(0, "abcdefg"), kWarnTruncated);
  EXPECT_EQ(t->GetText(0, &s), kDbfOk);
  EXPECT_EQ(s, "abcde");
  EXPECT_EQ(t->PutText(0, "ab"), kDbfOk);
  (void)t->GetText(0, &s);
  EXPECT_EQ(s, "ab   ");

  const std::pair<char, char> logicals[] = {{'T', 'T'}, {'t', 'T'}, {'Y', 'T'}, {'y', 'T'},
                                            {1, 'T'},   {'F', 'F'}, {'f', 'F'}, {'N', 'F'},
                                            {'n', 'F'}, {0, 'F'},   {' ', ' '}, {'?', ' '}};
  for (auto [put, stored] : logicals) {
    ASSERT_EQ(t->PutLogical(1, put), kDbfOk) << int(put);
    (void)t->GetText(1, &s);
    EXPECT_EQ(s, std::string(1, stored)) << int(put);
  }
  EXPECT_EQ(t->PutLogical(1, 'X'), kErrBadData);
  char l = 0;
  EXPECT_EQ(t->GetLogical(1, &l), kWarnBlankField);
  EXPECT_EQ(l, '?');
  ASSERT_EQ(t->PutText(1, "y"), kDbfOk);
  EXPECT_EQ(t->GetLogical(1, &l), kDbfOk);
  EXPECT_EQ(l, 'T');

  EXPECT_EQ(t->GetDate(2, &s), kWarnBlankField);
  EXPECT_EQ(s, "");
  ASSERT_EQ(t->PutText(2, "20260517"), kDbfOk);
  EXPECT_EQ(t->GetDate(2, &s), kDbfOk);
  EXPECT_EQ(s, "20260517");

  // Block numbers go right-aligned into a field of any width, or are refused
  // with the field unchanged when their digits do not fit.
  const struct {
    int field;
    uint32_t block;
    const char* stored;  // nullptr: refused
  } memos[] = {
      {3, 42, "        42"}, {3, 4294967295u, "4294967295"}, {0, 42, "   42"},
      {0, 123456, nullptr},  {4, 7, "                   7"},
  };
  for (const auto& m : memos) {
    SCOPED_TRACE(m.block);
    ASSERT_EQ(t->PutText(m.field, "old"), kDbfOk);
    std::string before;
    (void)t->GetText(m.field, &before);
    EXPECT_EQ(t->PutMemo(m.field, m.block), m.stored ? kDbfOk : kErrBadData);
    (void)t->GetText(m.field, &s);
    EXPECT_EQ(s, m.stored ? m.stored : before);
    uint32_t block = 0;
    if (m.stored) {
      EXPECT_EQ(t->GetMemo(m.field, &block), kDbfOk);
      EXPECT_EQ(block, m.block);
    }
  }
}

TEST_F(DbfTableTest, BufferedAppendsReachTheDiskOnlyAtTheFlushOfClose) {
  auto t = Make({{"TEXT", 'C', 36, 0}});
  ASSERT_EQ(t->block_capacity(), 55);
  const std::string empty = File();
  for (int i = 1; i <= 20; ++i) {
    int64_t n = 0;
    t->BlankRecord();
    ASSERT_EQ(t->PutText(0, "record " + std::to_string(i)), kDbfOk);
    ASSERT_EQ(t->Append(&n), kDbfOk);
    EXPECT_EQ(n, i);
  }
  EXPECT_EQ(t->RecordCount(), 20);
  EXPECT_EQ(File(), empty) << "nothing written yet";
  EXPECT_EQ(Text(*t, 7), Fit("record 7", 36)) << "read from the block";

  ASSERT_EQ(t->Close(), kDbfOk);
  const std::string b = File();
  ASSERT_EQ(b.size(), 65u + 20 * 37 + 1);
  EXPECT_EQ(Le32(b, 4), 20u);
  EXPECT_EQ(b.substr(65, 37), " " + Fit("record 1", 36));
  EXPECT_EQ(b.substr(65 + 19 * 37, 37), " " + Fit("record 20", 36));
  EXPECT_EQ(b.back(), 0x1A);
}

TEST_F(DbfTableTest, AFullBlockIsWrittenBeforeTheNextAppend) {
  auto t = Make({{"TEXT", 'C', 402, 0}});  // 403-byte records: 8 a block
  ASSERT_EQ(t->block_capacity(), 8);
  for (int i = 1; i <= 8; ++i) ASSERT_EQ(AppendText(*t, std::to_string(i)), kDbfOk);
  EXPECT_EQ(CountOnDisk(), 0u);
  ASSERT_EQ(AppendText(*t, "9"), kDbfOk);
  EXPECT_EQ(CountOnDisk(), 8u);
  EXPECT_EQ(File().size(), 65u + 8 * 403 + 1);
  ASSERT_EQ(t->Close(), kDbfOk);
  EXPECT_EQ(CountOnDisk(), 9u);
}

TEST_F(DbfTableTest, WriteThroughAppendsAndUpdatesReachTheDiskAtOnce) {
  auto t = Make({{"TEXT", 'C', 4, 0}}, kWriteThrough);
  ASSERT_EQ(AppendText(*t, "one"), kDbfOk);
  ASSERT_EQ(AppendText(*t, "two"), kDbfOk);
  EXPECT_EQ(File().substr(65), " one  two \x1A");
  EXPECT_EQ(CountOnDisk(), 2u);
  ASSERT_EQ(t->Read(1), kDbfOk);
  ASSERT_EQ(t->PutText(0, "ONE"), kDbfOk);
  ASSERT_EQ(t->Update(), kDbfOk);
  EXPECT_EQ(File().substr(65), " ONE  two \x1A");
}

TEST_F(DbfTableTest, UpdatesInBufferedModeReadTheirBlockAndWriteItAtFlush) {
  auto t = Make({{"TEXT", 'C', 4, 0}});
  for (const char* s : {"a", "b", "c"}) ASSERT_EQ(AppendText(*t, s), kDbfOk);
  ASSERT_EQ(t->Close(), kDbfOk);
  ASSERT_EQ(DbfTable::Open("t.dbf", kBuffered, &t), kDbfOk);
  ASSERT_EQ(t->Read(2), kDbfOk);
  ASSERT_EQ(t->PutText(0, "B"), kDbfOk);
  ASSERT_EQ(t->Update(), kDbfOk);
  EXPECT_EQ(File().substr(65, 15), " a    b    c   ");
  ASSERT_EQ(t->Flush(), kDbfOk);
  EXPECT_EQ(File().substr(65), " a    B    c   \x1A");
  EXPECT_EQ(t->Read(4), kErrSeek);
  EXPECT_EQ(t->Read(0), kErrSeek);
}

TEST_F(DbfTableTest, ACountBeyondTheFileReadsAsAFailureNotAsGarbage) {
  for (DbfAccess access : {kBuffered, kWriteThrough}) {
    auto t = Make({{"TEXT", 'C', 4, 0}}, access);
    for (const char* s : {"a", "b", "c"}) ASSERT_EQ(AppendText(*t, s), kDbfOk);
    ASSERT_EQ(t->Close(), kDbfOk);
    std::string b = File();
    b[4] = 5;                                             // five records promised
    fs_.SetContents("t.dbf", b.substr(0, b.size() - 4));  // the third cut short
    ASSERT_EQ(DbfTable::Open("t.dbf", access, &t), kDbfOk);
    EXPECT_EQ(t->RecordCount(), 5);
    EXPECT_EQ(Text(*t, 1), "a   ");
    EXPECT_EQ(Text(*t, 2), "b   ");
    EXPECT_EQ(t->Read(3), kErrRead);
    EXPECT_EQ(t->Read(5), kErrRead);
    EXPECT_EQ(Text(*t, 1), "a   ");
  }
}

TEST_F(DbfTableTest, DeleteAndRecallSetTheFlagAndPackDropsDeletedRecords) {
  auto t = Make({{"TEXT", 'C', 4, 0}});
  for (const char* s : {"r1", "r2", "r3", "r4", "r5"}) ASSERT_EQ(AppendText(*t, s), kDbfOk);
  ASSERT_EQ(t->Delete(2), kDbfOk);
  ASSERT_EQ(t->Delete(4), kDbfOk);
  ASSERT_EQ(t->Delete(4), kDbfOk) << "a second delete changes nothing";
  EXPECT_EQ(t->Read(2), kWarnDeletedRecord);
  EXPECT_TRUE(t->deleted());
  ASSERT_EQ(t->Delete(3), kDbfOk);
  ASSERT_EQ(t->Recall(3), kDbfOk);
  EXPECT_EQ(t->Read(3), kDbfOk);
  EXPECT_EQ(t->Delete(6), kErrSeek);
  ASSERT_EQ(t->Flush(), kDbfOk);
  const std::string before = File();
  EXPECT_EQ(before.substr(65), " r1  *r2   r3  *r4   r5  \x1A");

  ASSERT_EQ(t->Pack(), kDbfOk);
  ASSERT_TRUE(t->is_open());
  EXPECT_EQ(t->RecordCount(), 3);
  EXPECT_EQ(Text(*t, 1), "r1  ");
  EXPECT_EQ(Text(*t, 2), "r3  ");
  EXPECT_EQ(Text(*t, 3), "r5  ");
  EXPECT_EQ(File().substr(65), " r1   r3   r5  \x1A");
  EXPECT_EQ(CountOnDisk(), 3u);
  EXPECT_EQ(File("t.BAK"), before) << "the old contents stay in the backup";
  EXPECT_EQ(File("0.DBF"), "") << "the work file became the table";
  ASSERT_EQ(AppendText(*t, "r6"), kDbfOk) << "reopened with its former access";
  ASSERT_EQ(t->Close(), kDbfOk);
  EXPECT_EQ(CountOnDisk(), 4u);
}

TEST_F(DbfTableTest, PackTakesTheFirstFreeWorkNameAndReplacesAnOldBackup) {
  fs_.AddFolder("data");
  fs_.SetContents("data/0.DBF", "someone else's");
  fs_.SetContents("data/1.DBF", "and another");
  fs_.SetContents("data/export.BAK", "stale backup");
  auto t = Make({{"TEXT", 'C', 4, 0}}, kWriteThrough, "data/export.dbf");
  ASSERT_EQ(AppendText(*t, "x"), kDbfOk);
  const std::string before = File("data/export.dbf");
  ASSERT_EQ(t->Pack(), kDbfOk);
  EXPECT_EQ(File("data/0.DBF"), "someone else's");
  EXPECT_EQ(File("data/1.DBF"), "and another");
  EXPECT_EQ(File("data/2.DBF"), "");
  EXPECT_EQ(File("data/export.BAK"), before);
}

TEST_F(DbfTableTest, ReadOnlyTablesRefuseEveryChange) {
  auto t = Make({{"TEXT", 'C', 4, 0}}, kWriteThrough);
  ASSERT_EQ(AppendText(*t, "x"), kDbfOk);
  ASSERT_EQ(t->Close(), kDbfOk);
  ASSERT_EQ(DbfTable::Open("t.dbf", {true, false, false, false}, &t), kDbfOk);
  const std::string before = File();
  EXPECT_EQ(AppendText(*t, "y"), kErrReadOnly);
  ASSERT_EQ(t->Read(1), kDbfOk);
  EXPECT_EQ(t->Update(), kErrReadOnly);
  EXPECT_EQ(t->Delete(1), kErrReadOnly);
  EXPECT_EQ(t->Pack(), kErrReadOnly);
  ASSERT_EQ(t->Close(), kDbfOk);
  EXPECT_EQ(File(), before);
}

// --- Faults --------------------------------------------------------------

TEST_F(DbfTableTest, ACreationThatCannotBeWrittenLeavesNoFile) {
  for (int nth = 1; nth <= 3; ++nth) {
    SCOPED_TRACE(nth);
    faulty_.FailWrite(nth);
    std::vector<NewField> fields = {{"TEXT", 'C', 4, 0}};
    EXPECT_EQ(DbfTable::Create("t.dbf", &fields), kErrWrite);
    std::string ignored;
    EXPECT_FALSE(fs_.GetContents("t.dbf", &ignored));
  }
  faulty_.FillDiskAfter(40);
  std::vector<NewField> fields = {{"TEXT", 'C', 4, 0}};
  EXPECT_EQ(DbfTable::Create("t.dbf", &fields), kErrWrite);
  std::string ignored;
  EXPECT_FALSE(fs_.GetContents("t.dbf", &ignored));
  faulty_.Clear();
  faulty_.FailOpen(EACCES, true);
  EXPECT_EQ(DbfTable::Create("t.dbf", &fields), kErrCannotOpen);
}

// A block that cannot be written fails the append that needed the room, or
// the close; the header on disk never counts records the file lacks, and the
// count in memory does not move.  403-byte records: 8 to a block, so the
// ninth append writes the first block.  Only a flush or the close syncs.
TEST_F(DbfTableTest, FailedWritesAndSyncsDuringAppendsAndAtCloseAreReported) {
  struct Case {
    const char* what;
    std::function<void(FaultyFileSystem&)> fault;
    int appends;
    int failing;  // the append (from 1) that fails, 0 for none
    int failure;
    int close;
    uint32_t on_disk;     // the header's count afterwards
    int flush_after = 0;  // an explicit flush after this many appends
    int flush = kDbfOk;
  };
  const Case cases[] = {
      {"block write fails", [](FaultyFileSystem& f) { f.FailWrite(1); }, 12, 9, kErrWrite, kDbfOk,
       8},
      {"header write fails", [](FaultyFileSystem& f) { f.FailWrite(2); }, 12, 9, kErrWrite, kDbfOk,
       8},
      {"disk full in the block", [](FaultyFileSystem& f) { f.FillDiskAfter(1000); }, 12, 9,
       kErrWrite, kErrWrite, 0},
      {"disk full at close", [](FaultyFileSystem& f) { f.FillDiskAfter(8 * 403 + 33 + 100); }, 12,
       0, kDbfOk, kErrWrite, 8},

      {"sync fails at a flush", [](FaultyFileSystem& f) { f.FailSync(); }, 5, 0, kDbfOk, kErrFlush,
       5, 3, kErrFlush},
      {"sync fails at close", [](FaultyFileSystem& f) { f.FailSync(); }, 5, 0, kDbfOk, kErrFlush,
       5},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    faulty_.Clear();
    auto t = Make({{"TEXT", 'C', 402, 0}});
    c.fault(faulty_);
    int64_t count = 0;
    for (int i = 1; i <= c.appends; ++i) {
      if (c.flush_after == i - 1 && c.flush_after > 0) {
        EXPECT_EQ(t->Flush(), c.flush);
      }
      const int rc = AppendText(*t, "record " + std::to_string(i));
      if (i == c.failing) {
        EXPECT_EQ(rc, c.failure);
        EXPECT_EQ(t->RecordCount(), count) << "the failed record is not counted";
        break;
      }
      ASSERT_EQ(rc, kDbfOk) << i;
      ++count;
    }
    EXPECT_EQ(t->Close(), c.close);
    EXPECT_EQ(t->is_open(), c.close != kDbfOk) << "a table whose flush failed stays open";
    t.reset();
    faulty_.Clear();
    const std::string b = File();
    EXPECT_EQ(Le32(b, 4), c.on_disk);
    EXPECT_GE(b.size(), 65u + c.on_disk * 403) << "the header counts only records on disk";
    if (c.on_disk > 0) {
      ASSERT_EQ(DbfTable::Open("t.dbf", kBuffered, &t), kDbfOk);
      EXPECT_EQ(Text(*t, c.on_disk), Fit("record " + std::to_string(c.on_disk), 402));
    }
  }
}

TEST_F(DbfTableTest, AFailedWriteThroughAppendIsNotCountedAndItsSlotIsReused) {
  auto t = Make({{"TEXT", 'C', 4, 0}}, kWriteThrough);
  ASSERT_EQ(AppendText(*t, "a"), kDbfOk);
  faulty_.FailWrite(1);
  EXPECT_EQ(AppendText(*t, "b"), kErrWrite);
  EXPECT_EQ(t->RecordCount(), 1);
  faulty_.FailWrite(2);  // the record is written, its header is not
  EXPECT_EQ(AppendText(*t, "c"), kErrWrite);
  EXPECT_EQ(t->RecordCount(), 1);
  EXPECT_EQ(CountOnDisk(), 1u);
  ASSERT_EQ(AppendText(*t, "d"), kDbfOk);
  ASSERT_EQ(t->Close(), kDbfOk);
  EXPECT_EQ(File().substr(65), " a    d   \x1A");
}

// --- Locks ---------------------------------------------------------------

TEST_F(DbfTableTest, SharedTablesAppendUnderTheHeaderLockAfterEachOther) {
  auto a = Make({{"TEXT", 'C', 4, 0}}, kShared);
  std::unique_ptr<DbfTable> b;
  ASSERT_EQ(DbfTable::Open("t.dbf", kShared, &b), kDbfOk);
  ASSERT_EQ(AppendText(*a, "a1"), kDbfOk);
  ASSERT_EQ(AppendText(*b, "b1"), kDbfOk) << "takes the count a left on disk";
  ASSERT_EQ(AppendText(*a, "a2"), kDbfOk);
  EXPECT_EQ(File().substr(65), " a1   b1   a2  \x1A");
  EXPECT_EQ(b->RecordCount(), 3);
  EXPECT_EQ(Text(*b, 3), "a2  ");

  ASSERT_EQ(a->LockFile(), kDbfOk);
  EXPECT_EQ(AppendText(*b, "b2"), kErrLockRefused);
  EXPECT_EQ(b->Read(1), kDbfOk);
  EXPECT_EQ(b->Update(), kErrLockRefused);
  EXPECT_EQ(b->LockFile(), kErrLockRefused);
  ASSERT_EQ(AppendText(*a, "a3"), kDbfOk) << "the holder of the file lock appends";
  ASSERT_EQ(a->UnlockFile(), kDbfOk);
  EXPECT_EQ(a->UnlockFile(), kErrLockUnderflow);
  ASSERT_EQ(AppendText(*b, "b2"), kDbfOk);
  EXPECT_EQ(b->lock_count(), 0) << "automatic locks last one operation";

  ASSERT_EQ(b->LockFile(), kDbfOk);
  ASSERT_EQ(b->Close(), kDbfOk);
  EXPECT_EQ(a->LockFile(), kDbfOk) << "closing gave the lock up";
  EXPECT_EQ(a->RecordCount(), 5);
}

TEST_F(DbfTableTest, SharedTablesWithoutAutomaticLocksMustBeLockedFirst) {
  DbfAccess manual = kShared;
  manual.auto_lock = false;
  auto t = Make({{"TEXT", 'C', 4, 0}}, manual);
  EXPECT_EQ(AppendText(*t, "x"), kErrMustLock);
  ASSERT_EQ(t->LockFile(), kDbfOk);
  ASSERT_EQ(AppendText(*t, "x"), kDbfOk);
  ASSERT_EQ(t->UnlockFile(), kDbfOk);
  ASSERT_EQ(t->Read(1), kDbfOk);
  EXPECT_EQ(t->Update(), kErrMustLock);
}

TEST_F(DbfTableTest, ExclusiveTablesKeepOthersOut) {
  auto t = Make({{"TEXT", 'C', 4, 0}});
  std::unique_ptr<DbfTable> other;
  EXPECT_EQ(DbfTable::Open("t.dbf", kShared, &other), kErrAccessDenied);
  EXPECT_EQ(t->lock_count(), 0);
}

// The same over the disk: the locks are the operating system's.
TEST(DbfTableOnDisk, LocksOfTwoOpensExcludeEachOther) {
  mirabo::testing::TempDir dir;
  testing::ScopedTestDate date;
  const std::string path = dir.File("shared.dbf");
  std::vector<NewField> fields = {{"TEXT", 'C', 4, 0}};
  ASSERT_EQ(DbfTable::Create(path, &fields), kDbfOk);
  std::unique_ptr<DbfTable> a, b;
  ASSERT_EQ(DbfTable::Open(path, kShared, &a), kDbfOk);
  ASSERT_EQ(DbfTable::Open(path, kShared, &b), kDbfOk);
  ASSERT_EQ(a->LockFile(), kDbfOk);
  b->BlankRecord();
  EXPECT_EQ(b->Append(), kErrLockRefused);
  ASSERT_EQ(a->Close(), kDbfOk);
  EXPECT_EQ(b->Append(), kDbfOk);
  EXPECT_EQ(b->RecordCount(), 1);
}

}  // namespace
}  // namespace mirabo::xbase
