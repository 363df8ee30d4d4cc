// ArithPlan: an integer expression of an EXPR attribute read once: integer
// literals and plain references joined by + - * / %, evaluated as the
// expression reader would evaluate the substituted text.
#pragma once

#include <cstdint>
#include <vector>

#include "interp/text_plan.h"

namespace kwl {

class ArithPlan {
 public:
  // Usable() is false for any other text (parentheses, points, signs, names
  // that are not references...): those are substituted and read as before.
  explicit ArithPlan(TextPlan& text);
  bool Usable() const { return !operands_.empty(); }
  // False when a reference is not a plain integer now (see PlainInteger) or
  // a division by zero would occur: the caller takes the long way then.
  bool Eval(Interpreter& interp, int32_t* value) {
    if (operands_.size() != 2) return EvalAny(interp, value);
    // The commonest: a counter and a step.
    int32_t a = 0, b = 0;
    return Value(interp, operands_[0], &a) && Value(interp, operands_[1], &b) &&
           Apply(operators_[0], a, b, value);
  }

  // One operation as the expression reader does it: wrapping, false for a division by zero.
  static bool Apply(char op, int32_t left, int32_t right, int32_t* result) {
    switch (op) {
      case '+':
        *result = Wrap(int64_t{left} + right);
        return true;
      case '-':
        *result = Wrap(int64_t{left} - right);
        return true;
      case '*':
        *result = Wrap(int64_t{left} * right);
        return true;
      case '/':
        if (right == 0) return false;
        *result = Wrap(int64_t{left} / right);
        return true;
      default:
        if (right == 0) return false;
        *result = static_cast<int32_t>(int64_t{left} % right);
        return true;
    }
  }
  static int32_t Wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

 private:
  bool Read(TextPlan& text);

  struct Operand {
    int32_t literal = 0;
    CachedName* ref = nullptr;  // in the text plan, which outlives this one and stays put
  };
  static bool Value(Interpreter& interp, const Operand& operand, int32_t* value) {
    if (!operand.ref) {
      *value = operand.literal;
      return true;
    }
    Variable* var = ResolveCached(interp.proc, *operand.ref);
    return var && PlainInteger(*var, value);
  }
  bool EvalAny(Interpreter& interp, int32_t* value);
  std::vector<Operand> operands_;
  std::vector<char> operators_;  // operators_[k] joins operand k and k + 1
};

}  // namespace kwl
