// Tables written by the engine and the driver, read back by programs that
// are not ours: python3-dbf and GDAL's ogrinfo.  Each must see the values we
// wrote.  A test is skipped only when its reader is not installed.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/file.h"
#include "runtime/file_decl.h"
#include "storage/xbase/dbf_error.h"
#include "storage/xbase/dbf_table.h"
#include "storage/xbase/xbase_driver.h"
#include "tests/testing/external_readers.h"
#include "tests/testing/temp_dir.h"

namespace mirabo::xbase {
namespace {

using mirabo::testing::HaveOgrinfo;
using mirabo::testing::PythonWithDbf;
using mirabo::testing::ReadDbfWithPython;
using mirabo::testing::RunCommand;
using mirabo::testing::ScopedChdir;
using mirabo::testing::TempDir;

class ReadBackTest : public ::testing::Test {
 protected:
  TempDir dir_;
  ScopedChdir cd_{dir_.path()};
};

// A table of every field type, written by the engine directly.  (Neither
// reader takes the high width byte of a character field wider than 255, so
// none is here; docs/formats/dbf.md says so.)
void WriteTypedTable(const std::string& path) {
  std::vector<NewField> fields = {{"NAME", 'C', 12, 0},
                                  {"ISSUE", 'N', 3, 0},
                                  {"PRICE", 'N', 9, 2},
                                  {"OK", 'L', 1, 0},
                                  {"WHEN", 'D', 8, 0}};
  ASSERT_EQ(DbfTable::Create(path, &fields), kDbfOk);
  std::unique_ptr<DbfTable> t;
  ASSERT_EQ(DbfTable::Open(path, {}, &t), kDbfOk);
  struct Row {
    const char* name;
    double issue, price;
    char ok;
    const char* when;
  };
  const Row rows[] = {{"Caf\xE9 Modem", 12, 129.95, 'T', "19960517"},
                      {"deleted", 1, 0, 'F', ""},
                      {"Zip drive", 999, -3.5, ' ', "20260101"}};
  for (const Row& r : rows) {
    t->BlankRecord();
    ASSERT_EQ(t->PutText(0, r.name), kDbfOk);
    ASSERT_EQ(t->PutNumber(1, r.issue), kDbfOk);
    ASSERT_EQ(t->PutNumber(2, r.price), kDbfOk);
    ASSERT_EQ(t->PutLogical(3, r.ok), kDbfOk);
    ASSERT_EQ(t->PutText(4, r.when), kDbfOk);
    ASSERT_EQ(t->Append(), kDbfOk);
  }
  ASSERT_EQ(t->Delete(2), kDbfOk);
  ASSERT_EQ(t->Close(), kDbfOk);
}

TEST_F(ReadBackTest, PythonDbfReadsEveryFieldType) {
  const std::string python = PythonWithDbf();
  if (python.empty()) GTEST_SKIP() << "python3-dbf is not installed";
  WriteTypedTable(dir_.File("typed.dbf"));
  EXPECT_EQ(ReadDbfWithPython(python, dir_.File("typed.dbf")),
            " |Caf\u00e9 Modem|12|129.95|True|1996-05-17\n"
            "*|deleted|1|0.0|False|None\n"
            " |Zip drive|999|-3.5|None|2026-01-01\n");
}

TEST_F(ReadBackTest, OgrinfoReadsEveryFieldType) {
  if (!HaveOgrinfo()) GTEST_SKIP() << "gdal-bin is not installed";
  WriteTypedTable(dir_.File("typed.dbf"));
  const auto out =
      RunCommand("ogrinfo -ro -al -oo ENCODING=CP1252 '" + dir_.File("typed.dbf") + "'");
  ASSERT_TRUE(out);
  for (const char* line :
       {"NAME: String (12.0)", "ISSUE: Integer (3.0)", "PRICE: Real (9.2)", "OK: String (1.0)",
        "WHEN: Date (10.0)", "NAME (String) = Caf\u00e9 Modem", "ISSUE (Integer) = 12",
        "PRICE (Real) = 129.95", "OK (String) = T", "WHEN (Date) = 1996/05/17",
        "NAME (String) = Zip drive", "ISSUE (Integer) = 999", "PRICE (Real) = -3.50",
        "WHEN (Date) = 2026/01/01"}) {
    EXPECT_NE(out->find(line), std::string::npos) << line << "\n" << *out;
  }
  EXPECT_EQ(out->find("NAME (String) = deleted"), std::string::npos)
      << "a deleted record is no feature";
}

// The export's ISSUES copy, written through the driver as Create File does.
TEST_F(ReadBackTest, IssuesCopyReadsBackWithTheSameValues) {
  const std::string python = PythonWithDbf();
  const bool ogr = HaveOgrinfo();
  if (python.empty() && !ogr) GTEST_SKIP() << "neither python3-dbf nor gdal-bin is installed";
  RegisterXbaseDriver();
  const FileDecl decl = FileDeclBuilder("ISS1", "ISS1", "XBASE")
                            .Name("Issues.dbf")
                            .Create()
                            .Real("ISSUE_NUMB", "ISSUE_NUMB=N(3.0)")
                            .String("ISSUE_NAME", 14)
                            .String("COMMENTS", 91)
                            .Build();
  File f(decl);
  ASSERT_EQ(f.Create(), kNoError);
  ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
  ASSERT_EQ(f.PostOpen(), kNoError);
  for (int i = 1; i <= 30; ++i) {
    f.Field(0).SetNumber(i);
    f.Field(1).SetString("Issue " + std::to_string(i));
    f.Field(2).SetString(i % 2 ? "7\" floppy, \xBD price" : "");
    ASSERT_EQ(f.Append(), kNoError);
  }
  ASSERT_EQ(f.Close(), kNoError);

  if (!python.empty()) {
    const std::string rows = ReadDbfWithPython(python, dir_.File("Issues.dbf"));
    EXPECT_NE(rows.find(" |1|Issue 1|7\" floppy, \u00bd price\n"), std::string::npos) << rows;
    EXPECT_NE(rows.find(" |30|Issue 30|\n"), std::string::npos) << rows;
    EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 30);
  }
  if (ogr) {
    const auto out = RunCommand("ogrinfo -ro -al -so '" + dir_.File("Issues.dbf") + "'");
    ASSERT_TRUE(out);
    EXPECT_NE(out->find("Feature Count: 30"), std::string::npos) << *out;
    EXPECT_NE(out->find("ISSUE_NUMB: Integer (3.0)"), std::string::npos) << *out;
    EXPECT_NE(out->find("ISSUE_NAME: String (14.0)"), std::string::npos) << *out;
    EXPECT_NE(out->find("COMMENTS: String (91.0)"), std::string::npos) << *out;
  }
}

}  // namespace
}  // namespace mirabo::xbase
