// Loading the data files from xBase tables, as a user moving an older index
// over does: the same all-or-nothing load as from CSV, with errors that name
// the table's record number.
#include "tools/load/dbf_source.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/data/declarations.h"
#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/file.h"
#include "runtime/text.h"
#include "storage/native/native_driver.h"
#include "storage/xbase/dbf_error.h"
#include "storage/xbase/dbf_table.h"
#include "tests/testing/external_readers.h"
#include "tests/testing/temp_dir.h"
#include "tools/load/loader.h"

namespace mirabo::tools {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::TempDir;
using xbase::DbfTable;
using xbase::NewField;

struct Row {
  std::vector<std::string> values;  // as stored text, one per field
  bool deleted = false;
};

class DbfLoadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    native::RegisterNativeDriver();
    fs::create_directory(data_);
  }

  std::string Table(const std::string& name, std::vector<NewField> fields,
                    const std::vector<Row>& rows) {
    const std::string path = dir_.File(name);
    EXPECT_EQ(DbfTable::Create(path, &fields), xbase::kDbfOk);
    std::unique_ptr<DbfTable> t;
    EXPECT_EQ(DbfTable::Open(path, {}, &t), xbase::kDbfOk);
    for (const Row& r : rows) {
      t->BlankRecord();
      for (size_t i = 0; i < r.values.size(); ++i) {
        EXPECT_EQ(t->PutText(static_cast<int>(i), r.values[i]), xbase::kDbfOk);
      }
      int64_t n = 0;
      EXPECT_EQ(t->Append(&n), xbase::kDbfOk);
      if (r.deleted) {
        EXPECT_EQ(t->Delete(n), xbase::kDbfOk);
      }
    }
    EXPECT_EQ(t->Close(), xbase::kDbfOk);
    return path;
  }

  std::string Suppliers() {
    return Table("SUPPLIER.DBF", {{"SUPPLIER", 'C', 36, 0}, {"REFERENCE", 'N', 5, 0}},
                 {{{"Brennock Systems", "    1"}},
                  {{"gone", "    2"}, true},
                  {{"M\xFCller Datentechnik", "    3"}}});
  }

  // FEATURES with its fields in another order than the data file's.
  std::string Features(const std::string& third_issue) {
    return Table("features.dbf",
                 {{"ISSUE", 'N', 4, 0},
                  {"PRODUCT", 'C', 86, 0},
                  {"REVIEW", 'N', 5, 0},
                  {"SUPPLIER", 'N', 5, 0},
                  {"HS", 'C', 4, 0},
                  {"CATEGORY", 'N', 5, 0},
                  {"V", 'C', 15, 0},
                  {"COMMENTS", 'C', 207, 0}},
                 {{{"  12", "Quillon Write Pro", "1", "1", "S", "4", "2.1", "Fast, small"}},
                  {{"  13", "alpha draw", "2", "3", "S", "4", "", ""}},
                  {{third_issue, "Zeta", "2", "3", "H", "4", "", ""}}});
  }

  LoadResult Run(std::vector<std::string> files) {
    LoadOptions o;
    o.data_dir = data_;
    return Load(files, o);
  }

  TempDir dir_;
  std::string data_ = dir_.File("data");
};

TEST_F(DbfLoadTest, LoadsTheLiveRecordsOfXbaseTables) {
  const LoadResult r = Run({Suppliers(), Features("  14")});
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.tables.size(), 2u);
  EXPECT_EQ(r.tables[0].rows, 2) << "the deleted record is left out";
  EXPECT_EQ(r.tables[1].rows, 3);

  testing::ScopedChdir in(data_);
  File sup(app::DataFileDecl(app::DataFile::kSupplier));
  ASSERT_EQ(sup.Open(kOpenShared), kNoError);
  sup.Field(app::SUP::REFERENCE).SetNumber(3);
  ASSERT_EQ(sup.GetByKey(app::SUP::SUPPLIER_REF), kNoError);
  EXPECT_EQ(Clip(sup.Field(app::SUP::SUPPLIER).Bytes()), "M\xFCller Datentechnik")
      << "Windows-1252 as stored, not read as UTF-8";
  sup.Field(app::SUP::REFERENCE).SetNumber(2);
  EXPECT_EQ(sup.GetByKey(app::SUP::SUPPLIER_REF), kRecordNotFound);

  File fea(app::DataFileDecl(app::DataFile::kFeatures));
  ASSERT_EQ(fea.Open(kOpenShared), kNoError);
  ASSERT_EQ(fea.SetKeyStart(app::FEA::FEATPROD), kNoError);
  ASSERT_EQ(fea.Next(), kNoError);
  EXPECT_EQ(Clip(fea.Field(app::FEA::PRODUCT).Bytes()), "alpha draw");
  EXPECT_EQ(fea.Field(app::FEA::ISSUE).GetNumber(), 13);
  EXPECT_EQ(fea.Field(app::FEA::SUPPLIER).GetNumber(), 3);
}

