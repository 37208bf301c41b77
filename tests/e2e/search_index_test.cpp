// The search through the substring indexes against the search that reads
// every feature, on generated data with its awkward rows: for thousands of
// random texts the two find the same features in the same order, also after
// a sqlite3 shell (another program) changed the data, and in files made
// without the index, until `mirabo index` adds it.
#include <sqlite3.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/data/declarations.h"
#include "app/data/thread_block.h"
#include "app/reports/search_candidates.h"
#include "app/reports/search_report.h"
#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/text.h"
#include "runtime/view.h"
#include "tests/testing/temp_dir.h"
#include "tools/generate/sample_generator.h"
#include "tools/load/loader.h"
#include "tools/load/repair.h"

namespace mirabo {
namespace {

using app::DataFile;
using app::SearchFields;

// A text as an SQL literal.
std::string SqlText(const std::string& text) {
  std::string out = "'";
  for (char c : text) {
    if (c == '\'') out += '\'';
    out += c;
  }
  return out + "'";
}

// A feature as the search tests it.
struct Row {
  int64_t record;
  std::string product, review, category, supplier;
};

struct Query {
  std::string text;  // as typed
  SearchFields fields;
};

class SearchIndexTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tools::SampleOptions o;
    o.features = 5000;
    o.suppliers = 300;
    o.seed = 20261209;
    ASSERT_EQ(tools::WriteSampleData(o, csv_.path()), "");
    std::vector<std::string> files;
    for (const char* t : {"FEATURES", "SUPPLIER", "REVIEW", "CATEGORY", "ISSUES"}) {
      files.push_back(csv_.File(std::string(t) + ".csv"));
    }
    tools::LoadOptions load;
    load.data_dir = data_.path();
    const tools::LoadResult r = tools::Load(files, load);
    ASSERT_TRUE(r.ok) << r.error;
    chdir_ = std::make_unique<testing::ScopedChdir>(data_.path());
    OpenFiles();
  }
  void TearDown() override { CloseFiles(); }

  void OpenFiles() {
    for (DataFile f : app::kAllDataFiles) {
      ASSERT_EQ(app::CurrentThread().Data(f).Open(kOpenShared), kNoError);
    }
  }
  void CloseFiles() {
    for (DataFile f : app::kAllDataFiles) (void)app::CurrentThread().Data(f).Close();
  }

  // Every feature in issue order with its looked-up names: what the scan reads.
  std::vector<Row> ReadAll() {
    File& features = app::CurrentThread().Data(DataFile::kFeatures);
    View view(features);
    Join(view);
    std::vector<Row> rows;
    EXPECT_EQ(view.SetOrder(app::FEA::FEATISS), kNoError);
    EXPECT_EQ(view.Open(), kNoError);
    while (view.Next() == kNoError) rows.push_back(Current());
    return rows;
  }

  // The scan's answer: the features the described test selects, in order.
  static std::vector<int64_t> Scan(const std::vector<Row>& rows, const Query& q) {
    const std::string needle = ToUpper1252(Clip(q.text));
    std::vector<int64_t> out;
    for (const Row& r : rows) {
      auto in = [&](bool chosen, const std::string& field) {
        return chosen && app::ContainsUpper1252(field, needle);
      };
      if (in(q.fields.product, r.product) || in(q.fields.review, r.review) ||
          in(q.fields.category, r.category) || in(q.fields.supplier, r.supplier)) {
        out.push_back(r.record);
      }
    }
    return out;
  }

  // The indexed answer, each candidate read and tested; `indexed` tells
  // whether the indexes answered (else the search would scan).  Gathered in
  // steps of a few reads, so that resuming is tried at every place, and
  // ordered in runs of a few, so that every merge is tried.
  std::vector<int64_t> Indexed(const std::vector<Row>& rows, const Query& q, bool* indexed) {
    std::vector<int64_t> candidates;
    const int rc = app::SearchCandidates(ToUpper1252(Clip(q.text)), q.fields, &candidates,
                                         1 + q.text.size() % 4, 1 + q.text.size() % 5);
    *indexed = rc == kNoError;
    if (rc == kUnsupportedFunction) return Scan(rows, q);
    EXPECT_EQ(rc, kNoError);
    File& features = app::CurrentThread().Data(DataFile::kFeatures);
    View view(features);
    Join(view);
    std::vector<Row> read;
    for (int64_t c : candidates) {
      EXPECT_EQ(view.GetRecord(c), kNoError);
      read.push_back(Current());
    }
    return Scan(read, q);
  }

