#include "app/data/declarations.h"

#include <gtest/gtest.h>

#include "app/data/globals.h"
#include "app/data/thread_block.h"
#include "runtime/access.h"
#include "runtime/error.h"
#include "storage/native/native_driver.h"
#include "tests/testing/temp_dir.h"

namespace mirabo::app {
namespace {

TEST(DeclarationsTest, RecordsAreLaidOutByteForByte) {
  struct Case {
    const FileDecl& decl;
    int size;
  } cases[] = {
      {DataFileDecl(DataFile::kFeatures), 326},   {DataFileDecl(DataFile::kSupplier), 38},
      {DataFileDecl(DataFile::kReview), 21},      {DataFileDecl(DataFile::kCategory), 33},
      {DataFileDecl(DataFile::kIssues), 113},     {XbaseTargetDecl(DataFile::kFeatures), 406},
      {TextTargetDecl(DataFile::kFeatures), 402}, {XbaseTargetDecl(DataFile::kIssues), 113},
      {TextTargetDecl(DataFile::kIssues), 108},   {HtmlFileDecl(), 255},
  };
  for (const Case& c : cases) EXPECT_EQ(c.decl.record_size, c.size) << c.decl.label;

  const FileDecl& fea = DataFileDecl(DataFile::kFeatures);
  EXPECT_EQ(fea.fields[FEA::COMMENTS].offset, 326 - 207);
  EXPECT_EQ(fea.fields[FEA::ISSUE].ColumnName(), "ISSUE");
  EXPECT_EQ(fea.FieldIndex("FEA:SUPPLIER"), FEA::SUPPLIER);
  EXPECT_EQ(DataFileDecl(DataFile::kIssues).fields[ISS::ISSUE_NUMB].external_name,
            "ISSUE_NUMB=N(3.0)");
}

TEST(DeclarationsTest, KeysAreDeclaredInOrderWithTheirAttributes) {
  const FileDecl& fea = DataFileDecl(DataFile::kFeatures);
  const char* names[] = {"FEA:FEATPROD", "FEA:FEATSUPP", "FEA:FEATREV", "FEA:FEATCAT",
                         "FEA:FEATISS"};
  const int fields[] = {FEA::PRODUCT, FEA::SUPPLIER, FEA::REVIEW, FEA::CATEGORY, FEA::ISSUE};
  ASSERT_EQ(fea.keys.size(), 5u);
  for (int k = 0; k < 5; ++k) {
    EXPECT_EQ(fea.keys[k].label, names[k]);
    EXPECT_EQ(fea.keys[k].components, std::vector<int>{fields[k]});
    EXPECT_TRUE(fea.keys[k].dup && fea.keys[k].nocase);
  }
  const FileDecl& sup = DataFileDecl(DataFile::kSupplier);
  EXPECT_TRUE(sup.keys[SUP::KEY_SUPPLIER].dup);
  EXPECT_FALSE(sup.keys[SUP::KEY_SUPPLIER].nocase) << "supplier names order case-sensitively";
  EXPECT_FALSE(sup.keys[SUP::SUPPLIER_REF].dup) << "references are unique";
  for (DataFile f : kAllDataFiles) {
    EXPECT_TRUE(DataFileDecl(f).create && DataFileDecl(f).thread);
    EXPECT_EQ(DataFileDecl(f).driver, "KARVINEX");
  }
}

TEST(DeclarationsTest, OutputFilesTakeTheirNamesFromTheGlobals) {
  CreateFileName = "/tmp/some/longer/than/forty/characters/Features.dbf";
  EXPECT_EQ(XbaseTargetDecl(DataFile::kFeatures).ExternalName(), CreateFileName)
      << "the whole name, never cut";
  EXPECT_EQ(TextTargetDecl(DataFile::kSupplier).ExternalName(), CreateFileName);
  HTMLName = "/home/user/FEATURES.HTM";
  EXPECT_EQ(HtmlFileDecl().ExternalName(), HTMLName);
  EXPECT_EQ(HtmlFileDecl().driver, "ASCII");
  ResetGlobals();
  EXPECT_TRUE(HTMLName.empty());
  EXPECT_EQ(SearchText.value, std::string(30, ' '));
}

TEST(DeclarationsTest, EveryDataFileCanBeCreatedAndOpenedAsDeclared) {
  native::RegisterNativeDriver();
  testing::TempDir dir;
  testing::ScopedChdir in(dir.path());
  ThreadBlock block;
  for (DataFile f : kAllDataFiles) {
    File& file = block.Data(f);
    EXPECT_EQ(file.Open(kOpenShared), kFileNotFound);
    ASSERT_EQ(file.Create(), kNoError) << file.decl().label;
    ASSERT_EQ(file.Open(kOpenShared), kNoError) << file.decl().label;
    EXPECT_EQ(file.Name(), dir.File(file.decl().label + ".KVX"));
  }
}

TEST(DeclarationsTest, EachThreadBlockHasItsOwnFilesAndCounts) {
  ThreadBlock a, b;
  EXPECT_NE(&a.Data(DataFile::kFeatures), &b.Data(DataFile::kFeatures));
  EXPECT_EQ(&a.Data(DataFile::kFeatures), &a.Data(DataFile::kFeatures));
  a.UseCount(DataFile::kSupplier) = 2;
  EXPECT_EQ(b.UseCount(DataFile::kSupplier), 0);
  EXPECT_EQ(a.SharedRequest.value, 0);

  ThreadBlock* current = &b;
  SetThreadBlockFinder([&]() -> ThreadBlock& { return *current; });
  EXPECT_EQ(&CurrentThread(), &b);
  current = &a;
  EXPECT_EQ(&CurrentThread(), &a);
  SetThreadBlockFinder(nullptr);
}

TEST(DeclarationsTest, GlobalsAreKnownToFiltersByTheirExactNames) {
  Bindings b;
  BindGlobals(b);
  GLO::supplier.value = 7;
  EXPECT_EQ(b.Lookup("GLO:supplier").GetNumber(), 7);
  EXPECT_TRUE(b.Lookup("GLO:Issue").valid());
  EXPECT_FALSE(b.Lookup("GLO:Supplier").valid());
  EXPECT_FALSE(b.Lookup("GLO:issue").valid());
}

}  // namespace
}  // namespace mirabo::app
