#include "runtime/view.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/text.h"
#include "storage/native/native_driver.h"
#include "tests/testing/temp_dir.h"

namespace mirabo {
namespace {

using B = FileDeclBuilder;
enum ItemKey { kByTitle, kByMaker, kByIssue };
enum ItemField { kTitle, kMaker, kIssue };

// A small features-like table joined to a makers table; makers 1 to 9 exist,
// maker 12 does not.
class ViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    native::RegisterNativeDriver();
    chdir_ = std::make_unique<testing::ScopedChdir>(dir_.path());
    items_ = std::make_unique<File>(items_decl_);
    makers_ = std::make_unique<File>(makers_decl_);
    ASSERT_EQ(makers_->Create(), kNoError);
    ASSERT_EQ(makers_->Open(kOpenExclusive), kNoError);
    for (int m = 1; m <= 9; ++m) {
      makers_->Field("NAME").SetString("Maker " + std::to_string(m));
      makers_->Field("REF").SetNumber(m);
      ASSERT_EQ(makers_->Add(), kNoError);
    }
    ASSERT_EQ(items_->Create(), kNoError);
    ASSERT_EQ(items_->Open(kOpenExclusive), kNoError);
    for (int i = 0; i < 240; ++i) {
      // Makers cluster unevenly; titles repeat in two cases.
      const int maker = i % 17 == 0 ? 12 : 1 + (i * 7) % 9 / 2;
      std::string title = (i % 2 ? "item " : "ITEM ") + std::to_string(i / 2);
      items_->Field(kTitle).SetString(title);
      items_->Field(kMaker).SetNumber(maker);
      items_->Field(kIssue).SetNumber(i % 12);
      ASSERT_EQ(items_->Add(), kNoError);
    }
    (void)items_->Close();
    (void)makers_->Close();
    ASSERT_EQ(items_->Open(kOpenShared), kNoError);
    ASSERT_EQ(makers_->Open(kOpenShared), kNoError);
    bindings_.BindRecord(*items_);
    bindings_.Bind("GLO:maker", maker_.ref());
    bindings_.Bind("GLO:title", title_.ref());
  }

  std::unique_ptr<View> MakeView() {
    auto v = std::make_unique<View>(*items_);
    v->Join(*makers_, 0, {{kMaker, 1}});
    return v;
  }

  // Reads a view to its end; each entry is "title/maker".
  std::vector<std::string> ReadAll(View& v, bool forward) {
    std::vector<std::string> out;
    while ((forward ? v.Next() : v.Previous()) == kNoError) {
      out.push_back(std::string(Clip(items_->Field(kTitle).Bytes())) + "/" +
                    NumberText(items_->Field(kMaker).GetNumber()));
    }
    EXPECT_EQ(CurrentError().code, kRecordNotAvailable);
    return out;
  }

  testing::TempDir dir_;
  std::unique_ptr<testing::ScopedChdir> chdir_;
  FileDecl items_decl_ = B("ITEMS", "ITM", "KARVINEX")
                             .Create()
                             .String("TITLE", 20)
                             .Short("MAKER")
                             .Real("ISSUE")
                             .Key("BYTITLE", {"TITLE"}, B::kDup | B::kNoCase)
                             .Key("BYMAKER", {"MAKER"}, B::kDup | B::kNoCase)
                             .Key("BYISSUE", {"ISSUE"}, B::kDup)
                             .Build();
  FileDecl makers_decl_ = B("MAKERS", "MAK", "KARVINEX")
                              .Create()
                              .String("NAME", 24)
                              .Short("REF")
                              .Key("BYREF", {"REF"}, B::kUnique)
                              .Build();
  std::unique_ptr<File> items_, makers_;
  Bindings bindings_;
  ShortVar maker_;
  StringVar title_{20};
};

TEST_F(ViewTest, JoinsAreOuterJoins) {
  auto v = MakeView();
  ASSERT_EQ(v->SetOrder(kByMaker), kNoError);
  ASSERT_EQ(v->Open(), kNoError);
  int with_name = 0, without = 0;
  while (v->Next() == kNoError) {
    const std::string name(Clip(makers_->Field("NAME").Bytes()));
    if (items_->Field(kMaker).GetNumber() == 12) {
      EXPECT_EQ(name, "") << "a missing maker gives a blank record";
      ++without;
    } else {
      EXPECT_EQ(name, "Maker " + NumberText(items_->Field(kMaker).GetNumber()));
      ++with_name;
    }
  }
  EXPECT_EQ(with_name + without, 240);
  EXPECT_GT(without, 0);
}

