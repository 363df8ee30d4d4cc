#include "text/entities.h"

#include <gtest/gtest.h>

namespace kwl {
namespace {

TEST(Entities, TableHas127RowsOfDistinctCharacters) {
  int rows = 0;
  for (int b = 0; b < 256; ++b) rows += EntityByChar(static_cast<unsigned char>(b)).has_value();
  EXPECT_EQ(rows, 127);
  EXPECT_FALSE(EntityByChar(0xE5));
  EXPECT_FALSE(EntityByChar(0xF7));
  EXPECT_FALSE(EntityByChar(0x81));
  EXPECT_FALSE(EntityByChar('a'));
}

TEST(Entities, EntityTextsByCharacter) {
  EXPECT_EQ(EntityByChar(0xE9), "&eacute;");
  EXPECT_EQ(EntityByChar(0xC9), "&Eacute;");
  EXPECT_EQ(EntityByChar(0xA3), "&pound;");
  EXPECT_EQ(EntityByChar(0xA4), "&pound;");
  EXPECT_EQ(EntityByChar(0x80), "&euro;");
  EXPECT_EQ(EntityByChar(0x9F), "&Yuml;");
  EXPECT_EQ(EntityByChar(0xFF), "&yuml;");
  EXPECT_EQ(EntityByChar('"'), "&quot;");
  EXPECT_EQ(EntityByChar('<'), "&lt;");
  EXPECT_EQ(EntityByChar('='), "=");
  EXPECT_EQ(EntityByChar(' '), " ");
}

TEST(Entities, Replacements) {
  EXPECT_EQ(ReplacementByChar(0xB0), "\xB0");
  EXPECT_EQ(ReplacementByChar(0xD8), "0");
  EXPECT_EQ(ReplacementByChar(0xD7), "x");
  EXPECT_EQ(ReplacementByChar(0xC6), "AE");
  EXPECT_EQ(ReplacementByChar(0xA9), "(C)");
  EXPECT_EQ(ReplacementByChar(0x99), "(TM)");
  EXPECT_EQ(ReplacementByChar(0x89), "/oo");
  EXPECT_EQ(ReplacementByChar(0x93), "\"");
  EXPECT_EQ(ReplacementByChar(0x86), "+");
  EXPECT_EQ(ReplacementByChar(0x3D), "=");
  for (unsigned char spaced : {0xA0, 0xA4, 0xAA, 0xB5, 0xBF, 0xDE, 0xDF, 0xF0, 0xFE, 0x87, 0x20}) {
    EXPECT_EQ(ReplacementByChar(spaced), " ") << static_cast<int>(spaced);
  }
  EXPECT_FALSE(ReplacementByChar(0xE5));
}

TEST(Entities, EntityAtMatchesWholeEntitiesWithCase) {
  EXPECT_EQ(EntityAt("&pound; more"), 0xA3);
  EXPECT_EQ(EntityAt("&Eacute;"), 0xC9);
  EXPECT_EQ(EntityAt("&eacute;"), 0xE9);
  EXPECT_FALSE(EntityAt("&eacute"));
  EXPECT_FALSE(EntityAt("&EACUTE;"));
  EXPECT_FALSE(EntityAt(""));
}

std::string Decoded(std::string_view text) {
  std::string out;
  DecodeEntities(text, out);
  return out;
}

TEST(Entities, DecodeNamedAndNumericReferences) {
  EXPECT_EQ(Decoded("a &lt;b&gt; and &#65;"), "a <b> and A");
  EXPECT_EQ(Decoded("caf&eacute; &amp;lt;"), "caf\xE9 &lt;");
  EXPECT_EQ(Decoded("&#321;"), "A");  // the low 8 bits
  EXPECT_EQ(Decoded("&#;x"), std::string("\0x", 2));
  EXPECT_EQ(Decoded("&#1234;"), "1234;");
}

TEST(Entities, DecodeLeavesWhatIsNoReference) {
  EXPECT_EQ(Decoded("a & b"), "a & b");
  EXPECT_EQ(Decoded("&"), "&");
  EXPECT_EQ(Decoded("&unknown; &&"), "&unknown; &&");
  // An unclosed short reference at the end of the text stays as it is.
  EXPECT_EQ(Decoded("x&#12"), "x&#12");
  EXPECT_EQ(Decoded("x&#"), "x&#");
  EXPECT_EQ(Decoded("x&#12345"), "x12345");
  EXPECT_EQ(Decoded(std::string_view("a\0&lt;", 6)), std::string("a\0<", 3));
}

TEST(Entities, FoldAccentsReplacesHighBytesWithRows) {
  std::string text =
      "\xC7"
      "a co\xFBte 5\x80";
  FoldAccents(text);
  EXPECT_EQ(text, "Ca coute 5Euro");
  text = "\xE5\xF7 <&> \x81";
  FoldAccents(text);
  EXPECT_EQ(text, "\xE5\xF7 <&> \x81");
  text = "\xC6\xA9\xB0";
  FoldAccents(text);
  EXPECT_EQ(text, "AE(C)\xB0");
}

}  // namespace
}  // namespace kwl
