# Run by every build before the engine compiles (cmake -DENGINE_DIR=... -P this file): the engine
# includes its own headers, portable/ ones and the standard library's, nothing else. Its include
# path has no platform folder, so a plain #include "window.h" fails to compile; this refuses the
# ways around that, an include that climbs out of a folder ("../platform/window.h"), names a
# platform/ path or is absolute.
file(GLOB_RECURSE files "${ENGINE_DIR}/*.h" "${ENGINE_DIR}/*.cpp")
set(found "")
foreach(file IN LISTS files)
  file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS lines)
    if(line MATCHES "#[ \t]*include[ \t]*[<\"]([^>\"]+)[>\"]")
      set(name "${CMAKE_MATCH_1}")
      if(name MATCHES "(^|/)\\.\\.(/|$)" OR name MATCHES "(^|/)platform/" OR IS_ABSOLUTE "${name}")
        file(RELATIVE_PATH where "${ENGINE_DIR}/.." "${file}")
        string(APPEND found "\n  ${where}: ${line}")
      endif()
    endif()
  endforeach()
endforeach()
if(found)
  message(FATAL_ERROR "the engine may include only engine/, portable/ and standard headers; what it "
                      "needs from the system goes into its port (engine/port/runtime.h):${found}")
endif()
