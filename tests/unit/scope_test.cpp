#include "core/scope.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace kwl {
namespace {

Variable* AddText(Scope& s, std::string_view name, std::string_view text) {
  VariablePtr var = VarNew(name);
  VarSet(*var, text);
  return ScopeAdd(s, std::move(var));
}

std::string TextOf(const Scope& s, std::string_view name) {
  Variable* var = ScopeFind(s, name);
  return var ? VarText(*var) : "<missing>";
}

std::vector<std::string> Names(const Scope& s) {
  std::vector<std::string> names;
  for (size_t i = 0; Variable* var = s.Nth(i); ++i) names.push_back(var->name);
  return names;
}

TEST(Scope, FirstDefinitionWinsUntilRemoved) {
  Scope s;
  Variable* first = AddText(s, "x", "1");
  AddText(s, "y", "other");
  AddText(s, "x", "2");
  AddText(s, "x", "3");
  EXPECT_EQ(s.Count(), 4u);
  EXPECT_EQ(ScopeFind(s, "x"), first);
  EXPECT_EQ(ScopeGetOrCreate(s, "x"), first);
  ScopeSetString(s, "x", "one");
  EXPECT_EQ(TextOf(s, "x"), "one");
  EXPECT_EQ(s.Count(), 4u);

  EXPECT_TRUE(ScopeRemove(s, "x"));
  EXPECT_EQ(TextOf(s, "x"), "2");
  EXPECT_TRUE(ScopeRemove(s, "x"));
  EXPECT_EQ(TextOf(s, "x"), "3");
  EXPECT_TRUE(ScopeRemove(s, "x"));
  EXPECT_EQ(TextOf(s, "x"), "<missing>");
  EXPECT_FALSE(ScopeRemove(s, "x"));
  EXPECT_EQ(TextOf(s, "y"), "other");
  // Names compare byte for byte.
  EXPECT_EQ(ScopeFind(s, "Y"), nullptr);
}

TEST(Scope, RemovalKeepsOthersFindableAndInOrder) {
  Scope s;
  for (const char* name : {"apple", "avocado", "banana", "apricot", "cherry", "almond"})
    AddText(s, name, name);
  EXPECT_TRUE(ScopeRemove(s, "apple"));
  for (const char* name : {"avocado", "apricot", "almond", "banana", "cherry"}) {
    EXPECT_EQ(TextOf(s, name), name);
  }
  EXPECT_TRUE(ScopeRemove(s, "apricot"));
  EXPECT_EQ(Names(s), (std::vector<std::string>{"avocado", "banana", "cherry", "almond"}));
  EXPECT_EQ(s.Nth(4), nullptr);

  // A variable added after removals goes last.
  ScopeSetInt(s, "apple", 5);
  EXPECT_EQ(s.Nth(4)->name, "apple");
  int32_t value = 0;
  EXPECT_TRUE(ScopeGetInt(s, "apple", &value));
  EXPECT_EQ(value, 5);
  EXPECT_FALSE(ScopeGetInt(s, "apricot", &value));

  ScopeClear(s);
  EXPECT_EQ(s.Count(), 0u);
  EXPECT_EQ(ScopeFind(s, "banana"), nullptr);
}

TEST(Scope, LongNamesAndTextsAreCut) {
  Scope s;
  std::string longName(37, 'a');
  longName += std::string(63, 'b');
  ScopeSetString(s, longName, "v");
  ASSERT_EQ(s.Count(), 1u);
  EXPECT_EQ(s.Nth(0)->name, longName.substr(0, 63));
  EXPECT_EQ(ScopeFind(s, longName), nullptr);
  EXPECT_EQ(TextOf(s, longName.substr(0, 63)), "v");
  // Setting by the long name again reaches the same variable.
  ScopeSetString(s, longName, "w");
  EXPECT_EQ(s.Count(), 1u);

  std::string out = "stale";
  EXPECT_FALSE(ScopeGetText(s, "missing", &out));
  EXPECT_EQ(out, "");
  ScopeSet(s, "long", std::string(300, 'z'));
  EXPECT_TRUE(ScopeGetText(s, "long", &out));
  EXPECT_EQ(out, std::string(255, 'z'));
  ScopeSet(s, "short", "abc");
  EXPECT_TRUE(ScopeGetText(s, "short", &out));
  EXPECT_EQ(out, "abc");
  ScopeSetInt(s, "number", -12);
  EXPECT_TRUE(ScopeGetText(s, "number", &out));
  EXPECT_EQ(out, "-12");
}

TEST(Blocks, GeneratedAndGivenNames) {
  ScopeStack stack;
  std::set<std::string> seen;
  for (int i = 0; i < 50; ++i) {
    auto block = BlockNew(stack, "", kBlockConfig);
    std::string_view number = std::string_view(block->name).substr(2);
    EXPECT_EQ(block->name.substr(0, 2), "C_");
    EXPECT_TRUE(!number.empty() && number.find_first_not_of("0123456789") == std::string_view::npos)
        << block->name;
    seen.insert(block->name);
  }
  EXPECT_GT(seen.size(), 45u);
  EXPECT_EQ(BlockNew(stack, "", 'L')->name[0], 'L');
  auto named = BlockNew(stack, std::string(100, 'q'), kBlockLocal);
  EXPECT_EQ(named->name, std::string(63, 'q'));
  EXPECT_EQ(named->kind, kBlockLocal);
  EXPECT_EQ(named->currentRow, 0);
}

TEST(Blocks, StackSearchAndPopByPosition) {
  ScopeStack stack;
  EXPECT_EQ(BlockTop(stack), nullptr);
  EXPECT_EQ(BlockTopOfKind(stack, kBlockGlobal), nullptr);
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
  EXPECT_EQ(BlockTopNotOfKind(stack, 'D'), b[4]);
  EXPECT_EQ(BlockTopNotOfKind(stack, 'L'), b[3]);
  BlockPop(stack, pos[4]);
  EXPECT_EQ(BlockTopNotOfKind(stack, 'D'), b[2]);
  EXPECT_EQ(BlockTop(stack), b[3]);

  // A block below the top goes by its position; the others keep their order.
  BlockPop(stack, pos[1]);
  ASSERT_EQ(stack.blocks.size(), 3u);
  EXPECT_EQ(stack.blocks[0].get(), b[0]);
  EXPECT_EQ(stack.blocks[1].get(), b[2]);
  EXPECT_EQ(BlockTopOfKind(stack, 'S'), nullptr);
  BlockPop(stack, 0);
  BlockPop(stack, 9);
  EXPECT_EQ(stack.blocks.size(), 3u);
}

}  // namespace
}  // namespace kwl
