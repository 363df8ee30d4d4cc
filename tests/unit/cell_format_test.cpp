#include "tags/cell_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <type_traits>

#include "codec_fixture.h"

namespace kwl {
namespace {

static_assert(std::is_same_v<decltype(&CellText), CellFormatter>,
              "CellText must fit Process::cellText");

template <typename T>
std::string Bytes(T value) {
  std::string bytes(sizeof value, '\0');
  std::memcpy(bytes.data(), &value, sizeof value);
  return bytes;
}

std::string DateBytes(int16_t y, int16_t mo, int16_t d, int16_t h, int16_t mi, int16_t s) {
  return Bytes(y) + Bytes(mo) + Bytes(d) + Bytes(h) + Bytes(mi) + Bytes(s);
}

class CellFormat : public ::testing::Test {
 protected:
  std::string Render(std::string_view bytes, int kind, int param = 0) {
    std::string out = "<";
    bool rendered = RenderCellBytes(page.proc, bytes, kind, param, out);
    return rendered ? out.substr(1) : "(raw)";
  }
  CodecPage page;
};

TEST_F(CellFormat, TextAndIntegerKinds) {
  EXPECT_EQ(Render("abc", kColumnText), "abc");
  EXPECT_EQ(Render(std::string_view("a\0b", 3), kColumnText10), std::string("a\0b", 3));
  EXPECT_EQ(Render("\xFF", kColumnByte), "255");
  EXPECT_EQ(Render(Bytes<int16_t>(-5), kColumnInt16), "-5");
  EXPECT_EQ(Render(Bytes<int32_t>(-123456), kColumnInt32), "-123456");
  EXPECT_EQ(Render(Bytes<int64_t>(-9000000000LL), kColumnInt64), "-9000000000");
  EXPECT_EQ(Render(Bytes<uint32_t>(0x41424344), kColumnFourChars), "ABCD");
}

TEST_F(CellFormat, BlobsAndUnknownKindsAreLeftToTheCaller) {
  EXPECT_EQ(Render("raw", kColumnBlob), "(raw)");
  EXPECT_EQ(Render("raw", 99), "(raw)");
}

TEST_F(CellFormat, CellsTooShortForTheirKindAreNeverReadPast) {
  EXPECT_EQ(Render("x", kColumnInt16), "##invalid##");
  EXPECT_EQ(Render("xyz", kColumnInt32), "##invalid##");
  EXPECT_EQ(Render("12345678901", kColumnDate), "##invalid##");
}

TEST_F(CellFormat, FloatsByPrecision) {
  EXPECT_EQ(Render(Bytes(3.14159), kColumnFloat, 2), "3.14");
  EXPECT_EQ(Render(Bytes(3.14159), kColumnFloat, 0), "3");
  EXPECT_EQ(Render(Bytes(2.5f), kColumnFloat, 2), "2.50");
  EXPECT_EQ(Render(Bytes(3.14159), kColumnFloat, -1), "3.141590");
  EXPECT_EQ(Render("12345", kColumnFloat, 2), "##invalid##");
  // A huge precision is capped rather than building an enormous text.
  EXPECT_EQ(Render(Bytes(1.5), kColumnFloat, 1000000).size(), 102u);
  EXPECT_EQ(Render(Bytes(-1e308), kColumnFloat, 100).size(), 411u);  // not cut
}

TEST_F(CellFormat, DatesByLayoutNumber) {
  std::string date = DateBytes(2024, 5, 12, 9, 5, 7);
  EXPECT_EQ(Render(date, kColumnDate, 1), "12/05/2024");
  EXPECT_EQ(Render(date, kColumnDate, 2), "12/5/24");
  EXPECT_EQ(Render(date, kColumnDate, 3), "05/12/2024");
  EXPECT_EQ(Render(date, kColumnDate, 4), "2024/05/12");
  EXPECT_EQ(Render(date, kColumnDate, 12), "12/5/24 09:05:07");
  EXPECT_EQ(Render(date, kColumnDate, 14), "2024/05/12 09:05:07");
  EXPECT_EQ(Render(date, kColumnDate, 9), "12/5/2024");
  EXPECT_EQ(Render(date, kColumnDate, 10), "12/5/2024 09:05:07");
}

class CellTable : public CellFormat {
 protected:
  void SetUp() override {
    DAAddColumn(table, "name", kColumnText, 255);
    DAAddColumn(table, "count", kColumnInt32, 4);
    DAAddColumn(table, "blob", kColumnBlob, 1000);
  }
  std::string Text(int64_t row, int64_t column, int param = 0) {
    std::string out;
    bool rendered = CellText(page.proc, table, row, column, param, out);
    return rendered ? out : "(raw)";
  }
  DATable table;
};

TEST_F(CellTable, NullCellsShowVelnullInEveryColumn) {
  VarSet(*page.interp.null, "NULL!");
  // An SQL row of NULLs: the last cell also carries the last-column bit.
  DAAppendItem(table, "", kCellNull);
  DAAppendItem(table, "", kCellNull);
  DAAppendItem(table, "", kCellNull | 1);
  for (int column = 0; column < 3; ++column) EXPECT_EQ(Text(0, column), "NULL!") << column;
  EXPECT_EQ(page.TakeTrace(), "DATA(0,0) IS NULL\nDATA(0,1) IS NULL\nDATA(0,2) IS NULL\n");
  VarSet(*page.interp.null, "");
  EXPECT_EQ(Text(0, 2), "");
}

TEST_F(CellTable, EmptyMissingAndRenderedCells) {
  DAAppendItem(table, "", 0);
  DAAppendItem(table, Bytes<int32_t>(42), 0);
  DAAppendItem(table, std::string_view("b\0b", 3), 1);
  EXPECT_EQ(Text(0, 0), "");
  EXPECT_EQ(Text(0, 1), "42");
  EXPECT_EQ(Text(0, 2), "(raw)");
  EXPECT_EQ(Text(1, 0), "");
  EXPECT_EQ(Text(-1, 0), "");
  EXPECT_EQ(Text(0, 3), "");
  EXPECT_EQ(Text(std::numeric_limits<int64_t>::max(), 1), "");
  DATable noColumns;
  DAAppendItem(noColumns, "x", 0);
  std::string out;
  EXPECT_TRUE(CellText(page.proc, noColumns, 0, std::numeric_limits<int64_t>::max(), 0, out));
  EXPECT_EQ(out, "");
}

TEST_F(CellTable, NullWithoutGlobalBlockIsEmpty) {
  Process bare;
  DAAppendItem(table, "", kCellNull);
  std::string out;
  EXPECT_TRUE(CellText(bare, table, 0, 0, 0, out));
  EXPECT_EQ(out, "");
}

TEST_F(CellTable, CellIntByKind) {
  DATable t;
  DAAddColumn(t, "text", kColumnText, 255);
  DAAddColumn(t, "byte", kColumnByte, 1);
  DAAddColumn(t, "date", kColumnDate, 12);
  DAAddColumn(t, "real", kColumnFloat, 8);
  DAAddColumn(t, "long", kColumnInt64, 8);
  DAAddColumn(t, "blob", kColumnBlob, 8);
  DAAppendItem(t, "  42abc", 0);
  DAAppendItem(t, "\xC8", 0);
  DAAppendItem(t, DateBytes(2024, 5, 12, 1, 2, 3), 0);
  DAAppendItem(t, Bytes(-7.9), 0);
  DAAppendItem(t, Bytes<int64_t>(0x100000005LL), 0);
  DAAppendItem(t, "12", 0);
  const int32_t expected[] = {42, 200, 20240512, -7, 5};
  for (int column = 0; column < 5; ++column) {
    int32_t value = -1;
    EXPECT_TRUE(CellInt(page.proc, t, 0, column, value));
    EXPECT_EQ(value, expected[column]) << column;
  }
  int32_t value = -1;
  EXPECT_FALSE(CellInt(page.proc, t, 0, 5, value));
  EXPECT_EQ(value, -1);
}

TEST_F(CellTable, CellIntOfNullEmptyAndOutOfRangeCells) {
  DAAppendItem(table, "7", kCellNull);
  DAAppendItem(table, "", 0);
  DAAppendItem(table, "xy", 0);  // too short for an int32 column
  int32_t value = 5;
  EXPECT_TRUE(CellInt(page.proc, table, 0, 0, value));
  EXPECT_EQ(value, 0);
  EXPECT_EQ(page.TakeTrace(), "VAR (0,0) IS NULL\n");
  value = 5;
  EXPECT_TRUE(CellInt(page.proc, table, 9, 0, value));
  EXPECT_EQ(value, 0);

  DATable reals;
  DAAddColumn(reals, "real", kColumnFloat, 8);
  DAAppendItem(reals, Bytes(1e300), 0);
  DAAppendItem(reals, Bytes(std::nan("")), 0);
  DAAppendItem(reals, Bytes(-1e300), 0);
  const int32_t expected[] = {2147483647, 0, -2147483647 - 1};
  for (int row = 0; row < 3; ++row) {
    EXPECT_TRUE(CellInt(page.proc, reals, row, 0, value));
    EXPECT_EQ(value, expected[row]) << row;
  }
}

}  // namespace
}  // namespace kwl
