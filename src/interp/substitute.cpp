#include "interp/substitute.h"

#include <algorithm>
#include <cstring>

#include "core/resolve.h"
#include "core/trace.h"
#include "interp/numeric.h"
#include "text/ascii.h"

namespace kwl {

namespace {

// $+name$ re-substitutes a value; a value that refers to itself would never end.
constexpr int kMaxResubstitution = 32;

// What one substitution may spend on $+ references. A value that refers to
// itself twice doubles at each level: at most `values` values and `bytes`
// bytes are re-substituted, further ones are copied as they are, as at the
// depth limit. Those copies multiply as well (a value of n references to
// itself copies itself n times at the last level), and so do references that
// read a long value for a few bytes (substrings, bounds, indexes), hence `room`:
// re-substitution adds at most 32 MiB to one substitution's output, less what
// re-substituted text reads; past that it adds nothing.
struct Resubstitutions {
  explicit Resubstitutions(const std::string& output) : out(output) {}

  const std::string& out;
  int values = 10000;
  size_t bytes = size_t{16} << 20;
  size_t room = size_t{32} << 20;
  // While a $+ reference of the top text runs: the output size where it stops.
  size_t limit = 0;

  bool Take(size_t size) {
    if (values == 0 || size > bytes) return false;
    --values;
    bytes -= size;
    return true;
  }
  bool HasRoom() const { return out.size() < limit; }
  // A value that re-substituted text reads costs its size, as writing it would.
  void Read(size_t size) { limit = std::max(out.size(), limit - std::min(limit, size)); }
};

bool IsNameEnd(char c) {
  return c == '[' || c == '(' || c == '$' || c == ' ' || c == '\r' || c == '\n' || c == '"';
}
bool IsIndexEnd(char c) {
  return c == ']' || c == '$' || c == ' ' || c == '\r' || c == '\n' || c == '"';
}
bool IsPositionEnd(char c) {
  return c == ',' || c == ')' || c == '$' || c == '\r' || c == '\n' || c == '"';
}
bool IsLengthEnd(char c) {
  return c == ')' || c == '$' || c == '\r' || c == '\n' || c == '"';
}

struct Reference {
  std::string name;
  char prefix = 0;
  bool substring = false;
  std::string_view position;
  std::string_view length;
  bool hasLength = false;
};

// Reads characters from `pos` while `stop` says no; at most `max` of them.
template <class Stop>
std::string_view ReadUntil(std::string_view text, size_t& pos, Stop stop, size_t max) {
  size_t start = pos;
  while (pos < text.size() && pos - start < max && !stop(text[pos])) ++pos;
  return text.substr(start, pos - start);
}

// A substring bound: a number when it reads as one, else a variable's value.
long ReadBound(Interpreter& interp, std::string_view bound, Resubstitutions* charge) {
  if (IsNumericText(bound)) return ParseDecimal(bound);
  std::string value;
  if (!ResolveName(interp, bound, false, value)) return 0;
  if (charge) charge->Read(value.size());
  return ParseDecimal(value);
}

void ReadIndexes(Interpreter& interp, std::string_view text, size_t& pos, Reference& ref,
                 Resubstitutions* charge) {
  while (pos < text.size() && text[pos] == '[' && (!charge || charge->HasRoom())) {
    ++pos;
    std::string_view index = ReadUntil(text, pos, IsIndexEnd, kMaxReferenceName);
    std::string value;
    if (ResolveName(interp, index, false, value)) {
      if (charge) charge->Read(value.size());
      ref.name += value;
      TRACE(interp.proc, "=(%s)", value.c_str());
    }
    if (pos < text.size() && text[pos] == ']') ++pos;
    ref.name += ReadUntil(text, pos, IsNameEnd, kMaxReferenceName);
  }
  if (pos < text.size() && text[pos] == '$') ++pos;
}

void ReadSubstring(std::string_view text, size_t& pos, Reference& ref) {
  ++pos;
  ref.substring = true;
  ref.position = ReadUntil(text, pos, IsPositionEnd, kMaxReferenceName);
  if (pos < text.size() && text[pos] == ',') {
    ++pos;
    ref.hasLength = true;
    ref.length = ReadUntil(text, pos, IsLengthEnd, kMaxReferenceName);
  }
  if (pos < text.size() && text[pos] == ')') ++pos;
  if (pos < text.size() && text[pos] == '$') ++pos;
}

// Byte offset of character `chars` (0-based) in UTF-8 text, or npos past the end.
size_t Utf8Offset(std::string_view value, size_t from, long chars) {
  size_t pos = from;
  while (chars > 0 && pos < value.size()) {
    ++pos;
    while (pos < value.size() && (static_cast<unsigned char>(value[pos]) & 0xC0) == 0x80) ++pos;
    --chars;
  }
  return chars > 0 ? std::string_view::npos : pos;
}

void AppendNull(Interpreter& interp, std::string& out) {
  if (interp.null) out += VarText(*interp.null);
}

void AppendSubstring(Interpreter& interp, const Reference& ref, long position,
                     std::string_view value, std::string& out, Resubstitutions* charge) {
  long length = ref.hasLength ? ReadBound(interp, ref.length, charge) : 1;
  if (length < 0) length = 0;
  size_t start, end;
  if (interp.charset && IsIsoCharset(VarText(*interp.charset))) {
    if (position < 0 || static_cast<size_t>(position) > value.size())
      start = std::string_view::npos;
    else
      start = static_cast<size_t>(position - 1);
    end = start == std::string_view::npos ? start
                                          : start + std::min<size_t>(length, value.size() - start);
  } else {
    start = position < 0 ? std::string_view::npos : Utf8Offset(value, 0, position - 1);
    if (start != std::string_view::npos && start >= value.size()) start = std::string_view::npos;
    end = start == std::string_view::npos ? start : Utf8Offset(value, start, length);
    if (end == std::string_view::npos) end = value.size();
    TRACE(interp.proc, " UT8 pos %d lg %d\n", static_cast<int>(start),
          static_cast<int>(end - start));
  }
  if (start == std::string_view::npos || start >= value.size()) {
    AppendNull(interp, out);
    TRACE(interp.proc, "POS ERROR");
    return;
  }
  TRACE(interp.proc, " (VAR %s) ", ref.name.c_str());
  out.append(value.substr(start, end - start));
}

void SubstituteAt(Interpreter& interp, std::string_view text, std::string& out, int depth,
                  Resubstitutions& left);

// $+name$: the value substituted again, or copied as it is past the depth or
// the allowance; cut where the room ends.
void Resubstitute(Interpreter& interp, std::string_view value, std::string& out, int depth,
                  Resubstitutions& left) {
  if (depth == 0) left.limit = out.size() + left.room;
  if (depth < kMaxResubstitution && left.Take(value.size())) {
    SubstituteAt(interp, value, out, depth + 1, left);
  } else {
    out.append(value.substr(0, left.limit - std::min(out.size(), left.limit)));
  }
  if (out.size() > left.limit) out.resize(left.limit);
  if (depth == 0) left.room = left.limit - out.size();
}

void AppendReference(Interpreter& interp, const Reference& ref, std::string& out, int depth,
                     Resubstitutions& left) {
  // Past the room, a $+ reference of the top text is not even looked up.
  if (ref.prefix == '+' && depth == 0 && left.room == 0) return;
  Resubstitutions* charge = depth > 0 ? &left : nullptr;
  // The common plain reference lands straight in `out`, without a copy of its value.
  if (!interp.escapeValues && ref.prefix != '+' && !ref.substring && !TraceActive(interp.proc)) {
    if (!ResolveName(interp, ref.name, ref.prefix == '#', out)) AppendNull(interp, out);
    return;
  }
  std::string value;
  if (!ResolveName(interp, ref.name, ref.prefix == '#', value)) {
    AppendNull(interp, out);
    TRACE(interp.proc, "UNKNOWN");
    return;
  }
  if (interp.escapeValues) {
    std::string escaped;
    SqlEscape(value, escaped);
    value.swap(escaped);
    TRACE(interp.proc, "ESCAPE STR %d char: %.255s\n", static_cast<int>(value.size()),
          value.c_str());
  }
  if (ref.prefix == '+') {
    Resubstitute(interp, value, out, depth, left);
  } else if (long position = ref.substring ? ReadBound(interp, ref.position, charge) : 0;
             position != 0) {
    if (charge) charge->Read(value.size());
    AppendSubstring(interp, ref, position, value, out, charge);
  } else {
    out += value;
  }
  if (TraceActive(interp.proc)) {
    if (value.size() > 2000)
      Trace(interp.proc, "=...(%d)\n", static_cast<int>(value.size()));
    else
      Trace(interp.proc, "=%.2000s (%d)\n", value.c_str(), static_cast<int>(value.size()));
  }
}

// Reads the reference behind the "$" at `pos`; returns false for an empty name.
bool ReadReference(Interpreter& interp, std::string_view text, size_t& pos, Reference& ref,
                   Resubstitutions* charge) {
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '#')) ref.prefix = text[pos++];
  ref.name = ReadUntil(text, pos, IsNameEnd, kMaxReferenceName);
  if (ref.name.empty()) return false;
  if (pos >= text.size()) return true;
  switch (text[pos]) {
    case '$':
      ++pos;
      break;
    case '(':
      ReadSubstring(text, pos, ref);
      break;
    case '[':
      ReadIndexes(interp, text, pos, ref, charge);
      break;
    default:
      break;
  }
  return true;
}

