// Conditions of COND, ELSE and WHILE: comparisons joined by OR and AND.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "interp/interpreter.h"

namespace kwl {

// Scratch limit of an operand and of the left side of OR/AND.
constexpr size_t kMaxConditionOperand = 2047;

// OR is weaker than AND, both group to the right, and there are no
// parentheses. Operands are substituted one at a time, after the split.
bool EvalCondition(Interpreter& interp, std::string_view text);

// One comparison: left operand, operator, right operand (no OR/AND).
bool EvalComparison(Interpreter& interp, std::string_view text);

// A condition cut once into its comparisons, evaluated as EvalCondition
// evaluates its text where plans apply (see PlansApply: its callers ask).
class ConditionPlan {
 public:
  explicit ConditionPlan(std::string_view text);
  ~ConditionPlan();
  bool Eval(Interpreter& interp);

 private:
  struct Operand;
  struct Planned;
  std::vector<std::vector<Planned>> groups_;  // true when one group's comparisons all are
};

}  // namespace kwl
