#include "text/base64.h"

#include <gtest/gtest.h>

#include "codec_fixture.h"

namespace kwl {
namespace {

std::string Encoded(std::string_view bytes) {
  std::string out;
  Base64Encode(bytes, out);
  return out;
}

TEST(Base64, Rfc4648Vectors) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
  };
  CodecPage page;
  for (auto [plain, coded] : vectors) {
    EXPECT_EQ(Encoded(plain), coded);
    std::string back;
    Base64Decode(page.proc, coded, back);
    EXPECT_EQ(back, plain) << coded;
  }
}

TEST(Base64, EveryByteValueRoundTrips) {
  std::string bytes;
  for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
  bytes += std::string("\0\0", 2);
  CodecPage page;
  std::string back;
  Base64Decode(page.proc, Encoded(bytes), back);
  EXPECT_EQ(back, bytes);
  EXPECT_EQ(page.TakeTrace(), "");
}

TEST(Base64, LongInputIsOneLine) {
  std::string coded = Encoded(std::string(100, 'x'));
  EXPECT_EQ(coded.size(), 136u);
  EXPECT_EQ(coded.find('\n'), std::string::npos);
  EXPECT_EQ(coded.substr(132), "eA==");
}

TEST(Base64, DecodeSkipsAndTracesCharactersOutsideTheAlphabet) {
  CodecPage page;
  std::string out;
  Base64Decode(page.proc, "QU JD", out);
  EXPECT_EQ(out, "ABC");
  EXPECT_EQ(page.TakeTrace(), "Invalid character found  \n");
  out.clear();
  Base64Decode(page.proc, "QUJD\r\nQUJD", out);
  EXPECT_EQ(out, "ABCABC");
}

TEST(Base64, DecodeEndsAtPadding) {
  CodecPage page;
  auto decoded = [&](std::string_view text) {
    std::string out;
    Base64Decode(page.proc, text, out);
    return out;
  };
  EXPECT_EQ(decoded("QUI="), "AB");
  EXPECT_EQ(decoded("QQ=="), "A");
  EXPECT_EQ(decoded("QQ==QUJD"), "A");
  // Padding after a whole group adds nothing.
  EXPECT_EQ(decoded("QUJD="), "ABC");
  // A lone sextet holds no byte; an unpadded tail is taken as cut off.
  EXPECT_EQ(decoded("QUJDQ="), "ABC");
  EXPECT_EQ(decoded("QUJDQUI"), "ABC");
  EXPECT_EQ(decoded("!!!!"), "");
  EXPECT_EQ(decoded(""), "");
}

}  // namespace
}  // namespace kwl
