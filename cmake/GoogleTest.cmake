# GoogleTest for the native tests. On the build machine, Debian's libgtest-dev; where no
# GoogleTest for the target is installed (a cross build, whose tests cannot link the build
# machine's libraries), it is built here from a source tree: Debian's /usr/src/googletest,
# which libgtest-dev ships, or any GoogleTest 1.10 or later given as CHORDSMITH_GTEST_SOURCE_DIR.
set(CHORDSMITH_GTEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest sources, used when no installed GoogleTest suits the target")
find_package(GTest QUIET)
if(NOT GTest_FOUND)
  if(NOT EXISTS ${CHORDSMITH_GTEST_SOURCE_DIR}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest for ${CMAKE_SYSTEM_PROCESSOR}: install libgtest-dev (it ships "
      "/usr/src/googletest) or set CHORDSMITH_GTEST_SOURCE_DIR to a GoogleTest source tree")
  endif()
  message(STATUS "Building GoogleTest from ${CHORDSMITH_GTEST_SOURCE_DIR}")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${CHORDSMITH_GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
  if(NOT TARGET GTest::gtest)  # older trees name the targets without the namespace
    add_library(GTest::gtest ALIAS gtest)
    add_library(GTest::gtest_main ALIAS gtest_main)
  endif()
endif()
