# kwl_image.so: the PICT tag over GD (with libjpeg, libpng and FreeType),
# loaded by the first page that uses it; it also decodes images for the PDF module.
find_package(PkgConfig REQUIRED)
pkg_check_modules(KWL_GD REQUIRED IMPORTED_TARGET gdlib libjpeg)

set(KWL_IMAGE_SOURCES
  ${CMAKE_SOURCE_DIR}/src/modules/image/image.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/image/image_codec.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/image/image_ops.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/image/image_state.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/image/pict_tag.cpp
  ${CMAKE_SOURCE_DIR}/src/modules/image/image_module.cpp)

# The colour and number-list readers are used by no tag of the executable,
# so it does not carry them: the module brings its own copy.
kwl_add_module(image
  SOURCES ${KWL_IMAGE_SOURCES} ${CMAKE_SOURCE_DIR}/src/text/colours.cpp ${CMAKE_SOURCE_DIR}/src/text/number_list.cpp
  LIBRARIES PkgConfig::KWL_GD)
