#include "modules/db/session_table.h"

#include <gtest/gtest.h>

#include <string>

#include "db_env.h"
#include "modules/db/connection.h"

namespace kwl {
namespace {

using testing::DbEnv;

class SessionTableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_DB();
    place_ = {DbEnv("KWL_DB_HOST"),     testing::DbPort(),    "",           DbEnv("KWL_DB_USER"),
              DbEnv("KWL_DB_PASSWORD"), DbEnv("KWL_DB_NAME"), "unitsession"};
    auto c = SqlConnect(proc_, place_.user, place_.password, place_.host, place_.database,
                        place_.port, "");
    ASSERT_TRUE(c);
    admin_ = std::move(c);
    Sql("DROP TABLE IF EXISTS unitsession");
  }
  void TearDown() override { DbSessionsClose(); }
  void Sql(const std::string& statement) {
    SqlAppendQuery(*admin_, statement);
    ASSERT_EQ(SqlExecute(*admin_), 0u) << statement;
  }
  // Rows whose id starts with `prefix`.
  std::string Count(const std::string& prefix) {
    SqlAppendQuery(*admin_,
                   "SELECT COUNT(*) AS n FROM unitsession WHERE id LIKE '" + prefix + "%'");
    DATable table;
    uint64_t rows = 0;
    if (SqlExecute(*admin_) || SqlOpenResult(*admin_) || SqlLoadResult(*admin_, table, &rows))
      return "error";
    auto item = DAGetItem(table, 0, 0);
    return item ? std::string(item->bytes) : "none";
  }

  const DbSessionApi& api_ = DbSessions();
  Process proc_;
  DbSessionPlace place_;
  std::unique_ptr<SqlConnection> admin_;
  std::string records_;
};

TEST_F(SessionTableTest, TakeSaveExpireAndEnd) {
  const std::string bytes("\x01\0\0\0a\x03\0\0\0\0\xff\n", 12);
  // A first take makes the table; a run that saves nothing leaves no row.
  EXPECT_EQ(api_.take(proc_, place_, "ABCDEFGHIJKLMNOP", 600, &records_), DbTake::kEmpty);
  api_.end(proc_);
  EXPECT_EQ(api_.exists(proc_, place_, "ABCDEFGHIJKLMNOP"), 0);
  EXPECT_EQ(api_.take(proc_, place_, "ABCDEFGHIJKLMNOP", 600, &records_), DbTake::kEmpty);
  EXPECT_TRUE(api_.save(proc_, place_, "ABCDEFGHIJKLMNOP", bytes));
  // A save of an id the run does not hold takes it first.
  EXPECT_TRUE(api_.save(proc_, place_, "OTHERIDOTHERID00", "x"));
  EXPECT_EQ(api_.take(proc_, place_, "ABCDEFGHIJKLMNOP", 600, &records_), DbTake::kFound);
  EXPECT_EQ(records_, bytes);
  api_.end(proc_);
  // Unused for 601 seconds of a 600-second lifetime: expired, and a run that
  // saves nothing does not bring it back to life.
  Sql("UPDATE unitsession SET used = used - 601 WHERE id = 'ABCDEFGHIJKLMNOP'");
  for (int run = 0; run < 2; ++run) {
    records_.clear();
    EXPECT_EQ(api_.take(proc_, place_, "ABCDEFGHIJKLMNOP", 600, &records_), DbTake::kEmpty);
    EXPECT_EQ(records_, "");
    api_.end(proc_);
  }
  // A live session read and not saved is marked used.
  Sql("UPDATE unitsession SET used = used - 599 WHERE id = 'OTHERIDOTHERID00'");
  EXPECT_EQ(api_.take(proc_, place_, "OTHERIDOTHERID00", 600, &records_), DbTake::kFound);
  api_.end(proc_);
  Sql("UPDATE unitsession SET used = used - 5 WHERE id = 'OTHERIDOTHERID00'");
  EXPECT_EQ(api_.take(proc_, place_, "OTHERIDOTHERID00", 600, &records_), DbTake::kFound);
  api_.end(proc_);
  // Ids and table names go into statements: only the plain forms pass.
  EXPECT_EQ(api_.take(proc_, place_, "ABCDEFGHIJKLMNO'", 600, &records_), DbTake::kFailed);
  DbSessionPlace odd = place_;
  odd.table = "unitsession`; DROP TABLE x; --";
  EXPECT_EQ(api_.exists(proc_, odd, "ABCDEFGHIJKLMNOP"), -1);
}

TEST_F(SessionTableTest, SweepEveryThreeHoursAndImport) {
  api_.sweepIfDue(proc_, place_, 600);  // makes the table and the stamp
  EXPECT_EQ(api_.import(proc_, place_, "SWEPTSWEPTSWEPT1", "old", 1), 1);
  EXPECT_EQ(api_.import(proc_, place_, "LIVELIVELIVELIV1", "new", time(nullptr)), 1);
  // The table's copy used later stays; an older one is replaced.
  EXPECT_EQ(api_.import(proc_, place_, "LIVELIVELIVELIV1", "older", time(nullptr) - 100), 0);
  EXPECT_EQ(api_.import(proc_, place_, "SWEPTSWEPTSWEPT1", "newer", 2), 1);
  EXPECT_EQ(api_.take(proc_, place_, "LIVELIVELIVELIV1", 600, &records_), DbTake::kFound);
  EXPECT_EQ(records_, "new");
  api_.end(proc_);
  Sql("UPDATE unitsession SET used = used - 7200 WHERE id = 'kwltimestamp'");
  DbSessionsClose();  // a new process: nothing remembered of the last look
  api_.sweepIfDue(proc_, place_, 600);
  EXPECT_EQ(Count("SWEPT"), "1");
  Sql("UPDATE unitsession SET used = used - 3600 WHERE id = 'kwltimestamp'");
  DbSessionsClose();
  api_.sweepIfDue(proc_, place_, 600);
  EXPECT_EQ(Count("SWEPT"), "0");
  EXPECT_EQ(Count("LIVE"), "1");
  EXPECT_EQ(Count("kwltimestamp"), "1");
}

TEST_F(SessionTableTest, AnUnreachableServerFailsEveryCall) {
  DbSessionPlace away = place_;
  away.port = 1;
  away.host = "127.0.0.1";
  EXPECT_EQ(api_.exists(proc_, away, "ABCDEFGHIJKLMNOP"), -1);
  EXPECT_EQ(api_.take(proc_, away, "ABCDEFGHIJKLMNOP", 600, &records_), DbTake::kFailed);
  EXPECT_FALSE(api_.save(proc_, away, "ABCDEFGHIJKLMNOP", "x"));
  api_.end(proc_);
  // The next run reaches its server again.
  EXPECT_EQ(api_.take(proc_, place_, "ABCDEFGHIJKLMNOP", 600, &records_), DbTake::kEmpty);
  api_.end(proc_);
}

}  // namespace
}  // namespace kwl
