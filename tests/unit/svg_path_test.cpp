#include "text/svg_path.h"

#include <gtest/gtest.h>

#include "codec_fixture.h"

namespace kwl {
namespace {

std::string Pdf(std::string_view path) {
  CodecPage page;
  std::string out;
  SvgPathToPdf(page.proc, path, out);
  return out;
}

TEST(SvgPath, MovesAndLines) {
  EXPECT_EQ(Pdf("M10 20 L30 40"), "10 20 m 30 40 l ");
  EXPECT_EQ(Pdf("M 1 2 H 7 V 9"), "1 2 m 7 2 l 7 9 l ");
  EXPECT_EQ(Pdf("M1.5,2.25L-3,-4"), "1.5 2.25 m -3 -4 l ");
  EXPECT_EQ(Pdf(""), "");
}

TEST(SvgPath, NumbersWithoutCommandRepeatIt) {
  EXPECT_EQ(Pdf("M 0 0 10 10 20 0"), "0 0 m 10 10 l 20 0 l ");
  EXPECT_EQ(Pdf("m 1 1 2 2"), "1 1 m 3 3 l ");
  EXPECT_EQ(Pdf("L 1 1 -2 -2 .5 .5"), "1 1 l -2 -2 l 0.5 0.5 l ");
  EXPECT_EQ(Pdf("M-1-2L3.5.5"), "-1 -2 m 3.5 0.5 l ");
  // Numbers before any command are skipped.
  EXPECT_EQ(Pdf("12 34 M 1 2"), "1 2 m ");
}

TEST(SvgPath, RelativeCommandsAddTheCurrentPoint) {
  EXPECT_EQ(Pdf("m 10 10 l 5 5 h 5 v -5"), "10 10 m 15 15 l 20 15 l 20 10 l ");
  EXPECT_EQ(Pdf("m 1 1 c 1 1 2 2 3 3"), "1 1 m 2 2 3 3 4 4 c ");
  EXPECT_EQ(Pdf("M 10 10 q 1 2 3 4"), "10 10 m 11 12 13 14 y ");
}

TEST(SvgPath, Curves) {
  EXPECT_EQ(Pdf("M0 0 C 1 2 3 4 5 6"), "0 0 m 1 2 3 4 5 6 c ");
  EXPECT_EQ(Pdf("M0 0 Q 1 2 3 4"), "0 0 m 1 2 3 4 y ");
  // S reflects the last control point about the current point.
  EXPECT_EQ(Pdf("M0 0 C 1 1 2 2 3 3 S 5 5 6 6"), "0 0 m 1 1 2 2 3 3 c 4 4 5 5 6 6 c ");
  EXPECT_EQ(Pdf("M0 0 C 1 1 2 2 3 3 s 1 1 2 2"), "0 0 m 1 1 2 2 3 3 c 4 4 4 4 5 5 c ");
  // After a command that is no cubic the reflection is the current point.
  EXPECT_EQ(Pdf("M0 0 L 3 3 S 5 5 6 6"), "0 0 m 3 3 l 3 3 5 5 6 6 c ");
}

TEST(SvgPath, CloseReturnsToTheSubpathStart) {
  EXPECT_EQ(Pdf("m 10 10 l 5 0 z l 1 1"), "10 10 m 15 10 l 11 11 l ");
  EXPECT_EQ(Pdf("M 0 0 Z 5 5"), "0 0 m ");
}

TEST(SvgPath, ArcsAreTracedAndDrawnAsLines) {
  CodecPage page;
  std::string out;
  SvgPathToPdf(page.proc, "M0 0 A 5 5 0 0 1 10 10 L 20 20", out);
  EXPECT_EQ(out, "0 0 m 10 10 l 20 20 l ");
  std::string trace = page.TakeTrace();
  EXPECT_NE(trace.find("Cmd [A]\nA not available !\n"), std::string::npos);
  EXPECT_NE(trace.find("Cmd [M]\n"), std::string::npos);
  EXPECT_EQ(Pdf("M 1 1 t 2 2 3 3"), "1 1 m 3 3 l 6 6 l ");
  EXPECT_EQ(Pdf("M 0 0 a 1 1 0 0 1 2 2 1 1 0 0 1 2 2"), "0 0 m 2 2 l 4 4 l ");
}

TEST(SvgPath, MissingNumbersReadAsZeroAndEndTheText) {
  EXPECT_EQ(Pdf("M 5"), "5 0 m ");
  EXPECT_EQ(Pdf("L 1 1 -"), "1 1 l 0 0 l ");
  EXPECT_EQ(Pdf("C"), "0 0 0 0 0 0 c ");
}

}  // namespace
}  // namespace kwl
