#include "app/shell/procedures.h"

#include <map>

#include "app/data/standard_message.h"
#include "ui/scheduler.h"

namespace mirabo::app {
namespace {
std::map<std::string, ProcedureFactory>& Registry() {
  static std::map<std::string, ProcedureFactory> registry;
  return registry;
}
}  // namespace

void RegisterProcedure(const std::string& name, ProcedureFactory factory) {
  Registry()[name] = std::move(factory);
}

ProcedureFactory FindProcedure(const std::string& name) {
  auto it = Registry().find(name);
  return it == Registry().end() ? ProcedureFactory{} : it->second;
}

ui::Task<int> StartProcedure(std::string name, int stack_size) {
  ProcedureFactory factory = FindProcedure(name);
  if (!factory) {
    co_await StandardMessage(6, name);
    co_return 0;
  }
  co_return ui::Scheduler::Get().Start(factory(), stack_size);
}

}  // namespace mirabo::app
