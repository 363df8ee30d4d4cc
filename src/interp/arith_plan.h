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
  bool Eval(Interpreter& interp, int32_t* value);

 private:
  bool Read(TextPlan& text);

  struct Operand {
    int32_t literal = 0;
    CachedName* ref = nullptr;  // in the text plan, which outlives this one and stays put
  };
  bool Value(Interpreter& interp, const Operand& operand, int32_t* value);
  std::vector<Operand> operands_;
  std::vector<char> operators_;  // operators_[k] joins operand k and k + 1
};

}  // namespace kwl
