// <UNSET>: removes a variable from its scope.
#include "tags/set_tags.h"

namespace kwl {

void UnsetTag(Interpreter& interp, const TagCall& call) {
  AttributeList attributes = TagAttributes(interp, call);
  SetTarget target =
      FindSetTarget(interp, attributes, "ERROR: No NAME, LOCAL or GLOBAL defined in tag UNSET");
  if (!target.scope || target.name.empty()) return;
  // The interpreter's own variables (velerr, veldebug...) are never removed.
  if (ScopeRemove(*target.scope, target.name)) {
    ReportError(interp, 0, "");
  } else {
    ReportError(interp, 0, "UNSET WARNING: VAR NOT FOUND !");
  }
}

}  // namespace kwl
