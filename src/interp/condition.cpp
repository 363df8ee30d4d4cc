#include "interp/condition.h"

#include <vector>

#include "core/trace.h"
#include "interp/compare.h"
#include "interp/like_match.h"
#include "interp/substitute.h"
#include "interp/text_plan.h"

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

bool FromOrder(const Comparison& c, int order) {
  if (c.equal) return c.greater ? order >= 0 : c.less ? order <= 0 : order == 0;
  return c.greater ? order > 0 : c.less ? order < 0 : false;
}

bool Decide(Interpreter& interp, const Comparison& c, std::string_view a, std::string_view b) {
  if (a.empty() || b.empty()) return a.empty() && b.empty();
  if (c.like) return LikeMatch(interp, a, b);
  return FromOrder(c, CompareValues(interp, a, b));
}

// The side of an OR that holds no OR: an AND chain or one comparison.
bool EvalChain(Interpreter& interp, std::string_view text, bool allowOr);

bool EvalSide(Interpreter& interp, std::string_view text) {
  return EvalChain(interp, text, false);
}

// The next connective of a chain: an OR while the text holds one, else an AND.
bool NextSplit(std::string_view text, bool& allowOr, Split* split) {
  bool found = allowOr && SplitAt(text, " OR ", true, split);
  // Right sides are suffixes: once one holds no OR, none further on does.
  if (!found) allowOr = false;
  return found || SplitAt(text, " AND ", false, split);
}

// Walks a chain of connectives without recursing into right sides: each
// right side is only evaluated when its left side did not decide, and the
// trace lines come out innermost first as each level completes.
bool EvalChain(Interpreter& interp, std::string_view text, bool allowOr) {
  std::vector<Split> open;
  bool result;
  for (;;) {
    Split split;
    if (!NextSplit(text, allowOr, &split)) {
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

// One operand of a planned comparison.
struct ConditionPlan::Operand {
  explicit Operand(std::string_view text) : plan(text) {
    const auto& pieces = plan.pieces();
    if (plan.Literal()) {
      isInteger = PlainInteger(text, &integer);
    } else if (plan.Cut() && pieces.size() == 1) {
      if (pieces[0].ref >= 0) single = &plan.Ref(pieces[0]);
    }
  }
  // `single` points into `plan`, whose references stay put when it moves.
  Operand(const Operand&) = delete;
  Operand(Operand&&) noexcept = default;
  // The operand as an integer when it is a literal one or one plain
  // reference to a variable that holds one (see PlainInteger).
  bool Integer(Interpreter& interp, int32_t* value) {
    if (isInteger) *value = integer;
    if (isInteger || !single) return isInteger;
    Variable* var = ResolveCached(interp.proc, *single);
    return var && PlainInteger(*var, value);
  }
  std::string_view Value(Interpreter& interp, std::string& scratch) {
    if (plan.text().empty()) return interp.null ? VarText(*interp.null) : std::string_view();
    return plan.Value(interp, scratch);
  }

  TextPlan plan;
  bool isInteger = false;
  int32_t integer = 0;
  CachedName* single = nullptr;  // the operand's one plain reference, in `plan`
};

struct ConditionPlan::Planned {
  explicit Planned(std::string_view text)
      : flags(Scan(text)), left(TrimEnd(flags.left)), right(TrimEnd(flags.right)) {
    if (right.plan.text().empty()) flags.equal = true;
    flags.left.clear();
    flags.right = {};
    for (int order = -1; order <= 1; ++order)
      byOrder[order + 1] = FromOrder(flags, order) != flags.negate;
  }
  bool Eval(Interpreter& interp) {
    int32_t a = 0, b = 0;
    if (!flags.like && left.Integer(interp, &a) && right.Integer(interp, &b))
      return byOrder[(a > b) - (a < b) + 1];
    return AsTexts(interp) != flags.negate;
  }
  [[gnu::noinline]] bool AsTexts(Interpreter& interp) {
    std::string leftScratch, rightScratch;
    return Decide(interp, flags, left.Value(interp, leftScratch),
                  right.Value(interp, rightScratch));
  }

  Comparison flags;
  Operand left, right;
  bool byOrder[3];  // the result when the left integer is below, equal to or above the right
};

ConditionPlan::ConditionPlan(std::string_view text) {
  // OR groups of AND chains, cut where EvalChain cuts them.
  groups_.emplace_back();
  bool allowOr = true;
  for (;;) {
    Split split;
    if (!NextSplit(text, allowOr, &split)) {
      groups_.back().emplace_back(text);
      return;
    }
    if (split.isOr) {
      for (std::string_view side = split.left;;) {
        Split and_;
        if (!SplitAt(side, " AND ", false, &and_)) {
          groups_.back().emplace_back(side);
          break;
        }
        groups_.back().emplace_back(and_.left);
        side = and_.right;
      }
      groups_.emplace_back();
    } else {
      groups_.back().emplace_back(split.left);
    }
    text = split.right;
  }
}

ConditionPlan::~ConditionPlan() = default;

bool ConditionPlan::Eval(Interpreter& interp) {
  if (groups_.size() == 1 && groups_[0].size() == 1) return groups_[0][0].Eval(interp);
  bool result = false;
  for (auto& group : groups_) {
    for (Planned& comparison : group) {
      result = comparison.Eval(interp);
      if (!result) break;
    }
    if (result) break;
  }
  return result;
}

}  // namespace kwl
