// Variable: the one value record of the interpreter, also its growable string buffer.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "text/decimal.h"
#include "text/text_log.h"

namespace kwl {

constexpr int kKindText = 5;
constexpr int kKindInteger = 7;
constexpr size_t kMaxNameLength = 63;

// A named value with a text form and a cached integer form. `kind` says
// which form is the master copy; `stale` says the other one must be
// recomputed before it is read. `null` marks a variable that holds no value.
// The text is length-counted and may hold zero bytes.
struct Variable {
  std::string name;
  std::string text;
  int32_t integer = 0;
  int kind = kKindText;
  bool stale = false;
  bool null = true;
  bool pinned = false;  // held by the interpreter: a scope never removes it

  Variable() = default;
  explicit Variable(std::string_view n) { name.assign(n.substr(0, kMaxNameLength)); }
};

using VariablePtr = std::unique_ptr<Variable>;

void VarInit(Variable& var, std::string_view name);
VariablePtr VarNew(std::string_view name);
void VarSetName(Variable& var, std::string_view name);

// The text form; renders a stale integer first. Empty while null.
const std::string& VarText(Variable& var);
// The integer form; parses stale text first (leading blanks, sign, digits).
int32_t VarIntOfText(Variable& var);
inline int32_t VarInt(Variable& var) {
  return var.kind == kKindText && var.stale ? VarIntOfText(var) : var.integer;
}
inline size_t VarLength(const Variable& var) {
  return var.text.size();
}
// The stored bytes without rendering a stale integer.
inline const std::string& VarRawText(const Variable& var) {
  return var.text;
}
// At most `max` bytes of the text, cut at the first zero byte.
std::string VarCopyText(Variable& var, size_t max);

void VarSet(Variable& var, std::string_view data);
inline void VarSetInt(Variable& var, int32_t value) {
  var.integer = value;
  var.kind = kKindInteger;
  var.stale = true;
  var.null = false;
}
void VarAppend(Variable& var, std::string_view data);
// The value becomes its own text followed by `data`, as VarSet(var, VarText(var) + data)
// would make it, without copying the text.
void VarExtendSlowly(Variable& var, std::string_view data);
inline void VarExtend(Variable& var, std::string_view data) {
  if (var.null || var.kind != kKindText || data.size() > var.text.capacity() - var.text.size())
    return VarExtendSlowly(var, data);
  if (data.size() == 1)
    var.text.push_back(data[0]);  // a text built up a character at a time
  else
    var.text.append(data);
  var.stale = true;
}
void VarAppendFormat(Variable& var, const char* format, ...) __attribute__((format(printf, 2, 3)));

void VarInsert(Variable& var, long pos, std::string_view data);
void VarReplace(Variable& var, long pos, long oldLen, std::string_view data);
void VarTruncate(Variable& var, long n);
void VarClear(Variable& var);
inline void VarSetKind(Variable& var, int kind) {
  var.kind = kind;
}

// Copies the value (not the name) of `src` into `dest`.
void VarCopyValue(Variable& dest, const Variable& src);
// Hands the value of `src` to `dest`; `src` is left empty and null.
void VarMoveValue(Variable& dest, Variable& src);

}  // namespace kwl
