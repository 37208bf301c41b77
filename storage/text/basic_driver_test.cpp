#include "storage/text/basic_driver.h"

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/faulty_file_system.h"
#include "runtime/file.h"
#include "runtime/file_system.h"
#include "runtime/memory_file_system.h"
#include "tests/testing/external_readers.h"
#include "tests/testing/temp_dir.h"

namespace mirabo::text {
namespace {

// The Create File text copy of ISSUES: three strings.
FileDecl IssuesDecl(const std::string& path) {
  return FileDeclBuilder("ISS2", "ISS2", "BASIC")
      .Name(path)
      .Create()
      .String("ISSUE_NUMB", 3)
      .String("ISSUE_NAME", 14)
      .String("COMMENTS", 91)
      .Build();
}

class BasicDriverTest : public ::testing::Test {
 protected:
  void SetUp() override { RegisterBasicDriver(); }

  // Creates `decl`'s file, opens it exclusively, applies `options`, adds one
  // record per row (values in field order) and closes it; the bytes written.
  std::string Write(const FileDecl& decl, const std::vector<std::string>& options,
                    const std::vector<std::vector<std::string>>& rows) {
    File f(decl);
    EXPECT_EQ(f.Create(), kNoError);
    EXPECT_EQ(f.Open(kOpenExclusive), kNoError);
    EXPECT_EQ(f.PostOpen(), kNoError);
    for (const std::string& o : options) EXPECT_EQ(f.Option(o), kNoError) << o;
    for (const auto& row : rows) {
      f.ClearRecord();
      for (size_t i = 0; i < row.size(); ++i) f.Field(static_cast<int>(i)).SetString(row[i]);
      EXPECT_EQ(f.Append(), kNoError);
    }
    EXPECT_EQ(f.Close(), kNoError);
    return Stored(decl.name);
  }

  std::string Stored(const std::string& path) {
    std::string bytes;
    return memory_.GetContents(path, &bytes) ? bytes : "<missing>";
  }

