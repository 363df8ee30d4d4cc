#include "core/variable.h"

#include <gtest/gtest.h>

namespace kwl {
namespace {

// A text read as an integer: leading blanks, a sign, the digits up to the first other byte,
// saturated at the 32-bit bounds.
TEST(Variable, TextReadAsAnInteger) {
  Variable v("x");
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
