# The database module: CONNECT and SQL over the MariaDB client library.
find_package(PkgConfig REQUIRED)
pkg_check_modules(MARIADB REQUIRED IMPORTED_TARGET libmariadb)

set(KWL_DB_SOURCES
  ${CMAKE_SOURCE_DIR}/src/modules/db/connection.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/db/db_state.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/db/tag_values.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/db/connect_tag.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/db/sql_tag.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/db/session_table.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/db/module.cpp)

kwl_add_module(db
  SOURCES ${KWL_DB_SOURCES}
  LIBRARIES PkgConfig::MARIADB)
