# quorvale_add_test(NAME source... [LIBS lib...]): one GoogleTest program, one line.
find_package(GTest REQUIRED)
include(GoogleTest)

function(quorvale_add_test name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  add_executable(${name} ${ARG_UNPARSED_ARGUMENTS})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main)
  target_compile_definitions(${name} PRIVATE
    QUORVALE_BINARY_DIR="${PROJECT_BINARY_DIR}"
    QUORVALE_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 300)
endfunction()
