# kwl_mail.so: the MAIL tag, MIME messages sent over SMTP through the net
# module's TCP and TLS client; loaded by the first page that sends mail.
set(KWL_MAIL_SOURCES
  ${CMAKE_SOURCE_DIR}/src/modules/mail/mime.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/mail/smtp.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/mail/mail_tag.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/mail/module.cpp)

kwl_add_module(mail SOURCES ${KWL_MAIL_SOURCES})
