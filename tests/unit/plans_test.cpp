// Plans must give what the long way gives: each case runs both on the same variables.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "interp/arith_plan.h"
#include "interp/arithmetic.h"
#include "interp/condition.h"
#include "interp/numeric.h"
#include "interp/substitute.h"
#include "interp/text_plan.h"
#include "interp_fixture.h"

namespace kwl {
namespace {

using testing::PageRun;

TEST(Plans, TextPlanSubstitutesAsTheTextIsSubstituted) {
  PageRun run;
  run.Set("a", "A");
  run.Set("b", "$a$");
  VarSet(*run.interp.null, "(null)");
  const char* texts[] = {
      "plain",  "$a$",  "x$a$y$b$z", "$$a$$",  "$a b", "$a\"q",   "cost $",  "$ $a$",   "$1$",
      "$nope$", "$+b$", "$a(1,1)$",  "$a[b]$", "$#1$", "$a\r\nz", "$$$a$$$", "tail $a",
  };
  for (const char* text : texts) {
    TextPlan plan(text);
    std::string planned;
    plan.AppendTo(run.interp, planned);
    EXPECT_EQ(planned, Substituted(run.interp, text)) << text;
  }
}

// A remembered lookup follows every change of what a name means: a block
// pushed over it, the variable removed, a new one shadowing it.
TEST(Plans, RememberedNamesFollowTheScopes) {
  PageRun run;
  run.Set("v", "global");
  TextPlan plan("[$v$]");
  auto value = [&] {
    std::string out;
    plan.AppendTo(run.interp, out);
    return out;
  };
  EXPECT_EQ(value(), "[global]");
  // A block filled before it is pushed (a function call's arguments).
  auto block = BlockNew(run.proc.stack, "F", kBlockFunction);
  ScopeSet(block->vars, "v", "argument");
  EXPECT_EQ(value(), "[global]");
  size_t pushed = BlockPush(run.proc.stack, std::move(block));
  EXPECT_EQ(value(), "[argument]");
  ScopeRemove(run.proc.stack.blocks.back()->vars, "v");
  EXPECT_EQ(value(), "[global]");
  ScopeSet(run.proc.stack.blocks.back()->vars, "v", "local");
  EXPECT_EQ(value(), "[local]");
  BlockPop(run.proc.stack, pushed);
  EXPECT_EQ(value(), "[global]");
  ScopeRemove(*run.interp.global, "v");
  EXPECT_EQ(value(), Substituted(run.interp, "[$v$]"));
  // A result table over the variables answers by its columns once it has rows.
  run.Set("v", "again");
  pushed = BlockPush(run.proc.stack, BlockNew(run.proc.stack, "SQL", kBlockData));
  EXPECT_EQ(value(), "[again]");
  DATable& rows = run.proc.stack.blocks.back()->rows;
  DAAddColumn(rows, "v", 253, 10);
  DAAppendItem(rows, "cell", 0);
  EXPECT_EQ(value(), "[cell]");
  BlockPop(run.proc.stack, pushed);
}

// The value the long way gives an EXPR: the substituted text read as an integer expression.
bool LongWay(PageRun& run, const std::string& text, int32_t* value) {
  std::string input = Substituted(run.interp, text);
  bool point = false, error = false;
  if (!IsNumericText(input, &point) || point) return false;
  *value = EvalInteger(run.interp, input, &error);
  return !error;
}

TEST(Plans, ArithPlanAgreesWithTheExpressionReader) {
  PageRun run;
  const std::vector<std::string> values = {"0",           "7",  "-7",          "12",
                                           "2147483647",  "-1", "-2147483647", "65536",
                                           "-2147483648", "x",  "3.5",         ""};
  const char* operands[] = {"$a$", "$b$", "$c$", "0", "1", "3", "10", "2147483647", "99999999999"};
  const char ops[] = {'+', '-', '*', '/', '%'};
  std::mt19937 random(7);
  int planned = 0;
  for (int round = 0; round < 4000; ++round) {
    std::string text;
    int count = 1 + static_cast<int>(random() % 5);
    for (int k = 0; k < count; ++k) {
      if (k > 0) text += std::string(random() % 3 == 0 ? " " : "") + ops[random() % 5];
      text += operands[random() % std::size(operands)];
    }
    for (const char* name : {"a", "b", "c"}) run.Set(name, values[random() % values.size()]);
    if (random() % 2) VarSetInt(*ScopeFind(*run.interp.global, "a"), -5);
    TextPlan textPlan(text);
    ArithPlan plan(textPlan);
    ASSERT_TRUE(plan.Usable()) << text;
    int32_t fromPlan = 0, fromText = 0;
    if (!plan.Eval(run.interp, &fromPlan)) continue;
    ++planned;
    ASSERT_TRUE(LongWay(run, text, &fromText)) << text;
    EXPECT_EQ(fromPlan, fromText) << text;
  }
  EXPECT_GT(planned, 1000);
  for (const char* text :
       {"($a$)", "-$a$", "$a$+", "1.5*$a$", "1 2", "$a$$b$", "$a(1)$+1", "2e3"}) {
    TextPlan textPlan(text);
    EXPECT_FALSE(ArithPlan(textPlan).Usable()) << text;
  }
}

TEST(Plans, ConditionPlanAgreesWithTheCondition) {
  PageRun run;
  const char* operands[] = {"$i$", "$t$", "$e$", "10", "-3", "abc", "", "2*3", "$nope$"};
  const char* comparisons[] = {" < ", " > ", " = ", " != ", " <= ", ">=", " ?= ", " !? "};
  const char* joins[] = {" AND ", " or ", " OR "};
  const char* values[] = {"10", "9", "-3", "abc", "a%", "", "0"};
  std::mt19937 random(11);
  for (int round = 0; round < 3000; ++round) {
    std::string text;
    int count = 1 + static_cast<int>(random() % 4);
    for (int k = 0; k < count; ++k) {
      if (k > 0) text += joins[random() % std::size(joins)];
      text += operands[random() % std::size(operands)];
      text += comparisons[random() % std::size(comparisons)];
      text += operands[random() % std::size(operands)];
    }
    run.Set("t", values[random() % std::size(values)]);
    run.Set("e", values[random() % std::size(values)]);
    VarSetInt(*ScopeGetOrCreate(*run.interp.global, "i"), static_cast<int32_t>(random() % 21) - 5);
    ConditionPlan plan(text);
    EXPECT_EQ(plan.Eval(run.interp), EvalCondition(run.interp, text)) << text;
  }
}

}  // namespace
}  // namespace kwl
