#include "core/trace.h"
#include "modules/db/db_state.h"
#include "modules/db/db_tags.h"
#include "modules/db/tag_values.h"

namespace kwl {

namespace {

constexpr int32_t kDefaultPort = 3306;

struct ConnectFields {
  std::optional<std::string> user, password, host;
  std::string database, socket, id;
  int32_t port = kDefaultPort;
  bool transaction = false;
};

// Reads every attribute first, reporting the missing ones in order.
ConnectFields ReadConnectFields(Interpreter& interp, AttributeList& attributes) {
  ConnectFields f;
  f.user = AttributeText(interp, attributes, "NAME");
  if (!f.user) ReportError(interp, 1, "ERROR: Missing field NAME in CONNECT tag");
  f.password = AttributeText(interp, attributes, "PASS");
  if (!f.password) ReportError(interp, 1, "ERROR: Missing field PASS in CONNECT tag");
  f.host = AttributeText(interp, attributes, "SERVER");
  if (!f.host) ReportError(interp, 1, "WARNING: Missing field SERVER in CONNECT tag");
  f.database = AttributeText(interp, attributes, "BASE").value_or("");
  AttributeText(interp, attributes, "INFO");  // accepted, without effect
  f.port = AttributeInt(interp, attributes, "PORT", kDefaultPort);
  f.socket = AttributeText(interp, attributes, "SOCKET").value_or("");
  auto transaction = AttributeText(interp, attributes, "TRANSACTION");
  f.transaction = transaction && AsciiEqualsNoCase(*transaction, "ROLLBACK");
  f.id = AttributeText(interp, attributes, "ID").value_or("").substr(0, kMaxConnectionName);
  return f;
}

void RefuseConnection(Interpreter& interp) {
  ReportError(interp, 2, "ERROR: Connection refused by server");
  VarSetInt(PageVar(interp, &DbVariables::err), 2);
}

void OpenConnection(Interpreter& interp, DbState& db, AttributeList& attributes) {
  ConnectFields f = ReadConnectFields(interp, attributes);
  db.transaction = f.transaction;
  if (!f.user || !f.password) return;
  // A port the network cannot carry would be cut to 16 bits and reach another server.
  if (f.port < 0 || f.port > 65535) {
    Trace(interp.proc, "SQL ERROR: bad port %d\n", f.port);
    return RefuseConnection(interp);
  }
  auto connection = SqlConnect(interp.proc, *f.user, *f.password, f.host.value_or(""), f.database,
                               static_cast<unsigned>(f.port), f.socket);
  if (!connection) return RefuseConnection(interp);
  db.current = connection.get();
  db.connections.push_back(NamedConnection{f.id, 1, f.transaction, std::move(connection)});
}

}  // namespace

void ConnectTag(Interpreter& interp, const TagCall& call) {
  ReportError(interp, 0, "");
  AttributeList attributes = TagAttributes(interp, call);
  DbState& db = DbStateOf(interp);
  if (auto close = AttributeText(interp, attributes, "CLOSE")) {
    CloseConnections(db, *close);
    if (*close == db.defaultName) db.defaultName.clear();
  } else {
    OpenConnection(interp, db, attributes);
  }
  if (auto name = AttributeText(interp, attributes, "DEFAULT")) {
    db.defaultName = name->substr(0, kMaxConnectionName);
  }
}

}  // namespace kwl
