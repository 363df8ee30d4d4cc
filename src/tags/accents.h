// NoAccent: accented letters replaced by plain ones, in any page character set.
#pragma once

#include "interp/interpreter.h"

namespace kwl {

// Single-byte page sets are folded byte by byte (FoldAccents). Other sets go
// through wide characters: each character of Latin-1 or Windows-1252 that has
// an approximation is replaced by it, every other character is kept.
void NoAccent(Interpreter& interp, Variable& var);

}  // namespace kwl
