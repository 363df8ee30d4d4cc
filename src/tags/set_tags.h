// The SET family: SET, SETAREA, UNSET and SCOPE.
#pragma once

#include <string>
#include <string_view>

#include "interp/dispatch.h"
#include "page/attributes.h"

namespace kwl {

// The variable a SET-family tag writes: its scope and substituted name.
// Without a naming attribute `missing` is reported at level 1 and the scope
// is null; an empty name leaves `name` empty.
struct SetTarget {
  Scope* scope = nullptr;
  std::string name;
};
SetTarget FindSetTarget(Interpreter& interp, const AttributeList& attributes,
                        std::string_view missing);

// REPLACE/BY on the variable `name` of `scope`: every occurrence, left to
// right, never searching inside a replacement.
void ApplyReplace(Interpreter& interp, const AttributeList& attributes, std::string_view name,
                  Scope& scope);

}  // namespace kwl
