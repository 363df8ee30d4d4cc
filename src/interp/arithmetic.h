// Arithmetic expressions (+ - * / % and parentheses) over decimal numbers, in double or 32-bit
// integers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/process.h"
#include "interp/interpreter.h"

namespace kwl {

// The characters at which a sub-expression returns to its caller.
enum class ArithStop { kNone, kAddSub, kTerm };

// An operand longer than this is read from its first 255 characters only.
constexpr size_t kMaxArithOperand = 255;
// Pending sub-expressions (one per open parenthesis, `+`, `%`...) beyond
// this end the evaluation with the error flag set.
constexpr size_t kMaxArithDepth = 1000000;

// Parses from `pos` until the end, an unmatched ")", a character of `stop`
// or a division by zero (which sets `*error`); returns where it stopped.
size_t ParseArith(Process& proc, std::string_view text, size_t pos, ArithStop stop, bool* error,
                  double* result);
// The integer twin: operands saturate at the 32-bit limits and operations
// wrap around (INT_MIN / -1 is INT_MIN, INT_MIN % -1 is 0); either sets
// `*overflow` when given.
size_t ParseArith(Process& proc, std::string_view text, size_t pos, ArithStop stop, bool* error,
                  int32_t* result, bool* overflow = nullptr);

// The whole text as an expression; text left over (an unmatched ")") is
// reported as "ERROR IN EXPR". The value computed so far is returned.
double EvalNumber(Interpreter& interp, std::string_view text, bool* error);
int32_t EvalInteger(Interpreter& interp, std::string_view text, bool* error,
                    bool* overflow = nullptr);

// A double as a 32-bit integer, truncated toward zero; NaN gives 0 and
// values beyond the limits give the nearest limit.
int32_t ToInt32(double value);

}  // namespace kwl
