# No installed GoogleTest for this target (a cross build): build it from the
# sources that Debian's googletest package installs.
set(TARNWICK_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
if(NOT EXISTS ${TARNWICK_GTEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR "GoogleTest not found: install libgtest-dev, or googletest and set TARNWICK_GTEST_SOURCE")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(${TARNWICK_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
