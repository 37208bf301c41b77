// The process's current folder, where the data files live and where default
// output names are made.
#pragma once

#include <optional>
#include <string>

namespace mirabo {

// The current folder as the system names it (the user's own bytes), or none
// when it cannot be told (removed, or a parent not searchable).  A caller that
// has none must refuse rather than resolve names somewhere else.
std::optional<std::string> CurrentFolder();

}  // namespace mirabo
