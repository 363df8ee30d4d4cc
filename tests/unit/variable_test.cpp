#include "core/variable.h"

#include <gtest/gtest.h>

namespace kwl {
namespace {

TEST(Variable, FreshAndEmptyValues) {
  Variable v("x");
  EXPECT_EQ(VarText(v), "");
  EXPECT_EQ(VarInt(v), 0);
  EXPECT_TRUE(v.null);
  VarSet(v, "");
  EXPECT_FALSE(v.null);
  EXPECT_EQ(VarText(v), "");
  EXPECT_EQ(VarInt(v), 0);
}

TEST(Variable, IntegerAndTextConvertLazily) {
  Variable v;
  VarSetInt(v, -42);
  EXPECT_EQ(VarText(v), "-42");
  EXPECT_EQ(VarLength(v), 3u);
  VarAppend(v, "x");
  EXPECT_EQ(VarText(v), "-42x");
  EXPECT_EQ(v.kind, kKindText);
  EXPECT_EQ(VarInt(v), -42);

  VarSet(v, "12abc");
  EXPECT_EQ(VarInt(v), 12);
  VarSet(v, "abc");
  EXPECT_EQ(VarInt(v), 0);
  VarSet(v, "  \t-17 apples");
  EXPECT_EQ(VarInt(v), -17);
  VarSet(v, "99999999999");
  EXPECT_EQ(VarInt(v), 2147483647);
  VarSet(v, "-99999999999");
  EXPECT_EQ(VarInt(v), -2147483647 - 1);
  // A reader that stops at the first zero byte sees only "7".
  VarSet(v, std::string_view("7\0" "9", 3));
  EXPECT_EQ(VarInt(v), 7);
  EXPECT_EQ(VarLength(v), 3u);
}

// VarExtend leaves the same value as VarSet(var, VarText(var) + data), even with nothing to add.
TEST(Variable, ExtendMatchesSetOfTextPlusData) {
  auto check = [](auto prepare, std::string_view data) {
    Variable extended, set;
    prepare(extended);
    prepare(set);
    VarExtend(extended, data);
    VarSet(set, VarText(set) + std::string(data));
    EXPECT_EQ(extended.text, set.text);
    EXPECT_EQ(extended.kind, set.kind);
    EXPECT_EQ(extended.null, set.null);
    EXPECT_EQ(VarInt(extended), VarInt(set));
  };
  auto integer = [](Variable& v) { VarSetInt(v, -42); };
  auto text = [](Variable& v) { VarSet(v, "12"); };
  auto null = [](Variable& v) { v.text = "left over"; };  // a null value reads as empty
  for (std::string_view data :
       {std::string_view(), std::string_view("7x"), std::string_view("\0y", 2)}) {
    check(integer, data);
    check(text, data);
    check(null, data);
  }
}

TEST(Variable, GrowthAcrossTheInlineLimitKeepsBytes) {
  Variable v;
  std::string block(255, 'a');
  VarAppend(v, block);
  VarAppend(v, std::string_view("\0b", 2));
  EXPECT_EQ(VarLength(v), 257u);
  EXPECT_EQ(VarText(v).substr(254), std::string_view("a\0b", 3));
  VarAppend(v, std::string(1000, 'c'));
  EXPECT_EQ(VarLength(v), 1257u);
}

TEST(Variable, NamesAndCopiesAreCut) {
  Variable v(std::string(80, 'n'));
  EXPECT_EQ(v.name.size(), 63u);
  VarSet(v, std::string(300, 'z'));
  EXPECT_EQ(VarCopyText(v, 255).size(), 255u);
  VarSet(v, std::string_view("ab\0cd", 5));
  EXPECT_EQ(VarCopyText(v, 255), "ab");
}

TEST(Variable, InsertReplaceTruncate) {
  Variable v;
  VarSet(v, "abcdefg");
  VarReplace(v, 2, 3, "XY");
  EXPECT_EQ(VarText(v), "abXYfg");
  VarSet(v, "abc");
  VarReplace(v, 0, 1, "123");
  EXPECT_EQ(VarText(v), "123bc");
  VarInsert(v, 5, "!");
  VarInsert(v, 9, "never");  // past the end: nothing
  VarInsert(v, -1, "never");
  EXPECT_EQ(VarText(v), "123bc!");
  VarTruncate(v, 3);
  EXPECT_EQ(VarText(v), "123");
  VarTruncate(v, 10);
  EXPECT_EQ(VarText(v), "123");
  VarClear(v);
  EXPECT_TRUE(v.null);
  EXPECT_EQ(VarInt(v), 0);
}

TEST(Variable, CopyAndMoveValues) {
  Variable src("s"), copy("c"), moved("m");
  VarSetInt(src, 5);
  VarCopyValue(copy, src);
  EXPECT_EQ(copy.name, "c");
  EXPECT_EQ(VarText(copy), "5");
  VarSet(src, std::string(500, 'q'));
  VarMoveValue(moved, src);
  EXPECT_EQ(VarLength(moved), 500u);
  EXPECT_TRUE(src.null);
  EXPECT_EQ(VarText(src), "");
}

TEST(Variable, AppendFormatIsCutAt2047) {
  Variable v;
  VarAppendFormat(v, "%s", std::string(3000, 'f').c_str());
  EXPECT_EQ(VarLength(v), 2047u);
  VarSetInt(v, 3);
  VarAppendFormat(v, "-%d", 4);
  EXPECT_EQ(VarText(v), "3-4");
}

}  // namespace
}  // namespace kwl
