#include "modules/db/session_table.h"

#include <errmsg.h>
#include <mysql.h>
#include <mysqld_error.h>

#include <cstdlib>
#include <ctime>
#include <memory>

#include "core/process.h"
#include "core/trace.h"
#include "modules/db/connection.h"

namespace kwl {

namespace {

// The row whose time of use is the time of the last sweep; no session id
// has lower-case letters.
constexpr const char* kStampId = "kwltimestamp";
constexpr int64_t kSweepInterval = 10800;  // seconds, as for session files
constexpr int kTakeAttempts = 8;
constexpr unsigned kConnectTimeout = 5;  // seconds
// A read waits for the row lock another run of the visitor holds (the
// server gives up after its innodb_lock_wait_timeout, 50 s by default).
constexpr unsigned kReadTimeout = 120;
constexpr unsigned kWriteTimeout = 30;

// The process's one connection to the session table, and what the run
// being answered holds of it.
struct Link {
  std::unique_ptr<MYSQL, MysqlCloser> handle;
  std::string opened;   // the server, account and database it was opened for
  bool reused = false;  // opened for an earlier exchange: the server may have closed it since
  bool open = false;    // a transaction may be open
  std::string held;     // the session whose row this run has locked
  std::string heldIn;   // its table, quoted
  bool live = false;    // that row held a live session: the end of the hold marks it used
  std::string lost;     // a session whose hold a failure ended during this run
  std::time_t sweepNotBefore = 0;
};

Link gLink;

// What one exchange gave: the first statement's rows and count.
struct Outcome {
  unsigned error = 0;
  uint64_t affected = 0;
  std::unique_ptr<MYSQL_RES, ResultFreer> rows;
};

bool IsId(std::string_view id) {
  if (id.size() != 16) return false;
  for (char c : id) {
    if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))) return false;
  }
  return true;
}

