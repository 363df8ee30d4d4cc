// The SET family: SET, SETAREA, UNSET and SCOPE.
#pragma once

#include "interp/attributes.h"
#include "interp/dispatch.h"

namespace kwl {

void RegisterSetTags(TagRegistry& tags);

// REPLACE/BY on the variable `name` of `scope`: every occurrence, left to
// right, never searching inside a replacement.
void ApplyReplace(Interpreter& interp, AttributeList& attributes, std::string_view name, Scope& scope);

}  // namespace kwl
