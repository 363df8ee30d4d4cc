#include "interp/condition.h"

#include <gtest/gtest.h>

#include <string>

#include "interp/like_match.h"
#include "interp_fixture.h"

namespace kwl {
namespace {

using testing::PageRun;

// Each condition with x = 7, e empty and s = abc.
TEST(Condition, OperatorsAndOperands) {
  struct Case {
    const char* text;
    bool expected;
  };
  const Case cases[] = {
      // Numbers when both sides are numeric (32-bit integers unless a side has a
      // point), else bytes, unsigned and with case.
      {"10 > 9", true},
      {"10a > 9a", false},
      {"1.0 = 1", true},
      {"2*3 = 6", true},
      {"7/2 = 3", true},
      {"7/2 > 3.0", true},
      {"abc < abd", true},
      {"\xe9 > z", true},
      {"B < a", true},
      {"ab < abc", true},
      // A side that divided by zero orders below the other; big integers still order.
      {"5/0 < 1", true},
      {"1 > 5/0", true},
      {"1/0 = 2/0", true},
      {"20240512123456 > 20240512123455", true},
      {"99999999999 != 99999999998", true},
      {"2147483647+1 = 2147483648", true},
      {"$x$ == 7", true},
      {"$x$ != 7", false},
      {"$x$ != 8", true},
      {"$x$ >= 7", true},
      {"$x$ => 8", false},
      {"$x$ <= 7", true},
      {"$x$ =< 6", false},
      {"$x$ < 7", false},
      {"8 <> 7", true},
      {"6 <> 7", false},
      {"7 <> 7", false},
      // A lone operand is true when empty.
      {"$e$", true},
      {"!$e$", false},
      {"$x$", false},
      {"! $x$", true},
      {"$e$ > 5", false},
      {"5 < $e$", false},
      {"$e$ = ", true},
      {"$e$ != $e$", false},
      // % is any run; pieces match at their first occurrence; without % it is equality.
      {"$s$ ?= a%", true},
      {"$s$ ?= %c", true},
      {"$s$ ?= %b%", true},
      {"$s$ ?= b%", false},
      {"$s$ ?= a%%c", true},
      {"$s$ ?= a%b", false},
      {"Abc ?= a%", false},
      {"abab ?= %ab", false},
      {"xab ?= %ab", true},
      {"$s$ !?= %z%", true},
      {"$s$ !?= %b%", false},
      {"$s$ ?= abc", true},
      {"1.0 ?= 1", true},
      {"ab ?= abc%", false},
      {"a b = a b", true},
      {"  a = a  ", true},
      {"\"a\" = a", false},
      {"a = a\t\r\n", true},
      {"(1 = (1", true},
      // OR is weaker than AND, both group to the right, found in any case.
      {"1=1 OR 1=2 AND 1=2", true},
      {"1=2 AND 1=1 OR 1=1", true},
      {"1=2 OR 1=1 AND 1=2", false},
      {"x=y oR y=y aNd z=z", true},
      {"xORy=xORy", true},     // the spaces are part of the word
      {"(1=2 OR 1=1)", true},  // "(1" = "2" or "1" = "1)"
  };
  for (const Case& c : cases) {
    PageRun run;
    run.Set("x", "7");
    run.Set("e", "");
    run.Set("s", "abc");
    EXPECT_EQ(EvalCondition(run.interp, c.text), c.expected) << c.text;
  }
  // Pieces longer than any scratch buffer are matched whole.
  PageRun run;
  std::string big(1000, 'x');
  EXPECT_TRUE(LikeMatch(run.interp, big + "y" + big, big + "%" + big));
  EXPECT_FALSE(LikeMatch(run.interp, big + "y" + big, big + "%z" + big));
}

TEST(Condition, EmptyOperandsStandForTheNullText) {
  PageRun run;
  VarSet(*run.interp.null, "NULL");
  run.Set("e", "");
  EXPECT_TRUE(EvalCondition(run.interp, "$unknown$"));  // NULL = NULL
  EXPECT_TRUE(EvalCondition(run.interp, "NULL"));
  EXPECT_FALSE(EvalCondition(run.interp, "$e$"));  // empty against NULL
  EXPECT_TRUE(EvalCondition(run.interp, "= NULL"));
}

TEST(Condition, OperandsAreCutAt2047CharactersAndChainsMayBeLong) {
  PageRun run;
  std::string a2047(2047, 'a');
  EXPECT_TRUE(EvalCondition(run.interp, std::string(3000, 'a') + " = " + a2047));
  EXPECT_TRUE(EvalCondition(run.interp, a2047 + " = " + std::string(3000, 'a')));
  EXPECT_FALSE(EvalCondition(run.interp, std::string(2046, 'a') + " = " + a2047));
  // The left side of a connective is cut too, here behind its spaces.
  EXPECT_TRUE(EvalCondition(run.interp, "a=a" + std::string(2044, ' ') + "b AND 1=1"));
  // The right side of a connective is kept whole, however long.
  std::string ors, ands;
  for (int i = 0; i < 100000; ++i) {
    ors += "1=2 OR ";
    ands += "1=1 AND ";
  }
  EXPECT_TRUE(EvalCondition(run.interp, ors + "1=1"));
  EXPECT_FALSE(EvalCondition(run.interp, ors + "1=2"));
  EXPECT_TRUE(EvalCondition(run.interp, ands + "1=1"));
  EXPECT_FALSE(EvalCondition(run.interp, ands + "1=2"));
}

}  // namespace
}  // namespace kwl
