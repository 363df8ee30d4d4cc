// WriteOutput: the only path by which page text reaches the response, a capture or a file.
#pragma once

#include <string_view>

#include "interp/interpreter.h"

namespace kwl {

void WriteOutput(Interpreter& interp, std::string_view text);
// Writes a header line (or lines) straight to standard output.
void WriteHeader(Interpreter& interp, std::string_view text);
// True when nothing has been written to the response yet and no redirection is active.
bool ResponseNotStarted(Interpreter& interp);

}  // namespace kwl
