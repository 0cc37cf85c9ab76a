# Writes one self-contained page from a template: each "{{name}}" becomes the
# text of a file, a file's bytes in base64 (a binary carried inline), or the
# numbered names of a C or C++ header (`NAME = 3,` or `kName = 3,` in an
# enum, `#define NAME 3` or `(-3)`, `constexpr double kName = 0.3;`) as a
# frozen JavaScript object, so that a script takes its numbers from the
# header that is their one definition. A table of trace columns, one row to a
# line (`constexpr std::array<...> kName = {{` then `{index, "p12_name"},`
# rows, the compiler holding each name's number to its index), becomes the
# list of its indices: `kName: [.., 12, ..]`.
# A catalogue is a folder of JSON files, one by language (en.json, ja.json),
# filled in as one JSON object keyed by the files' names ({"en": {...}}), so
# that a language is added by adding its file; languages that disagree on
# their keys fail the page (catalogue.cmake).
#   cmake -DTEMPLATE=page.html -DOUTPUT=out.html -DTEXT="name=path|other=path"
#         -DBASE64="name=path" -DCONSTANTS="name=header.h" -DCATALOGUE="name=dir"
#         -P fill_page.cmake
# One pass over the template, so that inserted text is never read again for
# names; a name with nothing to fill it is an error, never left in the page.
cmake_minimum_required(VERSION 3.20)
include(${CMAKE_CURRENT_LIST_DIR}/catalogue.cmake)
string(REPLACE "|" ";" TEXT "${TEXT}")
string(REPLACE "|" ";" BASE64 "${BASE64}")
string(REPLACE "|" ";" CONSTANTS "${CONSTANTS}")
string(REPLACE "|" ";" CATALOGUE "${CATALOGUE}")
foreach(entry IN LISTS TEXT BASE64 CONSTANTS CATALOGUE)
  string(REPLACE "=" ";" pair "${entry}")
  list(GET pair 0 name)
  list(GET pair 1 path)
  if(NOT EXISTS "${path}")
    message(FATAL_ERROR "fill_page: ${path} (for {{${name}}}) does not exist")
  endif()
  set(kind_${name} text)
  set(path_${name} "${path}")
endforeach()
foreach(entry IN LISTS BASE64)
  string(REPLACE "=" ";" pair "${entry}")
  list(GET pair 0 name)
  set(kind_${name} base64)
endforeach()
foreach(entry IN LISTS CONSTANTS)
  string(REPLACE "=" ";" pair "${entry}")
  list(GET pair 0 name)
  set(kind_${name} constants)
endforeach()
foreach(entry IN LISTS CATALOGUE)
  string(REPLACE "=" ";" pair "${entry}")
  list(GET pair 0 name)
  set(kind_${name} catalogue)
endforeach()

file(READ "${TEMPLATE}" rest)
set(page "")
while(TRUE)
  string(FIND "${rest}" "{{" open)
  if(open EQUAL -1)
    break()
  endif()
  string(SUBSTRING "${rest}" 0 ${open} before)
  string(APPEND page "${before}")
  math(EXPR open "${open} + 2")
  string(SUBSTRING "${rest}" ${open} -1 rest)
  string(FIND "${rest}" "}}" close)
  if(close EQUAL -1)
    message(FATAL_ERROR "fill_page: ${TEMPLATE} has a {{ without its }}")
  endif()
  string(SUBSTRING "${rest}" 0 ${close} name)
  math(EXPR close "${close} + 2")
  string(SUBSTRING "${rest}" ${close} -1 rest)
  if(NOT DEFINED kind_${name})
    message(FATAL_ERROR "fill_page: nothing to fill {{${name}}} in ${TEMPLATE} with")
  elseif(kind_${name} STREQUAL "base64")
    # coreutils' base64: CMake has no encoder of its own.
    execute_process(COMMAND base64 -w 0 "${path_${name}}" OUTPUT_VARIABLE text
                    RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "fill_page: base64 of ${path_${name}} failed")
    endif()
  elseif(kind_${name} STREQUAL "catalogue")
    ats_catalogue("${path_${name}}" text)
  elseif(kind_${name} STREQUAL "constants")
    # A name is C's (NAME) or C++'s (kName); a number is a decimal, in
    # parentheses or not, with a fraction or not, ending where the line or
    # the list entry does (so that 0x20000 is not read as 0).
    set(cname "[A-Zk][A-Za-z0-9_]*")
    set(number "\\(?(-?[0-9]+\\.?[0-9]*)f?\\)?[ \t]*([,;]|//|/\\*|$)")
    set(define "^[ \t]*#define[ \t]+(${cname})[ \t]+${number}")
    set(entry "^[ \t]*(${cname})[ \t]*=[ \t]*${number}")
    set(constexpr "^[ \t]*(inline[ \t]+)?constexpr[ \t]+[a-z0-9_:]+[ \t]+(${cname})[ \t]*=[ \t]*${number}")
    set(table "^[ \t]*(inline[ \t]+)?constexpr[ \t]+std::array<[^>]*>[ \t]+(${cname})[ \t]*=[ \t]*{{$")
    set(column "^[ \t]*{[^\"]*, \"[a-z]([0-9]+)_[a-z0-9_]*\"},?$")
    file(STRINGS "${path_${name}}" lines REGEX "^[ \t]*(#define|inline|constexpr|[A-Zk{}])")
    set(text "Object.freeze({")
    # A table being read: its name and its indices so far; a row that is not
    # a column's drops it (another kind of table, such as a list of checks).
    set(table_name "")
    foreach(line IN LISTS lines)
      if(NOT table_name STREQUAL "")
        if(line MATCHES "^[ \t]*}}")
          if(table_rows AND table_whole)
            list(JOIN table_rows ", " rows)
            string(APPEND text "${table_name}: Object.freeze([${rows}]), ")
          endif()
          set(table_name "")
        elseif(line MATCHES "${column}")
          list(APPEND table_rows ${CMAKE_MATCH_1})
        else()
          set(table_whole FALSE)
        endif()
      elseif(line MATCHES "${table}")
        set(table_name "${CMAKE_MATCH_2}")
        set(table_rows "")
        set(table_whole TRUE)
      elseif(line MATCHES "${define}")
        string(APPEND text "${CMAKE_MATCH_1}: ${CMAKE_MATCH_2}, ")
      elseif(line MATCHES "${entry}")
        string(APPEND text "${CMAKE_MATCH_1}: ${CMAKE_MATCH_2}, ")
      elseif(line MATCHES "${constexpr}")
        string(APPEND text "${CMAKE_MATCH_2}: ${CMAKE_MATCH_3}, ")
      endif()
    endforeach()
    string(APPEND text "})")
  else()
    file(READ "${path_${name}}" text)
  endif()
  string(APPEND page "${text}")
endwhile()
string(APPEND page "${rest}")
file(WRITE "${OUTPUT}" "${page}")
