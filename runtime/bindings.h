// Bound names: the names under which fields and variables are known to filter
// expressions ("FEA:SUPPLIER", "GLO:supplier").  Names are matched exactly,
// case included, and looked up from the innermost scope outwards.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/value.h"

namespace mirabo {

class File;

class Bindings {
 public:
  Bindings();

  // Opens a scope; names bound from now on are forgotten by the matching Pop.
  void PushScope();
  // Drops the innermost scope; the outermost scope is never dropped.
  void PopScope();

  void Bind(std::string name, ValueRef ref);
  // Binds every field of the file's record under its label.
  void BindRecord(File& file);

  // The value bound under `name`, or an invalid ref.
  ValueRef Lookup(std::string_view name) const;

 private:
  std::vector<std::map<std::string, ValueRef, std::less<>>> scopes_;
};

}  // namespace mirabo
