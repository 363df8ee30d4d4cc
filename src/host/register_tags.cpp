#include "host/register_tags.h"

#include "interp/block_loops.h"
#include "modules/db/db_api.h"

namespace kwl {

// Every handler the tag list names, declared from the list itself: a
// handler file defines its function in namespace kwl and needs no header.
#define NONE
#define RUN(f) void f(Interpreter&, const TagCall&);
#define BODY(f) size_t f(Interpreter&, const TagCall&);
#define BLOCK(f) size_t f(Interpreter&, LoopState&, const TagCall&, bool);
#define ROWS(s) extern const RowSource s;
#define KWL_TAG(id, code, opening, name, kind, listed, module, runMode, skipMode, handler) handler
#define KWL_ALIAS(id, opening)
#include "page/tags.def"
#undef RUN
#undef BODY
#undef BLOCK
#undef ROWS
#undef KWL_TAG

void RegisterAllTags(TagRegistry& tags) {
  TagSlot* slot = nullptr;
#define RUN(f) slot->run = f;
#define BODY(f) slot->body = f;
#define BLOCK(f) slot->block = f;
#define ROWS(s) slot->rows = &s;
#define KWL_TAG(id, code, opening, name, kind, listed, module, runMode, skipMode, handler) \
  slot = &tags[code];                                                                      \
  handler
#include "page/tags.def"
#undef NONE
#undef RUN
#undef BODY
#undef BLOCK
#undef ROWS
#undef KWL_TAG
#undef KWL_ALIAS
  (void)slot;
  for (const PageVariable& declared : kDbPageVariables) tags.pageVariables.push_back(declared);
}

}  // namespace kwl
