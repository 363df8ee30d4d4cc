// FILE, SYSTEM and WAIT: the tags through which a page reaches files and commands.
#pragma once

#include "interp/dispatch.h"

namespace kwl {

void RegisterFileTag(TagRegistry& tags);
void RegisterSystemTag(TagRegistry& tags);
void RegisterWaitTag(TagRegistry& tags);

inline void RegisterFileTags(TagRegistry& tags) {
  RegisterFileTag(tags);
  RegisterSystemTag(tags);
  RegisterWaitTag(tags);
}

}  // namespace kwl
