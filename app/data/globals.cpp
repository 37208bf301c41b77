#include "app/data/globals.h"

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
