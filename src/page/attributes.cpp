// Tag attributes: the parser that cuts a tag chunk into named raw values.
#include "page/attributes.h"

#include <array>

#include "text/ascii.h"

namespace kwl {

namespace {

// A set of bytes as a table, so that a walk through a tag costs one look-up per byte.
class ByteSet {
 public:
  constexpr explicit ByteSet(std::string_view members) {
    for (char c : members) in_[static_cast<unsigned char>(c)] = true;
  }
  constexpr bool operator[](char c) const { return in_[static_cast<unsigned char>(c)]; }

 private:
  std::array<bool, 256> in_{};
};

constexpr ByteSet kTagWordEnds(" \t");
constexpr ByteSet kSeparators(" \t\r\n>/");
constexpr ByteSet kNameEnds(" =>\t\r\n");
constexpr ByteSet kBeforeValue(" =\t\r\n");
constexpr ByteSet kUnquotedEnds(" >");
constexpr ByteSet kQuotedStops("\"\\");

size_t SkipAny(std::string_view text, size_t i, const ByteSet& set) {
  while (i < text.size() && set[text[i]]) ++i;
  return i;
}

size_t SkipToAny(std::string_view text, size_t i, const ByteSet& set) {
  while (i < text.size() && !set[text[i]]) ++i;
  return i;
}

char Unescape(char c) {
  switch (c) {
    case 'n':
      return '\n';
    case 'r':
      return '\r';
    case 't':
      return '\t';
    default:
      return c;
  }
}

// Reads a quoted value from behind its opening quote; returns the position
// behind the closing quote, or the end of the text when it is never closed.
// A backslash with nothing behind it is kept as written.
size_t ReadQuoted(TextLog& log, std::string_view text, size_t i, std::string& value) {
  while (i < text.size()) {
    const size_t stop = SkipToAny(text, i, kQuotedStops);
    value.append(text.substr(i, stop - i));
    if (stop == text.size()) return stop;
    if (text[stop] == '"') return stop + 1;
    if (stop + 1 == text.size()) {
      value += '\\';
      return text.size();
    }
    LOGF(log, "Special char %c%c\n", '\\', text[stop + 1]);
    value += Unescape(text[stop + 1]);
    i = stop + 2;
  }
  return i;
}

// Reads the value that follows a name ending at `i`; returns where parsing goes on.
size_t ReadValue(TextLog& log, std::string_view text, size_t i, Variable& var) {
  if (i == text.size()) return i;  // a name at the very end has no value at all
  i = SkipAny(text, i, kBeforeValue);
  if (i < text.size() && text[i] == '"') {
    std::string value;
    i = ReadQuoted(log, text, i + 1, value);
    VarSet(var, value);
    return i;
  }
  const size_t end = SkipToAny(text, i, kUnquotedEnds);
  VarSet(var, text.substr(i, end - i));
  return end < text.size() ? end + 1 : end;
}

std::string AttributeName(std::string_view written, int caseMode) {
  std::string name(written.substr(0, kMaxNameLength));
  if (caseMode == 1) {
    for (char& c : name) c = AsciiUpper(c);
  }
  return name;
}

}  // namespace

AttributeList ParseAttributes(TextLog& log, std::string_view chunk, int caseMode) {
  AttributeList list;
  // Room for what most tags have.
  list.reserve(4);
  size_t i = SkipToAny(chunk, 0, kTagWordEnds);  // the tag's own word
  for (;;) {
    i = SkipAny(chunk, i, kSeparators);
    if (i == chunk.size()) break;
    const size_t nameEnd = SkipToAny(chunk, i, kNameEnds);
    if (nameEnd - i > kMaxAttributeName) break;  // keep what came before it
    Variable& var = list.emplace_back(AttributeName(chunk.substr(i, nameEnd - i), caseMode));
    i = ReadValue(log, chunk, nameEnd, var);
    LOGF(log, "PARSE: Param %s Value %.2000s\n", var.name.c_str(), VarRawText(var).c_str());
  }
  return list;
}

Variable* FindAttribute(AttributeList& list, std::string_view name) {
  for (Variable& var : list) {
    if (AsciiEqualsNoCase(var.name, name)) return &var;
  }
  return nullptr;
}

const Variable* FindAttribute(const AttributeList& list, std::string_view name) {
  for (const Variable& var : list) {
    if (AsciiEqualsNoCase(var.name, name)) return &var;
  }
  return nullptr;
}

}  // namespace kwl
