// The process-wide globals: one copy for every procedure thread.  Only one
// thread runs at a time, so they are shared without locks.
#pragma once

#include <string>

#include "runtime/bindings.h"
#include "runtime/value.h"

namespace mirabo::app {

// The selections that the Features orders and reports filter on.  Filter
// expressions know them as "GLO:supplier", "GLO:review", "GLO:category" and
// "GLO:Issue", exactly so spelled.
namespace GLO {
extern ShortVar supplier;
extern ShortVar review;
extern ShortVar category;
extern RealVar Issue;
}  // namespace GLO

// Set to 100 by the frame before it starts a lookup browse for a report.
extern ByteVar ReportAfterSelect;

// File names are held whole: a name cut to a declared width would silently
// address a different file.
extern std::string CreateFileName;
extern std::string HTMLName;

extern StringVar HTMLProgressText;  // STRING(30)
extern StringVar SearchText;        // STRING(30)
extern ByteVar SearchInProduct;
extern ByteVar SearchInReview;
extern ByteVar SearchInCategory;
extern ByteVar SearchInSupplier;

// The main module's start-up step: every global back to its initial value.
void ResetGlobals();

// Binds the four selection globals under their expression names.
void BindGlobals(Bindings& bindings);

}  // namespace mirabo::app
