# kwl_xml.so: the XPATH tag over libxml2, loaded by the first page that uses it.
find_package(PkgConfig REQUIRED)
pkg_check_modules(KWL_LIBXML2 REQUIRED IMPORTED_TARGET libxml-2.0)

set(KWL_XML_SOURCES
  ${CMAKE_SOURCE_DIR}/src/modules/xml/xpath_tag.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/xml/module.cpp)

kwl_add_module(xml
  SOURCES ${KWL_XML_SOURCES}
  LIBRARIES PkgConfig::KWL_LIBXML2)
