// Which page file a CGI request runs, and which files a visitor may name.
#pragma once

#include <string>
#include <string_view>

#include "core/process.h"

namespace kwl {

// Sets the page path and the path information from the CGI environment.
void ChooseCgiPage(Process& proc);

// The request's `page` parameter, at most 255 characters.
std::string PageParameter(const Scope& global);

// The file the `page` parameter names (below the parent of the working
// directory) when a visitor may run it; false when nothing may run.
bool PageParameterPath(Process& proc, std::string_view value, std::string* path);

}  // namespace kwl
