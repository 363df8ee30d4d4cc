// <DEBUG>: the page sets its trace level and file name, and writes into the trace.
#pragma once

#include "interp/dispatch.h"

namespace kwl {

void RegisterDebugTag(TagRegistry& tags);

}  // namespace kwl
