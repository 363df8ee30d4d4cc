#include "text/keyed_code.h"

#include <gtest/gtest.h>

#include <string>

#include "text/md5.h"

namespace kwl {
namespace {

TEST(Md5, VectorsAroundBlockBoundaries) {
  EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5Hex(std::string(55, 'a')), "ef1772b6dff9a122358552954ad0df65");
  EXPECT_EQ(Md5Hex(std::string(56, 'a')), "3b0c8ac703f828b04c6c197006d17218");
  EXPECT_EQ(Md5Hex(std::string(64, 'a')), "014842d480b571495a4a0363793f7367");
  EXPECT_EQ(Md5Hex("1234567890123456789012345678901234567890"
                   "1234567890123456789012345678901234567890"),
            "57edf4a22be3c955ac49da2e2107b67a");
}

constexpr std::string_view kKey = "0123456789abcdef";

TEST(KeyedCode, KnownCodes) {
  EXPECT_EQ(KeyedCode("hello", kKey), "AT5K9AGSIOCVYC08");
  // High bytes count as signed in the text and unsigned in the key.
  EXPECT_EQ(KeyedCode("\xE9t\xE9 \xFF",
                      "\xFF\x80\x01\x7F\xFE\x10\x20\x30\x40\x50\x60\x70\x81\x91\xA1\xB1"),
            "34BEED17SWTCNBJ9");
  EXPECT_EQ(KeyedCode("x", "k"), "BQYPEL0RWVX6JZYJ");
  EXPECT_EQ(KeyedCode("", ""), "XVYR6STEWV5BLWKQ");
  EXPECT_EQ(KeyedCode("abc", ""), "XBPX3ERVB175MUSF");
  // Short texts repeat cyclically; the text ends at its first zero byte.
  EXPECT_EQ(KeyedCode("x", "k"), KeyedCode(std::string(64, 'x'), "k"));
  std::string abab;
  for (int i = 0; i < 32; ++i) abab += "ab";
  EXPECT_EQ(KeyedCode("ab", kKey), KeyedCode(abab, kKey));
  EXPECT_NE(KeyedCode("ab", kKey), KeyedCode("ba", kKey));
  EXPECT_EQ(KeyedCode(std::string_view("hello\0world", 11), kKey), KeyedCode("hello", kKey));
  EXPECT_EQ(KeyedCode(std::string_view("\0x", 2), ""), KeyedCode("", ""));
}

}  // namespace
}  // namespace kwl
