// The database state of one page run: its named connections and the choice among them.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "interp/interpreter.h"
#include "modules/db/connection.h"

namespace kwl {

constexpr size_t kMaxConnectionName = 63;

struct NamedConnection {
  std::string name;  // the CONNECT tag's ID, may be empty
  int kind = 1;      // 1: MySQL
  bool transaction = false;
  std::unique_ptr<SqlConnection> connection;
};

// The module's page variables in GLOBAL (pinned, so they live as long as the run).
struct DbVariables {
  Variable* escapestr;
  Variable* string;
  Variable* err;
  Variable* errmsg;
  Variable* rowcount;
  Variable* numrow;
  Variable* querycount;
  Variable* id;
};

struct DbState {
  Process* proc = nullptr;
  DbVariables vars{};
  Variable spare{"spare"};                   // stands in for a page variable the run lacks
  std::vector<NamedConnection> connections;  // in the order they were opened
  std::string defaultName;                   // empty: none
  SqlConnection* current = nullptr;          // the one the last SQL tag chose
  bool transaction = false;                  // of the last CONNECT

  explicit DbState(Interpreter& interp);
  DbState(const DbState&) = delete;
  DbState& operator=(const DbState&) = delete;
  // Every connection still open is closed when the page ends.
  ~DbState();
};

// The run's database state, made on first use.
DbState& DbStateOf(Interpreter& interp);

// One of the module's page variables, for this run.
Variable& PageVar(Interpreter& interp, Variable* DbVariables::*which);

// The first connection whose name equals `name` without regard to case.
NamedConnection* FindConnection(DbState& db, std::string_view name);
// Closes every connection of that name (without regard to case).
void CloseConnections(DbState& db, std::string_view name);
// The connection a statement uses: the named one, else the default name's,
// else the most recently opened; null when none matches.
SqlConnection* ChooseConnection(DbState& db, const std::string* name);

}  // namespace kwl
