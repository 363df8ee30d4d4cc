// Fills the dispatch table with the handlers the tag list names (modules fill their own).
#pragma once

#include "interp/dispatch.h"

namespace kwl {

void RegisterAllTags(TagRegistry& tags);

}  // namespace kwl
