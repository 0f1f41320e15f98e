# Static analysis of every source of the project with cppcheck, run as the test
# "analysis.cppcheck" of the native build: any finding fails it. What is analysed, in which
# configuration, is dravonil.cppcheck at the top of the tree.
option(DVA_ANALYSE "Run cppcheck over the sources as a test of the native build" ON)
if(DVA_ANALYSE)
  find_program(DVA_CPPCHECK cppcheck)
  if(NOT DVA_CPPCHECK)
    message(FATAL_ERROR "cppcheck not found: install it (scripts/setup does) or configure with -DDVA_ANALYSE=OFF")
  endif()
  add_test(NAME analysis.cppcheck
    COMMAND ${DVA_CPPCHECK} --project=${PROJECT_SOURCE_DIR}/dravonil.cppcheck
            --enable=warning,style,performance,portability --std=c++20 --inline-suppr
            --error-exitcode=1 --quiet -I${CMAKE_BINARY_DIR}/generated
            "--template={file}:{line}:{column}: {severity} [{id}]: {message}"
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
endif()
