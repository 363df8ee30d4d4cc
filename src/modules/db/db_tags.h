// The database tags: CONNECT opens and closes named connections, SQL fills a result block.
#pragma once

#include "core/scope.h"
#include "interp/dispatch.h"

namespace kwl {

void ConnectTag(Interpreter& interp, const TagCall& call);
// Runs the tag's statement; true when its rows were loaded into `block`.
// `*singlePass` asks the loop for one pass over an empty result.
bool SqlTag(Interpreter& interp, const TagCall& call, Block& block, bool* singlePass);

// Fills the slots of the database tags.
void RegisterDbTags(TagRegistry& tags);

}  // namespace kwl
