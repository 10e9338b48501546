# SPDX-License-Identifier: GPL-3.0-or-later
# kv_soname(VAR LIBRARY): the name the dynamic loader knows LIBRARY (a path) by, its SONAME
# ("libsodium.so.23"), for a library the program opens while it runs instead of linking it. Taken
# from the library the headers were found with, so the two always belong together.
function(kv_soname variable library)
  execute_process(COMMAND ${CMAKE_OBJDUMP} -p ${library} OUTPUT_VARIABLE dump
                  COMMAND_ERROR_IS_FATAL ANY)
  if(NOT dump MATCHES "SONAME +([^\n]+)")
    message(FATAL_ERROR "${library} has no SONAME")
  endif()
  set(${variable} ${CMAKE_MATCH_1} PARENT_SCOPE)
endfunction()
