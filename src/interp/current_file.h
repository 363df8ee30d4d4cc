// velcurrentfile and velcurrentdir, derived from the page path while a page or an included file
// runs.
#pragma once

#include "interp/interpreter.h"

namespace kwl {

// The page path relative to the base directory, split at its last "/";
// both are emptied when the page lies outside the base directory.
void SetCurrentFileVariables(Interpreter& interp);

}  // namespace kwl
