#include "modules/db/db_state.h"

#include "modules/db/tag_values.h"

namespace kwl {

namespace {

constexpr std::string_view kModuleName = "db";

}  // namespace

DbState::~DbState() {
  for (NamedConnection& entry : connections) SqlDisconnect(std::move(entry.connection));
}

DbState::DbState(Interpreter& interp) : proc(&interp.proc) {
  auto find = [&](const char* name) { return interp.global ? interp.global->Find(name) : nullptr; };
  vars = {find("sqlescapestr"), find("sqlstring"), find("sqlerr"),        find("sqlerrmsg"),
          find("sqlrowcount"),  find("sqlnumrow"), find("sqlquerycount"), find("sqlid")};
}

DbState& DbStateOf(Interpreter& interp) {
  return ModuleRunState<DbState>(interp, kModuleName);
}

Variable& PageVar(Interpreter& interp, Variable* DbVariables::*which) {
  DbState& db = DbStateOf(interp);
  Variable* var = db.vars.*which;
  return var ? *var : db.spare;
}

NamedConnection* FindConnection(DbState& db, std::string_view name) {
  for (NamedConnection& entry : db.connections) {
    if (entry.kind != 0 && AsciiEqualsNoCase(entry.name, name)) return &entry;
  }
  return nullptr;
}

void CloseConnections(DbState& db, std::string_view name) {
  auto closing = [&](NamedConnection& entry) { return AsciiEqualsNoCase(entry.name, name); };
  for (NamedConnection& entry : db.connections) {
    if (!closing(entry)) continue;
    if (db.current == entry.connection.get()) db.current = nullptr;
    SqlDisconnect(std::move(entry.connection));
  }
  std::erase_if(db.connections, closing);
}

SqlConnection* ChooseConnection(DbState& db, const std::string* name) {
  NamedConnection* entry = nullptr;
  if (name) {
    entry = FindConnection(db, *name);
  } else if (!db.defaultName.empty()) {
    entry = FindConnection(db, db.defaultName);
  } else if (!db.connections.empty()) {
    entry = &db.connections.back();
  }
  db.current = entry ? entry->connection.get() : nullptr;
  return db.current;
}

}  // namespace kwl
