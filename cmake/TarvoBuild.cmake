# Helpers of the build: choosing the source files of the system built for, registering tests.
# tarvo_add_gtest(TARGET [gtest_discover_tests options]): registers a GoogleTest program. On
# Linux every test case becomes a ctest test of its own; in the Windows build the program runs
# as one process under the emulator (wine, CMAKE_CROSSCOMPILING_EMULATOR), since every start
# of a Windows program there costs far more than its tests.
function(tarvo_add_gtest target)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${target} COMMAND ${target} --gtest_brief=1)
    set_tests_properties(${target} PROPERTIES TIMEOUT 600)
  else()
    gtest_discover_tests(${target} ${ARGN})
  endif()
endfunction()

# tarvo_system_sources(VAR DIR): the .cpp files of DIR for the system built for. X_win.cpp is
# Windows' implementation of what X.cpp does on Linux, and takes its place; X_linux.cpp is
# Linux only; every other file serves both.
# tarvo_system_test_sources(VAR DIR): the same for tests, where X_win.cpp and X_linux.cpp hold
# the tests of one system beside those of X.cpp, which every system runs.
function(tarvo_system_sources var dir)
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(WIN32)
    foreach(source IN LISTS sources)
      if(source MATCHES "^(.*)_win\\.cpp$")
        list(REMOVE_ITEM sources "${CMAKE_MATCH_1}.cpp")
      endif()
    endforeach()
    list(FILTER sources EXCLUDE REGEX "_linux\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_win\\.cpp$")
  endif()
  set(${var} ${sources} PARENT_SCOPE)
endfunction()

function(tarvo_system_test_sources var dir)
  file(GLOB sources CONFIGURE_DEPENDS ${dir}/*.cpp)
  if(WIN32)
    list(FILTER sources EXCLUDE REGEX "_linux\\.cpp$")
  else()
    list(FILTER sources EXCLUDE REGEX "_win\\.cpp$")
  endif()
  set(${var} ${sources} PARENT_SCOPE)
endfunction()

# Where the tests of a cross build find the programs they start: the build folder as the
# emulator shows it. Wine shows the build machine's / as drive Z:.
if(CMAKE_CROSSCOMPILING)
  set(TARVO_TEST_DRIVE "Z:" CACHE STRING "Drive under which the emulator shows / to the tests")
else()
  set(TARVO_TEST_DRIVE "")
endif()
