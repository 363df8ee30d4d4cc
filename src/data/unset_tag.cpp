// <UNSET>: removes a variable from its scope.
#include "data/set_tags.h"
#include "interp/substitute.h"
#include "interp/target_scope.h"

namespace kwl {

namespace {

void UnsetTag(Interpreter& interp, const TagCall& call) {
  AttributeList attributes = ParseAttributes(interp.proc, call.chunk);
  Variable* nameAttribute = nullptr;
  Scope* scope = TargetScope(interp, attributes, &nameAttribute);
  if (!scope) {
    ReportError(interp, 1, "ERROR: No NAME, LOCAL or GLOBAL defined in tag UNSET");
    return;
  }
  std::string name = Substituted(interp, VarText(*nameAttribute));
  if (name.empty()) return;
  // The interpreter's own variables (velerr, veldebug...) are never removed.
  if (ScopeRemove(*scope, name)) {
    ReportError(interp, 0, "");
  } else {
    ReportError(interp, 0, "UNSET WARNING: VAR NOT FOUND !");
  }
}

}  // namespace

void RegisterUnsetTag(TagRegistry& tags) { tags[kTagUnset].run = UnsetTag; }

}  // namespace kwl
