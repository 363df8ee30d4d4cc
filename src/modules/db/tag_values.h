// Reading a database tag's attributes: substituted text, integers, case-blind words.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "interp/interpreter.h"
#include "page/attributes.h"
#include "text/ascii.h"

namespace kwl {

// The substituted value of an attribute; nothing when the tag lacks it.
std::optional<std::string> AttributeText(Interpreter& interp, AttributeList& attributes,
                                         std::string_view name);
// The substituted value read as a decimal integer; `absent` when the tag lacks it.
int32_t AttributeInt(Interpreter& interp, AttributeList& attributes, std::string_view name,
                     int32_t absent);

}  // namespace kwl
