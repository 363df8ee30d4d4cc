#include "modules/db/connection.h"

#include <gtest/gtest.h>

#include <string>

#include "db_env.h"
#include "interp/substitute.h"

namespace kwl {
namespace {

using testing::DbEnv;

std::unique_ptr<SqlConnection> Connect(Process& proc) {
  return SqlConnect(proc, DbEnv("KWL_DB_USER"), DbEnv("KWL_DB_PASSWORD"), DbEnv("KWL_DB_HOST"),
                    DbEnv("KWL_DB_NAME"), testing::DbPort(), "");
}

// Runs a statement and loads its rows; the error code, or 0.
unsigned Query(SqlConnection& c, std::string_view sql, DATable& table, uint64_t* rows) {
  SqlAppendQuery(c, sql);
  if (unsigned code = SqlExecute(c)) return code;
  if (unsigned code = SqlOpenResult(c)) return code;
  return SqlLoadResult(c, table, rows);
}

TEST(SqlLimitClause, MaxRowsStartAndBoth) {
  EXPECT_EQ(SqlLimitClause(10, 0), " LIMIT 10");
  EXPECT_EQ(SqlLimitClause(10, 20), " LIMIT 20, 10");
  // The server's own largest row count; a longer constant is a syntax error.
  EXPECT_EQ(SqlLimitClause(0, 20), " LIMIT 20, 18446744073709551615");
  EXPECT_EQ(SqlLimitClause(-5, 20), " LIMIT 20, 18446744073709551615");
  EXPECT_EQ(SqlLimitClause(0, 0), "");
  EXPECT_EQ(SqlLimitClause(0, -3), "");
}

TEST(SqlLoadResult, CellKindsMarkNullsAndRowEnds) {
  REQUIRE_DB();
  Process proc;
  auto c = Connect(proc);
  ASSERT_TRUE(c);
  DATable table;
  uint64_t rows = 0;
  ASSERT_EQ(Query(*c,
                  "SELECT CAST('12345678901234567890' AS CHAR(20)) AS a, NULL AS b, "
                  "UNHEX('610062') AS c, NULL AS d",
                  table, &rows),
            0u);
  EXPECT_EQ(rows, 1u);
  ASSERT_EQ(DAColumnCount(table), 4);
  EXPECT_EQ(table.columns[0].kind, 2);
  ASSERT_EQ(table.cells.size(), 4u);
  EXPECT_EQ(table.cells[0].kind, 0);
  EXPECT_EQ(table.cells[0].length, 20u);
  EXPECT_EQ(table.cells[1].kind, kCellNull);
  EXPECT_EQ(table.cells[2].kind, 0);
  EXPECT_EQ(DAGetItem(table, 0, 2)->bytes, std::string_view("a\0b", 3));
  // The last cell of a row is marked as such, NULL or not.
  EXPECT_EQ(table.cells[3].kind, kCellNull | 1);
}

TEST(SqlLoadResult, EmptyTextIsNotNull) {
  REQUIRE_DB();
  Process proc;
  auto c = Connect(proc);
  ASSERT_TRUE(c);
  DATable table;
  uint64_t rows = 0;
  ASSERT_EQ(Query(*c, "SELECT '' AS e, 'x' AS f UNION ALL SELECT 'y', ''", table, &rows), 0u);
  ASSERT_EQ(table.cells.size(), 4u);
  EXPECT_EQ(table.cells[0].kind, 0);
  EXPECT_EQ(table.cells[1].kind, 1);
  EXPECT_EQ(table.cells[3].kind, 1);
  EXPECT_EQ(DARowCount(table), 2);
}

TEST(SqlExecute, FailureKeepsTheErrorAndTheNextStatementClearsIt) {
  REQUIRE_DB();
  Process proc;
  auto c = Connect(proc);
  ASSERT_TRUE(c);
  DATable table;
  uint64_t rows = 0;
  EXPECT_EQ(Query(*c, "SELECT * FROM no_such_table", table, &rows), 1146u);
  EXPECT_EQ(SqlLastErrorCode(*c), 1146u);
  EXPECT_NE(SqlLastErrorMessage(*c).find("no_such_table"), std::string::npos);
  EXPECT_EQ(SqlRowCount(*c), 0u);  // not the client's "-1" for a failure
  EXPECT_EQ(Query(*c, "SELECT 1", table, &rows), 0u);
  EXPECT_EQ(SqlLastErrorCode(*c), 0u);
  EXPECT_EQ(SqlLastErrorMessage(*c), "");
}

// Substitution escapes with its own function; it must give the client's
// bytes for every byte value on the connections the module opens.
TEST(SqlEscape, SameBytesAsTheClientLibrary) {
  REQUIRE_DB();
  Process proc;
  auto c = Connect(proc);
  ASSERT_TRUE(c);
  std::string every;
  for (int i = 0; i < 256; ++i) every += static_cast<char>(i);
  every.append("'\\\"\0'", 5);
  std::string client(every.size() * 2 + 1, '\0');
  unsigned long n =
      mysql_real_escape_string(c->handle.get(), client.data(), every.data(), every.size());
  client.resize(n);
  std::string ours;
  SqlEscape(every, ours);
  EXPECT_EQ(ours, client);
}

}  // namespace
}  // namespace kwl
