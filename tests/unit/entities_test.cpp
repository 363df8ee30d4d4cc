#include "text/entities.h"

#include <gtest/gtest.h>

namespace kwl {
namespace {

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

}  // namespace
}  // namespace kwl
