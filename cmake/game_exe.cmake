# The game program that setup.exe carries must be a 64-bit Windows program:
# a PE32+ image (optional header magic 0x20b) for x86-64 (machine 0x8664),
# executable and not a DLL. Anything else would be installed as tolvenar.exe
# and fail only on the user's machine.
#
# Included, it defines game_exe_problem(). Run as a script
# (cmake -DEXE=... -DCOPY=... -P game_exe.cmake), it checks EXE and copies it
# to COPY, the file the resource script embeds; a wrong file stops the build.

# game_exe_problem(FILE VAR): VAR is empty when FILE is such a program, or
# says what is wrong with it.
function(game_exe_problem file var)
  set(${var} "" PARENT_SCOPE)
  if(NOT EXISTS "${file}" OR IS_DIRECTORY "${file}")
    set(${var} "there is no such file" PARENT_SCOPE)
    return()
  endif()
  file(SIZE "${file}" size)
  if(size LESS 64)
    set(${var} "it is too short for a program file (${size} bytes)" PARENT_SCOPE)
    return()
  endif()
  file(READ "${file}" mz LIMIT 2 HEX)
  _game_exe_le("${file}" 60 4 pe)
  math(EXPR headers_end "${pe} + 26")
  if(NOT mz STREQUAL "4d5a" OR size LESS headers_end)
    set(${var} "it is not a Windows program (no MZ and PE headers)" PARENT_SCOPE)
    return()
  endif()
  file(READ "${file}" signature OFFSET ${pe} LIMIT 4 HEX)
  _game_exe_le("${file}" "${pe} + 4" 2 machine)
  _game_exe_le("${file}" "${pe} + 22" 2 flags)
  _game_exe_le("${file}" "${pe} + 24" 2 magic)
  math(EXPR machine_hex ${machine} OUTPUT_FORMAT HEXADECIMAL)
  math(EXPR magic_hex ${magic} OUTPUT_FORMAT HEXADECIMAL)
  math(EXPR dll "${flags} & 0x2000")
  math(EXPR executable "${flags} & 0x0002")
  if(NOT signature STREQUAL "50450000")
    set(${var} "it is not a Windows program (no PE signature)" PARENT_SCOPE)
  elseif(NOT machine EQUAL 0x8664)
    set(${var} "it is built for machine ${machine_hex}, not for x86-64 (0x8664)" PARENT_SCOPE)
  elseif(NOT magic EQUAL 0x20b)
    set(${var} "it is not a PE32+ image (optional header magic ${magic_hex}, not 0x20b)" PARENT_SCOPE)
  elseif(NOT dll EQUAL 0)
    set(${var} "it is a DLL, not a program" PARENT_SCOPE)
  elseif(executable EQUAL 0)
    set(${var} "its header does not mark it as an executable image" PARENT_SCOPE)
  endif()
endfunction()

# The little-endian number of LENGTH bytes at OFFSET (an expression) of FILE.
function(_game_exe_le file offset length var)
  math(EXPR at "${offset}")
  file(READ "${file}" hex OFFSET ${at} LIMIT ${length} HEX)
  set(value "")
  string(LENGTH "${hex}" n)
  while(n GREATER 0)
    math(EXPR n "${n} - 2")
    string(SUBSTRING "${hex}" ${n} 2 byte)
    string(APPEND value ${byte})
  endwhile()
  if(value STREQUAL "")
    set(value 0)
  endif()
  math(EXPR value "0x${value}")
  set(${var} ${value} PARENT_SCOPE)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  game_exe_problem("${EXE}" problem)
  if(problem)
    message(FATAL_ERROR "The game program ${EXE} cannot be carried: ${problem}. "
      "TOLVENAR_GAME_EXE must name a 64-bit Windows program (PE32+, x86-64).")
  endif()
  configure_file("${EXE}" "${COPY}" COPYONLY)
endif()
