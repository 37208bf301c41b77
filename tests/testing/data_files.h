// Builds a data file in the current directory from rows of text, one value
// per field in declaration order.  Header-only: the tests that use it link
// the data model themselves.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/data/declarations.h"
#include "runtime/access.h"
#include "runtime/error.h"
#include "runtime/file.h"

namespace mirabo::testing {

inline void WriteTable(app::DataFile table, const std::vector<std::vector<std::string>>& rows) {
  File f(app::DataFileDecl(table));
  ASSERT_EQ(f.Create(), kNoError);
  ASSERT_EQ(f.Open(kOpenExclusive), kNoError);
  // One transaction: a thousand rows take a moment, not a thousand syncs.
  const bool transaction = f.BeginTransaction() == kNoError;
  for (const auto& row : rows) {
    f.ClearRecord();
    for (size_t i = 0; i < row.size(); ++i) f.Field(static_cast<int>(i)).SetString(row[i]);
    ASSERT_EQ(f.Add(), kNoError);
  }
  if (transaction) {
    ASSERT_EQ(f.Commit(), kNoError);
  }
}

}  // namespace mirabo::testing
