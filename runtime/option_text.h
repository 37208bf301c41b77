// Driver option texts: "NAME" is a query, "NAME=VALUE" a setting.  Blanks are
// removed and letters upper-cased before the text is read.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace mirabo {

struct OptionText {
  std::string name;
  std::optional<std::string> value;  // nullopt for a query
  bool is_query() const { return !value.has_value(); }
};

OptionText ParseOption(std::string_view text);

// The reading of an on/off setting: "OFF" is off, anything else on.
inline bool OptionOn(const std::string& value) { return value != "OFF"; }

}  // namespace mirabo
