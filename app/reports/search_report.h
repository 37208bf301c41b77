// SEARCHRUN: every feature in which a text occurs, ignoring case, in at
// least one chosen field (the product name, or the looked-up name of its
// review kind, category or supplier), printed in issue order through the
// report runner (app/report_runner.h).
//
// The criteria come from the process-wide SearchText and SearchIn... flags,
// copied when the run starts: a search started meanwhile in another window
// changes the globals, never a run under way.
#pragma once

#include <string>
#include <string_view>

#include "app/reports/report_runner.h"
#include "ui/task.h"

namespace mirabo::app {

struct SearchCriteria {
  std::string text;  // STRING(30): leading blanks count, trailing ones do not
  bool product = false, review = false, category = false, supplier = false;
};

// The globals as a search started now would take them.
SearchCriteria CurrentSearchCriteria();

// Whether `upper_needle` (already upper-cased, in Windows-1252) occurs in
// `field` with `field` upper-cased.  An empty needle occurs everywhere.
bool ContainsUpper1252(std::string_view field, std::string_view upper_needle);

// The run of a search for `criteria`: FEATURES in FEA:FEATISS order, every
// record tested after its three lookups.  The plan keeps its own copy of the
// criteria.
ReportPlan SearchReportPlan(const SearchCriteria& criteria);

// The report procedure: searches with the criteria the globals hold now, on
// the calling thread.  SharedResponse as RunReport leaves it.
ui::Proc SEARCHRUN();

}  // namespace mirabo::app
