#include "core/datable.h"

#include <gtest/gtest.h>

#include <string>

namespace kwl {
namespace {

// What the result loops read: columns by exact name, cells by position, nothing past the end.
// (Re-laying rows for a late column and puts by name have no caller in the program yet.)
TEST(DATable, LookupsByNameAndPastTheEnd) {
  DATable t;
  DAAddColumn(t, "a", 253, 10);
  DAAddColumn(t, "b", 253, 10);
  int index = -1;
  EXPECT_TRUE(DAFindColumn(t, "b", &index));
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(DAFindColumn(t, "B", &index));
  DAAppendItem(t, "", kCellNull);
  DAAppendItem(t, "v", 0);
  EXPECT_EQ(DARowCount(t), 1);
  EXPECT_FALSE(DAGetItem(t, 0, 0));
  auto item = DAGetItem(t, 0, 1);
  ASSERT_TRUE(item);
  EXPECT_EQ(item->bytes, "v");
  EXPECT_EQ(item->columnKind, 253);
  EXPECT_FALSE(DAGetItem(t, 1, 0));
  EXPECT_FALSE(DAGetItem(t, 0, 2));
  EXPECT_FALSE(DAGetItem(t, -1, 0));
  DATable noColumns;
  DAAppendItem(noColumns, "w", 0);
  item = DAGetItem(noColumns, 0, 0);
  ASSERT_TRUE(item);
  EXPECT_EQ(item->columnKind, 99);
}

}  // namespace
}  // namespace kwl
