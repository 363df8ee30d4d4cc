#include "tags/charset.h"

#include <gtest/gtest.h>

#include "interp_fixture.h"
#include "tags/accents.h"

namespace kwl {
namespace {

// Sets named "iso..." count bytes; others count characters (the pages show LEN in both).
TEST(Charset, SingleByteSets) {
  EXPECT_TRUE(IsSingleByteCharset("ISO-8859-15"));
  EXPECT_TRUE(IsSingleByteCharset("IsO"));
  EXPECT_FALSE(IsSingleByteCharset("is"));
  EXPECT_FALSE(IsSingleByteCharset("latin1"));
  EXPECT_EQ(CharCount(std::string_view("a\0b", 3)), 3u);
}

TEST(Charset, CaseMapping) {
  testing::TracedRun page;
  std::string text = "\xC3\xA9t\xC3\xA9 \xC5\x93";  // été œ
  Upcase(page.interp, "utf-8", text);
  EXPECT_EQ(text, "\xC3\x89T\xC3\x89 \xC5\x92");
  Lowcase(page.interp, "UTF-8", text);
  EXPECT_EQ(text, "\xC3\xA9t\xC3\xA9 \xC5\x93");
  EXPECT_EQ(page.Err(), 0);
  // Bytes that do not decode, a sequence cut off at the end, an unknown set.
  text =
      "ab\xFF"
      "cd";
  Upcase(page.interp, "utf-8", text);
  EXPECT_EQ(text,
            "AB\xFF"
            "cd");
  EXPECT_EQ(page.Err(), 2);
  EXPECT_EQ(page.ErrMsg(), "ToWChar conv error !");
  text = "ab\xC3";
  Upcase(page.interp, "utf-8", text);
  EXPECT_EQ(text, "AB\xC3");
  text = "abc";
  Upcase(page.interp, "no-such-charset", text);
  EXPECT_EQ(text, "abc");
  EXPECT_EQ(page.ErrMsg(), "Char conv error !");
}

TEST(Charset, WideConversions) {
  testing::TracedRun page;
  std::string text("a\0\xC3\xA9", 4);
  size_t consumed = 0;
  auto wide = ToWide(page.interp, "utf-8", text, &consumed);
  ASSERT_TRUE(wide);
  EXPECT_EQ(*wide, std::wstring(L"a\0\u00e9", 3));
  EXPECT_EQ(consumed, 4u);
  std::string back;
  EXPECT_TRUE(FromWide(page.interp, "utf-8", *wide, back));
  EXPECT_EQ(back, text);
  std::string out;
  EXPECT_FALSE(FromWide(page.interp, "iso-8859-1", L"a\u20acb", out));
  EXPECT_EQ(out, "a");
  EXPECT_EQ(page.ErrMsg(), "FromWChar conv error !");
  EXPECT_FALSE(FromWide(page.interp, "no-such-charset", L"a", out));
  EXPECT_EQ(page.ErrMsg(), "FromWChar conv open error !");
}

TEST(Charset, ConvertFromThePageSet) {
  testing::TracedRun page;
  Variable v;
  VarSet(v, "caf\xE9");
  // The page's own set, in another case, is left alone.
  EXPECT_TRUE(ConvertCharset(page.interp, "ISO-8859-1", v));
  EXPECT_EQ(VarText(v), "caf\xE9");
  // Longer than the converter's output window.
  VarSet(v, std::string(1000, '\xE9'));
  EXPECT_TRUE(ConvertCharset(page.interp, "utf-8", v));
  std::string expected;
  for (int i = 0; i < 1000; ++i) expected += "\xC3\xA9";
  EXPECT_EQ(VarText(v), expected);
  // Stateful sets end in their initial state.
  std::string text = "\xE9";
  EXPECT_TRUE(ConvertText(page.interp, "iso-8859-1", "UTF-7", text));
  EXPECT_EQ(text, "+AOk-");
  // A failure keeps what was converted before it.
  page.SetCharset("utf-8");
  VarSet(v,
         "ab\xFF"
         "cd");
  EXPECT_FALSE(ConvertCharset(page.interp, "iso-8859-1", v));
  EXPECT_EQ(VarText(v), "ab");
  EXPECT_EQ(page.ErrMsg(), "Iconv conv error !");
}

TEST(Accents, MultiByteTextKeepsWhatHasNoApproximation) {
  testing::TracedRun page;
  page.SetCharset("utf-8");
  Variable v;
  // Ça coûte 5€ ’ok’ 中 °
  VarSet(v,
         "\xC3\x87"
         "a co\xC3\xBBte 5\xE2\x82\xAC \xE2\x80\x99ok\xE2\x80\x99 \xE4\xB8\xAD \xC2\xB0");
  NoAccent(page.interp, v);
  EXPECT_EQ(VarText(v), "Ca coute 5Euro 'ok' \xE4\xB8\xAD \xC2\xB0");
  EXPECT_EQ(page.Err(), 0);
  // Text that does not decode keeps its tail.
  VarSet(v, "\xC3\xA9\xFF\xC3\xA9");
  NoAccent(page.interp, v);
  EXPECT_EQ(VarText(v), "e\xFF\xC3\xA9");
  EXPECT_EQ(page.ErrMsg(), "ToWChar conv error !");
}

}  // namespace
}  // namespace kwl
