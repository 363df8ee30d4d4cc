// Variable references in text: $name$, $$, $+name$, $#n$, substrings and indexes.
#pragma once

#include <string>
#include <string_view>

#include "interp/interpreter.h"

namespace kwl {

constexpr size_t kMaxReferenceName = 255;

// Appends `text` to `out` with every variable reference replaced by its value.
void Substitute(Interpreter& interp, std::string_view text, std::string& out);
void SubstituteVariable(Interpreter& interp, Variable& var, std::string& out);
// The substituted form of `text` as a new string.
std::string Substituted(Interpreter& interp, std::string_view text);
bool ResolveName(Interpreter& interp, std::string_view name, bool nameMode, std::string& out);

// True when "$name$" reads as a plain reference to `name`: not empty,
// shorter than the name limit, no $+ or $# prefix, nothing that ends a name early.
bool IsPlainReferenceName(std::string_view name);
// True when `text` begins with the plain reference "$name$".
bool BeginsWithReference(std::string_view text, std::string_view name);

// Escapes a value for an SQL string literal (NUL, LF, CR, backslash, quotes, Ctrl-Z).
void SqlEscape(std::string_view value, std::string& out);
// True when `charset` names a single-byte (iso) character set.
bool IsIsoCharset(std::string_view charset);

}  // namespace kwl
