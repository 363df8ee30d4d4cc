#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

#include "db_env.h"
#include "interp_fixture.h"
#include "modules/db/db_tags.h"

namespace kwl {
namespace {

using testing::ConnectTagText;

struct DbPage : testing::PageRun {
  DbPage() {
    RegisterDbTags(tags);
    tags.modulesLoaded.emplace_back("db");  // linked in, not loaded
  }
};

std::string ConnectionCount(const std::string& id) {
  DbPage run;
  return run.Run(
      ConnectTagText() +
      "<SQL QUERY=\"SELECT COUNT(*) AS n FROM information_schema.PROCESSLIST WHERE ID = " + id +
      "\">$n$</SQL>");
}

TEST(SqlTag, ConnectionsEndWithThePage) {
  REQUIRE_DB();
  std::string id;
  {
    DbPage run;
    id = run.Run(ConnectTagText() + "<SQL QUERY=\"SELECT CONNECTION_ID() AS id\">$id$</SQL>");
    ASSERT_FALSE(id.empty());
    EXPECT_EQ(ConnectionCount(id), "1");
  }
  std::string count;
  for (int i = 0; i < 50 && (count = ConnectionCount(id)) != "0"; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_EQ(count, "0");
}

// The server ends the connection between two statements: each later
// statement fails cleanly and says so, and the page goes on.
TEST(SqlTag, ConnectionKilledBetweenStatements) {
  REQUIRE_DB();
  DbPage run;
  std::string out =
      run.Run(ConnectTagText("ID=victim") + ConnectTagText("ID=killer") +
              "<SQL CONNECT=victim QUERY=\"SELECT CONNECTION_ID() AS id\">"
              "<SQL CONNECT=killer QUERY=\"KILL $id$\"></SQL></SQL>"
              "<SQL CONNECT=victim QUERY=\"SELECT 1 AS one\">$one$</SQL>[$sqlerr$ $sqlrowcount$]"
              "<SQL CONNECT=victim QUERY=\"SELECT 2 AS two\">$two$</SQL>[$sqlerr$]"
              "<SQL CONNECT=killer QUERY=\"SELECT 3 AS three\">$three$</SQL>[$sqlerr$]");
  // The client's codes for a lost connection (2013) and a closed one (2006).
  std::string seen = out;
  for (const char* lost : {"2013", "2006"}) {
    for (size_t at; (at = seen.find(lost)) != std::string::npos;) seen.replace(at, 4, "LOST");
  }
  EXPECT_EQ(seen, "[LOST 0][LOST]3[0]") << out;
}

}  // namespace
}  // namespace kwl