  MemoryFileSystem memory_;
  ScopedFileSystemForTests use_memory_{memory_};
};

TEST_F(BasicDriverTest, RegistersAsBasic) {
  const FileDriver* driver = FindDriver("BASIC");
  ASSERT_NE(driver, nullptr);
  EXPECT_EQ(driver->Register(), "BASIC");
}

TEST_F(BasicDriverTest, EachRecordIsOneLineOfDelimitedValues) {
  struct Case {
    const char* what;
    std::vector<std::string> options;
    std::vector<std::string> row;  // ISSUE_NUMB, ISSUE_NAME, COMMENTS
    std::string expected;
  };
  const Case cases[] = {
      {"trailing blanks go, an empty value is still quoted",
       {},
       {"12 ", "May 1996", ""},
       "\"12\",\"May 1996\",\"\"\r\n"},
      {"leading blanks stay", {}, {" 12", "", ""}, "\" 12\",\"\",\"\"\r\n"},
      {"a quote is doubled", {}, {"", "7\" floppy", ""}, "\"\",\"7\"\" floppy\",\"\"\r\n"},
      {"quotes only where needed",
       {"ALWAYSQUOTE=OFF"},
       {"12", "May, 1996", "7\" floppy"},
       "12,\"May, 1996\",\"7\"\" floppy\"\r\n"},
      {"empty values bare", {"ALWAYSQUOTE=OFF"}, {"", "", ""}, ",,\r\n"},
      {"a line break keeps its value in one record",
       {"ALWAYSQUOTE=OFF"},
       {"1", "two\r\nlines", "cr\rlf\n"},
       "1,\"two\r\nlines\",\"cr\rlf\n\"\r\n"},
      {"semicolons", {"COMMA=59"}, {"1", "a,b", "c"}, "\"1\";\"a,b\";\"c\"\r\n"},
      {"a semicolon delimiter quotes semicolons, not commas",
       {"COMMA=59", "ALWAYSQUOTE=OFF"},
       {"1", "a,b", "c;d"},
       "1;a,b;\"c;d\"\r\n"},
      {"a two-byte delimiter",
       {"FIELDDELIMITER=2,59,32", "ALWAYSQUOTE=OFF"},
       {"1", "a; b", "a;b"},
       "1; \"a; b\"; a;b\r\n"},
      {"another quote character", {"QUOTE=39"}, {"1", "it's", "7\""}, "'1','it''s','7\"'\r\n"},
      {"lines end in a line feed", {"ENDOFRECORD=1,10"}, {"1", "", ""}, "\"1\",\"\",\"\"\n"},
      {"a doubled quote is written even past the field's width",
       {},
       {"\"\"\"", "", ""},
       "\"\"\"\"\"\"\"\",\"\",\"\"\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(Write(IssuesDecl("i.txt"), c.options, {c.row}), c.expected);
  }
}

TEST_F(BasicDriverTest, NumbersAreWrittenBareInDecimal) {
  const FileDecl decl = FileDeclBuilder("N", "N", "BASIC")
                            .Name("n.txt")
                            .Create()
                            .Short("S")
                            .Long("L")
                            .Byte("B")
                            .Real("R")
                            .Real("F")
                            .String("T", 3)
                            .Build();
  File f(decl);
  ASSERT_EQ(f.Create(), kNoError);
  ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
  f.Field(0).SetNumber(-5);
  f.Field(1).SetNumber(123456789);
  f.Field(2).SetNumber(200);
  f.Field(3).SetNumber(1996);
  f.Field(4).SetNumber(-0.125);
  f.Field(5).SetString("x");
  ASSERT_EQ(f.Add(), kNoError);
  ASSERT_EQ(f.Close(), kNoError);
  EXPECT_EQ(Stored("n.txt"), "-5,123456789,200,1996,-0.125,\"x\"\r\n");
}

TEST_F(BasicDriverTest, OemFilesAreConverted) {
  FileDecl decl = IssuesDecl("o.txt");
  decl.oem = true;
  EXPECT_EQ(Write(decl, {}, {{"1", "Caf\xE9", "\xBD price"}}),
            "\"1\",\"Caf\x82\",\"\xAB price\"\r\n");
}

TEST_F(BasicDriverTest, OptionDefaultsSettingsAndQueries) {
  struct Case {
    std::vector<std::string> settings;
    const char* query;
    std::string answer;
  };
  const Case cases[] = {
      {{}, "ALWAYSQUOTE", "ON"},
      {{}, "QUOTE", "34"},
      {{}, "COMMA", "44"},
      {{}, "FIELDDELIMITER", ","},
      {{}, "ENDOFRECORD", "\r\n"},
      {{}, "QUICKSCAN", "ON"},
      {{}, "FILEBUFFERS", "2"},
      {{"always quote = off"}, "AlwaysQuote", "OFF"},
      {{"ALWAYSQUOTE=OFF", "ALWAYSQUOTE=MAYBE"}, "ALWAYSQUOTE", "OFF"},
      {{"QUOTE=39"}, "QUOTE", "39"},
      {{"QUOTE=256"}, "QUOTE", "34"},
      {{"QUOTE=x"}, "QUOTE", "34"},
      {{"COMMA=59"}, "FIELDDELIMITER", ";"},
      {{"COMMA=9"}, "COMMA", "9"},
      {{"FIELDDELIMITER=1,124"}, "COMMA", "124"},
      {{"FIELDDELIMITER=2,59,32"}, "FIELDDELIMITER", "; "},
      {{"FIELDDELIMITER=2,59,32"}, "COMMA", ""},
      {{"FIELDDELIMITER=2,59"}, "FIELDDELIMITER", ","},
      {{"ENDOFRECORD=1,10"}, "ENDOFRECORD", "\n"},
      {{"QUICKSCAN=OFF"}, "QUICKSCAN", "OFF"},
      {{"FILEBUFFERS=8"}, "FILEBUFFERS", "8"},
  };
  memory_.SetContents("i.txt", "");
  const FileDecl decl = IssuesDecl("i.txt");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.query);
    File f(decl);
    ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
    std::string answer = "stale";
    for (const std::string& s : c.settings) {
      ASSERT_EQ(f.Option(s, &answer), kNoError) << s;
      EXPECT_EQ(answer, "") << "a setting answers nothing";
    }
    ASSERT_EQ(f.Option(c.query, &answer), kNoError);
    EXPECT_EQ(answer, c.answer);
  }
  File f(decl);
  std::string answer;
  ASSERT_EQ(f.Open(kOpenShared), kNoError);
  ASSERT_EQ(f.Option("QUICKSCAN", &answer), kNoError);
  EXPECT_EQ(answer, "OFF") << "an open that shares reading and writing";
  EXPECT_EQ(f.Option("CLIP", &answer), kUnsupportedFunction);
  EXPECT_EQ(f.Option("TAB=4", &answer), kUnsupportedFunction);
}

TEST_F(BasicDriverTest, EveryOpenStartsFromTheDefaults) {
  const FileDecl decl = IssuesDecl("i.txt");
  File f(decl);
  ASSERT_EQ(f.Create(), kNoError);
  ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
  for (const char* o : {"ALWAYSQUOTE=OFF", "QUOTE=39", "COMMA=59", "ENDOFRECORD=1,10"}) {
    ASSERT_EQ(f.Option(o), kNoError);
  }
  ASSERT_EQ(f.Close(), kNoError);
  ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
  f.Field(0).SetString("1");
  ASSERT_EQ(f.Add(), kNoError);
  ASSERT_EQ(f.Close(), kNoError);
  EXPECT_EQ(Stored("i.txt"), "\"1\",\"\",\"\"\r\n");
}

TEST_F(BasicDriverTest, CreateReplacesAnOldFileAndNeedsTheCreateAttribute) {
  memory_.SetContents("i.txt", "old contents");
  const FileDecl decl = IssuesDecl("i.txt");
  File f(decl);
  EXPECT_EQ(f.Create(), kNoError);
  EXPECT_EQ(Stored("i.txt"), "");
  EXPECT_EQ(memory_.OpenCount("i.txt"), 0) << "left closed";

  FileDecl plain = IssuesDecl("j.txt");
  plain.create = false;
  File g(plain);
  EXPECT_EQ(g.Create(), kNoCreateAttribute);
  EXPECT_EQ(Stored("j.txt"), "<missing>");

  const FileDecl lost_decl = IssuesDecl("nodir/i.txt"), absent_decl = IssuesDecl("absent.txt");
  File lost(lost_decl);
  EXPECT_EQ(lost.Create(), kPathNotFound);
  File absent(absent_decl);
  EXPECT_EQ(absent.Open(kOpenExclusive), kFileNotFound);
}

TEST_F(BasicDriverTest, ThePostOpenRequestLeavesTheFileAsItIs) {
  const std::string old = "\"1\",\"old\",\"\"\r\n\x1A";
  memory_.SetContents("i.txt", old);
  const FileDecl decl = IssuesDecl("i.txt");
  File f(decl);
  EXPECT_EQ(f.PostOpen(), kFileNotOpen);
  ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
  EXPECT_EQ(f.PostOpen(), kNoError);
  EXPECT_EQ(CurrentError().code, kNoError);
  ASSERT_EQ(f.Close(), kNoError);
  EXPECT_EQ(Stored("i.txt"), old);

  // A later add replaces the old end-of-file mark, as the line driver does.
  ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
  f.Field(0).SetString("2");
  ASSERT_EQ(f.Add(), kNoError);
  ASSERT_EQ(f.Close(), kNoError);
  EXPECT_EQ(Stored("i.txt"), "\"1\",\"old\",\"\"\r\n\"2\",\"\",\"\"\r\n");
}

TEST_F(BasicDriverTest, AFileOpenForReadingOnlyRefusesRecords) {
  memory_.SetContents("i.txt", "x\r\n");
  const FileDecl decl = IssuesDecl("i.txt");
  File f(decl);
  ASSERT_EQ(f.Open(kOpenShared), kNoError);
  EXPECT_EQ(f.Append(), kAccessDenied);
  EXPECT_EQ(f.Next(), kUnsupportedFunction) << "reading is not supported";
  ASSERT_EQ(f.Close(), kNoError);
  EXPECT_EQ(Stored("i.txt"), "x\r\n");
}

// --- Failures of the disk -------------------------------------------------

class BasicDriverFaultTest : public BasicDriverTest {
 protected:
  void SetUp() override {
    BasicDriverTest::SetUp();
    ASSERT_EQ(f_.Create(), kNoError);
    ASSERT_EQ(f_.Open(kOpenExclusive), kNoError);
  }
  int Add(const std::string& name) {
    f_.Field(1).SetString(name);
    return f_.Add();
  }

