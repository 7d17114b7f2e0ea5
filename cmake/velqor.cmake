# velqor_program(NAME SOURCES ... LIBS ...): an installed program in bin/.
function(velqor_program name)
  cmake_parse_arguments(P "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${P_SOURCES})
  target_link_libraries(${name} PRIVATE ${P_LIBS} Threads::Threads)
endfunction()

# Tests and their helpers find the installed programs, the test programs and
# the source tree through these.
function(velqor_test_places target)
  target_compile_definitions(${target} PRIVATE
    VELQOR_BIN_DIR="${VELQOR_BIN_DIR}"
    VELQOR_SOURCE_DIR="${CMAKE_SOURCE_DIR}"
    VELQOR_TEST_BIN_DIR="${CMAKE_BINARY_DIR}/tests")
endfunction()

# velqor_test(NAME SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s]):
# a GoogleTest binary whose cases ctest runs one by one, so parallel ctest
# spreads them over the cores.
function(velqor_test name)
  if(NOT VELQOR_TESTS)
    return()
  endif()
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_executable(${name} ${T_SOURCES})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${T_LIBS} velqor_testsupport GTest::gtest GTest::gmock GTest::gtest_main Threads::Threads)
  velqor_test_places(${name})
  # Every test, and every program it starts, reads the leak suppressions;
  # options the caller gives in LSAN_OPTIONS stay.
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${T_TIMEOUT}
      ENVIRONMENT_MODIFICATION "LSAN_OPTIONS=string_append::suppressions=${CMAKE_SOURCE_DIR}/scripts/lsan.supp"
      LABELS "${T_LABELS}")
endfunction()
