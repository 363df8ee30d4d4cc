#include "interp/arithmetic.h"

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include "interp/numeric.h"
#include "interp_fixture.h"

namespace kwl {
namespace {

using testing::Output;
using testing::PageRun;

struct Case {
  const char* text;
  double number;
  int32_t integer;
};

// Precedence and grouping: + takes its right side whole, - * / group to the
// left, % groups to the right of * and /, a parenthesis replaces the value
// before it, and a sign is only read at the start of an operand.
TEST(Arithmetic, PrecedenceAndGrouping) {
  const Case cases[] = {
      {"1+2*3", 7, 7},         {"(1+2)*3", 9, 9},  {"8-2-1", 5, 5},  {"8/2*2", 8, 8},
      {"-5+3", -2, -2},        {"3*-2", -6, -6},   {"7%3", 1, 1},    {"2*7%4", 6, 6},
      {"100%7%4", 1, 1},       {"7%4*2", 6, 6},    {"2(3)", 3, 3},   {"2(3)+1", 4, 4},
      {"(2)9+1", 3, 3},        {"4--1", 5, 5},     {"--5", 5, 5},    {"10-2+3", 11, 11},
      {"7/2", 3.5, 3},         {"-7/2", -3.5, -3}, {"-7%3", -1, -1}, {"2*(3+4)*2", 28, 28},
      {" 12abc + 1 ", 13, 13}, {"abc", 0, 0},      {"0x10", 0, 0},   {"inf", 0, 0},
      {"1e-3", -2, -2},        {"1.5e2", 150, 1},  {"*3", 0, 0},     {"5-", 5, 5},
      {"(1+2", 3, 3},          {"-", 0, 0},        {"(-", 0, 0},     {"((((", 0, 0},
  };
  for (const Case& c : cases) {
    PageRun run;
    bool error = true;
    EXPECT_DOUBLE_EQ(EvalNumber(run.interp, c.text, &error), c.number) << c.text;
    EXPECT_FALSE(error) << c.text;
    EXPECT_EQ(EvalInteger(run.interp, c.text, &error), c.integer) << c.text;
    EXPECT_FALSE(error) << c.text;
    EXPECT_EQ(VarInt(*run.interp.err), 0) << c.text;
  }
}

// Division by zero keeps the value before it and ends every enclosing level;
// an unmatched parenthesis is left over, or returned to a caller at a sub-level.
TEST(Arithmetic, DivisionByZeroAndUnmatchedParentheses) {
  PageRun run;
  bool error = false;
  EXPECT_DOUBLE_EQ(EvalNumber(run.interp, "5/0", &error), 5);
  EXPECT_TRUE(error);
  EXPECT_EQ(VarInt(*run.interp.err), 0);  // nothing left over
  EXPECT_EQ(EvalInteger(run.interp, "5%0", &error), 5);
  error = false;
  EXPECT_EQ(EvalInteger(run.interp, "1+(6/0*2)+4", &error), 7);
  EXPECT_TRUE(error);
  EXPECT_EQ(VarInt(*run.interp.err), 1);
  EXPECT_EQ(VarText(*run.interp.errmsg), "ERROR IN EXPR");

  PageRun other;
  EXPECT_DOUBLE_EQ(EvalNumber(other.interp, "5)", &error), 5);
  EXPECT_FALSE(error);
  EXPECT_EQ(VarInt(*other.interp.err), 1);
  int32_t value = 0;
  EXPECT_EQ(ParseArith(run.proc, "2+3)*4", 0, ArithStop::kNone, &error, &value), 3u);
  EXPECT_EQ(value, 5);
  EXPECT_EQ(ParseArith(run.proc, "2*3-4", 0, ArithStop::kAddSub, &error, &value), 3u);
  EXPECT_EQ(value, 6);
}

TEST(Arithmetic, IntegerOverflowWrapsAndIsFlagged) {
  PageRun run;
  bool error = false, overflow = false;
  EXPECT_EQ(EvalInteger(run.interp, "2147483647+1", &error, &overflow), INT_MIN);
  EXPECT_TRUE(overflow);
  overflow = false;
  EXPECT_EQ(EvalInteger(run.interp, "(-2147483647-1)/-1", &error, &overflow), INT_MIN);
  EXPECT_TRUE(overflow);
  EXPECT_EQ(EvalInteger(run.interp, "(-2147483647-1)%-1", &error), 0);
  EXPECT_EQ(EvalInteger(run.interp, "65536*65536", &error), 0);
  EXPECT_EQ(EvalInteger(run.interp, "--2147483648", &error), INT_MIN);
  overflow = false;
  EXPECT_EQ(EvalInteger(run.interp, "99999999999", &error, &overflow), INT_MAX);
  EXPECT_TRUE(overflow);
  overflow = false;
  // The sign applies after the digits saturated.
  EXPECT_EQ(EvalInteger(run.interp, "-99999999999", &error, &overflow), -INT_MAX);
  EXPECT_TRUE(overflow);
  overflow = true;
  EXPECT_EQ(EvalInteger(run.interp, "-2147483647", &error, &overflow), -INT_MAX);
  EXPECT_FALSE(overflow);
  EXPECT_FALSE(error);
}

TEST(Arithmetic, HugeAndNonFiniteDoubles) {
  PageRun run;
  bool error = false;
  EXPECT_TRUE(std::isinf(EvalNumber(run.interp, "1e999", &error)));
  EXPECT_TRUE(std::isnan(EvalNumber(run.interp, "1e999-1e999", &error)));
  EXPECT_TRUE(std::isnan(EvalNumber(run.interp, "1e999%7", &error)));
  // A quotient beyond 32 bits still gives the remainder.
  EXPECT_DOUBLE_EQ(EvalNumber(run.interp, "10000000000%3", &error), 1);
  EXPECT_EQ(ToInt32(std::nan("")), 0);
  EXPECT_EQ(ToInt32(INFINITY), INT_MAX);
  EXPECT_EQ(ToInt32(-1e300), INT_MIN);
  EXPECT_EQ(ToInt32(-2.7), -2);
  EXPECT_EQ(ToInt32(2147483647.9), INT_MAX);
}

TEST(Arithmetic, LongOperandsChainsAndNesting) {
  PageRun run;
  bool error = false;
  // An operand is read from its first 255 characters.
  EXPECT_DOUBLE_EQ(EvalNumber(run.interp, "1" + std::string(300, '0'), &error), 1e254);
  EXPECT_DOUBLE_EQ(EvalNumber(run.interp, std::string(300, ' ') + "5", &error), 0);
  EXPECT_DOUBLE_EQ(EvalNumber(run.interp, "-" + std::string(254, ' ') + "5+1", &error), -5 + 1);
  // Long chains do not exhaust the stack; % groups to the right.
  std::string sum;
  for (int i = 0; i < 100000; ++i) sum += "1+";
  EXPECT_DOUBLE_EQ(EvalNumber(run.interp, sum + "1", &error), 100001);
  EXPECT_EQ(EvalInteger(run.interp, sum + "1", &error), 100001);
  std::string nested = std::string(200000, '(') + "7" + std::string(200000, ')');
  EXPECT_EQ(EvalInteger(run.interp, nested, &error), 7);
  std::string modulos = "1";
  for (int i = 2; i <= 100000; ++i) modulos += "%" + std::to_string(i);
  EXPECT_EQ(EvalInteger(run.interp, modulos, &error), 1);
  EXPECT_FALSE(error);
  EXPECT_EQ(VarInt(*run.interp.err), 0);
  // Nesting beyond the limit is an error.
  EvalInteger(run.interp, std::string(kMaxArithDepth + 1, '(') + "7", &error);
  EXPECT_TRUE(error);
  EXPECT_EQ(VarText(*run.interp.errmsg), "ERROR IN EXPR");
}

}  // namespace
}  // namespace kwl
