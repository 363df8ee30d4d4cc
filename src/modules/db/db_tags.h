// The database tags: CONNECT opens and closes named connections, SQL fills a result block.
#pragma once

#include "core/scope.h"
#include "interp/dispatch.h"

namespace kwl {

void ConnectTag(Interpreter& interp, const TagCall& call);
// Runs the tag's statement; true when its rows were loaded into `block`.
// `*singlePass` asks the loop for one pass over an empty result.
bool SqlTag(Interpreter& interp, const TagCall& call, Block& block, bool* singlePass);

// SQL's rows for the loop: SqlTag fills them, the hooks keep sqlquerycount
// and sqlnumrow (GLOBAL and the block's own), sqlcolcount in the block.
extern const RowSource kSqlRows;

// Fills the slots of the database tags (the module's registration).
void RegisterDbTags(TagRegistry& tags);

}  // namespace kwl
