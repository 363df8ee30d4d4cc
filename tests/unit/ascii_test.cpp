#include "text/ascii.h"

#include <gtest/gtest.h>

namespace kwl {
namespace {

// Only the 26 letter pairs are equal without regard to case: a bit trick
// that folds case also equates "@" with "`", "[" with "{", CR with "-".
TEST(Ascii, OnlyLettersCompareWithoutCase) {
  EXPECT_TRUE(AsciiEqualsNoCase("NoParse", "NOPARSE"));
  EXPECT_FALSE(AsciiEqualsNoCase("@[", "`{"));
  EXPECT_FALSE(AsciiEqualsNoCase("\r", "-"));
  EXPECT_FALSE(AsciiEqualsNoCase("\xc9", "\xe9"));  // Latin-1 letters are not ASCII
  EXPECT_FALSE(AsciiEqualsNoCase("ab", "abc"));
  EXPECT_TRUE(AsciiStartsWithNoCase("ISO-8859-1", "iso"));
  EXPECT_FALSE(AsciiStartsWithNoCase("is", "iso"));
}

}  // namespace
}  // namespace kwl
