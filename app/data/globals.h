// The process-wide globals: one copy for every procedure thread.  Only one
// thread runs at a time, so they are shared without locks.
#pragma once

#include <string>

#include "app/data/declarations.h"
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

class ThreadBlock;

// The selection a pick in the lookup browse of `table` leaves for its
// Features report: the reference in GLO:supplier, GLO:review or
// GLO:category, the issue number in GLO:Issue.
void SetReportSelection(DataFile table, double key);

// The selection the Features browse on `block`'s thread reads its ranged
// order from: the same globals, and for ISSUES the issue number in the
// thread's ISSUES record (where the lookup leaves the row it showed).
void SetBrowseSelection(ThreadBlock& block, DataFile table, double key);

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
