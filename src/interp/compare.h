// Comparison of two condition values: as numbers when both are numeric expressions, else as bytes.
#pragma once

#include <string_view>

#include "interp/interpreter.h"

namespace kwl {

// Negative, zero or positive as `a` orders before, with or after `b`. An
// operand whose evaluation divided by zero orders below the other.
int CompareValues(Interpreter& interp, std::string_view a, std::string_view b);

}  // namespace kwl
