#include "core/datable.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "interp_fixture.h"

namespace kwl {
namespace {

using V = std::vector<std::string>;

// Every cell in storage order: its bytes, or "~" for an empty kind-4 cell.
V Cells(const DATable& t) {
  V out;
  for (const DACell& c : t.cells)
    out.push_back(c.length == 0 && c.kind == kCellNull ? "~" : t.pool.substr(c.offset, c.length));
  return out;
}

std::string Item(const DATable& t, int64_t row, int64_t column) {
  auto item = DAGetItem(t, row, column);
  return item ? std::string(item->bytes) : "<none>";
}

// A table with `columns` columns named a, b, c... and `cells` items "0", "1"...
DATable Filled(int columns, int cells) {
  DATable t;
  for (int i = 0; i < columns; ++i)
    DAAddColumn(t, std::string(1, static_cast<char>('a' + i)), 253, 10);
  for (int i = 0; i < cells; ++i) DAAppendItem(t, std::to_string(i), 0);
  return t;
}

// Complete rows get an empty cell for the new column; a partial last row loses no cell.
TEST(DATable, AddingAColumnRelaysTheRows) {
  const std::pair<int, V> cases[] = {
      {0, {}},
      {2, {"0", "1"}},
      {3, {"0", "1", "2"}},
      {5, {"0", "1", "2", "~", "3", "4"}},
      {6, {"0", "1", "2", "~", "3", "4", "5"}},
      {7, {"0", "1", "2", "~", "3", "4", "5", "~", "6"}},
      {9, {"0", "1", "2", "~", "3", "4", "5", "~", "6", "7", "8"}},
  };
  for (const auto& [cells, relaid] : cases) {
    DATable t = Filled(3, cells);
    DAAddColumn(t, "d", 253, 10);
    EXPECT_EQ(Cells(t), relaid) << cells;
    for (int i = 0; i < cells; ++i) EXPECT_EQ(Item(t, i / 3, i % 3), std::to_string(i));
  }
  DATable t = Filled(3, 9);
  DAAddColumn(t, "d", 253, 10);
  DAAppendItem(t, "x", 0);
  EXPECT_EQ(Item(t, 2, 3), "x");
  EXPECT_EQ(DARowCount(t), 3);
  // Columns added one after the other keep every row in line.
  DATable twice = Filled(2, 4);
  DAAddColumn(twice, "c", 253, 10);
  DAAppendItem(twice, "y", 0);
  DAAddColumn(twice, "d", 253, 10);
  DAAppendItem(twice, "z", 0);
  EXPECT_EQ(Cells(twice), (V{"0", "1", "~", "~", "2", "3", "y", "z"}));
}

TEST(DATable, SetItemInPlaceFreshOrExtending) {
  DATable t = Filled(2, 0);
  DAAppendItem(t, "hello", 0);
  DAAppendItem(t, "other", 0);
  size_t pool = t.pool.size();
  // Fits: overwrites the old bytes, the pool does not grow.
  EXPECT_TRUE(DASetItem(t, 0, 0, "hey", 7));
  EXPECT_EQ(t.pool.size(), pool);
  EXPECT_EQ(t.cells[0].kind, 7);
  EXPECT_EQ(Item(t, 0, 0), "hey");
  // Longer than the cell: fresh bytes at the end of the pool.
  EXPECT_TRUE(DASetItem(t, 0, 0, "much longer", 0));
  EXPECT_EQ(t.pool.size(), pool + 11);
  EXPECT_EQ(Item(t, 0, 1), "other");
  // Past the last cell: the cells in between become empty.
  EXPECT_TRUE(DASetItem(t, 2, 1, "z", 0));
  EXPECT_EQ(Cells(t), (V{"much longer", "other", "~", "~", "~", "z"}));
  EXPECT_EQ(Item(t, 1, 0), "<none>");
  EXPECT_FALSE(DASetItem(t, 0, 2, "x", 0));
  EXPECT_FALSE(DASetItem(t, -1, 0, "x", 0));
  DATable bare;
  EXPECT_FALSE(DASetItem(bare, 0, 0, "x", 0));
  EXPECT_TRUE(bare.cells.empty());
}

TEST(DATable, ColumnsAndItemsPastTheEnd) {
  DATable t = Filled(2, 0);
  DASetNullText(t, "NULL");
  std::string name;
  int32_t kind = 0, length = 0;
  EXPECT_TRUE(DAGetColumn(t, 1, &name, &kind, &length));
  EXPECT_EQ(name + std::to_string(kind) + "/" + std::to_string(length), "b253/10");
  EXPECT_TRUE(DAGetColumn(t, 0, &name));
  EXPECT_EQ(name, "a");
  EXPECT_FALSE(DAGetColumn(t, 2, &name));
  EXPECT_EQ(name, "NULL");
  name = "x";
  EXPECT_FALSE(DAGetColumn(t, -1, &name));
  EXPECT_EQ(name, "NULL");
  int index = -1;
  EXPECT_TRUE(DAFindColumn(t, "b", &index));
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(DAFindColumn(t, "B", &index));

  DAAppendItem(t, "", kCellNull);
  DAAppendItem(t, "v", 0);
  EXPECT_FALSE(DAGetItem(t, 0, 0));
  auto item = DAGetItem(t, 0, 1);
  ASSERT_TRUE(item);
  EXPECT_EQ(item->columnKind, 253);
  EXPECT_FALSE(DAGetItem(t, 1, 0));
  EXPECT_FALSE(DAGetItem(t, 0, 2));
  DATable noColumns;
  DAAppendItem(noColumns, "w", 0);
  item = DAGetItem(noColumns, 0, 0);
  ASSERT_TRUE(item);
  EXPECT_EQ(item->bytes, "w");
  EXPECT_EQ(item->columnKind, 99);
}

TEST(DATable, PutItemByName) {
  testing::PageRun run;
  testing::EnableTrace(run);
  Process& proc = run.proc;
  // Empty and null-text items are null cells; an existing column is written at the given row.
  DATable n;
  DASetNullText(n, "NULL");
  for (const char* item : {"NULL", "NULLABLE", "NUL", "", "x"})
    DAPutItemByName(proc, n, 0, item[0] ? item : "empty", 253, item);
  V kinds;
  for (const DACell& c : n.cells) kinds.push_back(std::to_string(c.kind));
  EXPECT_EQ(kinds, (V{"4", "4", "0", "0", "0"}));
  DAPutItemByName(proc, n, 1, "NUL", 253, "y");
  EXPECT_EQ(Item(n, 1, 2), "y");
  EXPECT_EQ(n.columns[2].length, 3);
  EXPECT_EQ(testing::Output(run), "");

  // A new column at a later row.
  DATable t;
  for (int row = 0; row < 3; ++row)
    DAPutItemByName(proc, t, row, "a", 253, "a" + std::to_string(row));
  DAPutItemByName(proc, t, 2, "b", 253, "b2");
  EXPECT_EQ(testing::Output(run), "DAAddColumn with row = 2 !!!!!!!\n");
  EXPECT_EQ(Cells(t), (V{"a0", "~", "a1", "~", "a2", "b2"}));
  // ... while the row being filled holds only some of its cells.
  DATable p;
  DAPutItemByName(proc, p, 0, "a", 253, "1");
  DAPutItemByName(proc, p, 0, "b", 253, "2");
  DAPutItemByName(proc, p, 1, "a", 253, "3");
  DAPutItemByName(proc, p, 1, "c", 253, "9");
  EXPECT_EQ(Item(p, 0, 1) + Item(p, 0, 2) + Item(p, 1, 0) + Item(p, 1, 1) + Item(p, 1, 2),
            "2<none>3<none>9");
  // ... as the first item of a row that has no cells yet.
  DATable q;
  DAPutItemByName(proc, q, 0, "a", 253, "1");
  DAPutItemByName(proc, q, 1, "b", 253, "2");
  EXPECT_EQ(Item(q, 0, 1) + Item(q, 1, 1), "<none>2");
  // A name longer than a column name finds the column it made.
  DATable l;
  std::string longName(70, 'n');
  DAPutItemByName(proc, l, 0, longName, 253, "1");
  DAPutItemByName(proc, l, 1, longName, 253, "2");
  EXPECT_EQ(DAColumnCount(l), 1);
  EXPECT_EQ(Item(l, 1, 0), "2");
}

}  // namespace
}  // namespace kwl
