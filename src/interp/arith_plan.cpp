#include "interp/arith_plan.h"

#include <algorithm>
#include <limits>

namespace kwl {

namespace {

constexpr size_t kMaxOperands = 32;
constexpr int32_t kIntMax = std::numeric_limits<int32_t>::max();

bool IsOperatorChar(char c) {
  return c == '+' || c == '-' || c == '*' || c == '/' || c == '%';
}

// Where a frame of the reader returns to its caller (see ArithStop).
bool Stops(char stop, char op) {
  if (stop == '-') return op == '+' || op == '-';
  if (stop == '*') return op == '+' || op == '-' || op == '*' || op == '/';
  return false;
}

// One frame of the reader from operand `k`: it takes operators until one its
// caller's operator stops at; `k` ends at the last operand it took.
bool Frame(const int32_t* values, const char* ops, size_t count, size_t& k, char stop,
           int32_t* result) {
  int32_t value = values[k];
  while (k + 1 < count && !Stops(stop, ops[k])) {
    char op = ops[k++];
    int32_t right = 0;
    if (!Frame(values, ops, count, k,
               op == '+'   ? 0
               : op == '-' ? '-'
                           : '*',
               &right) ||
        !ArithPlan::Apply(op, value, right, &value)) {
      return false;
    }
  }
  *result = value;
  return true;
}

}  // namespace

ArithPlan::ArithPlan(TextPlan& text) {
  if (!Read(text)) {
    operands_.clear();
    operators_.clear();
  }
}

bool ArithPlan::Read(TextPlan& text) {
  if (!text.Cut()) return false;
  bool wantOperand = true;
  for (const TextPlan::Piece& piece : text.pieces()) {
    if (piece.ref >= 0) {
      if (!wantOperand || operands_.size() == kMaxOperands) return false;
      operands_.push_back(Operand{0, &text.Ref(piece)});
      wantOperand = false;
      continue;
    }
    std::string_view chars = text.PieceText(piece);
    for (size_t i = 0; i < chars.size();) {
      char c = chars[i];
      if (c == ' ') {
        ++i;
      } else if (c >= '0' && c <= '9') {
        if (!wantOperand || operands_.size() == kMaxOperands) return false;
        int64_t value = 0;
        size_t start = i;
        for (; i < chars.size() && chars[i] >= '0' && chars[i] <= '9'; ++i) {
          value = std::min<int64_t>(value * 10 + (chars[i] - '0'), kIntMax);
        }
        if (i - start > 255) return false;  // the reader cuts longer operands
        operands_.push_back(Operand{static_cast<int32_t>(value), nullptr});
        wantOperand = false;
      } else if (IsOperatorChar(c) && !wantOperand) {
        operators_.push_back(c);
        wantOperand = true;
        ++i;
      } else {
        return false;
      }
    }
  }
  return !wantOperand;
}

bool ArithPlan::EvalAny(Interpreter& interp, int32_t* value) {
  const size_t count = operands_.size();
  int32_t values[kMaxOperands];
  for (size_t k = 0; k < count; ++k) {
    if (!Value(interp, operands_[k], &values[k])) return false;
  }
  size_t k = 0;
  return Frame(values, operators_.data(), count, k, 0, value);
}

}  // namespace kwl
