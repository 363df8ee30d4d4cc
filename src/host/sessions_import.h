// kwl --sessions-import DIR: session files into the store kwl.conf names.
#pragma once

#include <string>

namespace kwl {

// Copies every live session file of `dir` into the configured store, keeping
// each one's time of last use; the store's own copy stays when it was used
// later. Prints what it did; returns the exit status (1 when a copy failed).
int ImportSessions(const std::string& dir);

}  // namespace kwl