  // Runs a sqlite3 shell on a data file, changing it the way another
  // program would.
  void Shell(DataFile file, const std::string& sql) {
    const std::string path = app::CurrentThread().Data(file).Name();
    testing::WriteFile(csv_.File("change.sql"), sql);
    const std::string command = "sqlite3 '" + path + "' < '" + csv_.File("change.sql") + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
  }
  // The table inside a data file.
  std::string TableOf(DataFile file) {
    sqlite3* db = nullptr;
    std::string name;
    if (sqlite3_open_v2(app::CurrentThread().Data(file).Name().c_str(), &db, SQLITE_OPEN_READONLY,
                        nullptr) == SQLITE_OK) {
      sqlite3_stmt* s = nullptr;
      sqlite3_prepare_v2(db,
                         "SELECT name FROM sqlite_master WHERE type='table' AND "
                         "instr(name, '$') = 0",
                         -1, &s, nullptr);
      if (sqlite3_step(s) == SQLITE_ROW)
        name = reinterpret_cast<const char*>(sqlite3_column_text(s, 0));
      sqlite3_finalize(s);
    }
    sqlite3_close_v2(db);
    return name;
  }

  std::vector<Query> RandomQueries(const std::vector<Row>& rows, int count) {
    std::mt19937 random(1997);
    auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
    // Letters with accents, in both cases, and characters no text holds.
    const std::string odd = "\xE9\xC9\xFF\x9F\x9A\x8A\x9C\xDF\xB5\xE0\xC0~\xA4|^";
    std::vector<Query> out;
    for (int i = 0; i < count; ++i) {
      Query q;
      q.fields = {pick(2) == 0, pick(3) == 0, pick(3) == 0, pick(3) == 0};
      if (!q.fields.product && !q.fields.review && !q.fields.category && !q.fields.supplier) {
        q.fields.product = true;
      }
      const int kind = pick(10);
      if (kind < 7) {
        // A piece of a text the data holds, in any case.
        const Row& r = rows[pick(static_cast<int>(rows.size()))];
        const std::string& from = std::vector<const std::string*>{
            &r.product, &r.review, &r.category, &r.supplier}[pick(4)][0];
        if (from.empty()) continue;
        const int start = pick(static_cast<int>(from.size()));
        q.text = from.substr(start, 1 + pick(30));
        for (char& c : q.text) {
          if (pick(2)) c = static_cast<char>(ToUpper1252(static_cast<unsigned char>(c)));
        }
      } else {
        // Made up, of letters, accents and characters that occur nowhere.
        const int length = 1 + pick(kind == 9 ? 6 : 30);
        for (int k = 0; k < length; ++k) {
          q.text +=
              pick(3) ? static_cast<char>('a' + pick(26)) : odd[pick(static_cast<int>(odd.size()))];
        }
      }
      if (pick(4) == 0) q.text.insert(0, std::string(1 + pick(2), ' '));
      if (pick(4) == 0) q.text.append(std::string(1 + pick(3), ' '));
      q.text = q.text.substr(0, 30);
      out.push_back(q);
    }
    return out;
  }

  testing::TempDir csv_, data_;
  std::unique_ptr<testing::ScopedChdir> chdir_;

 private:
  static void Join(View& view) {
    for (int i = 0; i < 3; ++i) {
      const app::Relation& j = app::kRelations[i];
      view.Join(app::CurrentThread().Data(j.lookup), j.lookup_key,
                {{j.features_field, j.lookup_field}});
    }
  }
  static Row Current() {
    app::ThreadBlock& b = app::CurrentThread();
    Row r;
    EXPECT_EQ(b.Data(DataFile::kFeatures).RecordNumber(&r.record), kNoError);
    auto text = [&](DataFile f, int field) { return b.Data(f).Field(field).GetString(); };
    r.product = text(DataFile::kFeatures, app::FEA::PRODUCT);
    r.review = text(DataFile::kReview, app::REV::REVIEW);
    r.category = text(DataFile::kCategory, app::CAT::CATEGORY);
    r.supplier = text(DataFile::kSupplier, app::SUP::SUPPLIER);
    return r;
  }
};

