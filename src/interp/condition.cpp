#include "interp/condition.h"

#include <vector>

#include "core/trace.h"
#include "interp/compare.h"
#include "interp/like_match.h"
#include "interp/substitute.h"

namespace kwl {

namespace {

const char* TrueFalse(bool b) {
  return b ? "true" : "false";
}
int Len(std::string_view s) {
  return static_cast<int>(s.size());
}

char Upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c;
}

// First occurrence of `word` (upper case) in `text` without regard to case.
size_t FindNoCase(std::string_view text, std::string_view word) {
  for (size_t i = 0; i + word.size() <= text.size(); ++i) {
    size_t k = 0;
    while (k < word.size() && Upper(text[i + k]) == word[k]) ++k;
    if (k == word.size()) return i;
  }
  return std::string_view::npos;
}

// A connective found in a condition: its two sides.
struct Split {
  bool isOr = false;
  std::string_view left;
  std::string_view right;
};

bool SplitAt(std::string_view text, std::string_view word, bool isOr, Split* split) {
  size_t at = FindNoCase(text, word);
  if (at == std::string_view::npos) return false;
  *split = Split{isOr, text.substr(0, std::min(at, kMaxConditionOperand)),
                 text.substr(at + word.size())};
  return true;
}

// The operator flags and operand texts of one comparison.
struct Comparison {
  bool negate = false, equal = false, greater = false, less = false, like = false;
  std::string left;
  std::string_view right;
};

Comparison Scan(std::string_view text) {
  Comparison c;
  bool inLeft = true;
  for (size_t i = 0; i < text.size(); ++i) {
    char ch = text[i];
    char next = i + 1 < text.size() ? text[i + 1] : '\0';
    if (ch == ' ') {
      if (inLeft && !c.left.empty() && c.left.size() < kMaxConditionOperand) c.left += ch;
    } else if (ch == '!') {
      if (c.left.empty() || next == '=' || next == '?') c.negate = true;
    } else if (ch == '?') {
      if (next == '=') c.like = true;
    } else if (ch == '<' || ch == '=' || ch == '>') {
      (ch == '<' ? c.less : ch == '=' ? c.equal : c.greater) = true;
      inLeft = false;
    } else if (inLeft) {
      if (c.left.size() < kMaxConditionOperand) c.left += ch;
    } else {
      c.right = text.substr(i, kMaxConditionOperand);
      break;
    }
  }
  return c;
}

std::string_view TrimEnd(std::string_view s) {
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n')) {
    s.remove_suffix(1);
  }
  return s;
}

std::string OperandValue(Interpreter& interp, std::string_view operand) {
  if (operand.empty()) return interp.null ? VarText(*interp.null) : std::string();
  return Substituted(interp, operand);
}

bool Decide(Interpreter& interp, const Comparison& c, const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return a.empty() && b.empty();
  if (c.like) return LikeMatch(interp, a, b);
  int order = CompareValues(interp, a, b);
  if (c.equal) return c.greater ? order >= 0 : c.less ? order <= 0 : order == 0;
  return c.greater ? order > 0 : c.less ? order < 0 : false;
}

// The side of an OR that holds no OR: an AND chain or one comparison.
bool EvalChain(Interpreter& interp, std::string_view text, bool allowOr);

bool EvalSide(Interpreter& interp, std::string_view text) {
  return EvalChain(interp, text, false);
}

// Walks a chain of connectives without recursing into right sides: each
// right side is only evaluated when its left side did not decide, and the
// trace lines come out innermost first as each level completes.
bool EvalChain(Interpreter& interp, std::string_view text, bool allowOr) {
  std::vector<Split> open;
  bool result;
  for (;;) {
    Split split;
    bool found = allowOr && SplitAt(text, " OR ", true, &split);
    // Right sides are suffixes: once one holds no OR, none further on does.
    if (!found) allowOr = false;
    if (!found) found = SplitAt(text, " AND ", false, &split);
    if (!found) {
      result = EvalComparison(interp, text);
      break;
    }
    result = split.isOr ? EvalSide(interp, split.left) : EvalComparison(interp, split.left);
    open.push_back(split);
    if (result == split.isOr) break;  // OR decided by true, AND by false
    text = split.right;
  }
  for (auto it = open.rbegin(); it != open.rend(); ++it) {
    TRACE(interp.proc, "EXPR %.*s %s %.*s RESULT: %s\n", Len(it->left), it->left.data(),
          it->isOr ? "OR" : "AND", Len(it->right), it->right.data(), TrueFalse(result));
  }
  return result;
}

}  // namespace

bool EvalComparison(Interpreter& interp, std::string_view text) {
  Comparison c = Scan(text);
  std::string_view leftText = TrimEnd(c.left);
  std::string_view rightText = TrimEnd(c.right);
  std::string a = OperandValue(interp, leftText);
  std::string b = OperandValue(interp, rightText);
  if (rightText.empty()) c.equal = true;
  TRACE(interp.proc, "EXPR %.*s ", Len(text), text.data());
  bool result = Decide(interp, c, a, b);
  if (c.negate) result = !result;
  TRACE(interp.proc, "RESULT: %s\n", TrueFalse(result));
  return result;
}

bool EvalCondition(Interpreter& interp, std::string_view text) {
  return EvalChain(interp, text, true);
}

}  // namespace kwl
