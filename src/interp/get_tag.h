// The three forms of GET (TOKEN, FORMAT, TAG), which split a value into variables.
#pragma once

#include <string_view>

#include "core/scope.h"
#include "interp/interpreter.h"
#include "page/attributes.h"

namespace kwl {

// TOKEN: the pieces of `value` become N1, N2, ... and N and N.count their number.
void GetTokens(Interpreter& interp, AttributeList& attributes, std::string_view value);
// FORMAT: literal text with $name$ holes matched against `value`.
void GetFormat(Interpreter& interp, Scope& scope, std::string_view value, std::string_view format);
// TAG: name=value pairs written like tag attributes, one variable each.
void GetTagAttributes(Interpreter& interp, Scope& scope, std::string_view text);

}  // namespace kwl
