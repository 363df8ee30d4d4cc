#include "core/variable.h"

#include <algorithm>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <limits>

#include "core/memory_limit.h"

namespace kwl {

void VarInit(Variable& var, std::string_view name) {
  var.name.assign(name.substr(0, kMaxNameLength));
  var.text.clear();
  var.integer = 0;
  var.kind = kKindText;
  var.stale = false;
  var.null = true;
}

VariablePtr VarNew(std::string_view name) {
  return std::make_unique<Variable>(name);
}

void VarSetName(Variable& var, std::string_view name) {
  var.name.assign(name.substr(0, kMaxNameLength));
}

// Writes the integer's decimal text when the text form is out of date.
static void RenderInteger(Variable& var) {
  if (var.kind == kKindInteger && var.stale) {
    char digits[16];
    auto written = std::to_chars(digits, digits + sizeof digits, var.integer);
    var.text.assign(digits, written.ptr);
    var.stale = false;
  }
}

const std::string& VarText(Variable& var) {
  if (var.null) {
    var.text.clear();
    return var.text;
  }
  RenderInteger(var);
  return var.text;
}

int32_t VarIntOfText(Variable& var) {
  // A reader that takes the text as a string stops at its first zero byte.
  std::string_view text = var.text;
  var.integer = ParseDecimal(text.substr(0, text.find('\0')));
  var.stale = false;
  return var.integer;
}

std::string VarCopyText(Variable& var, size_t max) {
  std::string_view text = VarText(var);
  text = text.substr(0, text.find('\0'));
  return std::string(text.substr(0, max));
}

void VarSet(Variable& var, std::string_view data) {
  var.text.assign(data);
  var.kind = kKindText;
  var.stale = true;
  var.null = false;
}

void VarAppend(Variable& var, std::string_view data) {
  if (data.empty()) return;
  RenderInteger(var);
  var.text.append(data);
  var.kind = kKindText;
  var.stale = true;
  var.null = false;
}

void VarExtendSlowly(Variable& var, std::string_view data) {
  VarText(var);  // renders a stale integer, empties a null value
  // A large text built up piece by piece grows fourfold while that takes at
  // most a quarter of what the memory bound leaves: each growth copies it into
  // memory the system must hand out page by page, which costs more than the
  // copy. Pages reserved and never written are never handed out.
  size_t need = var.text.size() + data.size();
  size_t capacity = var.text.capacity();
  if (need > capacity && capacity >= (size_t{64} << 10) && capacity <= var.text.max_size() / 4) {
    size_t wanted = std::max(need, capacity * 4);
    if (wanted <= var.text.max_size() / 4 && MemoryFits(wanted * 4)) var.text.reserve(wanted);
  }
  var.text.append(data);
  var.kind = kKindText;
  var.stale = true;
  var.null = false;
}

void VarAppendFormat(Variable& var, const char* format, ...) {
  FormatScratch scratch;
  va_list args;
  va_start(args, format);
  std::string_view text = FormatIntoScratch(scratch, format, args);
  va_end(args);
  VarAppend(var, text);
}

void VarInsert(Variable& var, long pos, std::string_view data) {
  if (data.empty() || pos < 0 || static_cast<size_t>(pos) > var.text.size()) return;
  var.text.insert(static_cast<size_t>(pos), data);
  var.stale = true;
  var.kind = kKindText;
}

void VarReplace(Variable& var, long pos, long oldLen, std::string_view data) {
  if (oldLen <= 0 || pos < 0 || static_cast<size_t>(pos) > var.text.size()) return;
  var.text.replace(static_cast<size_t>(pos), static_cast<size_t>(oldLen), data);
  var.stale = true;
  var.kind = kKindText;
}

void VarTruncate(Variable& var, long n) {
  if (n >= 0 && static_cast<size_t>(n) < var.text.size()) var.text.resize(static_cast<size_t>(n));
}

void VarClear(Variable& var) {
  var.text.clear();
  var.integer = 0;
  var.stale = false;
  var.null = true;
}

void VarCopyValue(Variable& dest, const Variable& src) {
  dest.text = src.text;
  dest.integer = src.integer;
  dest.kind = src.kind;
  dest.stale = src.stale;
  dest.null = src.null;
}

void VarMoveValue(Variable& dest, Variable& src) {
  dest.text = std::move(src.text);
  dest.integer = src.integer;
  dest.kind = src.kind;
  dest.stale = src.stale;
  dest.null = src.null;
  src.text.clear();
  src.integer = 0;
  src.kind = kKindText;
  src.stale = false;
  src.null = true;
}

}  // namespace kwl
