// The network tags: HTTP fetches a page or talks to a server with the page's own bytes.
#pragma once

#include "interp/dispatch.h"

namespace kwl {

void HttpTag(Interpreter& interp, const TagCall& call);

// Fills the slots of the network tags (the module's registration).
void RegisterNetTags(TagRegistry& tags);

}  // namespace kwl
