#include "tags/cell_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "interp_fixture.h"

namespace kwl {
namespace {

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
  void SetUp() override {
    DAAddColumn(table, "name", kColumnText, 255);
    DAAddColumn(table, "count", kColumnInt32, 4);
    DAAddColumn(table, "blob", kColumnBlob, 1000);
  }
  std::string Text(int64_t row, int64_t column) {
    std::string out;
    return CellText(page.proc, table, row, column, 0, out) ? out : "(raw)";
  }
  testing::TracedRun page;
  DATable table;
};

TEST_F(CellFormat, RenderByKind) {
  const std::string date = DateBytes(2024, 5, 12, 9, 5, 7);
  struct Case {
    std::string bytes;
    int kind, param;
    std::string expected;
  };
  const Case cases[] = {
      {"abc", kColumnText, 0, "abc"},
      {std::string("a\0b", 3), kColumnText10, 0, std::string("a\0b", 3)},
      {"\xFF", kColumnByte, 0, "255"},
      {Bytes<int16_t>(-5), kColumnInt16, 0, "-5"},
      {Bytes<int32_t>(-123456), kColumnInt32, 0, "-123456"},
      {Bytes<int64_t>(-9000000000LL), kColumnInt64, 0, "-9000000000"},
      {Bytes<uint32_t>(0x41424344), kColumnFourChars, 0, "ABCD"},
      {"raw", kColumnBlob, 0, "(raw)"},  // left to the caller, as are unknown kinds
      {"raw", 99, 0, "(raw)"},
      // Cells too short for their kind are never read past.
      {"x", kColumnInt16, 0, "##invalid##"},
      {"xyz", kColumnInt32, 0, "##invalid##"},
      {"12345678901", kColumnDate, 0, "##invalid##"},
      {"12345", kColumnFloat, 2, "##invalid##"},
      {Bytes(3.14159), kColumnFloat, 2, "3.14"},
      {Bytes(3.14159), kColumnFloat, 0, "3"},
      {Bytes(2.5f), kColumnFloat, 2, "2.50"},
      {Bytes(3.14159), kColumnFloat, -1, "3.141590"},
      {date, kColumnDate, 1, "12/05/2024"},
      {date, kColumnDate, 2, "12/5/24"},
      {date, kColumnDate, 3, "05/12/2024"},
      {date, kColumnDate, 4, "2024/05/12"},
      {date, kColumnDate, 9, "12/5/2024"},
      {date, kColumnDate, 10, "12/5/2024 09:05:07"},
      {date, kColumnDate, 12, "12/5/24 09:05:07"},
      {date, kColumnDate, 14, "2024/05/12 09:05:07"},
  };
  for (const Case& c : cases) {
    std::string out = "<";
    bool rendered = RenderCellBytes(page.proc, c.bytes, c.kind, c.param, out);
    EXPECT_EQ(rendered ? out.substr(1) : "(raw)", c.expected) << c.kind << " " << c.param;
  }
  // A huge precision is capped rather than building an enormous text.
  std::string out;
  RenderCellBytes(page.proc, Bytes(1.5), kColumnFloat, 1000000, out);
  EXPECT_EQ(out.size(), 102u);
  out.clear();
  RenderCellBytes(page.proc, Bytes(-1e308), kColumnFloat, 100, out);
  EXPECT_EQ(out.size(), 411u);  // not cut
}

TEST_F(CellFormat, NullCellsShowVelnullInEveryColumn) {
  VarSet(*page.interp.null, "NULL!");
  // An SQL row of NULLs: the last cell also carries the last-column bit.
  DAAppendItem(table, "", kCellNull);
  DAAppendItem(table, "", kCellNull);
  DAAppendItem(table, "", kCellNull | 1);
  for (int column = 0; column < 3; ++column) EXPECT_EQ(Text(0, column), "NULL!") << column;
  EXPECT_EQ(page.TakeTrace(), "DATA(0,0) IS NULL\nDATA(0,1) IS NULL\nDATA(0,2) IS NULL\n");
  Process bare;  // without a GLOBAL block
  std::string out;
  EXPECT_TRUE(CellText(bare, table, 0, 0, 0, out));
  EXPECT_EQ(out, "");
}

TEST_F(CellFormat, EmptyMissingAndFarCells) {
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

}  // namespace
}  // namespace kwl
