// Create File on the bundled sample data, every table in both types, through
// the procedure on the headless window model; then programs that are not ours
// read the copies back: Python's csv module the text files, python3-dbf and
// GDAL's ogrinfo the xBase tables.  What they must see is worked out by
// Python from the sample CSV files themselves (the lookups joined, the rows in
// the order of the copy's key), not by our code.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "app/create_file/create_files.h"
#include "tests/e2e/sample_data.h"
#include "tests/testing/external_readers.h"
#include "tests/testing/procedure_test.h"
#include "tests/testing/temp_dir.h"

namespace mirabo {
namespace {

constexpr const char* kChoices[] = {"Features", "Issues", "Category", "Review", "Supplier"};

// Compares every copy in argv[2] with the sample in argv[1]; prints each
// difference and exits 1 when there is one.
constexpr char kCheck[] = R"(
import csv, os, sys
sample, out = sys.argv[1], sys.argv[2]
def load(table):
    with open(os.path.join(sample, table + '.csv'), newline='', encoding='utf-8') as f:
        return list(csv.reader(f))[1:]
def number(text):
    return int(float(text)) if text.strip() else 0
def in_order(rows, column):
    # The keys: names byte for byte (Windows-1252) without trailing blanks,
    # numbers by value; equal keys in record order (a stable sort).
    if column in ('ISSUE', 'ISSUE_NUMB'):
        return sorted(rows, key=lambda r: number(r[0 if column == 'ISSUE_NUMB' else 2]))
    return sorted(rows, key=lambda r: r[0].rstrip().encode('cp1252'))
names = {t: {number(r[1]): r[0].rstrip() for r in load(t)} for t in ('SUPPLIER', 'REVIEW', 'CATEGORY')}
def lookup(table, reference):
    return names[table].get(number(reference), '')
expected = {
    'Features': [[r[0].rstrip(), lookup('REVIEW', r[1]), number(r[2]), lookup('SUPPLIER', r[3]),
                  r[4].rstrip(), lookup('CATEGORY', r[5]), r[6].rstrip(), r[7].rstrip()]
                 for r in in_order(load('FEATURES'), 'ISSUE')],
    'Issues': [[number(r[0]), r[1].rstrip(), r[2].rstrip()] for r in in_order(load('ISSUES'), 'ISSUE_NUMB')],
}
for choice in ('Category', 'Review', 'Supplier'):
    expected[choice] = [[r[0].rstrip()] for r in in_order(load(choice.upper()), 'NAME')]
widths = {'Features': 4, 'Issues': 3}
bad = 0
def compare(what, got, want):
    global bad
    if len(got) != len(want):
        print(what, 'has', len(got), 'records instead of', len(want)); bad += 1
    for i, (g, w) in enumerate(zip(got, want)):
        if g != w:
            print(what, 'record', i + 1, repr(g), 'instead of', repr(w)); bad += 1
            return
import dbf
for choice, rows in expected.items():
    text = [[('%*d' % (widths[choice], v)) if isinstance(v, int) else v for v in r] for r in rows]
    with open(os.path.join(out, choice + '.txt'), newline='', encoding='cp1252') as f:
        compare(choice + '.txt', list(csv.reader(f)), text)
    t = dbf.Table(os.path.join(out, choice + '.dbf'), codepage='cp1252')
    t.open(dbf.READ_ONLY)
    compare(choice + '.dbf', [[v.rstrip() if isinstance(v, str) else v for v in r] for r in t], rows)
    t.close()
print('compared', sum(len(r) for r in expected.values()), 'records')
sys.exit(1 if bad else 0)
)";

class CreateFileOnTheSampleTest : public testing::ProcedureTest {
 protected:
  void SetUp() override {
    const std::string error = testing::LoadSampleData(data_.path());
    ASSERT_TRUE(error.empty()) << error;
  }
  testing::TempDir out_;
};

TEST_F(CreateFileOnTheSampleTest, EveryTableInBothTypesReadsBackAsTheSample) {
  const std::string python = testing::PythonWithDbf();
  if (python.empty()) GTEST_SKIP() << "python3-dbf is not installed";
  // Small batches: the copies give way again and again, and each goes on
  // where it stopped.
  const ui::ThreadId id = Open(app::CreateFiles({.batch_records = 50}));
  ui::Window& w = Win(id);
  for (const char* choice : kChoices) {
    for (const char* type : {"Xbase", "Text (Delim)"}) {
      SCOPED_TRACE(std::string(choice) + " " + type);
      w.SetValue(app::kCreateSourceGroup, choice);
      w.SetValue(app::kCreateTypeGroup, type);
      w.SetValue(app::kCreateName,
                 out_.File(std::string(choice) + (type[0] == 'X' ? ".dbf" : ".txt")));
      Post(id, ui::EVENT_Accepted, app::kCreateStart);
      while (scheduler_.NextTimerDue() >= 0) scheduler_.Advance(1);
      ASSERT_FALSE(backend_.messages.empty());
      EXPECT_EQ(backend_.messages.back().request.text, "File Generation Complete");
    }
  }
  testing::WriteFile(out_.File("check.py"), kCheck);
  const auto report = testing::RunCommand(python + " '" + out_.File("check.py") + "' '" +
                                          std::string(MIRABO_SOURCE_DIR) + "/data/sample' '" +
                                          out_.path() + "' 2>&1; echo exit $?");
  ASSERT_TRUE(report);
  EXPECT_NE(report->find("compared "), std::string::npos) << *report;
  EXPECT_NE(report->find("exit 0"), std::string::npos) << *report;

  if (testing::HaveOgrinfo()) {
    const auto info =
        testing::RunCommand("ogrinfo -ro -al -so '" + out_.File("Features.dbf") + "'");
    ASSERT_TRUE(info);
    EXPECT_NE(info->find("ISSUE: Integer (4.0)"), std::string::npos) << *info;
    EXPECT_NE(info->find("COMMENTS: String (207.0)"), std::string::npos) << *info;
  }
}

}  // namespace
}  // namespace mirabo
