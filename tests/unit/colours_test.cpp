#include "text/colours.h"

#include <gtest/gtest.h>

#include "interp_fixture.h"
#include "text/number_list.h"

namespace kwl {
namespace {

TEST(Colours, HexadecimalAndNames) {
  const std::pair<const char*, uint32_t> cases[] = {
      {"#FF0000", 0xFF0000},
      {"#00fa80", 0x00FA80},
      {"#12zz", 0x12},
      {"#", 0},
      {"#red", 0},
      // More digits than a colour holds saturate at white.
      {"#FFFFFFFFFFFF", 0xFFFFFF},
      {"#1000000", 0xFFFFFF},
      {"#000000FF", 0xFF},
      {"Red", 0xFF0000},
      {"GREY", 0x808080},
      {"fuchsia", 0xFF00FF},
      {"Silver", 0xC0C0C0},
      {"teal", 0x008080},
  };
  testing::TracedRun page;
  for (auto [text, colour] : cases) EXPECT_EQ(ReadColour(page.proc, text), colour) << text;
  EXPECT_EQ(page.TakeTrace(), "");
  for (std::string_view name : {"pink", "red ", "", "gray"}) {
    EXPECT_EQ(ReadColour(page.proc, name), 0u) << name;
    EXPECT_EQ(page.TakeTrace(), "WARNING: Color undefined !! Black as default\n") << name;
  }
  EXPECT_EQ(ColourComponents(0xFF8000), "1.00 0.50 0.00");
  EXPECT_EQ(ColourComponents(0x0000FF), "0.00 0.00 1.00");
}

TEST(NumberList, SeparatorsCountsAndRepetition) {
  using L = std::vector<int32_t>;
  EXPECT_EQ(ReadNumberList("10,20 30", 4), (L{10, 20, 30, 0}));
  EXPECT_EQ(ReadNumberList(" 1,, 2 ,3 ", 3), (L{1, 2, 3}));
  EXPECT_EQ(ReadNumberList("1,2,3,4,5", 2), (L{1, 2}));
  EXPECT_EQ(ReadNumberList("-4,x,7.9", 3), (L{-4, 0, 7}));
  EXPECT_EQ(ReadNumberList("5", 0), L{});
  // One number repeats only when asked to (round corners, page sizes).
  EXPECT_EQ(ReadNumberList("5", 2), (L{5, 0}));
  EXPECT_EQ(ReadNumberList("5", 2, true), (L{5, 5}));
  EXPECT_EQ(ReadNumberList("5,6", 2, true), (L{5, 6}));
  EXPECT_EQ(ReadNumberList("", 2, true), (L{0, 0}));
}

}  // namespace
}  // namespace kwl
