# Run at build time (cmake -P) after a test program is linked: lists its test cases and writes
# one ctest test per test suite, which runs the suite's cases in one process.
#   TEST_EXECUTABLE  the test program
#   SUITES_FILE      the file written: one tarvo_gtest_suite(NAME CASES) line per suite
#   TIMEOUT          seconds the listing may take
execute_process(COMMAND "${TEST_EXECUTABLE}" --gtest_list_tests
  TIMEOUT ${TIMEOUT} RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE errors)
if(NOT result EQUAL 0)
  file(REMOVE "${SUITES_FILE}")
  message(FATAL_ERROR "cannot list the tests of ${TEST_EXECUTABLE} (${result}):\n${output}${errors}")
endif()
# Suites stand at the start of a line and end in "." ("Name." or "Prefix/Name/0.", a comment
# may follow); their cases are indented below them.
string(REPLACE ";" "\\;" output "${output}")
string(REPLACE "\n" ";" lines "${output}")
set(text "")
set(suite "")
set(cases 0)
foreach(line IN LISTS lines)
  if(line MATCHES "^([^ #][^ ]*)\\.( .*)?$")
    if(suite AND cases GREATER 0)
      string(APPEND text "tarvo_gtest_suite([==[${suite}]==] ${cases})\n")
    endif()
    set(suite "${CMAKE_MATCH_1}")
    set(cases 0)
  elseif(line MATCHES "^  [^ ]" AND NOT line MATCHES "^  DISABLED_")
    math(EXPR cases "${cases} + 1")
  endif()
endforeach()
if(suite AND cases GREATER 0)
  string(APPEND text "tarvo_gtest_suite([==[${suite}]==] ${cases})\n")
endif()
file(WRITE "${SUITES_FILE}" "${text}")
