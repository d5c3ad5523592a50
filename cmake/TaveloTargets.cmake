# Compile settings shared by every Windows target of the project.
function(tavelo_windows_target target)
  target_compile_definitions(${target} PRIVATE UNICODE _UNICODE NOMINMAX STRICT
      _WIN32_WINNT=0x0601 WINVER=0x0601 NTDDI_VERSION=0x06010000)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wno-unused-parameter
      -Wno-missing-field-initializers -Wno-cast-function-type)
endfunction()

# A Windows program of the project: a GUI program with WINDOWS, else a console program.
function(tavelo_add_program target)
  cmake_parse_arguments(ARG "WINDOWS" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  tavelo_windows_target(${target})
  # No time stamp in the file's header: the same sources give the same bytes.
  target_link_options(${target} PRIVATE -municode $<IF:$<BOOL:${ARG_WINDOWS}>,-mwindows,-mconsole>
      -Wl,--no-insert-timestamp)
  target_link_libraries(${target} PRIVATE ${ARG_LIBRARIES})
endfunction()
