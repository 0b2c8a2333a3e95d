# Helpers of the build: choosing the source files of the system built for, registering tests.
# tarvo_add_gtest(TARGET [CASES] [DISCOVERY_TIMEOUT SECONDS] [NO_PRETTY_VALUES]
#                 [PROPERTIES ...]): registers a GoogleTest program.
# - On Linux every test case becomes a ctest test of its own (gtest_discover_tests), except in
#   the sanitizer tree: there a test suite is one ctest test ("Suite.*"), its cases run in one
#   process. Every start of a sanitized program costs 0.1-0.15 s (most of all for those with
#   Qt), which for one process per case was half of the tree's test time. A suite's COST is
#   the number of its cases, so ctest starts the largest first. CASES keeps one test per case
#   there too, for programs whose cases mostly wait for the programs they start: they run
#   side by side then.
# - In the Windows build the program runs as one process under the emulator (wine,
#   CMAKE_CROSSCOMPILING_EMULATOR), since every start of a Windows program there costs far
#   more than its tests.
set(TARVO_GTEST_SUITES_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/GTestSuites.cmake")
function(tarvo_add_gtest target)
  cmake_parse_arguments(arg "CASES;NO_PRETTY_VALUES" "DISCOVERY_TIMEOUT" "PROPERTIES" ${ARGN})
  set(discover ${ARGN})
  list(REMOVE_ITEM discover CASES)
  if(CMAKE_CROSSCOMPILING)
    add_test(NAME ${target} COMMAND ${target} --gtest_brief=1)
    set_tests_properties(${target} PROPERTIES TIMEOUT 600)
  elseif(TARVO_SANITIZE AND NOT arg_CASES)
    if(NOT arg_DISCOVERY_TIMEOUT)
      set(arg_DISCOVERY_TIMEOUT 5)
    endif()
    set(suites "${CMAKE_CURRENT_BINARY_DIR}/${target}_suites.cmake")
    set(include "${CMAKE_CURRENT_BINARY_DIR}/${target}_include.cmake")
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND "${CMAKE_COMMAND}" "-DTEST_EXECUTABLE=$<TARGET_FILE:${target}>"
        "-DSUITES_FILE=${suites}" "-DTIMEOUT=${arg_DISCOVERY_TIMEOUT}"
        -P "${TARVO_GTEST_SUITES_SCRIPT}"
      BYPRODUCTS "${suites}" VERBATIM)
    set(properties "")
    foreach(property IN LISTS arg_PROPERTIES)
      string(APPEND properties " [==[${property}]==]")
    endforeach()
    string(CONFIGURE [=[
macro(tarvo_gtest_suite suite cases)
  add_test("${suite}.*" [==[$<TARGET_FILE:@target@>]==] "--gtest_filter=${suite}.*")
  set_tests_properties("${suite}.*" PROPERTIES COST ${cases}@properties@)
endmacro()
if(EXISTS [==[@suites@]==])
  include([==[@suites@]==])
else()
  add_test([==[@target@_NOT_BUILT]==] [==[@target@_NOT_BUILT]==])
endif()
]=] content @ONLY)
    file(GENERATE OUTPUT "${include}" CONTENT "${content}")
    set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${include}")
  else()
    gtest_discover_tests(${target} ${discover})
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

# The cost of a build lies in the test programs: about a hundred sources that each parse
# GoogleTest (and for most Qt) and generate code for large test bodies. In the g++ trees of
# this machine (not the cross build, not the fuzz builds) tarvo_tune_tests(DIR...) gives the
# programs and libraries of DIR and its subfolders
# - their own sources without optimisation and with line tables only (-O0 -g1) in the
#   default RelWithDebInfo build: the code under test keeps -O2 -g, backtraces keep file and
#   line; that roughly halves what the compiler spends on a test source;
# - GoogleTest, the standard headers they use most and, where they use Qt, Qt's common
#   headers precompiled: once for the test programs with Qt's widgets (once per folder for
#   those with Qt's test library), once for those with Qt Core only and once for those
#   without Qt (the first of each kind without definitions of its own builds it, the others
#   reuse it: they share their compile options and the macros the headers read; where g++
#   finds that a precompiled header does not fit, it warns and reads the headers themselves).
set(TARVO_TEST_PCH <gtest/gtest.h> <algorithm> <chrono> <filesystem> <fstream> <functional>
  <map> <memory> <optional> <sstream> <string> <thread> <vector>)
set(TARVO_QT_CORE_PCH <QCoreApplication> <QObject> <QString> <QTimer>)
set(TARVO_QT_PCH ${TARVO_QT_CORE_PCH} <QApplication> <QWidget>)
# What links Qt's widgets, or only Qt Core, directly or through one of our Qt libraries.
set(TARVO_QT_WIDGETS_LINKS "Qt6::Widgets|tarvo_app|tarvo_display|tarvo_framework_qt|tarvo_metrics")
set(TARVO_QT_CORE_LINKS "Qt6::|tarvo_comm_qt")

