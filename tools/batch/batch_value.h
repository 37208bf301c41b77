// Which row of a lookup table a command-line value names, for the batch
// commands' --value: a reference number (an issue number for ISSUES), or a
// name matched without regard to case.
#pragma once

#include <string>

#include "app/data/declarations.h"

namespace mirabo::tools {

struct PickedRow {
  bool ok = false;
  double key = 0;           // the reference or issue number
  std::string name;         // the row's name, as UTF-8
  std::string error;        // when not ok: why, with the matches when several
  bool unreadable = false;  // not ok because the table could not be read
};

// Looks `value` up in `table` (SUPPLIER, REVIEW, CATEGORY or ISSUES) of the
// data folder that is current.  A number names the row with that reference
// (issue number); anything else the one row whose name equals it regardless
// of case, or failing that the one row whose name contains it.  Several rows
// are refused, listed.
PickedRow PickRow(app::DataFile table, const std::string& value);

}  // namespace mirabo::tools
