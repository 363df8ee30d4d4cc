// The page runner: loads a page file and runs it with a fresh Interpreter.
#pragma once

#include <string>
#include <string_view>

#include "core/process.h"
#include "core/version.h"
#include "interp/dispatch.h"
#include "interp/interpreter.h"
#include "page/page_cache.h"

namespace kwl {

// Runs a page file; returns whether it changed a SESSION variable. The page
// starts with `startError` in velerr and velerrmsg (none when empty).
bool RunPage(Process& proc, TagRegistry& tags, PageCache& pages, const std::string& pagePath,
             std::string_view startError = {});
// False when the page file cannot be opened.
bool LoadAndRunPage(Interpreter& interp, const std::string& pagePath,
                    std::string_view startError = {});
// Creates the predefined page variables in GLOBAL and points the Interpreter at them.
void CreatePageVariables(Interpreter& interp);
// velcurrentfile and velcurrentdir from the page path and the base directory.
void SetCurrentFile(Interpreter& interp);

}  // namespace kwl