function(tarvo_tune_tests)
  if(CMAKE_CROSSCOMPILING OR TARVO_BUILD_FUZZ OR NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    return()
  endif()
  foreach(dir IN LISTS ARGN)
    if(EXISTS "${CMAKE_SOURCE_DIR}/${dir}/CMakeLists.txt")
      tarvo_tune_test_folder("${CMAKE_SOURCE_DIR}/${dir}")
    endif()
  endforeach()
  # The programs with definitions that came before any without: they reuse the header of one
  # without, or, where every program of the kind has definitions, each makes its own.
  get_property(kinds GLOBAL PROPERTY TARVO_TEST_PCH_KINDS)
  list(REMOVE_DUPLICATES kinds)
  foreach(kind IN LISTS kinds)
    get_property(owner GLOBAL PROPERTY TARVO_TEST_PCH_${kind})
    get_property(headers GLOBAL PROPERTY TARVO_TEST_PCH_HEADERS_${kind})
    get_property(waiting GLOBAL PROPERTY TARVO_TEST_PCH_WAITING_${kind})
    foreach(target IN LISTS waiting)
      if(owner)
        target_precompile_headers(${target} REUSE_FROM ${owner})
      else()
        target_precompile_headers(${target} PRIVATE ${headers})
      endif()
    endforeach()
  endforeach()
endfunction()

function(tarvo_tune_test_folder folder)
  get_property(targets DIRECTORY "${folder}" PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(NOT type MATCHES "^(EXECUTABLE|STATIC_LIBRARY)$")
      continue()
    endif()
    target_compile_options(${target} PRIVATE "$<$<CONFIG:RelWithDebInfo>:-O0;-g1>")
    get_target_property(links ${target} LINK_LIBRARIES)
    if(NOT links MATCHES "GTest::")
      continue()
    endif()
    set(headers ${TARVO_TEST_PCH})
    set(kind plain)
    if(TARVO_BUILD_QT AND links MATCHES "${TARVO_QT_WIDGETS_LINKS}")
      list(APPEND headers ${TARVO_QT_PCH})
      set(kind widgets)
      # Qt's test library defines QT_TESTCASE_BUILDDIR as the folder of the program, which a
      # precompiled header must match: one per folder for its users.
      if(links MATCHES "Qt6::Test")
        get_target_property(programFolder ${target} BINARY_DIR)
        string(MAKE_C_IDENTIFIER "${programFolder}" programFolder)
        set(kind widgets_${programFolder})
      endif()
    elseif(TARVO_BUILD_QT AND links MATCHES "${TARVO_QT_CORE_LINKS}")
      list(APPEND headers ${TARVO_QT_CORE_PCH})
      set(kind core)
    endif()
    set_property(GLOBAL APPEND PROPERTY TARVO_TEST_PCH_KINDS ${kind})
    set_property(GLOBAL PROPERTY TARVO_TEST_PCH_HEADERS_${kind} "${headers}")
    get_property(owner GLOBAL PROPERTY TARVO_TEST_PCH_${kind})
    get_target_property(definitions ${target} COMPILE_DEFINITIONS)
    if(owner)
      target_precompile_headers(${target} REUSE_FROM ${owner})
    elseif(definitions)
      # A header precompiled with a macro of its own is refused where that macro is not
      # defined: a program with definitions reuses the header of one without, made later.
      set_property(GLOBAL APPEND PROPERTY TARVO_TEST_PCH_WAITING_${kind} ${target})
    else()
      target_precompile_headers(${target} PRIVATE ${headers})
      set_property(GLOBAL PROPERTY TARVO_TEST_PCH_${kind} ${target})
    endif()
  endforeach()
  get_property(folders DIRECTORY "${folder}" PROPERTY SUBDIRECTORIES)
  foreach(sub IN LISTS folders)
    tarvo_tune_test_folder("${sub}")
  endforeach()
endfunction()

# tarvo_precompile_qt(TARGET...): the console's Qt libraries precompile Qt's common headers and
# the standard headers they use most, once per library instead of once per source.
function(tarvo_precompile_qt)
  if(NOT TARVO_BUILD_QT OR TARVO_BUILD_FUZZ OR NOT CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    return()
  endif()
  foreach(target IN LISTS ARGN)
    if(TARGET ${target})
      target_precompile_headers(${target} PRIVATE ${TARVO_QT_PCH} <functional> <map> <memory>
        <string> <vector>)
    endif()
  endforeach()
endfunction()
