// SearchFeatures: the window "SEARCHFEATURES$WINDOW" where the user types a
// text and chooses the fields of the features to look in.  "Start Search"
// checks the input, hands the criteria to SEARCHRUN (app/search_report.h)
// through the process-wide SearchText and SearchIn... flags and runs it on
// the window's own thread; the window stays open, with its choices, for the
// next search.  While a search runs the window's controls rest: the window
// cannot answer until the search is over.
#pragma once

#include "ui/task.h"
#include "ui/window_def.h"

namespace mirabo::app {

enum SearchFeaturesControl : int {
  kSearchProduct = 1,  // option group, radios 2 ("Yes") and 3 ("No")
  kSearchProductYes = 2,
  kSearchProductNo = 3,
  kSearchStart = 4,
  kSearchFieldsCaption = 5,
  kSearchHint = 6,
  kSearchPrompt = 7,
  kSearchText = 8,
  kSearchReview = 9,  // radios 10 and 11
  kSearchReviewYes = 10,
  kSearchReviewNo = 11,
  kSearchCategory = 12,  // radios 13 and 14
  kSearchCategoryYes = 13,
  kSearchCategoryNo = 14,
  kSearchSupplier = 15,  // radios 16 and 17
  kSearchSupplierYes = 16,
  kSearchSupplierNo = 17,
  kSearchClose = 18,
};

const ui::WindowDef& SearchFeaturesWindowDef();

ui::Proc SearchFeatures();

// Registers SearchFeatures by name, for the frame's Search.
void RegisterSearch();

}  // namespace mirabo::app
