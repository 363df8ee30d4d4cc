// The session table: sessions kept in one MariaDB table that several web
// servers share (the API of db_api.h).
#pragma once

#include "modules/db/db_api.h"

namespace kwl {

// The table of entry points the module exports as kwl_db_sessions.
const DbSessionApi& DbSessions();
// Closes the process's connection to the session table (the process's end).
void DbSessionsClose();

}  // namespace kwl
