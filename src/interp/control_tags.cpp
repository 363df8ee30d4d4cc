#include "interp/control_tags.h"

namespace kwl {

void RegisterControlTags(TagRegistry& tags) {
  tags[kTagCond].cond = CondTag;
  tags[kTagElse].cond = ElseTag;
  tags[kTagWhile].cond = WhileTag;
  tags[kTagInclude].run = IncludeTag;
  tags[kTagGet].run = GetTag;
  tags[kTagCreate].run = CreateTag;
}

}  // namespace kwl