TEST_F(ViewTest, KeptLookupRowsGiveWhatReadingEachTimeGives) {
  // Makers repeat and maker 12 is missing: each kept row, and the missing
  // one, is given again to later records, in both directions.
  auto read = [&](bool keep, bool forward) {
    auto v = MakeView();
    if (keep) v->KeepLookupRows();
    EXPECT_EQ(v->SetOrder(kByTitle), kNoError);
    EXPECT_EQ(v->Open(), kNoError);
    std::vector<std::string> names;
    while ((forward ? v->Next() : v->Previous()) == kNoError) {
      names.push_back(NumberText(items_->Field(kMaker).GetNumber()) + "=" +
                      std::string(Clip(makers_->Field("NAME").Bytes())) + "/" +
                      NumberText(makers_->Field("REF").GetNumber()));
    }
    return names;
  };
  for (bool forward : {true, false}) {
    const std::vector<std::string> each_time = read(false, forward);
    ASSERT_EQ(each_time.size(), 240u);
    EXPECT_EQ(read(true, forward), each_time);
    EXPECT_NE(std::find(each_time.begin(), each_time.end(), "12=/0"), each_time.end());
  }
}

// The range read must return exactly what testing every record returns, in
// both directions, for values inside, between, below and above the stored ones.
TEST_F(ViewTest, RangeReadingMatchesFilteringEveryRecord) {
  auto ranged = MakeView();
  auto scanned = MakeView();
  ASSERT_EQ(ranged->SetFilter("ITM:MAKER = GLO:maker", bindings_), kNoError);
  ASSERT_EQ(scanned->SetFilter("NOT ITM:MAKER <> GLO:maker", bindings_), kNoError);
  for (int maker : {0, 1, 2, 3, 5, 7, 12, 40}) {
    maker_.value = static_cast<int16_t>(maker);
    for (bool forward : {true, false}) {
      // Both views read the same file, whose position they share: each is
      // positioned right before it reads.
      auto read = [&](View& v) {
        v.Close();
        EXPECT_EQ(v.SetOrder(kByMaker), kNoError);
        EXPECT_EQ(v.Open(), kNoError);
        return ReadAll(v, forward);
      };
      const int64_t before = items_->reads();
      const auto got = read(*ranged);
      const int64_t ranged_reads = items_->reads() - before;
      EXPECT_TRUE(ranged->ranged());
      EXPECT_FALSE(scanned->ranged());
      EXPECT_EQ(got, read(*scanned)) << "maker " << maker;
      EXPECT_LE(ranged_reads, static_cast<int64_t>(got.size()) + 1)
          << "reads only the range and the record that ends it";
    }
  }
}

TEST_F(ViewTest, RangeReadingFromAnyStartingPoint) {
  auto v = MakeView();
  ASSERT_EQ(v->SetFilter("ITM:MAKER = GLO:maker", bindings_), kNoError);
  maker_.value = 3;
  ASSERT_EQ(v->SetOrder(kByMaker), kNoError);
  ASSERT_EQ(v->Open(), kNoError);
  const auto all = ReadAll(*v, true);
  ASSERT_GT(all.size(), 10u);

  // From a stored position inside the range, both ways.
  ASSERT_EQ(v->SetOrder(kByMaker), kNoError);
  for (int i = 0; i < 5; ++i) ASSERT_EQ(v->Next(), kNoError);
  const std::string pos = v->Position();
  EXPECT_LE(pos.size(), kMaxPositionLength);
  ASSERT_EQ(v->Reset(pos), kNoError);
  EXPECT_EQ(ReadAll(*v, true), std::vector<std::string>(all.begin() + 4, all.end()));
  ASSERT_EQ(v->Reset(pos), kNoError);
  const auto back = ReadAll(*v, false);
  EXPECT_EQ(back.size(), 5u);
  EXPECT_EQ(back.back(), all.front());

  // From a key value below the range: forwards finds its start, backwards
  // finds nothing.  Above it: the reverse.
  auto from = [&](int maker) {
    items_->Field(kMaker).SetNumber(maker);
    EXPECT_EQ(v->SetOrderValue(kByMaker), kNoError);
  };
  from(1);
  EXPECT_EQ(ReadAll(*v, true), all);
  from(1);
  EXPECT_TRUE(ReadAll(*v, false).empty());
  from(9);
  EXPECT_TRUE(ReadAll(*v, true).empty());
  from(9);
  const auto reversed = ReadAll(*v, false);
  EXPECT_EQ(std::vector<std::string>(reversed.rbegin(), reversed.rend()), all);

  // The range follows the variable: a new value reads a new range.
  maker_.value = 4;
  ASSERT_EQ(v->SetOrder(kByMaker), kNoError);
  const auto four = ReadAll(*v, true);
  ASSERT_FALSE(four.empty());
  for (const std::string& e : four) EXPECT_EQ(e.substr(e.find('/')), "/4");
}

