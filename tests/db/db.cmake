# Database tests against a private MariaDB server: the server is a CTest
# fixture (started in the build directory, stopped afterwards); the tests read
# its coordinates from the env file the start script writes.
set(KWL_DB_TEST_DIR ${CMAKE_BINARY_DIR}/mariadb-test)
set(KWL_DB_SCRIPTS ${CMAKE_SOURCE_DIR}/tests/db)
set(KWL_WITH_DB ${KWL_DB_SCRIPTS}/with-db-env.sh ${KWL_DB_TEST_DIR}/env)

add_test(NAME mariadb_start COMMAND ${KWL_DB_SCRIPTS}/start-mariadb.sh ${KWL_DB_TEST_DIR})
set_tests_properties(mariadb_start PROPERTIES FIXTURES_SETUP mariadb TIMEOUT 120)
add_test(NAME mariadb_stop COMMAND ${KWL_DB_SCRIPTS}/stop-mariadb.sh ${KWL_DB_TEST_DIR})
set_tests_properties(mariadb_stop PROPERTIES FIXTURES_CLEANUP mariadb)

add_test(NAME pages_db
  COMMAND ${KWL_WITH_DB} ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/pages/run_pages.py
          --kwl $<TARGET_FILE:kwl> ${CMAKE_SOURCE_DIR}/tests/pages/db)

# The module's code linked straight into a test program, run against the server.
file(GLOB KWL_DB_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/db/*_test.cpp)
add_executable(kwl_db_tests ${KWL_DB_TEST_SOURCES} ${KWL_DB_SOURCES})
target_include_directories(kwl_db_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit)
target_link_libraries(kwl_db_tests PRIVATE kwlcore PkgConfig::MARIADB GTest::gtest GTest::gtest_main)
add_test(NAME db_unit COMMAND ${KWL_WITH_DB} $<TARGET_FILE:kwl_db_tests>)

# Kills a server of its own under a running page.
add_test(NAME db_server_killed
  COMMAND ${KWL_WITH_DB} ${Python3_EXECUTABLE} ${KWL_DB_SCRIPTS}/server_killed.py
          --kwl $<TARGET_FILE:kwl> --dir ${CMAKE_BINARY_DIR}/mariadb-killed)

set_tests_properties(pages_db db_unit db_server_killed PROPERTIES
  FIXTURES_REQUIRED mariadb ENVIRONMENT KWL_TEST_MYSQL=1)
