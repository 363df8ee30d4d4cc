// Name resolution across the scope stack: result columns, variables, then the environment.
#pragma once

#include <string>
#include <string_view>

#include "core/process.h"

namespace kwl {

// Appends the value of `name` (or, in name mode, the name of what answers)
// to `out`; false when nothing knows the name.
bool ResolveName(Process& proc, std::string_view name, bool nameMode, std::string& out);
// The variable that ResolveName reads for `name`; null when a result column,
// the environment or nothing answers.
Variable* ResolveVariable(Process& proc, std::string_view name);

// The block that receives a function's returned values: below the topmost
// function block, the first block that is not a result block.
Block* BlockReturnTarget(Process& proc);

}  // namespace kwl
