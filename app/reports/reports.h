// The eight reports, rows of one table run by the report runner
// (app/report_runner.h):
//
//   PRINTFEA:FEATSUPP  the features of the supplier in GLO:supplier
//   PRINTFEA:FEATREV   the features of the review kind in GLO:review
//   PRINTFEA:FEATCAT   the features of the category in GLO:category
//   PRINTFEA:FEATISS   the features of the issue in GLO:Issue
//   PRINTISS:ISSUE, PRINTCAT:CATEGORY, PRINTREV:REVIEW, PRINTSUP:SUPPLIER
//                      the four lookup tables, listed whole
//
// The Features reports run on the thread of the lookup browse that picked
// their value; the listings are started by the frame on threads of their own.
#pragma once

#include "app/reports/report_runner.h"
#include "ui/task.h"

namespace mirabo::app {

enum class ReportId {
  kFeaturesBySupplier,
  kFeaturesByReview,
  kFeaturesByCategory,
  kFeaturesByIssue,
  kIssueTable,
  kCategoryTable,
  kReviewTable,
  kSupplierTable,
};
constexpr ReportId kAllReports[] = {ReportId::kFeaturesBySupplier, ReportId::kFeaturesByReview,
                                    ReportId::kFeaturesByCategory, ReportId::kFeaturesByIssue,
                                    ReportId::kIssueTable,         ReportId::kCategoryTable,
                                    ReportId::kReviewTable,        ReportId::kSupplierTable};

const ReportPlan& ReportPlanOf(ReportId id);

// The report procedure: runs the report on the calling thread.
ui::Proc PrintReport(ReportId id);

// Registers the eight procedures under their names ("PRINTFEA:FEATSUPP", ...).
void RegisterReports();

}  // namespace mirabo::app
