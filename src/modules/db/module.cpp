// The database module's entry points, looked up by name when the module is loaded.
#include <mysql.h>

#include "modules/db/db_tags.h"

namespace kwl {

void RegisterDbTags(TagRegistry& tags) {
  tags[kTagConnect].run = ConnectTag;
  tags[kTagSql].rows = SqlTag;
}

}  // namespace kwl

extern "C" void kwl_register_tags(kwl::TagRegistry& tags) {
  kwl::RegisterDbTags(tags);
}

// The client library's version number (m * 10000 + n * 100 + p), for the
// information page and the trace.
extern "C" int kwl_db_client_version() {
  return static_cast<int>(mysql_get_client_version());
}
