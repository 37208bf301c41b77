// The features a search needs to test, found through the substring indexes
// of the data files instead of by reading every feature.
//
// A product name is asked of FEATURES' own index; a review kind, category or
// supplier name of its lookup file's index, each name that holds the text
// turning into the range of FEATURES on that lookup's key.  The candidates
// are every feature that can match and maybe a few more: the search still
// tests each one, so its answer is exactly the scan's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "ui/task.h"

namespace mirabo::app {

struct SearchFields {
  bool product = false, review = false, category = false, supplier = false;
};

// With the data files of the calling thread open: the record numbers of the
// FEATURES records that may hold `upper_needle` (Windows-1252, upper case,
// no trailing blanks) in a chosen field, in the search's order (FEA:FEATISS:
// by issue, then by record number), and kNoError.  kUnsupportedFunction
// when the indexes cannot narrow the search (a text under three characters,
// a file without its index, more candidates than a scan would cost): the
// caller tests every feature.  Another code is a read that failed.
//
// The coroutine gives way to the window's events after every `step_reads`
// record reads (a common text has hundreds of thousands of candidates, each
// read once for its issue), after each part of an index's list, and while it
// orders the candidates, a sorted run of `order_run` or a merge of two runs
// at a time.  The plain call works in the same kind of steps without giving
// way, its index lists coming `step_reads` record numbers a part.
ui::Task<int> GatherSearchCandidates(std::string upper_needle, SearchFields fields,
                                     std::vector<int64_t>* records);
int SearchCandidates(std::string_view upper_needle, const SearchFields& fields,
                     std::vector<int64_t>* records, size_t step_reads = 4096,
                     size_t order_run = 32768);

}  // namespace mirabo::app
