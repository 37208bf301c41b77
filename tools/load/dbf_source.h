// The rows of an xBase table for the loader (tools/row_source.h): its field
// names, then each live record's fields as their stored text, in record
// order.  Deleted records are skipped; the text is Windows-1252 as stored.
#pragma once

#include <memory>
#include <string>

#include "tools/load/row_source.h"

namespace mirabo::tools {

std::unique_ptr<RowSource> OpenDbfSource(const std::string& path, std::string* error);

}  // namespace mirabo::tools
