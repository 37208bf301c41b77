// Filter expressions over bound names, as views use them:
//
//   FEA:SUPPLIER = GLO:supplier
//   FEA:ISSUE >= 10 AND (FEA:HS = 'H' OR NOT FEA:CATEGORY = 3)
//
// Operands are bound names, numbers and quoted strings ('it''s'); operators
// are = <> ~= < > <= >= with AND, OR, NOT and parentheses (keywords in any
// case).  Two numbers compare numerically, anything else as fixed-length
// strings (trailing blanks do not count).  Names are resolved when the
// expression is compiled; the values are read at every evaluation.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/bindings.h"
#include "runtime/value.h"

namespace mirabo {

class Filter {
 public:
  Filter();
  ~Filter();
  Filter(Filter&&) noexcept;
  Filter& operator=(Filter&&) noexcept;

  // Compiles `text` against `bindings`.  An empty text compiles to a filter
  // that passes everything.  On failure returns false, leaves *this empty and
  // describes the fault in *error.
  bool Compile(std::string_view text, const Bindings& bindings, std::string* error = nullptr);

  bool empty() const { return root_ == nullptr; }
  bool Evaluate() const;

  // When the expression is, or is joined by AND with, "name = operand" where
  // the name is bound to the value at `field`, returns the other operand: the
  // single value every passing record has in that field.
  std::optional<ValueRef> EqualityOn(const char* field) const;

  struct Node;

 private:
  std::unique_ptr<Node> root_;
};

}  // namespace mirabo
