# PDF documents written by kwl, checked object by object and with qpdf and
# poppler's tools.
add_test(NAME pdf_documents
  COMMAND ${Python3_EXECUTABLE} -B -m unittest test_pdf_documents
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/pdf)
# GIF and PNG pictures go through the image module: skipped without it.
add_test(NAME pdf_images
  COMMAND ${Python3_EXECUTABLE} -B test_pdf_images.py
  WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/tests/pdf)
set_tests_properties(pdf_documents pdf_images PROPERTIES ENVIRONMENT KWL=$<TARGET_FILE:kwl>)
set_tests_properties(pdf_images PROPERTIES SKIP_RETURN_CODE 77)

# The module's code linked straight into a test program.
add_executable(kwl_pdf_tests ${CMAKE_SOURCE_DIR}/tests/pdf/pdf_test.cpp ${KWL_PDF_SOURCES})
target_include_directories(kwl_pdf_tests PRIVATE ${CMAKE_SOURCE_DIR}/tests/unit)
target_link_libraries(kwl_pdf_tests PRIVATE kwlcore PkgConfig::KWL_PDF_LIBS GTest::gtest GTest::gtest_main)
add_test(NAME pdf_unit COMMAND kwl_pdf_tests)
# Deflated fonts are kept under TMPDIR: the build directory's, not the machine's.
set_tests_properties(pdf_unit PROPERTIES ENVIRONMENT TMPDIR=${CMAKE_BINARY_DIR})
