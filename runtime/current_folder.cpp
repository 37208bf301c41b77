#include "runtime/current_folder.h"

#include <unistd.h>

#include <cerrno>
#include <memory>

namespace mirabo {

std::optional<std::string> CurrentFolder() {
  // getcwd with a null buffer allocates one of the size needed, so a deep
  // folder is never cut.
  std::unique_ptr<char, void (*)(void*)> dir(getcwd(nullptr, 0), free);
  if (!dir) return std::nullopt;
  return std::string(dir.get());
}

}  // namespace mirabo
