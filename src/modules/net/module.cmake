# kwl_net.so: the HTTP tag over a TCP client with TLS (OpenSSL's libssl),
# loaded by the first page that uses it.
find_package(PkgConfig REQUIRED)
pkg_check_modules(KWL_OPENSSL REQUIRED IMPORTED_TARGET libssl libcrypto)

set(KWL_NET_SOURCES
  ${CMAKE_SOURCE_DIR}/src/modules/net/tcp_client.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/net/tls.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/net/http.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/net/net_state.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/net/http_tag.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/net/module.cpp)

kwl_add_module(net
  SOURCES ${KWL_NET_SOURCES}
  LIBRARIES PkgConfig::KWL_OPENSSL)
