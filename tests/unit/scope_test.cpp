#include "core/scope.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kwl {
namespace {

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
