# kwl_crypto.so: HMAC and the page cipher, loaded by the first page that uses them.
find_package(PkgConfig REQUIRED)
pkg_check_modules(KWL_LIBCRYPTO REQUIRED IMPORTED_TARGET libcrypto)
kwl_add_module(crypto
  SOURCES ${CMAKE_SOURCE_DIR}/src/modules/crypto/crypto_module.cpp
  LIBRARIES PkgConfig::KWL_LIBCRYPTO)
