// SqlConnection: one open MariaDB/MySQL connection, the statement it builds and its last error.
#pragma once

#include <mysql.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/datable.h"
#include "core/process.h"

namespace kwl {

// SqlOpenResult's answer for a statement that returns no rows.
constexpr int kSqlNoResult = 4;

struct MysqlCloser {
  void operator()(MYSQL* handle) const { mysql_close(handle); }
};
struct ResultFreer {
  void operator()(MYSQL_RES* result) const { mysql_free_result(result); }
};

// Members go in reverse order: the result is freed before its connection closes.
struct SqlConnection {
  Process* proc = nullptr;  // for the trace
  std::unique_ptr<MYSQL, MysqlCloser> handle;
  std::unique_ptr<MYSQL_RES, ResultFreer> result;  // the set being read
  std::string query;  // the statement being built; emptied by each execution
  int32_t maxRows = 0;
  int32_t startRow = 0;
  uint64_t lastInsertId = 0;
  unsigned lastErrorCode = 0;
  std::string lastErrorMessage;
  // What a persistent server needs to keep the connection for a later run
  // (empty key: the connection closes with its run).
  struct Reuse {
    std::string key, database;
  } reuse;

  SqlConnection() = default;
  SqlConnection(const SqlConnection&) = delete;
  SqlConnection& operator=(const SqlConnection&) = delete;
};

// Opens a connection; null (with the client's error traced) when refused.
// Port 0 means 3306; an empty socket means none.
std::unique_ptr<SqlConnection> SqlConnect(Process& proc, const std::string& user,
                                          const std::string& password, const std::string& host,
                                          const std::string& database, unsigned port,
                                          const std::string& socket);
// Closes a connection and traces it. A persistent server instead starts a
// fresh server session on it and keeps it for a later CONNECT with the same
// parameters.
void SqlDisconnect(std::unique_ptr<SqlConnection> connection);
// Closes the connections kept for later runs.
void SqlCloseIdle();

inline void SqlAppendQuery(SqlConnection& c, std::string_view text) {
  c.query.append(text);
}
inline void SqlSetLimit(SqlConnection& c, int32_t maxRows) {
  c.maxRows = maxRows;
}
inline void SqlSetStart(SqlConnection& c, int32_t startRow) {
  c.startRow = startRow;
}

// The row-limit clause for a limit and a start ("" when neither applies).
std::string SqlLimitClause(int32_t maxRows, int32_t startRow);

// Runs the query text with its limit clause; 0 or the client's error code.
// The query text, limit and start are emptied in every case.
unsigned SqlExecute(SqlConnection& c);
// Opens the result of the last statement: 0 for rows to read, kSqlNoResult
// for a statement without rows, else the client's error code.
unsigned SqlOpenResult(SqlConnection& c);
// Loads the open result into `table` (columns, then every cell, NULL cells
// with kind 4) and frees it. 0, or the error code with the table emptied.
unsigned SqlLoadResult(SqlConnection& c, DATable& table, uint64_t* rowCount);
// Rows touched by the last statement without rows; 0 when it failed.
uint64_t SqlRowCount(SqlConnection& c);

inline unsigned SqlLastErrorCode(const SqlConnection& c) {
  return c.lastErrorCode;
}
inline const std::string& SqlLastErrorMessage(const SqlConnection& c) {
  return c.lastErrorMessage;
}

// The column kind of a result field: 5 for blobs and anything longer than 255, else 2.
int32_t SqlColumnKind(enum_field_types type, unsigned long length);

}  // namespace kwl
