// Cutting a value into tokens at separator characters: by bytes, or by characters of a multi-byte
// page charset.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "interp/interpreter.h"

namespace kwl {

// Every character of `separators` separates. Kept empties: an empty value
// is one empty token. Dropped empties: runs of separators count as one and
// leading or trailing ones give nothing.
std::vector<std::string> SplitTokens(std::string_view value, std::string_view separators,
                                     bool dropEmpty);

// The same on characters of `charset` (converted through wide characters),
// so that a multi-byte separator or a byte inside a multi-byte character
// never cuts a character in two. False when the charset has no converter
// or the text is not valid in it (reported as a warning); the caller then
// splits bytes, so nothing of the value is lost.
bool SplitTokensByCharacter(Interpreter& interp, std::string_view charset, std::string_view value,
                            std::string_view separators, bool dropEmpty,
                            std::vector<std::string>* tokens);

}  // namespace kwl
