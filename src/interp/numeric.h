// Number tests shared by substitution and the expression evaluator.
#pragma once

#include <string_view>

namespace kwl {

// True for a non-empty text made of digits, ".", and "+-/* ()%" with at
// least one digit; `hasPoint` tells whether a "." occurs.
bool IsNumericText(std::string_view text, bool* hasPoint = nullptr);

}  // namespace kwl