TEST_F(DbfLoadTest, ABadRecordNamesItsNumberAndFieldAndChangesNothing) {
  ASSERT_TRUE(Run({Suppliers()}).ok);
  const std::string before = ReadFile(data_ + "/SUPPLIER.KVX");
  fs::remove(dir_.File("features.dbf"));

  const LoadResult bad_value = Run({Features(" 1x4")});
  EXPECT_FALSE(bad_value.ok);
  EXPECT_EQ(bad_value.error,
            dir_.File("features.dbf") + ": record 3: field ISSUE: '1x4' is not a number");
  EXPECT_FALSE(fs::exists(data_ + "/FEATURES.KVX"));

  // A header that promises a record the file does not hold.
  const std::string path = Features("  14");
  std::string bytes = ReadFile(path);
  bytes[4] = 4;
  testing::WriteFile(path, bytes);
  const std::string reviews = Table(
      "REVIEW.dbf", {{"REVIEW", 'C', 19, 0}, {"REFERENCE", 'N', 5, 0}}, {{{"Group test", "1"}}});
  const LoadResult cut = Run({reviews, path});
  EXPECT_FALSE(cut.ok);
  EXPECT_EQ(cut.error,
            dir_.File("features.dbf") + ": record 4: cannot be read: file read failure (-202)");
  EXPECT_EQ(ReadFile(data_ + "/SUPPLIER.KVX"), before);
  EXPECT_FALSE(fs::exists(data_ + "/REVIEW.KVX")) << "all or nothing";
  EXPECT_FALSE(fs::exists(data_ + "/FEATURES.KVX"));
}

TEST_F(DbfLoadTest, TablesThatDoNotFitAreRefusedByName) {
  const std::string missing = Table("REVIEW.dbf", {{"REVIEW", 'C', 19, 0}}, {{{"Group test"}}});
  EXPECT_EQ(Run({missing}).error, missing + ": column REFERENCE is missing");
  const std::string extra =
      Table("CATEGORY.dbf",
            {{"CATEGORY", 'C', 31, 0}, {"REFERENCE", 'N', 5, 0}, {"PRICE", 'N', 9, 2}}, {});
  EXPECT_EQ(Run({extra}).error, extra + ": column PRICE is not a field of CATEGORY");
  testing::WriteFile(dir_.File("ISSUES.dbf"), "ISSUE_NUMB,ISSUE_NAME,COMMENTS\n");
  EXPECT_EQ(Run({dir_.File("ISSUES.dbf")}).error,
            dir_.File("ISSUES.dbf") +
                ": cannot be opened as an xBase table: invalid xBase version (-218)");
}

// A table whose COMMENTS is a memo field (as python3-dbf writes one): the
// texts come from its memo file; a memo file that is missing or damaged is
// refused by the field's name, never loaded as block numbers.
TEST_F(DbfLoadTest, MemoFieldsAreReadFromTheMemoFile) {
  const std::string python = testing::PythonWithDbf();
  if (python.empty()) GTEST_SKIP() << "python3-dbf is not installed";
  const std::string path = dir_.File("FEATURES.dbf");
  const std::string long_text = std::string(150, 'x') + " and more";
  testing::WriteFile(dir_.File("make.py"),
                     "import dbf, sys\n"
                     "t = dbf.Table(sys.argv[1], 'PRODUCT C(86); REVIEW N(5,0); ISSUE N(4,0); "
                     "SUPPLIER N(5,0); HS C(4); CATEGORY N(5,0); V C(15); COMMENTS M', "
                     "codepage='cp1252')\n"
                     "t.open(dbf.READ_WRITE)\n"
                     "t.append(('First', 1, 12, 1, 'S', 1, '1.0', 'Caf\\u00e9 review'))\n"
                     "t.append(('Second', 1, 12, 1, 'S', 1, '1.0', ''))\n"
                     "t.append(('Third', 1, 13, 1, 'S', 1, '1.0', '" +
                         long_text +
                         "'))\n"
                         "t.close()\n");
  ASSERT_TRUE(testing::RunCommand(python + " " + dir_.File("make.py") + " " + path).has_value());
  const LoadResult r = Run({path});
  ASSERT_TRUE(r.ok) << r.error;
  {
    testing::ScopedChdir in(data_);
    File fea(app::DataFileDecl(app::DataFile::kFeatures));
    ASSERT_EQ(fea.Open(kOpenShared), kNoError);
    ASSERT_EQ(fea.SetKeyStart(app::FEA::FEATPROD), kNoError);
    std::vector<std::string> comments;
    while (fea.Next() == kNoError)
      comments.emplace_back(Clip(fea.Field(app::FEA::COMMENTS).Bytes()));
    EXPECT_EQ(comments, (std::vector<std::string>{"Caf\xE9 review", "", long_text}));
  }
  // The memo file cut short, then gone.
  std::string dbt;
  for (const auto& f : fs::directory_iterator(dir_.path())) {
    if (f.path().extension() == ".dbt") dbt = f.path().string();
  }
  ASSERT_FALSE(dbt.empty());
  testing::WriteFile(dbt, ReadFile(dbt).substr(0, 700));
  LoadResult bad = Run({path});
  EXPECT_FALSE(bad.ok);
  EXPECT_NE(bad.error.find("field COMMENTS: its memo in block"), std::string::npos) << bad.error;
  fs::remove(dbt);
  bad = Run({path});
  EXPECT_NE(bad.error.find("field COMMENTS: it has memo fields but no memo file"),
            std::string::npos)
      << bad.error;
}

}  // namespace
}  // namespace mirabo::tools
