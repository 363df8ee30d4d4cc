// <SETAREA>: assigns the raw text up to </SETAREA>, substituted unless OPTION is noparse.

#include <algorithm>

#include "interp/end_tag.h"
#include "interp/substitute.h"
#include "tags/set_tags.h"
#include "text/ascii.h"

namespace kwl {

size_t SetAreaTag(Interpreter& interp, const TagCall& call) {
  AttributeList attributes = TagAttributes(interp, call);
  SetTarget target =
      FindSetTarget(interp, attributes, "ERROR: No NAME, LOCAL or RETURN defined in tag SETAREA");
  if (!target.scope || target.name.empty()) return call.after;
  size_t end = FindEndTag(interp, call.text, call.after, "</SETAREA");
  std::string_view body;
  size_t next = call.after;
  if (end != std::string_view::npos) {
    body = call.text.substr(call.after, end - call.after);
    next = std::min(end + 10, call.text.size());
    // The body's lines were never counted by the loop.
    interp.proc.lines.back() += std::count(call.text.begin() + static_cast<long>(call.after),
                                           call.text.begin() + static_cast<long>(next), '\n');
  }
  std::string option;
  if (Variable* optionAttribute = FindAttribute(attributes, "OPTION")) {
    option = Substituted(interp, VarText(*optionAttribute));
  }
  std::string value =
      AsciiEqualsNoCase(option, "noparse") ? std::string(body) : Substituted(interp, body);
  VarSet(*ScopeGetOrCreate(*target.scope, target.name), value);
  return next;
}

}  // namespace kwl
