# The entry points' names for the build, read from plugin/entry_points.h,
# the one list of them: ATS_ENTRY_POINT_NAMES (the plain names, in order) and
# ATS_ENTRY_POINT_DECORATIONS (each 32-bit decorated name's tail);
# ats_decorated_names(VAR BITS) makes the decorated names of a 32- or 64-bit
# build, ats_write_def(FILE BITS) that build's module-definition file,
# ats_write_decorated_header(FILE BITS) a C header naming each decorated
# name for the test programs, and ats_write_names(FILE) the plain names one to
# a line for the tests' scripts.
set(ATS_ENTRY_POINTS_HEADER ${CMAKE_CURRENT_LIST_DIR}/../plugin/entry_points.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ATS_ENTRY_POINTS_HEADER})
# The rows end in the macro's backslashes, which a CMake list would read as
# escapes: they go before the text is cut into lines.
file(READ ${ATS_ENTRY_POINTS_HEADER} ats_entry_text)
string(REPLACE "\\\n" "\n" ats_entry_text "${ats_entry_text}")
string(REGEX MATCHALL "\n  X\\([^\n]*" ats_entry_rows "${ats_entry_text}")
set(ATS_ENTRY_POINT_NAMES "")
set(ATS_ENTRY_POINT_DECORATIONS "")
foreach(row IN LISTS ats_entry_rows)
  if(NOT row MATCHES "^\n  X\\(([A-Za-z]+), .*, [0-9]+, \"([^\"]+)\"\\)")
    message(FATAL_ERROR "entry_points.h: cannot read the row '${row}'")
  endif()
  list(APPEND ATS_ENTRY_POINT_NAMES ${CMAKE_MATCH_1})
  list(APPEND ATS_ENTRY_POINT_DECORATIONS "${CMAKE_MATCH_2}")
endforeach()
list(LENGTH ATS_ENTRY_POINT_NAMES ats_entry_count)
if(NOT ats_entry_count EQUAL 16)
  message(FATAL_ERROR "entry_points.h: ${ats_entry_count} rows read, not the 16 entry points")
endif()

# The decorated name of each entry point's C++ declaration, in the list's
# order. The 64-bit names have x64's one calling convention ("YA" where 32-bit
# __stdcall has "YG") and 64-bit pointers ("PEA" for "PA").
function(ats_decorated_names var bits)
  set(names "")
  if(bits EQUAL 64)
    set(convention YA)
  else()
    set(convention YG)
  endif()
  foreach(name decoration IN ZIP_LISTS ATS_ENTRY_POINT_NAMES ATS_ENTRY_POINT_DECORATIONS)
    if(bits EQUAL 64)
      string(REPLACE "PA" "PEA" decoration "${decoration}")
    endif()
    list(APPEND names "?ats${name}@@${convention}${decoration}")
  endforeach()
  set(${var} "${names}" PARENT_SCOPE)
endfunction()

# Written only when the text changes, so that configuring again rebuilds
# nothing.
function(ats_write_if_changed file text)
  file(WRITE ${file}.new "${text}")
  file(COPY_FILE ${file}.new ${file} ONLY_IF_DIFFERENT)
  file(REMOVE ${file}.new)
endfunction()

# Each entry point under its plain name and under the decorated name of its
# C++ declaration, both leading to the same function.
function(ats_write_def file bits)
  if(bits EQUAL 64)
    set(text [=[; Export table of the 64-bit ATSVorlan800.dll: each entry point under its plain
; name and under the decorated name of its C++ declaration as a 64-bit build
; decorates it (x64 has one calling convention, so "YA" where the 32-bit table
; has __stdcall's "YG", and 64-bit pointers, "PEAH"), both leading to the same
; function.
]=])
  else()
    set(text [=[; Export table of ATSVorlan800.dll: each entry point under its plain name and
; under the decorated name of its __stdcall C++ declaration, both leading to the
; same function.
]=])
  endif()
  string(APPEND text "LIBRARY \"ATSVorlan800.dll\"\nEXPORTS\n")
  foreach(name IN LISTS ATS_ENTRY_POINT_NAMES)
    string(APPEND text "  ${name} = ats${name}\n")
  endforeach()
  ats_decorated_names(decorated ${bits})
  foreach(name decorated_name IN ZIP_LISTS ATS_ENTRY_POINT_NAMES decorated)
    string(APPEND text "  \"${decorated_name}\" = ats${name}\n")
  endforeach()
  ats_write_if_changed(${file} "${text}")
endfunction()

# For each entry point NAME, ATS_DECORATED_NAME_NAME: its decorated name as a
# C string, as the module-definition file of the same build gives it.
function(ats_write_decorated_header file bits)
  set(text "/* Written by the build from plugin/entry_points.h (cmake/entry_points.cmake). */\n")
  ats_decorated_names(decorated ${bits})
  foreach(name decorated_name IN ZIP_LISTS ATS_ENTRY_POINT_NAMES decorated)
    string(APPEND text "#define ATS_DECORATED_NAME_${name} \"${decorated_name}\"\n")
  endforeach()
  ats_write_if_changed(${file} "${text}")
endfunction()

# The plain names, one to a line, in the list's order.
function(ats_write_names file)
  list(JOIN ATS_ENTRY_POINT_NAMES "\n" text)
  ats_write_if_changed(${file} "${text}\n")
endfunction()
