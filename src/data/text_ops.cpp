// Format operations on text: VALUE, NOACCENT, UPCASE, LOWCASE, LEN and the trims.
#include <strings.h>

#include "data/format_ops.h"
#include "runtime/accents.h"
#include "runtime/charset.h"

namespace kwl {

namespace {

bool IsLeadingBlank(char c) { return c == ' ' || c == '\r' || c == '\t' || c == '\n' || c == '\v' || c == '\f'; }
bool IsTrailingBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

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
  if (upper) Upcase(call.interp, charset, text);
  else Lowcase(call.interp, charset, text);
  VarSet(FormatTarget(call), text);
  return 0;
}

}  // namespace

int FormatValue(FormatCall& call) {
  std::string input = FormatInput(call);
  Variable& target = FormatTarget(call);
  VarSet(target, input);
  bool present = false;
  std::string charset = OtherAttribute(call, "CHARSET", &present);
  if (present && strcasecmp(charset.c_str(), PageCharset(call.interp).c_str()) != 0) {
    ConvertCharset(call.interp, charset, target);
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

int FormatUpcase(FormatCall& call) { return CaseMapped(call, true); }
int FormatLowcase(FormatCall& call) { return CaseMapped(call, false); }

int FormatLen(FormatCall& call) {
  Variable input;
  VarSet(input, FormatInput(call));
  int32_t length = static_cast<int32_t>(TextLength(call.interp, input));
  VarSetInt(FormatTarget(call), length);
  return 0;
}

int FormatTrim(FormatCall& call) { return Trimmed(call, true, true); }
int FormatLtrim(FormatCall& call) { return Trimmed(call, true, false); }
int FormatRtrim(FormatCall& call) { return Trimmed(call, false, true); }

}  // namespace kwl
