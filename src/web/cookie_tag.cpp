// The COOKIE tag: reads a browser cookie into a variable, or sets one with a header line.
#include <ctime>
#include <string>

#include "interp/substitute.h"
#include "interp/target_scope.h"
#include "page/attributes.h"
#include "web/cookies.h"

namespace kwl {

namespace {

// The substituted value of an attribute, or `fallback` when the tag lacks it.
std::string AttributeText(Interpreter& interp, AttributeList& attributes, std::string_view name,
                          std::string_view fallback) {
  Variable* attribute = FindAttribute(attributes, name);
  if (!attribute) return std::string(fallback);
  std::string text;
  SubstituteVariable(interp, *attribute, text);
  return text;
}

void ReadIntoVariable(Interpreter& interp, Scope& scope, const std::string& name) {
  std::string value = ReadCookie(interp.proc, name);
  if (value.empty() && interp.null) value = VarText(*interp.null);
  ScopeSet(scope, name, value);
}

void SetCookie(Interpreter& interp, AttributeList& attributes, const std::string& name,
               Variable& valueAttribute) {
  std::string value;
  SubstituteVariable(interp, valueAttribute, value);
  long days = ParseDecimal(AttributeText(interp, attributes, "TTL", "0"));
  std::string path = AttributeText(interp, attributes, "DIR", "/");
  std::string domain = AttributeText(interp, attributes, "DOMAIN", "");
  std::string expires = days == 0 ? "" : CookieExpiry(days, std::time(nullptr));
  EmitSetCookie(interp, name, value, expires, path, domain);
}

}  // namespace

void CookieTag(Interpreter& interp, const TagCall& call) {
  AttributeList attributes = TagAttributes(interp, call, 1);
  Variable* nameAttribute = nullptr;
  Scope* scope = TargetScope(interp, attributes, &nameAttribute);
  if (!scope) return;
  if (nameAttribute->null) {
    ReportError(interp, 1, "ERROR: No NAME defined in tag COOKIE");
    return;
  }
  std::string name;
  SubstituteVariable(interp, *nameAttribute, name);
  if (name.empty()) return;
  if (Variable* value = FindAttribute(attributes, "VALUE")) {
    SetCookie(interp, attributes, name, *value);
  } else {
    ReadIntoVariable(interp, *scope, name);
  }
}

}  // namespace kwl
