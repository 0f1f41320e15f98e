# The message table of the program's event-log entries: the message compiler turns a .mc file
# into a .rc script and one .bin per language, which the target's own .rc includes
# (#include "<name>.rc"). MinGW's windmc (named like the toolchain's windres) or the Windows SDK's
# mc.exe. The .mc file is UTF-8: windmc is told so; mc.exe reads Unicode only as UTF-16, so for
# it a UTF-16 copy is made first.
function(dva_add_event_messages target mc_file)
  get_filename_component(name ${mc_file} NAME_WE)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${name})
  set(outputs ${out}/${name}.rc ${out}/${name}.h ${out}/MSG00409.bin ${out}/MSG0041F.bin)
  if(MSVC)
    # mc.exe lies beside the SDK's rc.exe.
    get_filename_component(rc_dir "${CMAKE_RC_COMPILER}" DIRECTORY)
    find_program(DVA_MESSAGE_COMPILER mc HINTS ${rc_dir} REQUIRED)
    add_custom_command(OUTPUT ${outputs}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${out}
      COMMAND powershell -NoProfile -Command
              "[IO.File]::WriteAllText('${out}/${name}.mc', [IO.File]::ReadAllText('${mc_file}', [Text.Encoding]::UTF8), [Text.Encoding]::Unicode)"
      COMMAND ${DVA_MESSAGE_COMPILER} -u -U -h ${out} -r ${out} ${name}.mc
      WORKING_DIRECTORY ${out}
      DEPENDS ${mc_file}
      COMMENT "Compiling the event-log messages ${name}.mc with mc.exe"
      VERBATIM)
  else()
    string(REGEX REPLACE "windres([^/]*)$" "windmc\\1" windmc_guess "${CMAKE_RC_COMPILER}")
    find_program(DVA_MESSAGE_COMPILER NAMES ${windmc_guess} windmc REQUIRED)
    add_custom_command(OUTPUT ${outputs}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${out}
      COMMAND ${DVA_MESSAGE_COMPILER} --codepage_in=65001 --unicode_out -h ${out} -r ${out} ${mc_file}
      DEPENDS ${mc_file}
      COMMENT "Compiling the event-log messages ${name}.mc with windmc"
      VERBATIM)
  endif()
  add_custom_target(${target}_event_messages DEPENDS ${outputs})
  add_dependencies(${target} ${target}_event_messages)
  target_include_directories(${target} PRIVATE ${out})
  # The target's .rc includes the generated script, which names the .bin files.
  get_target_property(sources ${target} SOURCES)
  foreach(source IN LISTS sources)
    if(source MATCHES "\\.rc$")
      set_property(SOURCE ${source} APPEND PROPERTY OBJECT_DEPENDS ${outputs})
    endif()
  endforeach()
endfunction()
