#include "text/base64.h"

#include <gtest/gtest.h>

#include "interp_fixture.h"

namespace kwl {
namespace {

std::string Encoded(std::string_view bytes) {
  std::string out;
  Base64Encode(bytes, out);
  return out;
}

std::string Decoded(testing::TracedRun& page, std::string_view text) {
  std::string out;
  Base64Decode(page.proc, text, out);
  return out;
}

// Every byte value comes back; padding and line length as RFC 4648 has them (the
// pages check the alphabet on known texts).
TEST(Base64, EveryByteValueAndPadding) {
  testing::TracedRun page;
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  bytes += std::string("\0\0", 2);
  EXPECT_EQ(Decoded(page, Encoded(bytes)), bytes);
  EXPECT_EQ(Encoded("f") + Encoded("fo") + Encoded("foo"), "Zg==Zm8=Zm9v");
  EXPECT_EQ(page.TakeTrace(), "");
  // However long, the code is one line.
  std::string coded = Encoded(std::string(100, 'x'));
  EXPECT_EQ(coded.size(), 136u);
  EXPECT_EQ(coded.find('\n'), std::string::npos);
}

TEST(Base64, DecodeSkipsStrangersAndEndsAtPadding) {
  testing::TracedRun page;
  EXPECT_EQ(Decoded(page, "QU JD"), "ABC");
  EXPECT_EQ(page.TakeTrace(), "Invalid character found  \n");
  const std::pair<const char*, const char*> cases[] = {
      {"QUJD\r\nQUJD", "ABCABC"},
      {"QUI=", "AB"},
      {"QQ==QUJD", "A"},
      // Padding after a whole group adds nothing; a lone sextet holds no byte;
      // an unpadded tail is taken as cut off.
      {"QUJD=", "ABC"},
      {"QUJDQ=", "ABC"},
      {"QUJDQUI", "ABC"},
      {"!!!!", ""},
  };
  for (auto [text, decoded] : cases) EXPECT_EQ(Decoded(page, text), decoded) << text;
}

}  // namespace
}  // namespace kwl
