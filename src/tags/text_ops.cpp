// Format operations on text: VALUE, NOACCENT, UPCASE, LOWCASE, LEN and the trims.

#include "core/resolve.h"
#include "core/trace.h"
#include "interp/substitute.h"
#include "tags/accents.h"
#include "tags/charset.h"
#include "tags/format_ops.h"
#include "text/ascii.h"

namespace kwl {

namespace {

bool IsLeadingBlank(char c) {
  return c == ' ' || c == '\r' || c == '\t' || c == '\n' || c == '\v' || c == '\f';
}
bool IsTrailingBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

int Trimmed(FormatCall& call, bool leading, bool trailing) {
  std::string input = FormatInput(call);
  std::string_view text = input;
  while (leading && !text.empty() && IsLeadingBlank(text.front())) text.remove_prefix(1);
  while (trailing && !text.empty() && IsTrailingBlank(text.back())) text.remove_suffix(1);
  VarSet(FormatTarget(call), text);
  return 0;
}

int CaseMapped(FormatCall& call, bool upper) {
  std::string text = FormatInput(call);
  std::string charset = PageCharset(call.interp);
  if (upper)
    Upcase(call.interp, charset, text);
  else
    Lowcase(call.interp, charset, text);
  VarSet(FormatTarget(call), text);
  return 0;
}

// A VALUE that begins with a plain reference to the target itself ("$s$x"
// into s, a text built up in a loop) only appends the rest: the target; null
// otherwise. Not while values are escaped or traced, which see the whole value.
Variable* ExtendedVariable(FormatCall& call) {
  Interpreter& interp = call.interp;
  std::string_view name = call.name;
  std::string_view value = VarRawText(call.input);
  if (name.size() > kMaxNameLength || !BeginsWithReference(value, name) || interp.escapeValues ||
      TraceActive(interp.proc)) {
    return nullptr;
  }
  Variable* target = call.scope.Find(name);
  return target && target == ResolveVariable(interp.proc, name) ? target : nullptr;
}

// The variable of an input that is one plain reference ("$name$"), when
// nothing is traced or escaped; null otherwise.
Variable* OnlyReference(FormatCall& call) {
  std::string_view value = VarRawText(call.input);
  if (value.size() < 3 || value.front() != '$' || value.back() != '$' || call.interp.escapeValues ||
      TraceActive(call.interp.proc)) {
    return nullptr;
  }
  std::string_view name = value.substr(1, value.size() - 2);
  if (!IsPlainReferenceName(name)) return nullptr;
  return ResolveVariable(call.interp.proc, name);
}

}  // namespace

int FormatValue(FormatCall& call) {
  Variable* target = ExtendedVariable(call);
  if (target) {
    std::string_view rest = std::string_view(VarRawText(call.input)).substr(call.name.size() + 2);
    VarExtend(*target, Substituted(call.interp, rest));
  } else {
    std::string input = FormatInput(call);
    target = &FormatTarget(call);
    VarSet(*target, input);
  }
  bool present = false;
  std::string charset = OtherAttribute(call, "CHARSET", &present);
  if (present && !AsciiEqualsNoCase(charset, PageCharset(call.interp))) {
    // A failed conversion keeps its error, which a result of 0 would clear.
    if (!ConvertCharset(call.interp, charset, *target)) return CurrentError(call.interp);
  }
  return 0;
}

int FormatNoAccent(FormatCall& call) {
  std::string input = FormatInput(call);
  Variable& target = FormatTarget(call);
  VarSet(target, input);
  NoAccent(call.interp, target);
  return 0;
}

int FormatUpcase(FormatCall& call) {
  return CaseMapped(call, true);
}
int FormatLowcase(FormatCall& call) {
  return CaseMapped(call, false);
}

int FormatLen(FormatCall& call) {
  // One plain reference is measured where its variable keeps it: a long text
  // built up in a loop is not copied to be counted.
  std::string substituted;
  std::string_view text;
  if (Variable* var = OnlyReference(call)) {
    text = VarText(*var);
  } else {
    substituted = FormatInput(call);
    text = substituted;
  }
  int32_t length = static_cast<int32_t>(TextLength(call.interp, text));
  VarSetInt(FormatTarget(call), length);
  return 0;
}

int FormatTrim(FormatCall& call) {
  return Trimmed(call, true, true);
}
int FormatLtrim(FormatCall& call) {
  return Trimmed(call, true, false);
}
int FormatRtrim(FormatCall& call) {
  return Trimmed(call, false, true);
}

}  // namespace kwl
