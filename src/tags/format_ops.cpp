#include "tags/format_ops.h"

#include <array>

#include "interp/substitute.h"

namespace kwl {

namespace {

constexpr std::array<FormatOperation, 29> kOperations{{
    {"VALUE", FormatValue},
    {"EXPR", FormatExpr},
    {"NOACCENT", FormatNoAccent},
    {"UPCASE", FormatUpcase},
    {"LOWCASE", FormatLowcase},
    {"RAND", FormatRand},
    {"LEN", FormatLen},
    {"STRCODE", FormatStrCode},
    {"HTMLCODE", FormatStrCode},
    {"STRESCAPE", FormatStrEscape},
    {"KEYCODE", FormatKeyCode},
    {"URLCODE", FormatUrlCode},
    {"URLDECODE", FormatUrlDecode},
    {"STRDECODE", FormatStrDecode},
    {"XMLDECODE", FormatStrDecode},
    {"DATETIME", FormatDateTime},
    {"MONEY", FormatMoney},
    {"XMLCODE", FormatXmlCode},
    {"ABS", FormatAbs},
    {"TRIM", FormatTrim},
    {"LTRIM", FormatLtrim},
    {"RTRIM", FormatRtrim},
    {"HTML2TEXT", FormatHtmlToText},
    {"DECODE64", FormatDecode64},
    {"ENCODE64", FormatEncode64},
    {"PATHSVG2PDF", FormatPathSvgToPdf},
    {"HMAC", FormatHmac},
    {"ENCRYPT", FormatEncrypt},
    {"DECRYPT", FormatDecrypt},
}};

}  // namespace

std::span<const FormatOperation> FormatOperations() {
  return kOperations;
}

std::string FormatInput(FormatCall& call) {
  std::string out;
  Substitute(call.interp, VarRawText(call.input), out);
  return out;
}

Variable& FormatTarget(FormatCall& call) {
  Variable& target = *ScopeGetOrCreate(call.scope, call.name);
  VarSet(target, "");
  return target;
}

int CurrentError(Interpreter& interp) {
  return interp.err ? VarInt(*interp.err) : 0;
}

std::string OtherAttribute(FormatCall& call, std::string_view name, bool* present) {
  const Variable* attribute = FindAttribute(call.attributes, name);
  if (present) *present = attribute != nullptr;
  std::string out;
  if (attribute) Substitute(call.interp, VarRawText(*attribute), out);
  return out;
}

}  // namespace kwl