void SubstituteAt(Interpreter& interp, std::string_view text, std::string& out, int depth,
                  Resubstitutions& left) {
  size_t pos = 0;
  Resubstitutions* charge = depth > 0 ? &left : nullptr;
  // Re-substituted text stops where the room ends.
  while (pos < text.size() && (!charge || charge->HasRoom())) {
    const void* found = std::memchr(text.data() + pos, '$', text.size() - pos);
    if (!found) {
      out.append(text.substr(pos));
      return;
    }
    size_t dollar = static_cast<size_t>(static_cast<const char*>(found) - text.data());
    out.append(text.substr(pos, dollar - pos));
    pos = dollar + 1;
    if (pos < text.size() && text[pos] == '$') {
      out += '$';
      ++pos;
      continue;
    }
    Reference ref;
    if (ReadReference(interp, text, pos, ref, charge) && (!charge || charge->HasRoom())) {
      AppendReference(interp, ref, out, depth, left);
    }
  }
}

}  // namespace

bool IsPlainReferenceName(std::string_view name) {
  if (name.empty() || name.size() >= kMaxReferenceName || name[0] == '+' || name[0] == '#')
    return false;
  return std::none_of(name.begin(), name.end(), IsNameEnd);
}

bool BeginsWithReference(std::string_view text, std::string_view name) {
  return IsPlainReferenceName(name) && text.size() >= name.size() + 2 && text[0] == '$' &&
         text.substr(1, name.size()) == name && text[name.size() + 1] == '$';
}

bool IsIsoCharset(std::string_view charset) {
  return AsciiStartsWithNoCase(charset, "iso");
}

void SqlEscape(std::string_view value, std::string& out) {
  for (char c : value) {
    switch (c) {
      case '\0':
        out += "\\0";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\'':
        out += "\\'";
        break;
      case '"':
        out += "\\\"";
        break;
      case '\032':
        out += "\\Z";
        break;
      default:
        out += c;
    }
  }
}

bool ResolveName(Interpreter& interp, std::string_view name, bool nameMode, std::string& out) {
  return ResolveName(interp.proc, name, nameMode, out);
}

void Substitute(Interpreter& interp, std::string_view text, std::string& out) {
  Resubstitutions left(out);
  SubstituteAt(interp, text, out, 0, left);
}

void SubstituteVariable(Interpreter& interp, Variable& var, std::string& out) {
  Substitute(interp, VarText(var), out);
}

std::string Substituted(Interpreter& interp, std::string_view text) {
  std::string out;
  Substitute(interp, text, out);
  return out;
}

}  // namespace kwl
