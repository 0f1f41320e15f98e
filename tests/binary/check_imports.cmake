# Fails when the program imports, at start, a DLL that Windows could load from the program's own
# folder. Only the system's known DLLs (loaded from the system folder whatever lies beside the
# .exe) and the common controls (the manifest names the system's side-by-side copy) may be
# imported; anything else is looked up at run time from the system folder.
#   cmake -DOBJDUMP=<objdump> -DPROGRAM=<exe> -P check_imports.cmake
cmake_minimum_required(VERSION 3.20)
if(NOT EXISTS "${PROGRAM}")
  message(FATAL_ERROR "no program at ${PROGRAM}: build its preset first")
endif()

# HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs on Windows 7 to 11, lower case.
set(known_dlls
  advapi32.dll clbcatq.dll combase.dll comdlg32.dll coml2.dll difxapi.dll gdi32.dll gdiplus.dll
  imagehlp.dll imm32.dll kernel32.dll msctf.dll msvcrt.dll normaliz.dll nsi.dll ole32.dll
  oleaut32.dll psapi.dll rpcrt4.dll sechost.dll setupapi.dll shcore.dll shell32.dll shlwapi.dll
  user32.dll wldap32.dll ws2_32.dll)
set(redirected_by_manifest comctl32.dll)

execute_process(COMMAND "${OBJDUMP}" -p "${PROGRAM}" OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "${OBJDUMP} could not read ${PROGRAM}")
endif()
string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${dump}")
if(NOT lines)
  message(FATAL_ERROR "no import table found in ${PROGRAM}")
endif()
set(unsafe)
set(all)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^DLL Name: *" "" dll "${line}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" lower)
  list(APPEND all ${dll})
  if(NOT lower IN_LIST known_dlls AND NOT lower IN_LIST redirected_by_manifest)
    list(APPEND unsafe ${dll})
  endif()
endforeach()
# Delay-loaded DLLs are loaded by the same search as LoadLibrary without a folder: none at all.
# objdump lists the data directory as "Entry d <address> <size> Delay Import Directory".
if(dump MATCHES "Entry d [0-9a-fA-F]+ ([0-9a-fA-F]+) Delay Import Directory")
  if(NOT CMAKE_MATCH_1 MATCHES "^0+$")
    message(FATAL_ERROR "${PROGRAM} has a delay-load import table")
  endif()
else()
  message(FATAL_ERROR "no data directory found in ${PROGRAM}")
endif()
if(unsafe)
  message(FATAL_ERROR "${PROGRAM} imports DLLs that are not known DLLs: ${unsafe} (all imports: ${all})")
endif()
message(STATUS "imports of ${PROGRAM}: ${all}")