  FaultyFileSystem faulty_{memory_};
  ScopedFileSystemForTests use_faulty_{faulty_};
  const FileDecl decl_ = IssuesDecl("i.txt");
  File f_{decl_};
};

TEST_F(BasicDriverFaultTest, LinesReachTheFileABufferAtATime) {
  const int writes = faulty_.writes();
  for (int i = 0; i < 10; ++i) ASSERT_EQ(Add("line"), kNoError);
  EXPECT_EQ(faulty_.writes(), writes) << "ten short lines wait in the buffer";
  EXPECT_EQ(Stored("i.txt"), "");
  ASSERT_EQ(f_.Flush(), kNoError);
  EXPECT_EQ(faulty_.writes(), writes + 1) << "and go in one write";
  EXPECT_EQ(Stored("i.txt").size(), 10 * 14u);
  for (int i = 0; i < 2000; ++i) ASSERT_EQ(Add("line"), kNoError);
  EXPECT_EQ(faulty_.writes(), writes + 2) << "16 KiB at a time";
}

// The buffer that could not be written is written by the next add; only the
// add that found it full is lost.
TEST_F(BasicDriverFaultTest, AFailedWriteLosesOnlyTheRecordThatFoundTheBufferFull) {
  faulty_.FailWrite(1);
  int lost = 0;
  for (int i = 1; i <= 2000; ++i) {
    char name[8];
    std::snprintf(name, sizeof name, "%05d", i);
    if (Add(name) != kNoError) {
      EXPECT_EQ(lost, 0) << "one add fails";
      lost = i;
    }
  }
  ASSERT_GT(lost, 1);
  ASSERT_EQ(f_.Close(), kNoError);
  std::string expected;
  for (int i = 1; i <= 2000; ++i) {
    char line[32];
    std::snprintf(line, sizeof line, "\"\",\"%05d\",\"\"\r\n", i);
    if (i != lost) expected += line;
  }
  EXPECT_EQ(Stored("i.txt"), expected);
}

TEST_F(BasicDriverFaultTest, AFullDiskNeverLeavesHalfARecord) {
  faulty_.FillDiskAfter(20);
  EXPECT_EQ(Add("one"), kNoError);  // 13 bytes, buffered
  EXPECT_EQ(Add("two"), kNoError);
  EXPECT_EQ(f_.Flush(), kAccessDenied);
  EXPECT_EQ(Stored("i.txt"), "") << "the 20 bytes that fit are gone again";
  faulty_.Clear();  // space again: the lines were kept
  EXPECT_EQ(f_.Close(), kNoError);
  EXPECT_EQ(Stored("i.txt"), "\"\",\"one\",\"\"\r\n\"\",\"two\",\"\"\r\n");
}

TEST_F(BasicDriverFaultTest, LinesThatNeverReachTheFileFailTheClose) {
  EXPECT_EQ(Add("one"), kNoError);
  faulty_.FillDiskAfter(0);
  EXPECT_EQ(f_.Close(), kAccessDenied);
  EXPECT_FALSE(f_.is_open());
  EXPECT_EQ(Stored("i.txt"), "");
}

TEST_F(BasicDriverFaultTest, FlushAndCloseReportTheirFailures) {
  ASSERT_EQ(Add("one"), kNoError);
  faulty_.FailSync(EIO);
  EXPECT_EQ(f_.Flush(), 331) << "EIO is the system's general failure";
  faulty_.Clear();
  EXPECT_EQ(f_.Flush(), kNoError);
  faulty_.FailClose(ENOSPC);
  EXPECT_EQ(f_.Close(), 339);
  EXPECT_EQ(ErrorText(CurrentError().code), "Handle Disk Full");
  EXPECT_FALSE(f_.is_open());
  EXPECT_EQ(f_.Flush(), kFileNotOpen);
  EXPECT_EQ(f_.Append(), kFileNotOpen);
}

// --- What another program reads ------------------------------------------

TEST(BasicDriverReadBackTest, PythonsCsvModuleReadsEveryValueBack) {
  RegisterBasicDriver();
  testing::TempDir dir;
  const FileDecl decl = IssuesDecl(dir.File("issues.txt"));
  const std::vector<std::vector<std::string>> rows = {
      {"12", "May 1996", ""},
      {"  7", "7\" floppy", "a, b and \"c\""},
      {"999", "Caf\xE9 \xBD", "two\r\nlines"},
      {"", "", "trailing blanks   "},
  };
  const std::vector<std::vector<std::string>> expected = {
      {"12", "May 1996", ""},
      {"  7", "7\" floppy", "a, b and \"c\""},
      {"999", "Caf\u00e9 \u00bd", "two\r\nlines"},
      {"", "", "trailing blanks"},
  };
  for (const char* always : {"ALWAYSQUOTE=ON", "ALWAYSQUOTE=OFF"}) {
    SCOPED_TRACE(always);
    File f(decl);
    ASSERT_EQ(f.Create(), kNoError);
    ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
    ASSERT_EQ(f.Option(always), kNoError);
    for (const auto& row : rows) {
      for (size_t i = 0; i < row.size(); ++i) f.Field(static_cast<int>(i)).SetString(row[i]);
      ASSERT_EQ(f.Add(), kNoError);
    }
    ASSERT_EQ(f.Close(), kNoError);
    const auto read = testing::ReadCsvWithPython(decl.name);
    ASSERT_TRUE(read) << "python3 could not read the file";
    EXPECT_EQ(*read, expected);
  }
}

}  // namespace
}  // namespace mirabo::text
