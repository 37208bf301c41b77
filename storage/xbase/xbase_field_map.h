// How the xBase driver stores a declared record: one table field for each
// declared field, named and typed from the declaration.
//
// The name is the field's external name, else its label, without everything
// up to its last ':'.  A name "NAME=desc" gives the table field NAME typed by
// the descriptor: "C" (the declared size), "D", "L", "M", or "N(w)", "N(w.d)",
// "N(w,d)" with w and d of at most 3 digits, w at most 20 and a non-zero d at
// most w - 2.  Without a descriptor the declared type decides: BYTE is L(1),
// LONG is M(10) (a memo block number), REAL is N(9,2), a STRING with a date
// picture is D(8), a STRING with a number picture is N of the picture's width
// and decimals (which must equal the string's size), any other STRING is C of
// its size.  SHORT has no table type.
#pragma once

#include <vector>

#include "runtime/file_decl.h"
#include "storage/xbase/dbf_layout.h"

namespace mirabo::xbase {

struct MappedField {
  int decl_field = 0;  // index in the declaration
  NewField new_field;  // the table field
};

// Builds the table fields of `decl` in declaration order.  Returns 0, or 75
// "Invalid Field Type Descriptor" for a malformed descriptor, a picture
// whose width differs from its string, or a type without a table type.
int BuildFieldMap(const FileDecl& decl, std::vector<MappedField>* map);

}  // namespace mirabo::xbase
