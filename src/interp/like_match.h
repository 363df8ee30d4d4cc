// The pattern operator ?= : "%" stands for any run of characters.
#pragma once

#include <string_view>

#include "interp/interpreter.h"

namespace kwl {

// Case-sensitive; each literal piece is found at its first occurrence, so a
// last piece that occurs twice after the previous one does not match (abab
// against %ab is false). A pattern without "%" is an equality test.
bool LikeMatch(Interpreter& interp, std::string_view text, std::string_view pattern);

}  // namespace kwl
