// What the database module declares to the rest of the program: its page
// variables, and the session table that keeps sessions shared by several web
// servers (reached with ModuleSymbol, so a run that keeps its sessions in
// files never maps the client library).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "interp/dispatch.h"

namespace kwl {

struct Process;

constexpr PageVariable kDbPageVariables[] = {
    {"sqlescapestr", nullptr, 0}, {"sqlstring", "", 0},          {"sqlerr", nullptr, 0},
    {"sqlerrmsg", "", 0},         {"sqlrowcount", nullptr, 0},   {"sqlnumrow", nullptr, 0},
    {"sqlcolcount", nullptr, 0},  {"sqlquerycount", nullptr, 0}, {"sqlid", nullptr, 0},
};

constexpr const char* kDbModule = "db";
constexpr const char* kDbSessionApiSymbol = "kwl_db_sessions";
constexpr int kDbSessionApiVersion = 1;

// Where the session table is: the server, the account and the table's name.
struct DbSessionPlace {
  std::string host;
  unsigned port = 0;  // 0: 3306
  std::string socket;
  std::string user;
  std::string password;
  std::string database;
  std::string table = "kwlsession";
};

enum class DbTake {
  kFound,   // a live session: its records were read
  kEmpty,   // no session of that id, or an expired one: the session starts empty
  kFailed,  // the table could not be reached: nothing is known of the session
};

// Every call works on the process's one connection to the session table,
// made on first use and kept for the process's later requests. A failure is
// traced ("SQL ERROR: code - message") and drops the connection, so that
// nothing of a failed exchange is ever read by a later one.
struct DbSessionApi {
  int version;  // kDbSessionApiVersion
  // Whether a session of that id is kept: 1 yes, 0 no, -1 failed.
  int (*exists)(Process& proc, const DbSessionPlace& place, std::string_view id);
  // Takes the session `id` for this run: its row stays locked until `save`
  // or `end`, so two runs of one visitor never both change what they
  // loaded. A session unused for more than `lifetime` seconds is expired.
  DbTake (*take)(Process& proc, const DbSessionPlace& place, std::string_view id, int64_t lifetime,
                 std::string* records);
  // Replaces the records of the session `id` (taking it first when this run
  // holds another one or none) and ends the hold; false when nothing was
  // written.
  bool (*save)(Process& proc, const DbSessionPlace& place, std::string_view id,
               std::string_view records);
  // Ends the hold without a save: a live session is marked used now, a
  // session that was missing or expired stays as it was.
  void (*end)(Process& proc);
  // Deletes the sessions unused for more than `lifetime` seconds when no
  // server has swept for three hours.
  void (*sweepIfDue)(Process& proc, const DbSessionPlace& place, int64_t lifetime);
  // Copies a session with the time of its last use, unless the table holds a
  // session of that id used later: 1 copied, 0 kept the table's, -1 failed.
  int (*import)(Process& proc, const DbSessionPlace& place, std::string_view id,
                std::string_view records, int64_t used);
};

using DbSessionApiFn = const DbSessionApi* (*)();

}  // namespace kwl
