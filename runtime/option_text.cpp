#include "runtime/option_text.h"

#include "runtime/text.h"

namespace mirabo {

OptionText ParseOption(std::string_view text) {
  std::string squeezed;
  for (char c : text) {
    if (c != ' ') squeezed.push_back(c);
  }
  squeezed = ToUpper1252(squeezed);
  OptionText out;
  const size_t eq = squeezed.find('=');
  if (eq == std::string::npos) {
    out.name = squeezed;
  } else {
    out.name = squeezed.substr(0, eq);
    out.value = squeezed.substr(eq + 1);
  }
  return out;
}

}  // namespace mirabo
