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
