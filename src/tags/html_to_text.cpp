// HTML2TEXT: markup removed (line breaks kept), then entities decoded.

#include "tags/format_ops.h"
#include "text/ascii.h"
#include "text/entities.h"

namespace kwl {

namespace {

// The end of the element that opens at `open`: its ">" outside double
// quotes, a backslash escaping the next character; npos when it never ends.
size_t ElementEnd(std::string_view text, size_t open) {
  bool quoted = false;
  for (size_t i = open + 1; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\\') {
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (c == '>' && !quoted) {
      return i;
    }
  }
  return std::string_view::npos;
}

// An element is markup when it does not open with a blank, its first word
// is short, and a run of blanks or "=" inside it holds at least one "=".
bool IsTag(std::string_view element) {
  if (element.size() < 2 || element[1] == ' ') return false;
  size_t word = element.find_first_of(" >", 1);
  if (word == std::string_view::npos || word - 1 >= 11) return false;
  int separators = 0;
  bool equals = false;
  for (size_t i = 1; i < element.size(); ++i) {
    if (element.substr(i, 2) == "/>") break;
    if (element[i] == ' ') ++separators;
    if (element[i] == '=') {
      ++separators;
      equals = true;
    }
  }
  return separators < 2 || equals;
}

bool IsLineBreak(std::string_view element) {
  if (AsciiEqualsNoCase(element, "<br>")) return true;
  return element.size() >= 5 && AsciiStartsWithNoCase(element, "<br") &&
         element.substr(element.size() - 2) == "/>";
}

}  // namespace

int FormatHtmlToText(FormatCall& call) {
  std::string input = FormatInput(call);
  std::string_view text = input;
  std::string plain;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t open = text.find('<', pos);
    size_t close = open == std::string_view::npos ? open : ElementEnd(text, open);
    if (close == std::string_view::npos) {
      plain.append(text.substr(pos));
      break;
    }
    plain.append(text.substr(pos, open - pos));
    std::string_view element = text.substr(open, close - open + 1);
    if (!IsTag(element))
      plain.append(element);
    else if (IsLineBreak(element))
      plain += '\n';
    pos = close + 1;
  }
  std::string out;
  DecodeEntities(plain, out);
  VarSet(FormatTarget(call), out);
  return 0;
}

}  // namespace kwl
