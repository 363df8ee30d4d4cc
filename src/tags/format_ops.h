// Format operations: the table of the 29 ways a <SET> computes its value.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "core/scope.h"
#include "interp/interpreter.h"
#include "page/attributes.h"

namespace kwl {

// What an operation receives: the tag's attributes, the target's name and
// scope, and its own attribute (not yet substituted). The attributes are
// read-only: the same parsed tag serves every pass of a loop.
struct FormatCall {
  Interpreter& interp;
  const AttributeList& attributes;
  std::string_view name;
  const Variable& input;
  Scope& scope;
};

// Returns 0 on success, else the error it reported (which stays in velerr).
using FormatHandler = int (*)(FormatCall& call);

struct FormatOperation {
  const char* name;
  FormatHandler handler;
};

std::span<const FormatOperation> FormatOperations();

// Shared by the handlers: the substituted input, the emptied target, velerr.
std::string FormatInput(FormatCall& call);
Variable& FormatTarget(FormatCall& call);
int CurrentError(Interpreter& interp);
// The substituted value of another attribute of the tag; empty when absent.
std::string OtherAttribute(FormatCall& call, std::string_view name, bool* present = nullptr);

// The handlers, grouped by kind in their own files.
int FormatValue(FormatCall& call);
int FormatExpr(FormatCall& call);
int FormatNoAccent(FormatCall& call);
int FormatUpcase(FormatCall& call);
int FormatLowcase(FormatCall& call);
int FormatRand(FormatCall& call);
int FormatLen(FormatCall& call);
int FormatStrCode(FormatCall& call);
int FormatStrEscape(FormatCall& call);
int FormatKeyCode(FormatCall& call);
int FormatUrlCode(FormatCall& call);
int FormatUrlDecode(FormatCall& call);
int FormatStrDecode(FormatCall& call);
int FormatDateTime(FormatCall& call);
int FormatMoney(FormatCall& call);
int FormatXmlCode(FormatCall& call);
int FormatAbs(FormatCall& call);
int FormatTrim(FormatCall& call);
int FormatLtrim(FormatCall& call);
int FormatRtrim(FormatCall& call);
int FormatHtmlToText(FormatCall& call);
int FormatDecode64(FormatCall& call);
int FormatEncode64(FormatCall& call);
int FormatPathSvgToPdf(FormatCall& call);
int FormatHmac(FormatCall& call);
int FormatEncrypt(FormatCall& call);
int FormatDecrypt(FormatCall& call);

}  // namespace kwl
