// The test server's coordinates (KWL_DB_* from the environment), for database tests.
#pragma once

#include <cstdlib>
#include <string>

namespace kwl::testing {

inline std::string DbEnv(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// True when a test server was started for this run (KWL_TEST_MYSQL set, not 0).
inline bool DbAvailable() {
  std::string flag = DbEnv("KWL_TEST_MYSQL");
  return !flag.empty() && flag != "0";
}

inline unsigned DbPort() {
  return static_cast<unsigned>(std::atoi(DbEnv("KWL_DB_PORT").c_str()));
}

// A CONNECT tag for the test server, with extra attributes.
inline std::string ConnectTagText(const std::string& extra = "") {
  return "<CONNECT NAME=\"" + DbEnv("KWL_DB_USER") + "\" PASS=\"" + DbEnv("KWL_DB_PASSWORD") +
         "\" SERVER=\"" + DbEnv("KWL_DB_HOST") + "\" PORT=\"" + DbEnv("KWL_DB_PORT") +
         "\" BASE=\"" + DbEnv("KWL_DB_NAME") + "\" " + extra + ">";
}

}  // namespace kwl::testing

#define REQUIRE_DB()                                                      \
  do {                                                                    \
    if (!::kwl::testing::DbAvailable()) GTEST_SKIP() << "no test server"; \
  } while (0)
