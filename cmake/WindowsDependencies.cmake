# What the Windows build takes from Debian beside the cross compiler: GoogleTest built from
# its sources (googletest ships them in /usr/src/googletest) and nlohmann's JSON headers,
# which are the same for every target (nlohmann-json3-dev).
set(TARVO_GOOGLETEST_SOURCE /usr/src/googletest/googletest CACHE PATH "GoogleTest's sources")
if(NOT EXISTS ${TARVO_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest's sources are missing in ${TARVO_GOOGLETEST_SOURCE} "
                      "(Debian package googletest)")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(${TARVO_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
# (GoogleTest names its targets GTest::gtest and GTest::gtest_main itself.)

# Only the JSON headers are taken from the build machine's include folder, through a folder
# of their own, so that no other Linux header can reach the Windows build.
set(TARVO_NLOHMANN_INCLUDE ${CMAKE_BINARY_DIR}/nlohmann-include)
if(NOT EXISTS /usr/include/nlohmann/json.hpp)
  message(FATAL_ERROR "nlohmann's JSON headers are missing (Debian package nlohmann-json3-dev)")
endif()
file(MAKE_DIRECTORY ${TARVO_NLOHMANN_INCLUDE})
file(CREATE_LINK /usr/include/nlohmann ${TARVO_NLOHMANN_INCLUDE}/nlohmann SYMBOLIC)
add_library(nlohmann_json INTERFACE)
target_include_directories(nlohmann_json SYSTEM INTERFACE ${TARVO_NLOHMANN_INCLUDE})
add_library(nlohmann_json::nlohmann_json ALIAS nlohmann_json)
set(nlohmann_json_FOUND TRUE)
