// <SCOPE>: opens a block of local variables, closed by </SCOPE>.
#include <cstdio>

#include "interp/substitute.h"
#include "tags/set_tags.h"

namespace kwl {

void ScopeTag(Interpreter& interp, const TagCall& call) {
  AttributeList attributes = TagAttributes(interp, call);
  std::string name;
  if (Variable* nameAttribute = FindAttribute(attributes, "NAME")) {
    name = Substituted(interp, VarText(*nameAttribute));
  } else {
    char generated[32];
    std::snprintf(generated, sizeof generated, "SCOPE_%d",
                  static_cast<int>(interp.stack.blocks.size()));
    name = generated;
  }
  BlockPush(interp.stack, BlockNew(interp.stack, name, kBlockLocal));
}

}  // namespace kwl