// The table's name goes into statements: letters, digits and "_" only.
bool IsTableName(std::string_view name) {
  if (name.empty() || name.size() > 64) return false;
  for (char c : name) {
    bool word =
        (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
    if (!word) return false;
  }
  return true;
}

std::string Quoted(std::string_view table) {
  std::string quoted(1, '`');
  quoted.append(table);
  quoted += '`';
  return quoted;
}

std::string PlaceKey(const DbSessionPlace& place) {
  std::string key;
  for (const std::string* part :
       {&place.host, &place.socket, &place.user, &place.password, &place.database}) {
    key += *part;
    key += '\0';
  }
  return key + std::to_string(place.port);
}

const char* OrNull(const std::string& text) {
  return text.empty() ? nullptr : text.c_str();
}

void Drop() {
  gLink.handle.reset();
  gLink.opened.clear();
  gLink.open = false;
  if (!gLink.held.empty()) gLink.lost = gLink.held;
  gLink.held.clear();
  gLink.live = false;
}

// Traces the client's error and drops the connection: whatever the failed
// exchange left on it is never read by a later one, and the server rolls
// back the run's transaction.
unsigned Fail(Process& proc) {
  MYSQL* h = gLink.handle.get();
  unsigned code = h ? mysql_errno(h) : CR_OUT_OF_MEMORY;
  Trace(proc, "SQL ERROR: %d - %s\n", static_cast<int>(code), h ? mysql_error(h) : "Out of memory");
  Drop();
  return code ? code : CR_UNKNOWN_ERROR;
}

// Runs one or more statements and reads every result; an error other than
// `expected` fails the connection.
Outcome Run(Process& proc, const std::string& sql, unsigned expected = 0) {
  Outcome out;
  MYSQL* h = gLink.handle.get();
  gLink.open = true;
  bool first = true;
  int status = mysql_real_query(h, sql.data(), sql.size());
  while (status == 0) {
    MYSQL_RES* result = mysql_store_result(h);
    if (!result && mysql_field_count(h) != 0) {
      status = 1;
      break;
    }
    if (first) {
      out.affected = mysql_affected_rows(h);
      out.rows.reset(result);
    } else if (result) {
      mysql_free_result(result);
    }
    first = false;
    status = mysql_next_result(h);
    if (status == -1) return out;
  }
  out.error = mysql_errno(h);
  if (out.error == 0 || out.error != expected) out.error = Fail(proc);
  return out;
}

// Each run's row stays locked until the run ends: read-committed takes no
// gap locks, so a visitor's new session never waits for another's.
bool Connect(Process& proc, const DbSessionPlace& place) {
  std::string key = PlaceKey(place);
  if (gLink.handle && gLink.opened == key) {
    gLink.reused = true;
    return true;
  }
  Drop();
  gLink.handle.reset(mysql_init(nullptr));
  MYSQL* h = gLink.handle.get();
  if (!h) return Fail(proc) == 0;
  mysql_options(h, MYSQL_SET_CHARSET_NAME, "latin1");
  mysql_options(h, MYSQL_OPT_CONNECT_TIMEOUT, &kConnectTimeout);
  mysql_options(h, MYSQL_OPT_READ_TIMEOUT, &kReadTimeout);
  mysql_options(h, MYSQL_OPT_WRITE_TIMEOUT, &kWriteTimeout);
  if (!mysql_real_connect(h, OrNull(place.host), place.user.c_str(), place.password.c_str(),
                          OrNull(place.database), place.port ? place.port : 3306,
                          OrNull(place.socket), CLIENT_MULTI_STATEMENTS)) {
    Fail(proc);
    return false;
  }
  gLink.opened = key;
  gLink.reused = false;
  return Run(proc, "SET SESSION TRANSACTION ISOLATION LEVEL READ COMMITTED; SET autocommit = 0")
             .error == 0;
}

bool IsConnectionLost(unsigned code) {
  return code == CR_SERVER_GONE_ERROR || code == CR_SERVER_LOST;
}

// The first statement of an exchange. A connection the server closed while
// the process waited between requests is opened once more; a missing table
// is made.
Outcome First(Process& proc, const DbSessionPlace& place, const std::string& sql) {
  Outcome out;
  if (!Connect(proc, place)) {
    out.error = CR_CONNECTION_ERROR;
    return out;
  }
  bool reused = gLink.reused;
  out = Run(proc, sql, ER_NO_SUCH_TABLE);
  if (IsConnectionLost(out.error) && reused && gLink.held.empty()) {
    if (!Connect(proc, place)) return out;
    out = Run(proc, sql, ER_NO_SUCH_TABLE);
  }
  if (out.error != ER_NO_SUCH_TABLE) return out;
  Outcome made = Run(proc, "CREATE TABLE IF NOT EXISTS " + Quoted(place.table) +
                               " (id VARBINARY(16) NOT NULL PRIMARY KEY,"
                               " data LONGBLOB NOT NULL, used BIGINT NOT NULL,"
                               " KEY used (used)) ENGINE=InnoDB");
  if (made.error) return made;
  Trace(proc, "Session table %s created\n", place.table.c_str());
  return Run(proc, sql);
}

bool Refused(Process& proc, const DbSessionPlace& place, std::string_view id) {
  if (IsId(id) && IsTableName(place.table)) return false;
  Trace(proc, "Session table: id or table name refused\n");
  return true;
}

void End(Process& proc) {
  if (gLink.handle && !gLink.held.empty() && gLink.live) {
    Run(proc, "UPDATE " + gLink.heldIn + " SET used = UNIX_TIMESTAMP() WHERE id = '" + gLink.held +
                  "'; COMMIT");
  } else if (gLink.handle && gLink.open) {
    Run(proc, "ROLLBACK");
  }
  gLink.open = false;
  gLink.held.clear();
  gLink.live = false;
  gLink.lost.clear();
}

int Exists(Process& proc, const DbSessionPlace& place, std::string_view id) {
  if (Refused(proc, place, id)) return -1;
  Outcome out =
      First(proc, place,
            "SELECT 1 FROM " + Quoted(place.table) + " WHERE id = '" + std::string(id) + "'");
  if (out.error) return -1;
  return out.rows && mysql_num_rows(out.rows.get()) > 0 ? 1 : 0;
}

DbTake Take(Process& proc, const DbSessionPlace& place, std::string_view id, int64_t lifetime,
            std::string* records) {
  if (Refused(proc, place, id)) return DbTake::kFailed;
  if (!gLink.held.empty()) End(proc);
  std::string table = Quoted(place.table);
  std::string key(id);
  std::string select = "SELECT id, data, UNIX_TIMESTAMP() - used > " + std::to_string(lifetime) +
                       " FROM " + table + " WHERE id = '" + key + "' FOR UPDATE";
  std::string insert =
      "INSERT INTO " + table + " (id, data, used) VALUES ('" + key + "', '', UNIX_TIMESTAMP())";
  for (int attempt = 0; attempt < kTakeAttempts; ++attempt) {
    Outcome found = attempt == 0 ? First(proc, place, select) : Run(proc, select);
    if (found.error) return DbTake::kFailed;
    MYSQL_ROW row = found.rows ? mysql_fetch_row(found.rows.get()) : nullptr;
    if (row) {
      unsigned long* lengths = mysql_fetch_lengths(found.rows.get());
      if (!row[0] || std::string_view(row[0], lengths[0]) != key) break;
      gLink.held = key;
      gLink.heldIn = table;
      gLink.live = row[2] && std::string_view(row[2]) == "0";
      if (!gLink.live) return DbTake::kEmpty;
      records->assign(row[1] ? row[1] : "", row[1] ? lengths[1] : 0);
      return DbTake::kFound;
    }
    // Nothing to lock yet: a row of this run's own, gone again at the end
    // unless a save keeps it. Another run inserting the same id at once
    // makes this one wait, then lock that run's row instead.
    Outcome made = Run(proc, insert, ER_DUP_ENTRY);
    if (made.error == ER_DUP_ENTRY) continue;
    if (made.error) return DbTake::kFailed;
    gLink.held = key;
    gLink.heldIn = table;
    gLink.live = false;
    return DbTake::kEmpty;
  }
  Trace(proc, "Can't lock session %s !\n", key.c_str());
  End(proc);
  return DbTake::kFailed;
}

std::string Escaped(std::string_view bytes) {
  std::string out(bytes.size() * 2 + 1, '\0');
  out.resize(mysql_real_escape_string(gLink.handle.get(), out.data(), bytes.data(), bytes.size()));
  return out;
}

bool Save(Process& proc, const DbSessionPlace& place, std::string_view id,
          std::string_view records) {
  if (Refused(proc, place, id)) return false;
  if (gLink.held != id || !gLink.handle) {
    // The lock this run took when it loaded the session is gone with its
    // connection: another run may have changed the session since.
    if (gLink.lost == id) {
      Trace(proc, "Session %s: lock lost, not saved\n", gLink.lost.c_str());
      return false;
    }
    std::string ignored;
    if (Take(proc, place, id, 0, &ignored) == DbTake::kFailed) return false;
  }
  Outcome out = Run(proc, "UPDATE " + gLink.heldIn + " SET data = '" + Escaped(records) +
                              "', used = UNIX_TIMESTAMP() WHERE id = '" + gLink.held + "'; COMMIT");
  if (out.error) return false;
  gLink.open = false;
  gLink.held.clear();
  gLink.live = false;
  return true;
}

void SweepIfDue(Process& proc, const DbSessionPlace& place, int64_t lifetime) {
  std::time_t now = std::time(nullptr);
  if (now < gLink.sweepNotBefore || !IsTableName(place.table)) return;
  if (!gLink.held.empty()) End(proc);
  std::string table = Quoted(place.table);
  std::string stamp = std::string(" WHERE id = '") + kStampId + "'";
  Outcome seen =
      First(proc, place, "SELECT UNIX_TIMESTAMP() - used FROM " + table + stamp + "; COMMIT");
  if (seen.error) return;
  MYSQL_ROW row = seen.rows ? mysql_fetch_row(seen.rows.get()) : nullptr;
  if (row && row[0]) {
    long long age = std::strtoll(row[0], nullptr, 10);
    if (age >= 0 && age < kSweepInterval) {
      gLink.sweepNotBefore = now + static_cast<std::time_t>(kSweepInterval - age);
      return;
    }
  }
  // One server wins the stamp; the others find it fresh and do not sweep.
  Outcome claimed = Run(proc, "INSERT INTO " + table + " (id, data, used) VALUES ('" + kStampId +
                                  "', '', UNIX_TIMESTAMP()) ON DUPLICATE KEY UPDATE used ="
                                  " IF(UNIX_TIMESTAMP() - used BETWEEN 0 AND 10799, used,"
                                  " VALUES(used)); COMMIT");
  if (claimed.error) return;
  gLink.sweepNotBefore = now + kSweepInterval;
  if (claimed.affected == 0) return;
  Outcome swept = Run(proc, "DELETE FROM " + table + " WHERE used < UNIX_TIMESTAMP() - " +
                                std::to_string(lifetime) + " AND id <> '" + kStampId + "'; COMMIT");
  if (!swept.error) {
    Trace(proc, "Session sweep: %llu ended\n", static_cast<unsigned long long>(swept.affected));
  }
}

int Import(Process& proc, const DbSessionPlace& place, std::string_view id,
           std::string_view records, int64_t used) {
  if (Refused(proc, place, id) || !Connect(proc, place)) return -1;
  std::string table = Quoted(place.table);
  Outcome out = First(proc, place,
                      "INSERT INTO " + table + " (id, data, used) VALUES ('" + std::string(id) +
                          "', '" + Escaped(records) + "', " + std::to_string(used) +
                          ") ON DUPLICATE KEY UPDATE data = IF(VALUES(used) > used,"
                          " VALUES(data), data), used = GREATEST(used, VALUES(used)); COMMIT");
  if (out.error) return -1;
  gLink.open = false;
  return out.affected > 0 ? 1 : 0;
}

constexpr DbSessionApi kApi{kDbSessionApiVersion, Exists, Take, Save, End, SweepIfDue, Import};

}  // namespace

const DbSessionApi& DbSessions() {
  return kApi;
}

void DbSessionsClose() {
  gLink = Link();
}

}  // namespace kwl

extern "C" const kwl::DbSessionApi* kwl_db_sessions() {
  return &kwl::DbSessions();
}
