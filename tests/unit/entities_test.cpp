#include "runtime/entities.h"

#include <gtest/gtest.h>

namespace kwl {
namespace {

TEST(Entities, EntitiesAndReplacementsByCharacter) {
  const std::pair<unsigned char, const char*> entities[] = {
      {0xE9, "&eacute;"}, {0xC9, "&Eacute;"}, {0xA3, "&pound;"}, {0xA4, "&pound;"},
      {0x80, "&euro;"},   {0x9F, "&Yuml;"},   {0xFF, "&yuml;"},  {'"', "&quot;"},
      {'<', "&lt;"},      {'=', "="},         {' ', " "},
  };
  for (auto [c, text] : entities) EXPECT_EQ(EntityByChar(c), text) << int{c};
  for (int c : {0xE5, 0xF7, 0x81, 0x61}) EXPECT_FALSE(EntityByChar(static_cast<unsigned char>(c))) << c;

  const std::pair<unsigned char, const char*> replacements[] = {
      {0xB0, "\xB0"}, {0xD8, "0"},    {0xD7, "x"}, {0xC6, "AE"}, {0xA9, "(C)"},
      {0x99, "(TM)"}, {0x89, "/oo"},  {0x93, "\""}, {0x86, "+"},  {0x3D, "="},
      {0xA0, " "},    {0xB5, " "},    {0xDF, " "}, {0x87, " "},
  };
  for (auto [c, text] : replacements) EXPECT_EQ(ReplacementByChar(c), text) << int{c};
  EXPECT_FALSE(ReplacementByChar(0xE5));
}

TEST(Entities, EntityAtMatchesWholeEntitiesWithCase) {
  EXPECT_EQ(EntityAt("&pound; more"), 0xA3);
  EXPECT_EQ(EntityAt("&Eacute;"), 0xC9);
  EXPECT_FALSE(EntityAt("&eacute"));
  EXPECT_FALSE(EntityAt("&EACUTE;"));
  EXPECT_FALSE(EntityAt(""));
}

TEST(Entities, Decode) {
  const std::pair<std::string, std::string> cases[] = {
      {"a &lt;b&gt; and &#65;", "a <b> and A"},
      {"caf&eacute; &amp;lt;", "caf\xE9 &lt;"},
      {"&#321;", "A"},  // the low 8 bits
      {"&#;x", std::string("\0x", 2)},
      {"&#1234;", "1234;"},
      {"a & b", "a & b"},
      {"&", "&"},
      {"&unknown; &&", "&unknown; &&"},
      // An unclosed short reference at the end of the text stays as it is.
      {"x&#12", "x&#12"},
      {"x&#", "x&#"},
      {"x&#12345", "x12345"},
      {std::string("a\0&lt;", 6), std::string("a\0<", 3)},
  };
  for (const auto& [text, decoded] : cases) {
    std::string out;
    DecodeEntities(text, out);
    EXPECT_EQ(out, decoded) << text;
  }
}

TEST(Entities, FoldAccentsReplacesHighBytesWithRows) {
  std::string text = "\xC7" "a co\xFBte 5\x80 \xE5\xF7 <&> \x81 \xC6\xA9\xB0";
  FoldAccents(text);
  EXPECT_EQ(text, "Ca coute 5Euro \xE5\xF7 <&> \x81 AE(C)\xB0");
}

}  // namespace
}  // namespace kwl
