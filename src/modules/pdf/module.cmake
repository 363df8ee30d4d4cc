# kwl_pdf.so: the PDF tag over FreeType (font metrics, kerning) and zlib
# (stream compression), loaded by the first page that uses it.
find_package(PkgConfig REQUIRED)
pkg_check_modules(KWL_PDF_LIBS REQUIRED IMPORTED_TARGET freetype2 zlib)

set(KWL_PDF_SOURCES
  ${CMAKE_SOURCE_DIR}/src/modules/pdf/font_cache.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/pdf/pdf_document.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/pdf/pdf_fonts.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/pdf/pdf_layout.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/pdf/pdf_state.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/pdf/pdf_tag.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/pdf/module.cpp
  # Codecs the executable itself never calls, so it does not carry them.
  ${CMAKE_SOURCE_DIR}/src/text/colours.cpp
  ${CMAKE_SOURCE_DIR}/src/text/number_list.cpp)

kwl_add_module(pdf
  SOURCES ${KWL_PDF_SOURCES}
  LIBRARIES PkgConfig::KWL_PDF_LIBS)
