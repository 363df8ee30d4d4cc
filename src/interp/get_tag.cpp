// GET: chooses the form by the attributes present and the scope the variables go to.
#include "interp/get_tag.h"

#include <string>

#include "interp/control_tags.h"
#include "interp/substitute.h"
#include "interp/target_scope.h"

namespace kwl {

void GetTagAttributes(Interpreter& interp, Scope& scope, std::string_view text) {
  // The text reads like the attributes of a tag; names keep their case.
  std::string chunk = "GET ";
  chunk.append(text);
  for (Variable& attribute : ParseAttributes(interp.proc, chunk, 0)) {
    VarSet(*ScopeGetOrCreate(scope, attribute.name), VarRawText(attribute));
  }
}

void GetTag(Interpreter& interp, const TagCall& call) {
  AttributeList attributes = TagAttributes(interp, call);
  Variable* value = FindAttribute(attributes, "VALUE");
  if (!value) {
    Variable* tag = FindAttribute(attributes, "TAG");
    if (!tag) {
      ReportError(interp, 1, "ERROR: No VALUE defined in tag GET");
      return;
    }
    Scope* scope = LocalScope(interp, attributes);
    if (scope) GetTagAttributes(interp, *scope, Substituted(interp, VarText(*tag)));
    return;
  }
  std::string text = Substituted(interp, VarText(*value));
  if (Variable* format = FindAttribute(attributes, "FORMAT")) {
    Scope* scope = LocalScope(interp, attributes);
    if (scope && !VarRawText(*format).empty()) GetFormat(interp, *scope, text, VarRawText(*format));
    return;
  }
  GetTokens(interp, attributes, text);
}

}  // namespace kwl
