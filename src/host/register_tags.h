// Fills the dispatch table with the handlers of every subsystem.
#pragma once

#include "interp/dispatch.h"

namespace kwl {

void RegisterAllTags(TagRegistry& tags);

}  // namespace kwl
