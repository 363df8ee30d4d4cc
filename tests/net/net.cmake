# Network tests against the project's own HTTP servers (plain and TLS, on
# 127.0.0.1): the servers are a CTest fixture; the tests read their ports
# from the env file the start command writes.
set(KWL_HTTP_TEST_DIR ${CMAKE_BINARY_DIR}/http-test)
set(KWL_HTTP_SERVER ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/net/http_server.py)

add_test(NAME http_start COMMAND ${KWL_HTTP_SERVER} start ${KWL_HTTP_TEST_DIR})
set_tests_properties(http_start PROPERTIES FIXTURES_SETUP http TIMEOUT 60)
add_test(NAME http_stop COMMAND ${KWL_HTTP_SERVER} stop ${KWL_HTTP_TEST_DIR})
set_tests_properties(http_stop PROPERTIES FIXTURES_CLEANUP http)

add_test(NAME pages_net
  COMMAND ${KWL_HTTP_SERVER} run ${KWL_HTTP_TEST_DIR}
          ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/pages/run_pages.py
          --kwl $<TARGET_FILE:kwl> ${CMAKE_SOURCE_DIR}/tests/pages/net)

# The module's code linked straight into a test program.
file(GLOB KWL_NET_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/net/*_test.cpp)
add_executable(kwl_net_tests ${KWL_NET_TEST_SOURCES} ${KWL_NET_SOURCES})
target_include_directories(kwl_net_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit)
target_link_libraries(kwl_net_tests PRIVATE kwlcore PkgConfig::KWL_OPENSSL GTest::gtest GTest::gtest_main)
add_test(NAME net_unit COMMAND ${KWL_HTTP_SERVER} run ${KWL_HTTP_TEST_DIR} $<TARGET_FILE:kwl_net_tests>)

set_tests_properties(pages_net net_unit PROPERTIES FIXTURES_REQUIRED http)
