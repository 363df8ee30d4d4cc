// The configuration file "kwl.conf": keys into CONFIG, "!" keys into the environment.
#pragma once

#include <string_view>

#include "core/scope.h"

namespace kwl {

// Reads the file (a missing file is no error) into `config`.
void ReadConfigFile(Scope& config, const char* path = "kwl.conf");
// One line of the file.
void ReadConfigLine(Scope& config, std::string_view line);

}  // namespace kwl
