#include "app/data/declarations.h"

#include "app/data/globals.h"

namespace mirabo::app {
namespace {

using B = FileDeclBuilder;

const std::array<FileDecl, kDataFileCount>& DataDecls() {
  static const std::array<FileDecl, kDataFileCount> decls = {
      B("FEATURES", "FEA", "KARVINEX")
          .Create()
          .Thread()
          .String("PRODUCT", 86)
          .Short("REVIEW")
          .Real("ISSUE", "ISSUE=N(4.0)")
          .Short("SUPPLIER")
          .String("HS", 4)
          .Short("CATEGORY")
          .String("V", 15)
          .String("COMMENTS", 207)
          .Key("FEATPROD", {"PRODUCT"}, B::kDup | B::kNoCase)
          .Key("FEATSUPP", {"SUPPLIER"}, B::kDup | B::kNoCase)
          .Key("FEATREV", {"REVIEW"}, B::kDup | B::kNoCase)
          .Key("FEATCAT", {"CATEGORY"}, B::kDup | B::kNoCase)
          .Key("FEATISS", {"ISSUE"}, B::kDup | B::kNoCase)
          .TextIndex("PRODUCT")
          .Build(),
      B("SUPPLIER", "SUP", "KARVINEX")
          .Create()
          .Thread()
          .String("SUPPLIER", 36)
          .Short("REFERENCE")
          .Key("KEY_SUPPLIER", {"SUPPLIER"}, B::kDup, "SUPPLIER=C[SUPPLIER]")
          .Key("SUPPLIER_REF", {"REFERENCE"}, B::kNoCase)
          .TextIndex("SUPPLIER")
          .Build(),
      B("REVIEW", "REV", "KARVINEX")
          .Create()
          .Thread()
          .String("REVIEW", 19)
          .Short("REFERENCE")
          .Key("KEY_REVIEW", {"REVIEW"}, B::kDup, "REVIEW=C[REVIEW]")
          .Key("REVIEW_REF", {"REFERENCE"}, B::kNoCase)
          .TextIndex("REVIEW")
          .Build(),
      B("CATEGORY", "CAT", "KARVINEX")
          .Create()
          .Thread()
          .String("CATEGORY", 31)
          .Short("REFERENCE")
          .Key("KEY_CATEGORY", {"CATEGORY"}, B::kDup, "CATEGORY=C[CATEGORY]")
          .Key("CATEGORY_REF", {"REFERENCE"}, B::kNoCase)
          .TextIndex("CATEGORY")
          .Build(),
      B("ISSUES", "ISS", "KARVINEX")
          .Create()
          .Thread()
          .Real("ISSUE_NUMB", "ISSUE_NUMB=N(3.0)")
          .String("ISSUE_NAME", 14)
          .String("COMMENTS", 91)
          .Key("ISSUE", {"ISSUE_NUMB"}, B::kDup | B::kNoCase)
          .Build(),
  };
  return decls;
}

std::string CreateFileNameNow() { return CreateFileName; }

// The xBase targets keep the number columns of their sources; the text
// targets hold text only.
const std::array<FileDecl, kDataFileCount>& XbaseDecls() {
  static const std::array<FileDecl, kDataFileCount> decls = {
      B("FEA1", "FEA1", "XBASE")
          .NameFrom(CreateFileNameNow)
          .Create()
          .String("PRODUCT", 86)
          .String("REVIEW", 19)
          .Real("ISSUE", "ISSUE=N(4.0)")
          .String("SUPPLIER", 36)
          .String("HS", 4)
          .String("CATEGORY", 31)
          .String("V", 15)
          .String("COMMENTS", 207)
          .Build(),
      B("SUP1", "SUP1", "XBASE")
          .NameFrom(CreateFileNameNow)
          .Create()
          .String("SUPPLIER", 36)
          .Build(),
      B("REV1", "REV1", "XBASE").NameFrom(CreateFileNameNow).Create().String("REVIEW", 19).Build(),
      B("CAT1", "CAT1", "XBASE")
          .NameFrom(CreateFileNameNow)
          .Create()
          .String("CATEGORY", 31)
          .Build(),
      B("ISS1", "ISS1", "XBASE")
          .NameFrom(CreateFileNameNow)
          .Create()
          .Real("ISSUE_NUMB", "ISSUE_NUMB=N(3.0)")
          .String("ISSUE_NAME", 14)
          .String("COMMENTS", 91)
          .Build(),
  };
  return decls;
}

const std::array<FileDecl, kDataFileCount>& TextDecls() {
  static const std::array<FileDecl, kDataFileCount> decls = {
      B("FEA2", "FEA2", "BASIC")
          .NameFrom(CreateFileNameNow)
          .Create()
          .String("PRODUCT", 86)
          .String("REVIEW", 19)
          .String("ISSUE", 4)
          .String("SUPPLIER", 36)
          .String("HS", 4)
          .String("CATEGORY", 31)
          .String("V", 15)
          .String("COMMENTS", 207)
          .Build(),
      B("SUP2", "SUP2", "BASIC")
          .NameFrom(CreateFileNameNow)
          .Create()
          .String("SUPPLIER", 36)
          .Build(),
      B("REV2", "REV2", "BASIC").NameFrom(CreateFileNameNow).Create().String("REVIEW", 19).Build(),
      B("CAT2", "CAT2", "BASIC")
          .NameFrom(CreateFileNameNow)
          .Create()
          .String("CATEGORY", 31)
          .Build(),
      B("ISS2", "ISS2", "BASIC")
          .NameFrom(CreateFileNameNow)
          .Create()
          .String("ISSUE_NUMB", 3)
          .String("ISSUE_NAME", 14)
          .String("COMMENTS", 91)
          .Build(),
  };
  return decls;
}

}  // namespace

const FileDecl& DataFileDecl(DataFile file) { return DataDecls()[static_cast<int>(file)]; }
const FileDecl& XbaseTargetDecl(DataFile source) { return XbaseDecls()[static_cast<int>(source)]; }
const FileDecl& TextTargetDecl(DataFile source) { return TextDecls()[static_cast<int>(source)]; }

const FileDecl& HtmlFileDecl() {
  static const FileDecl decl = B("HTMLFILE", "", "ASCII")
                                   .NameFrom([] { return HTMLName; })
                                   .Create()
                                   .String("LINE", 255)
                                   .Build();
  return decl;
}

const FileDecl& Utf8HtmlFileDecl() {
  static const FileDecl decl = B("HTMLFILE", "", "ASCII")
                                   .NameFrom([] { return HTMLName; })
                                   .Create()
                                   .String("LINE", 3 * 255)
                                   .Build();
  return decl;
}

const Relation* RelationOf(int features_field) {
  for (const Relation& r : kRelations) {
    if (r.features_field == features_field) return &r;
  }
  return nullptr;
}

const Relation* RelationTo(DataFile lookup) {
  for (const Relation& r : kRelations) {
    if (r.lookup == lookup) return &r;
  }
  return nullptr;
}

}  // namespace mirabo::app
