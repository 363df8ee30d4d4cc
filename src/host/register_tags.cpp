#include "host/register_tags.h"

#include "tags/file_tags.h"
#include "tags/function_tag.h"
#include "tags/set_tags.h"
#include "interp/control_tags.h"
#include "web/cookies.h"
#include "tags/debug_tag.h"

namespace kwl {

// Every subsystem fills its own slots. Keep one line per subsystem: several
// people add to this list.
void RegisterAllTags(TagRegistry& tags) {
  RegisterControlTags(tags);
  RegisterSetTags(tags);
  RegisterCookieTags(tags);
  RegisterFunctionTag(tags);
  RegisterDebugTag(tags);
  RegisterFileTags(tags);  // FILE, SYSTEM, WAIT
  // CONNECT and SQL load the database module on first use.
  tags[kTagConnect].module = "db";
  tags[kTagSql].module = "db";
}

}  // namespace kwl