TEST_F(ViewTest, TheEndOfARangeLeavesTheRecordBufferAsItWas) {
  auto v = MakeView();
  ASSERT_EQ(v->SetFilter("ITM:MAKER = GLO:maker", bindings_), kNoError);
  maker_.value = 2;
  ASSERT_EQ(v->SetOrder(kByMaker), kNoError);
  ASSERT_EQ(v->Open(), kNoError);
  std::string last;
  while (v->Next() == kNoError) last = std::string(items_->record_bytes());
  EXPECT_EQ(std::string(items_->record_bytes()), last);
}

// A case-insensitive key keeps "ITEM 3" and "item 3" together, but the filter
// compares exactly: the range holds both, the view returns one.
TEST_F(ViewTest, RangeOnACaseInsensitiveKeyStillFiltersExactly) {
  auto ranged = MakeView();
  auto scanned = MakeView();
  ASSERT_EQ(ranged->SetFilter("ITM:TITLE = GLO:title", bindings_), kNoError);
  ASSERT_EQ(scanned->SetFilter("NOT ITM:TITLE <> GLO:title", bindings_), kNoError);
  for (const char* t : {"item 3", "ITEM 3", "Item 3", "item 99", ""}) {
    title_.Assign(t);
    for (bool forward : {true, false}) {
      auto read = [&](View& v) {
        v.Close();
        EXPECT_EQ(v.SetOrder(kByTitle), kNoError);
        EXPECT_EQ(v.Open(), kNoError);
        return ReadAll(v, forward);
      };
      const auto got = read(*ranged);
      EXPECT_EQ(got, read(*scanned)) << t;
    }
  }
}

TEST_F(ViewTest, AFaultyFilterIsReportedAndReadingGoesOnUnfiltered) {
  auto v = MakeView();
  EXPECT_EQ(v->SetFilter("ITM:MAKER = NO:SUCHNAME", bindings_), kInvalidDataFile);
  EXPECT_FALSE(v->filter_error().empty());
  ASSERT_EQ(v->SetOrder(kByIssue), kNoError);
  ASSERT_EQ(v->Open(), kNoError);
  EXPECT_EQ(ReadAll(*v, true).size(), 240u);
}

TEST_F(ViewTest, RegetReadsTheRecordAgainWithItsJoins) {
  auto v = MakeView();
  ASSERT_EQ(v->SetOrder(kByTitle), kNoError);
  ASSERT_EQ(v->Open(), kNoError);
  for (int i = 0; i < 3; ++i) ASSERT_EQ(v->Next(), kNoError);
  const std::string title(Clip(items_->Field(kTitle).Bytes()));
  const std::string maker_name(Clip(makers_->Field("NAME").Bytes()));
  const std::string pos = v->Position();
  items_->ClearRecord();
  makers_->ClearRecord();
  ASSERT_EQ(v->Reget(pos), kNoError);
  EXPECT_EQ(Clip(items_->Field(kTitle).Bytes()), title);
  EXPECT_EQ(Clip(makers_->Field("NAME").Bytes()), maker_name);
}

}  // namespace
}  // namespace mirabo
