#include "interp/substitute.h"

#include <gtest/gtest.h>

#include "interp_fixture.h"

namespace kwl {
namespace {

using testing::PageRun;

std::string Sub(PageRun& run, std::string_view text) {
  return Substituted(run.interp, text);
}

// A value that refers to itself twice doubled at each of the 32 levels: the
// substitution never ended (found by the substitution fuzzer).
TEST(Substitute, ResubstitutionOfAValueThatBranchesIsBoundedInBreadth) {
  PageRun run;
  run.Set("two", "<$+two$$+two$>");
  std::string out = Sub(run, "$+two$");
  EXPECT_EQ(out.substr(0, 6), "<<<<<<");
  // 10,000 expansions of 14 bytes, and their unexpanded leaves.
  EXPECT_GT(out.size(), 10000u);
  EXPECT_LT(out.size(), 1000000u);
  // Each substitution has its own allowance.
  EXPECT_EQ(Sub(run, "$+two$"), out);

  // A large value that refers to itself: at most 16 MiB are re-substituted.
  run.Set("big", std::string(4 << 20, 'b') + "$+big$$+big$");
  std::string big = Sub(run, "$+big$");
  EXPECT_GT(big.size(), size_t{16} << 20);
  EXPECT_LT(big.size(), size_t{32} << 20);

  // A template that expands many times below the allowance is expanded whole.
  run.Set("leaf", "x");
  run.Set("four", "$+leaf$$+leaf$$+leaf$$+leaf$");
  run.Set("many", "$+four$$+four$$+four$$+four$$+four$$+four$$+four$$+four$");
  EXPECT_EQ(Sub(run, "$+many$$+many$"), std::string(64, 'x'));
}

std::string Repeated(std::string_view piece, int times) {
  std::string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

// Re-substitution adds at most 32 MiB to one substitution, then nothing.
TEST(Substitute, ResubstitutionOutputIsBounded) {
  PageRun run;
  constexpr size_t kRoom = size_t{32} << 20;
  // Each expansion that reached the depth limit copied this value 120 times:
  // a 720-byte request wrote 571 MB.
  run.Set("q", Repeated("$+q$", 120));
  std::string out = Sub(run, "<$+q$>$+q$.");
  ASSERT_EQ(out.size(), kRoom + 3);
  EXPECT_EQ(out.substr(0, 9), "<$+q$$+q$");
  EXPECT_EQ(out.substr(out.size() - 6), "$+q$>.");
  // Plain references to a long value inside a re-substituted value count too.
  run.Set("a", std::string(1 << 20, 'a'));
  run.Set("r", Repeated("$a$", 100));
  EXPECT_EQ(Sub(run, "$+r$").size(), kRoom);
}

// A substring, a bound or an index read a whole value for a byte or two of
// output: in a re-substituted value, what they read comes off the room.
TEST(Substitute, ReadsOfResubstitutedTextAreBounded) {
  PageRun run;
  run.Set("long", "2" + std::string(1 << 20, ' '));
  run.Set("a", "abc");
  VarSet(*run.interp.null, "N");
  for (const char* reference : {"$long(1)$", "$a(long)$", "$x[long]$"}) {
    run.Set("v", Repeated(reference, 100));
    size_t size = Sub(run, "$+v$").size();
    EXPECT_GT(size, 20u) << reference;
    EXPECT_LT(size, 40u) << reference;
  }
  // The page's own text is not re-substituted: it reads what it chooses.
  EXPECT_EQ(Sub(run, Repeated("$long(1)$", 100)), std::string(100, '2'));
}

TEST(Substitute, LimitsAndEscapes) {
  PageRun run;
  std::string longName(300, 'n');
  run.Set("a'b", "x");
  // A name beyond 255 characters stops the reference; the rest is text.
  EXPECT_EQ(Sub(run, "$" + longName + "$"), std::string(45, 'n'));
  EXPECT_EQ(Sub(run, "$"), "");
  EXPECT_EQ(Sub(run, "$+"), "");
  run.Set("q", std::string_view("it's \"x\"\\\0", 10));
  run.interp.escapeValues = true;
  EXPECT_EQ(Sub(run, "$q$"), "it\\'s \\\"x\\\"\\\\\\0");
}

}  // namespace
}  // namespace kwl
