// GET TOKEN: a value cut at separator characters into numbered variables.
#include <cstdio>
#include <string>

#include "core/trace.h"
#include "interp/get_tag.h"
#include "interp/substitute.h"
#include "interp/target_scope.h"
#include "interp/token_split.h"
#include "text/ascii.h"

namespace kwl {

namespace {

bool DropsEmpty(Interpreter& interp, AttributeList& attributes) {
  Variable* option = FindAttribute(attributes, "OPTION");
  return option && AsciiEqualsNoCase(Substituted(interp, VarText(*option)), "notnull");
}

// Byte pieces are traced cut at 2,000 bytes; character pieces whole.
void StoreTokens(Interpreter& interp, Scope& scope, const std::string& base,
                 const std::vector<std::string>& tokens, bool traceCut) {
  long number = 0;
  for (const std::string& token : tokens) {
    ++number;
    ScopeSet(scope, base + std::to_string(number), token);
    if (traceCut)
      TRACE(interp.proc, "GET TOKEN %ld: %.2000s\n", number, token.c_str());
    else
      TRACE(interp.proc, "GET TOKEN %ld: %s\n", number, token.c_str());
  }
  int32_t count = static_cast<int32_t>(tokens.size());
  ScopeSetInt(scope, base, count);
  ScopeSetInt(scope, base + ".count", count);
}

}  // namespace

void GetTokens(Interpreter& interp, AttributeList& attributes, std::string_view value) {
  Variable* nameAttribute = nullptr;
  Scope* scope = TargetScope(interp, attributes, &nameAttribute);
  if (!scope) {
    ReportError(interp, 1, "ERROR: No NAME defined in tag GET TOKEN");
    return;
  }
  std::string base = Substituted(interp, VarText(*nameAttribute));
  bool dropEmpty = DropsEmpty(interp, attributes);
  Variable* token = FindAttribute(attributes, "TOKEN");
  if (!token) {
    ReportError(interp, 1, "ERROR: No FORMAT or no TOKEN defined in tag GET");
    return;
  }
  // An empty name would make variables called 1, 2, ..., which references read as positions.
  if (base.empty()) return;
  std::string separators = Substituted(interp, VarText(*token));
  std::string charset = interp.charset ? VarText(*interp.charset) : std::string("iso-8859-1");
  std::vector<std::string> tokens;
  bool byCharacter = !IsIsoCharset(charset) &&
                     SplitTokensByCharacter(interp, charset, value, separators, dropEmpty, &tokens);
  if (!byCharacter) tokens = SplitTokens(value, separators, dropEmpty);
  StoreTokens(interp, *scope, base, tokens, !byCharacter && !dropEmpty);
}

}  // namespace kwl
