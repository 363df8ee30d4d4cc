// The database module's entry: CONNECT and SQL over the MariaDB client library.
#include <mysql.h>

#include "core/module_entry.h"
#include "modules/db/connection.h"
#include "modules/db/db_tags.h"

namespace kwl {

void RegisterDbTags(TagRegistry& tags) {
  tags[kTagConnect].run = ConnectTag;
  tags[kTagSql].rows = &kSqlRows;
}

namespace {

// The client library's version number (m * 10000 + n * 100 + p), for the
// information page and the trace.
int ClientVersion() {
  return static_cast<int>(mysql_get_client_version());
}

constexpr ModuleEntry kEntry{kModuleAbi,   "db",    RegisterDbTags, nullptr,
                             SqlCloseIdle, nullptr, ClientVersion};

}  // namespace

}  // namespace kwl

extern "C" const kwl::ModuleEntry* kwl_module() {
  return &kwl::kEntry;
}
