#include "app/data/globals.h"

#include "app/data/thread_block.h"

namespace mirabo::app {

namespace GLO {
ShortVar supplier;
ShortVar review;
ShortVar category;
RealVar Issue;
}  // namespace GLO

ByteVar ReportAfterSelect;
std::string CreateFileName;
std::string HTMLName;
StringVar HTMLProgressText(30);
StringVar SearchText(30);
ByteVar SearchInProduct;
ByteVar SearchInReview;
ByteVar SearchInCategory;
ByteVar SearchInSupplier;

void SetReportSelection(DataFile table, double key) {
  switch (table) {
    case DataFile::kSupplier:
      GLO::supplier.value = static_cast<int16_t>(key);
      break;
    case DataFile::kReview:
      GLO::review.value = static_cast<int16_t>(key);
      break;
    case DataFile::kCategory:
      GLO::category.value = static_cast<int16_t>(key);
      break;
    case DataFile::kIssues:
      GLO::Issue.value = key;
      break;
    case DataFile::kFeatures:
      break;
  }
}

void SetBrowseSelection(ThreadBlock& block, DataFile table, double key) {
  if (table == DataFile::kIssues) {
    block.Data(DataFile::kIssues).Field(ISS::ISSUE_NUMB).SetNumber(key);
  } else {
    SetReportSelection(table, key);
  }
}

void ResetGlobals() {
  GLO::supplier.value = 0;
  GLO::review.value = 0;
  GLO::category.value = 0;
  GLO::Issue.value = 0;
  ReportAfterSelect.value = 0;
  CreateFileName.clear();
  HTMLName.clear();
  HTMLProgressText.Assign("");
  SearchText.Assign("");
  SearchInProduct.value = 0;
  SearchInReview.value = 0;
  SearchInCategory.value = 0;
  SearchInSupplier.value = 0;
}

void BindGlobals(Bindings& bindings) {
  bindings.Bind("GLO:supplier", GLO::supplier.ref());
  bindings.Bind("GLO:review", GLO::review.ref());
  bindings.Bind("GLO:category", GLO::category.ref());
  bindings.Bind("GLO:Issue", GLO::Issue.ref());
}

}  // namespace mirabo::app
