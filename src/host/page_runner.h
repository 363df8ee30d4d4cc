// The page runner: loads a page file and runs it with a fresh Interpreter.
#pragma once

#include <string>

#include "core/process.h"
#include "core/version.h"
#include "interp/dispatch.h"
#include "interp/interpreter.h"
#include "page/page_cache.h"

namespace kwl {

// Runs a page file; returns whether it changed a SESSION variable.
bool RunPage(Process& proc, TagRegistry& tags, PageCache& pages, const std::string& pagePath);
// False when the page file cannot be opened.
bool LoadAndRunPage(Interpreter& interp, const std::string& pagePath);
// Creates the predefined page variables in GLOBAL and points the Interpreter at them.
void CreatePageVariables(Interpreter& interp);
// velcurrentfile and velcurrentdir from the page path and the base directory.
void SetCurrentFile(Interpreter& interp);

}  // namespace kwl
