#include "core/variable.h"

#include <gtest/gtest.h>

namespace kwl {
namespace {

TEST(Variable, NullEmptyIntegerAndText) {
  Variable v("x");
  EXPECT_TRUE(v.null);
  EXPECT_EQ(VarInt(v), 0);
  VarSet(v, "");
  EXPECT_FALSE(v.null);
  VarSetInt(v, -42);
  EXPECT_EQ(VarText(v), "-42");
  EXPECT_EQ(VarLength(v), 3u);
  VarAppend(v, "x");
  EXPECT_EQ(VarText(v), "-42x");
  EXPECT_EQ(v.kind, kKindText);
  EXPECT_EQ(VarInt(v), -42);
  const std::pair<std::string_view, int32_t> texts[] = {
      {"12abc", 12},
      {"abc", 0},
      {"  \t-17 apples", -17},
      {"99999999999", 2147483647},
      {"-99999999999", -2147483647 - 1},
      {std::string_view("7\0"
                        "9",
                        3),
       7},  // a reader that stops at the first zero byte
  };
  for (auto [text, value] : texts) {
    VarSet(v, text);
    EXPECT_EQ(VarInt(v), value) << text;
  }
}

// VarExtend leaves the same value as VarSet(var, VarText(var) + data), even with nothing to add.
TEST(Variable, ExtendMatchesSetOfTextPlusData) {
  auto check = [](auto prepare, std::string_view data) {
    Variable extended, set;
    prepare(extended);
    prepare(set);
    VarExtend(extended, data);
    VarSet(set, VarText(set) + std::string(data));
    EXPECT_EQ(extended.text, set.text);
    EXPECT_EQ(extended.kind, set.kind);
    EXPECT_EQ(extended.null, set.null);
    EXPECT_EQ(VarInt(extended), VarInt(set));
  };
  auto integer = [](Variable& v) { VarSetInt(v, -42); };
  auto text = [](Variable& v) { VarSet(v, "12"); };
  auto null = [](Variable& v) { v.text = "left over"; };  // a null value reads as empty
  for (std::string_view data :
       {std::string_view(), std::string_view("7x"), std::string_view("\0y", 2)}) {
    check(integer, data);
    check(text, data);
    check(null, data);
  }
}

}  // namespace
}  // namespace kwl
