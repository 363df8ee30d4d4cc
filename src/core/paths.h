// Directories and files named by pages: base and current directory, path resolution, whole-file
// loads.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "core/process.h"
#include "core/variable.h"

namespace kwl {

// DOCUMENT_ROOT, else PWD without its trailing "/", else empty.
std::string BaseDir(Process& proc);
// The page's directory (no trailing "/"), else BaseDir; empty without a page.
std::string CurrentDir(Process& proc);
// A path written in a page: "/x" joins the base directory, anything else the page's directory.
std::string ResolvePath(Process& proc, std::string_view path);
// Reads a whole file (path used as given); false when it cannot be read.
bool LoadWholeFile(Process& proc, const std::string& path, std::string* bytes);
bool LoadFileIntoVariable(Process& proc, std::string_view path, Variable& var);
long FileSize(std::FILE* stream);

}  // namespace kwl
