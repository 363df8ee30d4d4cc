# Mail tests against the project's own SMTP servers (plain, STARTTLS,
# implicit TLS, replies in bursts, faults; on 127.0.0.1): the servers are a
# CTest fixture, and the tests read their ports from the env file.
set(KWL_SMTP_TEST_DIR ${CMAKE_BINARY_DIR}/smtp-test)
set(KWL_SMTP_SERVER ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/mail/smtp_server.py)

add_test(NAME smtp_start COMMAND ${KWL_SMTP_SERVER} start ${KWL_SMTP_TEST_DIR})
set_tests_properties(smtp_start PROPERTIES FIXTURES_SETUP smtp TIMEOUT 60)
add_test(NAME smtp_stop COMMAND ${KWL_SMTP_SERVER} stop ${KWL_SMTP_TEST_DIR})
set_tests_properties(smtp_stop PROPERTIES FIXTURES_CLEANUP smtp)

add_test(NAME mail_smtp
  COMMAND ${KWL_SMTP_SERVER} run ${KWL_SMTP_TEST_DIR}
          ${Python3_EXECUTABLE} -B ${CMAKE_SOURCE_DIR}/tests/mail/test_mail.py
          --kwl $<TARGET_FILE:kwl>)
set_tests_properties(mail_smtp PROPERTIES FIXTURES_REQUIRED smtp TIMEOUT 300)

# The module's code linked straight into a test program.
add_executable(kwl_mail_tests ${CMAKE_SOURCE_DIR}/tests/mail/mail_test.cpp ${KWL_MAIL_SOURCES})
target_link_libraries(kwl_mail_tests PRIVATE kwlcore GTest::gtest GTest::gtest_main)
add_test(NAME mail_unit COMMAND kwl_mail_tests)
