#include "text/colours.h"

#include <gtest/gtest.h>

#include "codec_fixture.h"
#include "text/number_list.h"

namespace kwl {
namespace {

TEST(Colours, HexadecimalAfterTheHash) {
  CodecPage page;
  EXPECT_EQ(ReadColour(page.proc, "#FF0000"), 0xFF0000u);
  EXPECT_EQ(ReadColour(page.proc, "#00ff80"), 0x00FF80u);
  EXPECT_EQ(ReadColour(page.proc, "#12zz"), 0x12u);
  EXPECT_EQ(ReadColour(page.proc, "#"), 0u);
  EXPECT_EQ(ReadColour(page.proc, "#red"), 0u);
  // More digits than a colour holds saturate at white.
  EXPECT_EQ(ReadColour(page.proc, "#FFFFFFFFFFFF"), 0xFFFFFFu);
  EXPECT_EQ(ReadColour(page.proc, "#1000000"), 0xFFFFFFu);
  EXPECT_EQ(ReadColour(page.proc, "#000000FF"), 0xFFu);
  EXPECT_EQ(page.TakeTrace(), "");
}

TEST(Colours, NamesInAnyCase) {
  CodecPage page;
  EXPECT_EQ(ReadColour(page.proc, "Red"), 0xFF0000u);
  EXPECT_EQ(ReadColour(page.proc, "GREY"), 0x808080u);
  EXPECT_EQ(ReadColour(page.proc, "fuchsia"), 0xFF00FFu);
  EXPECT_EQ(ReadColour(page.proc, "Silver"), 0xC0C0C0u);
  EXPECT_EQ(ReadColour(page.proc, "teal"), 0x008080u);
  EXPECT_EQ(page.TakeTrace(), "");
}

TEST(Colours, UnknownNamesAreBlackWithAWarning) {
  CodecPage page;
  for (std::string_view name : {"pink", "red ", "", "gray"}) {
    EXPECT_EQ(ReadColour(page.proc, name), 0u) << name;
    EXPECT_EQ(page.TakeTrace(), "WARNING: Color undefined !! Black as default\n") << name;
  }
}

TEST(Colours, PdfComponents) {
  EXPECT_EQ(ColourComponents(0xFF8000), "1.00 0.50 0.00");
  EXPECT_EQ(ColourComponents(0x000000), "0.00 0.00 0.00");
  EXPECT_EQ(ColourComponents(0x0000FF), "0.00 0.00 1.00");
}

TEST(NumberList, CommasAndSpacesSeparate) {
  EXPECT_EQ(ReadNumberList("10,20 30", 4), (std::vector<int32_t>{10, 20, 30, 0}));
  EXPECT_EQ(ReadNumberList(" 1,, 2 ,3 ", 3), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(ReadNumberList("1,2,3,4,5", 2), (std::vector<int32_t>{1, 2}));
  EXPECT_EQ(ReadNumberList("", 2), (std::vector<int32_t>{0, 0}));
  EXPECT_EQ(ReadNumberList("-4,x,7.9", 3), (std::vector<int32_t>{-4, 0, 7}));
  EXPECT_EQ(ReadNumberList("5", 0), std::vector<int32_t>{});
}

TEST(NumberList, OneNumberRepeatsForRoundAndPageSize) {
  EXPECT_EQ(ReadNumberList("5", 2, true), (std::vector<int32_t>{5, 5}));
  EXPECT_EQ(ReadNumberList("5", 2), (std::vector<int32_t>{5, 0}));
  EXPECT_EQ(ReadNumberList("5,6", 2, true), (std::vector<int32_t>{5, 6}));
  EXPECT_EQ(ReadNumberList("", 2, true), (std::vector<int32_t>{0, 0}));
}

}  // namespace
}  // namespace kwl
