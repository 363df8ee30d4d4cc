#include "core/scope.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kwl {
namespace {

std::string TextOf(const Scope& s, std::string_view name) {
  Variable* var = ScopeFind(s, name);
  return var ? VarText(*var) : "<missing>";
}

TEST(Scope, FirstDefinitionWinsUntilRemovedAndOrderIsKept) {
  Scope s;
  for (const char* text : {"1", "other", "2", "3"}) {
    VariablePtr var = VarNew(text[0] == 'o' ? "y" : "x");
    VarSet(*var, text);
    ScopeAdd(s, std::move(var));
  }
  EXPECT_EQ(ScopeGetOrCreate(s, "x"), ScopeFind(s, "x"));
  ScopeSetString(s, "x", "one");
  EXPECT_EQ(TextOf(s, "x"), "one");
  EXPECT_EQ(s.Count(), 4u);
  EXPECT_TRUE(ScopeRemove(s, "x"));
  EXPECT_EQ(TextOf(s, "x"), "2");
  EXPECT_TRUE(ScopeRemove(s, "x"));
  EXPECT_TRUE(ScopeRemove(s, "x"));
  EXPECT_FALSE(ScopeRemove(s, "x"));
  EXPECT_EQ(TextOf(s, "y"), "other");
  EXPECT_EQ(ScopeFind(s, "Y"), nullptr);  // names compare byte for byte

  // A variable added after removals goes last; the others keep their order.
  for (const char* name : {"apple", "avocado", "banana", "apricot"}) ScopeSet(s, name, name);
  EXPECT_TRUE(ScopeRemove(s, "apple"));
  EXPECT_TRUE(ScopeRemove(s, "apricot"));
  ScopeSetInt(s, "apple", 5);
  std::vector<std::string> names;
  for (size_t i = 0; Variable* var = s.Nth(i); ++i) names.push_back(var->name);
  EXPECT_EQ(names, (std::vector<std::string>{"y", "avocado", "banana", "apple"}));
  int32_t value = 0;
  EXPECT_TRUE(ScopeGetInt(s, "apple", &value));
  EXPECT_EQ(value, 5);
  EXPECT_FALSE(ScopeGetInt(s, "apricot", &value));
  ScopeClear(s);
  EXPECT_EQ(ScopeFind(s, "banana"), nullptr);
}

TEST(Scope, LongNamesAndTextsAreCut) {
  Scope s;
  std::string longName(100, 'a');
  ScopeSetString(s, longName, "v");
  ScopeSetString(s, longName, "w");  // the same variable again
  ASSERT_EQ(s.Count(), 1u);
  EXPECT_EQ(s.Nth(0)->name, longName.substr(0, 63));
  EXPECT_EQ(ScopeFind(s, longName), nullptr);
  std::string out = "stale";
  EXPECT_FALSE(ScopeGetText(s, "missing", &out));
  EXPECT_EQ(out, "");
  ScopeSet(s, "long", std::string(300, 'z'));
  EXPECT_TRUE(ScopeGetText(s, "long", &out));
  EXPECT_EQ(out, std::string(255, 'z'));
  ScopeSetInt(s, "number", -12);
  EXPECT_TRUE(ScopeGetText(s, "number", &out));
  EXPECT_EQ(out, "-12");
}

TEST(Blocks, NamesStackSearchAndPopByPosition) {
  ScopeStack stack;
  EXPECT_EQ(BlockTop(stack), nullptr);
  EXPECT_EQ(BlockNew(stack, "", kBlockConfig)->name.substr(0, 2), "C_");
  EXPECT_EQ(BlockNew(stack, std::string(100, 'q'), kBlockLocal)->name, std::string(63, 'q'));
  std::vector<Block*> b;
  std::vector<size_t> pos;
  const std::pair<const char*, char> blocks[] = {{"CONFIG", 'C'}, {"SESSION", 'S'}, {"GLOBAL", 'G'},
                                                 {"SQL", 'D'},    {"twice", 'L'},   {"SQL", 'D'}};
  for (auto [name, kind] : blocks) {
    auto block = BlockNew(stack, name, kind);
    b.push_back(block.get());
    pos.push_back(BlockPush(stack, std::move(block)));
  }
  EXPECT_EQ(pos, (std::vector<size_t>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(BlockFind(stack, "SQL"), b[3]);
  EXPECT_EQ(BlockFind(stack, "nothing"), nullptr);
  EXPECT_EQ(BlockTopOfKind(stack, 'D'), b[5]);
  EXPECT_EQ(BlockTopOfKind(stack, 'G'), b[2]);
  EXPECT_EQ(BlockTopOfKind(stack, 'F'), nullptr);
  EXPECT_EQ(BlockTopNotOfKind(stack, 'D'), b[4]);
  BlockPop(stack, pos[5]);
  EXPECT_EQ(BlockTopNotOfKind(stack, 'L'), b[3]);
  BlockPop(stack, pos[4]);
  EXPECT_EQ(BlockTopNotOfKind(stack, 'D'), b[2]);
  // A block below the top goes by its position; the others keep their order.
  BlockPop(stack, pos[1]);
  ASSERT_EQ(stack.blocks.size(), 3u);
  EXPECT_EQ(stack.blocks[1].get(), b[2]);
  EXPECT_EQ(BlockTopOfKind(stack, 'S'), nullptr);
  BlockPop(stack, 0);
  BlockPop(stack, 9);
  EXPECT_EQ(stack.blocks.size(), 3u);
}

}  // namespace
}  // namespace kwl
