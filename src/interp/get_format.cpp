// GET FORMAT: a value matched against literal text with $name$ holes.
#include <string>

#include "core/trace.h"
#include "interp/get_tag.h"

namespace kwl {

namespace {

int Len(std::string_view s, size_t max) {
  return static_cast<int>(std::min(s.size(), max));
}

// The text from `from` up to the next "$" (or the end); `from` moves to that "$".
std::string_view UpToDollar(std::string_view format, size_t& from) {
  size_t end = std::min(format.find('$', from), format.size());
  std::string_view piece = format.substr(from, end - from);
  from = end;
  return piece;
}

}  // namespace

void GetFormat(Interpreter& interp, Scope& scope, std::string_view value, std::string_view format) {
  Process& proc = interp.proc;
  size_t f = 0;
  std::string_view literal = UpToDollar(format, f);
  TRACE(proc, "GET: pos1 = %d\n", Len(literal, literal.size()));
  if (value.substr(0, literal.size()) != literal) return;
  size_t v = literal.size();
  while (f < format.size()) {
    std::string_view rest = format.substr(f + 1);
    TRACE(proc, "GET: var = %.*s\n", Len(rest, 1000), rest.data());
    ++f;
    std::string name(UpToDollar(format, f));
    TRACE(proc, "GET: var2 = %s\n", name.c_str());
    if (f < format.size()) ++f;  // the "$" that closes the name
    literal = UpToDollar(format, f);
    TRACE(proc, "GET: pos1 = %d\n", Len(literal, literal.size()));
    std::string_view part;
    if (literal.empty()) {
      part = value.substr(v);
      v = value.size();
    } else {
      size_t found = value.find(literal, v);
      if (found == std::string_view::npos) return;  // the rest is left unassigned
      part = value.substr(v, found - v);
      v = found + literal.size();
    }
    if (name.empty()) continue;
    ScopeSet(scope, name, part);
    TRACE(proc, "GET: %s = %.*s\n", name.c_str(), Len(part, 1000), part.data());
  }
}

}  // namespace kwl
