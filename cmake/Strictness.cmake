# Every target of this project compiles without a single warning: warnings are errors.
# Third-party code built from source (GoogleTest for the Windows tests) opts out where it is added.
if(MSVC)
  # /utf-8: the sources are UTF-8 without a byte-order mark; without it the Turkish literals
  # would be read in the machine's code page.
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:/W4> $<$<COMPILE_LANGUAGE:CXX>:/WX>
                      $<$<COMPILE_LANGUAGE:CXX>:/permissive-> $<$<COMPILE_LANGUAGE:CXX>:/utf-8>)
else()
  add_compile_options($<$<COMPILE_LANGUAGE:CXX>:-Wall> $<$<COMPILE_LANGUAGE:CXX>:-Wextra>
                      $<$<COMPILE_LANGUAGE:CXX>:-Wpedantic> $<$<COMPILE_LANGUAGE:CXX>:-Werror>)
endif()

# The native build runs the engine's unit tests under AddressSanitizer and
# UndefinedBehaviorSanitizer; any report ends the test program with an error.
option(DVA_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
if(DVA_SANITIZE)
  if(MSVC OR WIN32)
    message(FATAL_ERROR "DVA_SANITIZE is for the native (GCC or Clang) build")
  endif()
  add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  add_link_options(-fsanitize=address,undefined)
endif()

# Adds a third-party source tree without this project's warning flags, its headers seen as
# system headers by the targets that use them.
macro(dva_add_third_party source binary)
  get_directory_property(_dva_options COMPILE_OPTIONS)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "")
  add_subdirectory(${source} ${binary} EXCLUDE_FROM_ALL)
  set_directory_properties(PROPERTIES COMPILE_OPTIONS "${_dva_options}")
endmacro()
