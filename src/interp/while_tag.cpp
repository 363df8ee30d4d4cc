// WHILE: the loop condition, evaluated anew before every pass.
#include "interp/control_tags.h"

namespace kwl {

bool WhileTag(Interpreter& interp, const TagCall& call, bool* flag) {
  return OpeningCondition(interp, call, flag, "ERROR: No EXPR defined in tag WHILE");
}

}  // namespace kwl
