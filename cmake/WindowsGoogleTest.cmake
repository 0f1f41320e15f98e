# GoogleTest for the Windows test programs, as GTest::gtest_main:
#   - an installed GoogleTest when CMake finds one (vcpkg, a CMake install, GTEST_ROOT);
#   - else, when cross-building on Debian, the sources of its googletest package, built here
#     with the MinGW compilers (there is no MinGW build of GoogleTest to install);
#   - else none: only the program and the benchmark are built, and configuring says so.
set(DVA_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to build when none is installed")

find_package(GTest QUIET)
if(NOT TARGET GTest::gtest_main AND CMAKE_CROSSCOMPILING AND EXISTS ${DVA_GOOGLETEST_SOURCE}/googletest/CMakeLists.txt)
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  dva_add_third_party(${DVA_GOOGLETEST_SOURCE}/googletest ${CMAKE_BINARY_DIR}/googletest)
  # Its headers are someone else's: this project's warning flags do not apply to them.
  # (It names its own targets GTest::gtest and GTest::gtest_main.)
  foreach(_dva_gtest gtest gtest_main)
    get_target_property(_dva_includes ${_dva_gtest} INTERFACE_INCLUDE_DIRECTORIES)
    set_target_properties(${_dva_gtest} PROPERTIES INTERFACE_SYSTEM_INCLUDE_DIRECTORIES "${_dva_includes}")
  endforeach()
endif()
if(NOT TARGET GTest::gtest_main)
  message(STATUS "GoogleTest not found: building the program, the benchmark and the screenshot driver, without the end-to-end "
                 "tests (point CMake at an installed GoogleTest with -DGTest_DIR=... or -DGTEST_ROOT=...)")
endif()