TEST_F(SearchIndexTest, RandomTextsFindWhatReadingEveryFeatureFinds) {
  const std::vector<Row> rows = ReadAll();
  ASSERT_GE(rows.size(), 5000u) << "every generated feature";
  int indexed_runs = 0, found_something = 0;
  for (const Query& q : RandomQueries(rows, 2500)) {
    bool indexed = false;
    const std::vector<int64_t> want = Scan(rows, q);
    ASSERT_EQ(Indexed(rows, q, &indexed), want) << "text \"" << q.text << "\"";
    // Texts of three characters or more are answered by the index.
    const bool long_enough = Clip(q.text).size() >= 3;
    ASSERT_EQ(indexed, long_enough) << "text \"" << q.text << "\"";
    indexed_runs += indexed;
    found_something += !want.empty();
  }
  EXPECT_GT(indexed_runs, 1000);
  EXPECT_GT(found_something, 1000) << "most texts come from the data";
}

TEST_F(SearchIndexTest, ChangesByAnotherProgramAreFoundByTheirNewTextOnly) {
  std::vector<Row> rows = ReadAll();
  // A supplier of many features, renamed; one product renamed.
  const std::string suppliers = TableOf(DataFile::kSupplier);
  const std::string features = TableOf(DataFile::kFeatures);
  const std::string old_product = ToUpper1252(Clip(rows[10].product));
  const std::string old_supplier = ToUpper1252(Clip(rows[20].supplier));
  ASSERT_FALSE(old_supplier.empty());
  CloseFiles();
  Shell(DataFile::kSupplier, "UPDATE \"" + suppliers +
                                 "\" SET SUPPLIER = 'Quorvex Instruments' WHERE SUPPLIER = " +
                                 SqlText(Utf8FromCp1252(Clip(rows[20].supplier))) + ";");
  Shell(DataFile::kFeatures, "UPDATE \"" + features +
                                 "\" SET PRODUCT = 'Zandrel Plotter 9' WHERE rowid = " +
                                 std::to_string(rows[10].record) + ";");
  OpenFiles();
  rows = ReadAll();
  const Query queries[] = {
      {"quorvex instr", {false, false, false, true}},
      {"Zandrel Plotter", {true, false, false, false}},
      {old_supplier, {false, false, false, true}},
      {old_product, {true, false, false, false}},
      {"zandrel", {true, true, true, true}},
  };
  for (const Query& q : queries) {
    bool indexed = false;
    EXPECT_EQ(Indexed(rows, q, &indexed), Scan(rows, q)) << q.text;
    EXPECT_TRUE(indexed) << q.text;
  }
  EXPECT_FALSE(Scan(rows, queries[0]).empty()) << "the renamed supplier's features";
  EXPECT_EQ(Scan(rows, queries[1]).size(), 1u);
}

TEST_F(SearchIndexTest, AFileWithoutTheIndexIsReadWholeUntilMiraboIndexAddsIt) {
  const std::vector<Row> rows = ReadAll();
  const std::string features = TableOf(DataFile::kFeatures);
  CloseFiles();
  // A file as another program (or an earlier version) made it.
  Shell(DataFile::kFeatures, "DROP TABLE \"" + features + "$TEXT$PRODUCT\";");
  OpenFiles();
  const Query q{"disk", {true, false, false, true}};
  bool indexed = true;
  EXPECT_EQ(Indexed(rows, q, &indexed), Scan(rows, q));
  EXPECT_FALSE(indexed) << "the file has no index to ask";

  // One trigger gone is as good as no index: a write could miss it.
  CloseFiles();
  const tools::RepairResult added = tools::MendDataFiles(data_.path(), tools::Mend::kTextIndexes);
  ASSERT_TRUE(added.ok) << added.error;
  ASSERT_EQ(added.rebuilt.size(), 1u);
  Shell(DataFile::kSupplier,
        "DROP TRIGGER \"" + TableOf(DataFile::kSupplier) + "$TEXT$SUPPLIER$AU\";");
  OpenFiles();
  EXPECT_EQ(Indexed(rows, q, &indexed), Scan(rows, q));
  EXPECT_FALSE(indexed) << "the supplier's index lacks a trigger";

  CloseFiles();
  const tools::RepairResult again = tools::MendDataFiles(data_.path(), tools::Mend::kTextIndexes);
  ASSERT_TRUE(again.ok) << again.error;
  EXPECT_EQ(again.rebuilt.size(), 1u);
  OpenFiles();
  EXPECT_EQ(Indexed(rows, q, &indexed), Scan(rows, q));
  EXPECT_TRUE(indexed);
  EXPECT_FALSE(Scan(rows, q).empty());
}

}  // namespace
}  // namespace mirabo
