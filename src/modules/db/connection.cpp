#include "modules/db/connection.h"

#include <errmsg.h>
#include <poll.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/engine.h"
#include "core/trace.h"

namespace kwl {

namespace {

// The largest row count the server accepts: "skip n rows, keep the rest".
constexpr const char* kAllRemainingRows = "18446744073709551615";

// Keeps an error as the connection's last error, and traces it.
unsigned RecordError(SqlConnection& c, unsigned code, const char* message) {
  c.lastErrorCode = code;
  c.lastErrorMessage = message ? message : "";
  Trace(*c.proc, "SQL ERROR: %d - %s\n", static_cast<int>(code), c.lastErrorMessage.c_str());
  return code;
}

unsigned RecordClientError(SqlConnection& c) {
  MYSQL* h = c.handle.get();
  return RecordError(c, mysql_errno(h), mysql_error(h));
}

const char* OrNull(const std::string& text) {
  return text.empty() ? nullptr : text.c_str();
}

// Pages and their data are single-byte text: latin1 passes every byte
// through unchanged and keeps declared lengths in characters.
constexpr const char* kCharset = "latin1";

// Connections of earlier runs of a persistent server, by their parameters,
// oldest first. Each was given a fresh server session when its run let it go
// (a reset: transactions rolled back, temporary tables, user variables,
// session settings and locks gone, the character set of the handshake back;
// then the default database of the connection chosen again if a page moved
// it), so nothing of one run stays on the server for the next one and a
// page's open transaction holds no lock while the connection waits.
struct IdleConnection {
  std::string key;
  std::unique_ptr<MYSQL, MysqlCloser> handle;
};
constexpr size_t kMaxIdleConnections = 4;

std::vector<IdleConnection>& IdleConnections() {
  static std::vector<IdleConnection> idle;
  return idle;
}

std::string ReuseKey(const std::string& user, const std::string& password, const std::string& host,
                     const std::string& database, unsigned port, const std::string& socket) {
  std::string key;
  for (const std::string* part : {&user, &password, &host, &database, &socket}) {
    key += *part;
    key += '\0';
  }
  return key + std::to_string(port);
}

// True when the server has closed the connection (or sent something
// unasked) while it waited: it cannot be used.
bool ClosedByServer(MYSQL* handle) {
  pollfd p{static_cast<int>(mysql_get_socket(handle)), POLLIN, 0};
  return p.fd < 0 || poll(&p, 1, 0) != 0;
}

// The newest idle connection with this key, or null.
MYSQL* TakeIdle(const std::string& key) {
  auto& idle = IdleConnections();
  for (auto it = idle.end(); it != idle.begin();) {
    --it;
    if (it->key != key) continue;
    std::unique_ptr<MYSQL, MysqlCloser> handle = std::move(it->handle);
    idle.erase(it);
    if (!ClosedByServer(handle.get())) return handle.release();
  }
  return nullptr;
}

// Keeps the connection for a later run once the server has started it afresh.
void KeepIdle(SqlConnection& c) {
  SqlConnection::Reuse& r = c.reuse;
  MYSQL* h = c.handle.get();
  if (r.key.empty() || !h) return;
  if (mysql_reset_connection(h) != 0) return;
  // The client follows USE and SET NAMES; the reset restores neither its
  // default database nor its idea of the character set.
  std::string_view now = h->db ? h->db : "";
  if (now != r.database && (r.database.empty() || mysql_select_db(h, r.database.c_str()) != 0))
    return;
  if (std::strcmp(mysql_character_set_name(h), kCharset) != 0 &&
      mysql_set_character_set(h, kCharset) != 0)
    return;
  auto& idle = IdleConnections();
  if (idle.size() == kMaxIdleConnections) idle.erase(idle.begin());
  idle.push_back({std::move(r.key), std::move(c.handle)});
}

bool AddColumns(SqlConnection& c, MYSQL_RES* result, DATable& table) {
  unsigned count = mysql_num_fields(result);
  TRACE(*c.proc, "SQL NB COL= %d\n", static_cast<int>(count));
  MYSQL_FIELD* fields = mysql_fetch_fields(result);
  for (unsigned i = 0; i < count; ++i) {
    const MYSQL_FIELD& field = fields[i];
    int32_t kind = SqlColumnKind(field.type, field.length);
    auto length = static_cast<int32_t>(field.length);
    TRACE(*c.proc, "SQL COLUMN=%s LG=%d TYPE=%d\n", field.name, length, kind);
    if (!DAAddColumn(table, std::string_view(field.name, field.name_length), kind, length)) {
      Trace(*c.proc, "kMEMERROR\n");
      return false;
    }
  }
  return true;
}

// Appends one row's cells: a NULL cell has kind 4, and the last cell of the
// row carries 1 as well.
bool AppendRow(MYSQL_ROW row, const unsigned long* lengths, unsigned columns, DATable& table) {
  for (unsigned i = 0; i < columns; ++i) {
    uint16_t kind = row[i] ? 0 : kCellNull;
    if (i + 1 == columns) kind |= 1;
    std::string_view bytes = row[i] ? std::string_view(row[i], lengths[i]) : std::string_view();
    if (!DAAppendItem(table, bytes, kind)) return false;
  }
  return true;
}

}  // namespace

int32_t SqlColumnKind(enum_field_types type, unsigned long length) {
  int32_t kind = type == MYSQL_TYPE_BLOB ? 5 : 2;
  if (length > 255) kind = 5;
  return kind;
}

std::unique_ptr<SqlConnection> SqlConnect(Process& proc, const std::string& user,
                                          const std::string& password, const std::string& host,
                                          const std::string& database, unsigned port,
                                          const std::string& socket) {
  auto c = std::make_unique<SqlConnection>();
  c->proc = &proc;
  if (port == 0) port = 3306;
  if (proc.engine && proc.engine->persistent) {
    c->reuse = {ReuseKey(user, password, host, database, port, socket), database};
    c->handle.reset(TakeIdle(c->reuse.key));
    if (c->handle) {
      Trace(proc, "SQL CONNECTED (port %ld)\n", static_cast<long>(port));
      return c;
    }
  }
  c->handle.reset(mysql_init(nullptr));
  if (!c->handle) {
    RecordError(*c, CR_OUT_OF_MEMORY, "Out of memory");
    return nullptr;
  }
  mysql_options(c->handle.get(), MYSQL_SET_CHARSET_NAME, kCharset);
  if (!mysql_real_connect(c->handle.get(), OrNull(host), user.c_str(), password.c_str(),
                          OrNull(database), port, OrNull(socket), 0)) {
    RecordClientError(*c);
    return nullptr;
  }
  Trace(proc, "SQL CONNECTED (port %ld)\n", static_cast<long>(port));
  return c;
}

void SqlDisconnect(std::unique_ptr<SqlConnection> connection) {
  if (!connection) return;
  Process& proc = *connection->proc;
  connection->result.reset();
  KeepIdle(*connection);
  connection.reset();
  Trace(proc, "SQL DISCONNECTED\n");
}

void SqlCloseIdle() {
  IdleConnections().clear();
}

std::string SqlLimitClause(int32_t maxRows, int32_t startRow) {
  if (maxRows > 0 && startRow == 0) return " LIMIT " + std::to_string(maxRows);
  if (maxRows > 0) return " LIMIT " + std::to_string(startRow) + ", " + std::to_string(maxRows);
  if (startRow > 0) return " LIMIT " + std::to_string(startRow) + ", " + kAllRemainingRows;
  return "";
}

unsigned SqlExecute(SqlConnection& c) {
  c.lastErrorCode = 0;
  c.lastErrorMessage.clear();
  c.result.reset();
  c.query += SqlLimitClause(c.maxRows, c.startRow);
  c.maxRows = c.startRow = 0;
  TRACE(*c.proc, "SQL EXEC (%d): %.2000s\n", static_cast<int>(c.query.size()), c.query.c_str());
  int failed = mysql_real_query(c.handle.get(), c.query.data(), c.query.size());
  c.query.clear();
  if (failed) return RecordClientError(c);
  c.lastInsertId = mysql_insert_id(c.handle.get());
  return 0;
}

unsigned SqlOpenResult(SqlConnection& c) {
  TRACE(*c.proc, "SQL TEST RESULT\n");
  MYSQL* h = c.handle.get();
  c.result.reset(mysql_use_result(h));
  if (!c.result) {
    // No result set is normal for a statement without rows; with columns
    // announced it is a failure that must not pass for success.
    if (mysql_field_count(h) != 0) return RecordClientError(c);
    TRACE(*c.proc, "SQL NO RESULT\n");
    return kSqlNoResult;
  }
  if (mysql_errno(h) != 0) return RecordClientError(c);
  return 0;
}

unsigned SqlLoadResult(SqlConnection& c, DATable& table, uint64_t* rowCount) {
  *rowCount = 0;
  MYSQL_RES* result = c.result.get();
  if (!result) return 0;
  unsigned code = 0;
  if (!AddColumns(c, result, table)) {
    code = RecordError(c, CR_OUT_OF_MEMORY, "Out of memory");
  } else {
    unsigned columns = mysql_num_fields(result);
    while (MYSQL_ROW row = mysql_fetch_row(result)) {
      if (!AppendRow(row, mysql_fetch_lengths(result), columns, table)) {
        Trace(*c.proc, "kMEMERROR\n");
        code = RecordError(c, CR_OUT_OF_MEMORY, "Out of memory");
        break;
      }
    }
    // A fetch that ends on an error (a lost connection) is not the end of the rows.
    if (code == 0 && mysql_errno(c.handle.get()) != 0) code = RecordClientError(c);
  }
  if (code == 0) *rowCount = mysql_num_rows(result);
  // Half a result would pass for all of it: a failed load keeps no rows.
  if (code != 0) {
    table.cells.clear();
    table.columns.clear();
    table.pool.clear();
  }
  TRACE(*c.proc, "SQL ROWCOUNT=%d\n\n", static_cast<int>(*rowCount));
  c.result.reset();
  return code;
}

uint64_t SqlRowCount(SqlConnection& c) {
  my_ulonglong rows = mysql_affected_rows(c.handle.get());
  return rows == static_cast<my_ulonglong>(-1) ? 0 : rows;
}

}  // namespace kwl
