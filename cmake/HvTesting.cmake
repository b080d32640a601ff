# hv_add_gtest(NAME SOURCES... LIBS...) adds a GoogleTest executable for the plain C++ layers.
# hv_add_qtest(NAME SOURCES... LIBS...) adds a QtTest executable run on the offscreen platform.
# Both pass HV_TEST_DATA (tests/data) and HV_SOURCE_DIR to the code and give each test a timeout.

set(HV_TEST_DATA_DIR ${PROJECT_SOURCE_DIR}/tests/data)

function(hv_add_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  find_package(GTest REQUIRED)
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gtest_main GTest::gmock hv_warnings)
  target_compile_definitions(${name} PRIVATE
    HV_TEST_DATA="${HV_TEST_DATA_DIR}" HV_SOURCE_DIR="${PROJECT_SOURCE_DIR}" HV_BINARY_DIR="${PROJECT_BINARY_DIR}")
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "plain")
endfunction()

function(hv_add_qtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} Qt6::Test hv_warnings)
  target_compile_definitions(${name} PRIVATE
    HV_TEST_DATA="${HV_TEST_DATA_DIR}" HV_SOURCE_DIR="${PROJECT_SOURCE_DIR}" HV_BINARY_DIR="${PROJECT_BINARY_DIR}")
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "qt"
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;HARROWVANE_CONFIG_DIR=${PROJECT_BINARY_DIR}/data/sample;XDG_DATA_HOME=${PROJECT_BINARY_DIR}/test-data;XDG_CACHE_HOME=${PROJECT_BINARY_DIR}/test-cache;XDG_CONFIG_HOME=${PROJECT_BINARY_DIR}/test-home/config;XDG_STATE_HOME=${PROJECT_BINARY_DIR}/test-home/state")
endfunction()
