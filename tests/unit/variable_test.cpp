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

}  // namespace
}  // namespace kwl
