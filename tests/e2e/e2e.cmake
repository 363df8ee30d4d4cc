# The interpreter as a CGI program behind a private lighttpd, driven by curl.
# The script starts and stops its own server; it skips (77) without lighttpd.
add_test(NAME e2e_cgi COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/cgi_e2e.sh $<TARGET_FILE:kwl>)
set_tests_properties(e2e_cgi PROPERTIES TIMEOUT 180 SKIP_RETURN_CODE 77)
# The same requests through lighttpd's mod_fastcgi to kwl as a FastCGI server.
add_test(NAME e2e_fastcgi COMMAND ${CMAKE_SOURCE_DIR}/tests/e2e/cgi_e2e.sh --fastcgi $<TARGET_FILE:kwl>)
set_tests_properties(e2e_fastcgi PROPERTIES TIMEOUT 180 SKIP_RETURN_CODE 77)
# kwl --fastcgi: the same bytes as CGI, isolation, changes on disk, faults.
# With the test database: a worker's kept connection starts each request afresh.
add_test(NAME e2e_fastcgi_server
  COMMAND ${KWL_WITH_DB} ${CMAKE_SOURCE_DIR}/tests/e2e/fastcgi_e2e.sh $<TARGET_FILE:kwl>)
set_tests_properties(e2e_fastcgi_server PROPERTIES TIMEOUT 180 SKIP_RETURN_CODE 77
  FIXTURES_REQUIRED mariadb)
