// User functions: <FUNCTION NAME=...> defines a piece of page text, <FUNCTION EXEC=...> runs it.
#pragma once

#include "interp/dispatch.h"

namespace kwl {

void RegisterFunctionTag(TagRegistry& tags);

}  // namespace kwl
