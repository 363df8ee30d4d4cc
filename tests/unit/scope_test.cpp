#include "core/scope.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kwl {
namespace {

TEST(Scope, TypedReadsAndCutNames) {
  Scope s;
  std::string longName(100, 'a');
  ScopeSetString(s, longName, "v");
  ScopeSetString(s, longName, "w");  // the same variable again
  ASSERT_EQ(s.Count(), 1u);
  EXPECT_EQ(s.Nth(0)->name, longName.substr(0, 63));
  EXPECT_EQ(ScopeFind(s, longName), nullptr);
  ScopeSetInt(s, "number", -12);
  int32_t value = 0;
  EXPECT_TRUE(ScopeGetInt(s, "number", &value));
  EXPECT_EQ(value, -12);
  EXPECT_FALSE(ScopeGetInt(s, "missing", &value));
  // Removal finds the first definition; others keep their order.
  VariablePtr second = VarNew("number");
  VarSet(*second, "second");
  ScopeAdd(s, std::move(second));
  EXPECT_TRUE(ScopeRemove(s, "number"));
  EXPECT_EQ(VarText(*ScopeFind(s, "number")), "second");
  EXPECT_EQ(s.Nth(1)->name, "number");
}

TEST(Blocks, PopByPosition) {
  ScopeStack stack;
  std::vector<Block*> b;
  std::vector<size_t> pos;
  for (auto [name, kind] :
       {std::pair{"CONFIG", 'C'}, {"SESSION", 'S'}, {"GLOBAL", 'G'}, {"SQL", 'D'}}) {
    auto block = BlockNew(stack, name, kind);
    b.push_back(block.get());
    pos.push_back(BlockPush(stack, std::move(block)));
  }
  // A block below the top goes by its position; the others keep their order.
  BlockPop(stack, pos[1]);
  ASSERT_EQ(stack.blocks.size(), 3u);
  EXPECT_EQ(stack.blocks[1].get(), b[2]);
  EXPECT_EQ(BlockTopOfKind(stack, 'S'), nullptr);
  EXPECT_EQ(BlockTopNotOfKind(stack, 'D'), b[2]);
  BlockPop(stack, 0);
  BlockPop(stack, 9);
  EXPECT_EQ(stack.blocks.size(), 3u);
}

}  // namespace
}  // namespace kwl
