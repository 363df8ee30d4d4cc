# The image module's tests: its code linked into a test program that runs
# pages and reads the images they write back with GD.
file(GLOB KWL_IMAGE_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/image/*_test.cpp)
add_executable(kwl_image_tests ${KWL_IMAGE_TEST_SOURCES} ${KWL_IMAGE_SOURCES})
target_include_directories(kwl_image_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit)
target_link_libraries(kwl_image_tests PRIVATE kwlcore PkgConfig::KWL_GD GTest::gtest GTest::gtest_main)
add_test(NAME image_unit COMMAND kwl_image_tests)
