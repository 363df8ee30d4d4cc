#include "text/svg_path.h"

#include <gtest/gtest.h>

#include "interp_fixture.h"

namespace kwl {
namespace {

TEST(SvgPath, PathDataToPdfOperators) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"M10 20 L30 40", "10 20 m 30 40 l "},
      {"M 1 2 H 7 V 9", "1 2 m 7 2 l 7 9 l "},
      {"M9.5,2.25L-3,-4", "9.5 2.25 m -3 -4 l "},
      // Numbers without a command repeat the last one (a move goes on as lines);
      // numbers before any command are skipped.
      {"M 0 0 10 10 20 0", "0 0 m 10 10 l 20 0 l "},
      {"m 1 1 2 2", "1 1 m 3 3 l "},
      {"L 1 1 -2 -2 .5 .5", "1 1 l -2 -2 l 0.5 0.5 l "},
      {"M-1-2L3.5.5", "-1 -2 m 3.5 0.5 l "},
      {"12 34 M 1 2", "1 2 m "},
      // Relative commands add the current point.
      {"m 10 10 l 5 5 h 5 v -5", "10 10 m 15 15 l 20 15 l 20 10 l "},
      {"m 1 1 c 1 1 2 2 3 3", "1 1 m 2 2 3 3 4 4 c "},
      {"M 10 10 q 1 2 3 4", "10 10 m 11 12 13 14 y "},
      // S reflects the last control point about the current point, or takes the
      // current point after a command that is no cubic.
      {"M0 0 C 1 1 2 2 3 3 S 5 5 6 6", "0 0 m 1 1 2 2 3 3 c 4 4 5 5 6 6 c "},
      {"M0 0 C 1 1 2 2 3 3 s 1 1 2 2", "0 0 m 1 1 2 2 3 3 c 4 4 4 4 5 5 c "},
      {"M0 0 L 3 3 S 5 5 6 6", "0 0 m 3 3 l 3 3 5 5 6 6 c "},
      // Z returns to the start of the subpath.
      {"m 10 10 l 5 0 z l 1 1", "10 10 m 15 10 l 11 11 l "},
      {"M 0 0 Z 5 5", "0 0 m "},
      // Arcs and T are drawn as lines to their end points.
      {"M 1 1 t 2 2 3 3", "1 1 m 3 3 l 6 6 l "},
      {"M 0 0 a 1 1 0 0 1 2 2 1 1 0 0 1 2 2", "0 0 m 2 2 l 4 4 l "},
      // Missing numbers read as zero and end the text.
      {"M 5", "5 0 m "},
      {"L 1 1 -", "1 1 l 0 0 l "},
      {"C", "0 0 0 0 0 0 c "},
  };
  for (auto [path, pdf] : cases) {
    testing::TracedRun page;
    std::string out;
    SvgPathToPdf(page.proc, path, out);
    EXPECT_EQ(out, pdf) << path;
  }
}

}  // namespace
}  // namespace kwl
