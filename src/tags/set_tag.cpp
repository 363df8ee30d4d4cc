// <SET>: assigns a value made by one format operation, then REPLACE/BY.
#include "core/trace.h"
#include "interp/substitute.h"
#include "interp/target_scope.h"
#include "tags/format_ops.h"
#include "tags/set_tags.h"

namespace kwl {

void SetTag(Interpreter& interp, const TagCall& call) {
  const AttributeList& attributes = TagAttributes(interp, call);
  SetTarget target = FindSetTarget(interp, attributes,
                                   "ERROR: No GLOBAL, NAME, LOCAL or RETURN defined in tag SET");
  if (!target.scope || target.name.empty()) return;
  for (const FormatOperation& operation : FormatOperations()) {
    const Variable* input = FindAttribute(attributes, operation.name);
    if (!input) continue;
    FormatCall format{interp, attributes, target.name, *input, *target.scope};
    if (operation.handler(format) == 0) ReportError(interp, 0, "");
    ApplyReplace(interp, attributes, target.name, *target.scope);
    return;
  }
  ReportError(interp, 0, "WARNING: VALUE set to null in tag SET");
}

SetTarget FindSetTarget(Interpreter& interp, const AttributeList& attributes,
                        std::string_view missing) {
  SetTarget target;
  const Variable* nameAttribute = nullptr;
  target.scope = TargetScope(interp, attributes, &nameAttribute);
  if (!target.scope) {
    ReportError(interp, 1, missing);
    return target;
  }
  target.name = Substituted(interp, VarRawText(*nameAttribute));
  return target;
}

void ApplyReplace(Interpreter& interp, const AttributeList& attributes, std::string_view name,
                  Scope& scope) {
  const Variable* replace = FindAttribute(attributes, "REPLACE");
  if (!replace) return;
  std::string search = Substituted(interp, VarRawText(*replace));
  if (search.empty()) {
    ReportError(interp, 2, "ERROR in REPLACE tag");
    return;
  }
  std::string by;
  if (const Variable* byAttribute = FindAttribute(attributes, "BY")) {
    by = Substituted(interp, VarRawText(*byAttribute));
  } else {
    Trace(interp.proc, "ERROR : BY undefined in REPLACE tag\n");
  }
  Variable& target = *ScopeGetOrCreate(scope, name);
  TRACE(interp.proc, "Replace %s by %s in var %.*s\n", search.c_str(), by.c_str(),
        static_cast<int>(name.size()), name.data());
  const std::string& text = VarText(target);
  std::string result;
  size_t pos = 0;
  for (size_t found; (found = text.find(search, pos)) != std::string::npos;
       pos = found + search.size()) {
    result.append(text, pos, found - pos);
    result += by;
  }
  if (pos == 0) return;
  result.append(text, pos, std::string::npos);
  VarSet(target, result);
}

}  // namespace kwl
