#include "core/datable.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "core/process.h"

namespace kwl {
namespace {

// Every cell in storage order: its bytes, or "~" for an empty kind-4 cell.
std::vector<std::string> Cells(const DATable& t) {
  std::vector<std::string> out;
  for (const DACell& c : t.cells) {
    if (c.length == 0 && c.kind == kCellNull) {
      out.push_back("~");
    } else {
      out.push_back(t.pool.substr(c.offset, c.length));
    }
  }
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

using V = std::vector<std::string>;

TEST(DATable, AddingAColumnRelaysCompleteRows) {
  DATable none = Filled(3, 0);
  DAAddColumn(none, "d", 253, 10);
  EXPECT_TRUE(none.cells.empty());

  // One complete row: nothing moves, the next item is the row's new cell.
  DATable one = Filled(3, 3);
  DAAddColumn(one, "d", 253, 10);
  EXPECT_EQ(Cells(one), (V{"0", "1", "2"}));
  DAAppendItem(one, "x", 0);
  EXPECT_EQ(Item(one, 0, 3), "x");
  EXPECT_EQ(DARowCount(one), 1);

  // Two complete rows: row 1 moves up by one, row 0 gets an empty cell.
  DATable two = Filled(3, 6);
  DAAddColumn(two, "d", 253, 10);
  EXPECT_EQ(Cells(two), (V{"0", "1", "2", "~", "3", "4", "5"}));
  DAAppendItem(two, "x", 0);
  EXPECT_EQ(Item(two, 1, 0), "3");
  EXPECT_EQ(Item(two, 1, 3), "x");
  EXPECT_EQ(DARowCount(two), 2);

  DATable three = Filled(3, 9);
  DAAddColumn(three, "d", 253, 10);
  EXPECT_EQ(Cells(three), (V{"0", "1", "2", "~", "3", "4", "5", "~", "6", "7", "8"}));
  DAAppendItem(three, "x", 0);
  EXPECT_EQ(Item(three, 2, 3), "x");
  EXPECT_EQ(Item(three, 2, 2), "8");

  // Columns added one after the other keep every row in line.
  DATable twice = Filled(2, 4);
  DAAddColumn(twice, "c", 253, 10);
  DAAppendItem(twice, "y", 0);
  DAAddColumn(twice, "d", 253, 10);
  DAAppendItem(twice, "z", 0);
  EXPECT_EQ(Cells(twice), (V{"0", "1", "~", "~", "2", "3", "y", "z"}));
}

TEST(DATable, AddingAColumnAfterAPartialRowLosesNoCell) {
  // Two complete rows of 3 and a third row holding one cell.
  DATable t = Filled(3, 7);
  DAAddColumn(t, "d", 253, 10);
  EXPECT_EQ(Cells(t), (V{"0", "1", "2", "~", "3", "4", "5", "~", "6"}));
  for (int i = 0; i < 7; ++i) EXPECT_EQ(Item(t, i / 3, i % 3), std::to_string(i)) << i;
  EXPECT_EQ(DARowCount(t), 3);
  DAAppendItem(t, "x", 0);
  EXPECT_EQ(Item(t, 2, 1), "x");

  DATable onePlus = Filled(3, 5);
  DAAddColumn(onePlus, "d", 253, 10);
  EXPECT_EQ(Cells(onePlus), (V{"0", "1", "2", "~", "3", "4"}));

  // Only a partial first row: its cells stay where they are.
  DATable partial = Filled(3, 2);
  DAAddColumn(partial, "d", 253, 10);
  EXPECT_EQ(Cells(partial), (V{"0", "1"}));
}

TEST(DATable, RowCountRoundsUp) {
  EXPECT_EQ(DARowCount(Filled(3, 7)), 3);
  EXPECT_EQ(DARowCount(Filled(3, 6)), 2);
  EXPECT_EQ(DARowCount(Filled(3, 0)), 0);
  EXPECT_EQ(DARowCount(Filled(0, 0)), 0);
  DATable t = Filled(3, 7);
  EXPECT_EQ(Item(t, 2, 0), "6");
  EXPECT_EQ(Item(t, 2, 1), "<none>");
}

TEST(DATable, SetItemInPlaceFreshOrExtending) {
  DATable t = Filled(2, 0);
  DAAppendItem(t, "hello", 0);
  DAAppendItem(t, "other", 0);
  size_t pool = t.pool.size();

  // Fits: overwrites the old bytes, the pool does not grow.
  EXPECT_TRUE(DASetItem(t, 0, 0, "hey", 7));
  EXPECT_EQ(t.pool.size(), pool);
  EXPECT_EQ(t.cells[0].offset, 0u);
  EXPECT_EQ(t.cells[0].kind, 7);
  EXPECT_EQ(Item(t, 0, 0), "hey");

  // Longer than the cell: fresh bytes at the end of the pool.
  EXPECT_TRUE(DASetItem(t, 0, 0, "much longer", 0));
  EXPECT_EQ(t.pool.size(), pool + 11);
  EXPECT_EQ(Item(t, 0, 0), "much longer");
  EXPECT_EQ(Item(t, 0, 1), "other");

  // Past the last cell: the cells in between become empty.
  EXPECT_TRUE(DASetItem(t, 2, 1, "z", 0));
  EXPECT_EQ(Cells(t), (V{"much longer", "other", "~", "~", "~", "z"}));
  EXPECT_EQ(DARowCount(t), 3);
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
  EXPECT_EQ(name, "b");
  EXPECT_EQ(kind, 253);
  EXPECT_EQ(length, 10);
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
  EXPECT_EQ(item->cellKind, 0);
  EXPECT_FALSE(DAGetItem(t, 1, 0));
  EXPECT_FALSE(DAGetItem(t, 0, 2));

  DATable noColumns;
  DAAppendItem(noColumns, "w", 0);
  item = DAGetItem(noColumns, 0, 0);
  ASSERT_TRUE(item);
  EXPECT_EQ(item->bytes, "w");
  EXPECT_EQ(item->columnKind, 99);
}

// Trace output at level 4 goes to proc.out; capture it in memory.
struct CapturedProcess {
  Process proc;
  char* buffer = nullptr;
  size_t size = 0;
  CapturedProcess() {
    proc.out = open_memstream(&buffer, &size);
    proc.debugOwned = VarNew("veldebug");
    proc.debug = proc.debugOwned.get();
    VarSetInt(*proc.debug, 4);
  }
  ~CapturedProcess() {
    std::fclose(proc.out);
    std::free(buffer);
  }
  std::string Output() {
    std::fflush(proc.out);
    return std::string(buffer, size);
  }
};

TEST(DATable, PutItemByNameDecidesTheCellKind) {
  CapturedProcess cp;
  DATable t;
  DAPutItemByName(cp.proc, t, 0, "a", 253, "");
  DAPutItemByName(cp.proc, t, 0, "b", 253, "x");
  EXPECT_EQ(t.cells[0].kind, kCellNull);
  EXPECT_EQ(t.cells[1].kind, 0);
  EXPECT_EQ(t.columns[1].length, 1);

  DATable n;
  DASetNullText(n, "NULL");
  const char* items[] = {"NULL", "NULLABLE", "NUL", "", "x"};
  for (const char* item : items)
    DAPutItemByName(cp.proc, n, 0, item[0] ? item : "empty", 253, item);
  V kinds;
  for (const DACell& c : n.cells) kinds.push_back(std::to_string(c.kind));
  EXPECT_EQ(kinds, (V{"4", "4", "0", "0", "0"}));

  // An existing column is written in place, at the given row.
  DAPutItemByName(cp.proc, t, 1, "b", 253, "y");
  EXPECT_EQ(Item(t, 1, 1), "y");
  EXPECT_EQ(t.cells[2].kind, kCellNull);
  EXPECT_EQ(cp.Output(), "");
}

TEST(DATable, PutItemByNameAddsAColumnAtALaterRow) {
  CapturedProcess cp;
  DATable t;
  for (int row = 0; row < 3; ++row) {
    DAPutItemByName(cp.proc, t, row, "a", 253, "a" + std::to_string(row));
  }
  DAPutItemByName(cp.proc, t, 2, "b", 253, "b2");
  EXPECT_EQ(cp.Output(), "DAAddColumn with row = 2 !!!!!!!\n");
  EXPECT_EQ(Cells(t), (V{"a0", "~", "a1", "~", "a2", "b2"}));

  // The row being filled holds only some of its cells when a new column turns up.
  DATable p;
  DAPutItemByName(cp.proc, p, 0, "a", 253, "1");
  DAPutItemByName(cp.proc, p, 0, "b", 253, "2");
  DAPutItemByName(cp.proc, p, 1, "a", 253, "3");
  DAPutItemByName(cp.proc, p, 1, "c", 253, "9");
  EXPECT_EQ(Item(p, 0, 0), "1");
  EXPECT_EQ(Item(p, 0, 1), "2");
  EXPECT_EQ(Item(p, 0, 2), "<none>");
  EXPECT_EQ(Item(p, 1, 0), "3");
  EXPECT_EQ(Item(p, 1, 1), "<none>");
  EXPECT_EQ(Item(p, 1, 2), "9");

  // A new column as the first item of a row that has no cells yet.
  DATable q;
  DAPutItemByName(cp.proc, q, 0, "a", 253, "1");
  DAPutItemByName(cp.proc, q, 1, "b", 253, "2");
  EXPECT_EQ(Item(q, 0, 1), "<none>");
  EXPECT_EQ(Item(q, 1, 1), "2");

  // A name longer than a column name finds the column it made.
  DATable l;
  std::string longName(70, 'n');
  DAPutItemByName(cp.proc, l, 0, longName, 253, "1");
  DAPutItemByName(cp.proc, l, 1, longName, 253, "2");
  EXPECT_EQ(DAColumnCount(l), 1);
  EXPECT_EQ(Item(l, 1, 0), "2");
}

}  // namespace
}  // namespace kwl
