# Cases that must run a 32-bit Windows program, on machines whose Linux kernel cannot run one
# (scripts/lib.sh, x86_unavailable): such a case is reported by CTest as skipped, with the reason
# in its output, never as passed. scripts/wine-run does the skipping for a 32-bit program it is
# asked to run (exit code 77) and tells a 64-bit test program the reason, which skips the case
# itself (GTEST_SKIP).

set(DVA_X86_SKIP_CODE 77)  # X86_SKIP_CODE in scripts/lib.sh

# gtest_discover_tests for a 32-bit test program. Discovery runs the program itself (at test
# time), which such a machine cannot do: there the discovered cases are replaced by one case,
# PREFIX.TARGET, that skips with the reason. Arguments after TARGET go to gtest_discover_tests.
function(dva_discover_32bit_tests target)
  gtest_discover_tests(${target} ${ARGN})
  get_property(includes DIRECTORY PROPERTY TEST_INCLUDE_FILES)
  list(POP_BACK includes discovered)
  cmake_parse_arguments(arg "" "TEST_PREFIX" "" ${ARGN})
  set(wrapper "${CMAKE_CURRENT_BINARY_DIR}/${target}_32bit_include.cmake")
  file(GENERATE OUTPUT "${wrapper}" CONTENT "\
# x86_unavailable succeeds (and prints the reason) where the machine cannot run 32-bit programs.
execute_process(COMMAND bash -c \"source '${PROJECT_SOURCE_DIR}/scripts/lib.sh' && x86_unavailable\"
                RESULT_VARIABLE probe OUTPUT_QUIET ERROR_QUIET)
if(probe EQUAL 0)
  add_test([=[${arg_TEST_PREFIX}${target}]=] [=[${PROJECT_SOURCE_DIR}/scripts/wine-run]=]
           [=[${CMAKE_BINARY_DIR}/wineprefix]=] [=[$<TARGET_FILE:${target}>]=])  # the 32-bit program is not started
  set_tests_properties([=[${arg_TEST_PREFIX}${target}]=] PROPERTIES SKIP_RETURN_CODE ${DVA_X86_SKIP_CODE})
else()
  include([=[${discovered}]=])
endif()
")
  set_property(DIRECTORY PROPERTY TEST_INCLUDE_FILES ${includes} "${wrapper}")
endfunction()
