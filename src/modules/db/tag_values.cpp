#include "modules/db/tag_values.h"

#include <algorithm>

#include "interp/substitute.h"

namespace kwl {

std::optional<std::string> AttributeText(Interpreter& interp, AttributeList& attributes,
                                         std::string_view name) {
  Variable* var = FindAttribute(attributes, name);
  if (!var) return std::nullopt;
  std::string text;
  SubstituteVariable(interp, *var, text);
  return text;
}

int32_t AttributeInt(Interpreter& interp, AttributeList& attributes, std::string_view name,
                     int32_t absent) {
  std::optional<std::string> text = AttributeText(interp, attributes, name);
  return text ? ParseDecimal(*text) : absent;
}

}  // namespace kwl
