#include "runtime/bindings.h"

#include "runtime/file.h"

namespace mirabo {

Bindings::Bindings() : scopes_(1) {}

void Bindings::PushScope() { scopes_.emplace_back(); }

void Bindings::PopScope() {
  if (scopes_.size() > 1) scopes_.pop_back();
}

void Bindings::Bind(std::string name, ValueRef ref) { scopes_.back()[std::move(name)] = ref; }

void Bindings::BindRecord(File& file) {
  for (size_t i = 0; i < file.decl().fields.size(); ++i) {
    Bind(file.decl().fields[i].label, file.Field(static_cast<int>(i)));
  }
}

ValueRef Bindings::Lookup(std::string_view name) const {
  for (auto it = scopes_.rbegin(); it != scopes_.rend(); ++it) {
    auto found = it->find(name);
    if (found != it->end()) return found->second;
  }
  return {};
}

}  // namespace mirabo
