# The driving page as one self-contained file: host/web/page/drive.html with
# its style and scripts, the cab's files shared with the cab view
# (host/output/page/cab.*), and the WebAssembly module inline in base64, so
# that the page opens from file:// with nothing to fetch.
#   ats_drive_page(TARGET drive_page MODULE path/drive.wasm DEPENDS drive OUTPUT path/drive.html)
set(ATS_DRIVE_PAGE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/../host/web/page)
set(ATS_CAB_PAGE_SOURCES ${CMAKE_CURRENT_LIST_DIR}/../host/output/page)
set(ATS_PAGE_API ${CMAKE_CURRENT_LIST_DIR}/../host/web/page_api.h)
set(ATS_FILL_PAGE ${CMAKE_CURRENT_LIST_DIR}/fill_page.cmake)
include(${CMAKE_CURRENT_LIST_DIR}/CabConstants.cmake)

function(ats_drive_page)
  cmake_parse_arguments(PAGE "" "TARGET;MODULE;OUTPUT" "DEPENDS" ${ARGN})
  get_filename_component(page ${ATS_DRIVE_PAGE_SOURCES} ABSOLUTE)
  get_filename_component(cab ${ATS_CAB_PAGE_SOURCES} ABSOLUTE)
  get_filename_component(api ${ATS_PAGE_API} ABSOLUTE)
  set(constants ${CMAKE_CURRENT_BINARY_DIR}/${PAGE_TARGET}_cab_constants.js)
  ats_cab_constants(${constants})
  set(text "cab=${cab}/cab.html|cab_style=${cab}/cab.css|cab_script=${cab}/cab.js")
  string(APPEND text "|cab_constants=${constants}")
  string(APPEND text "|style=${page}/drive.css|audio_script=${page}/audio.js|script=${page}/drive.js")
  # The words, one file by language: a language added is a file added.
  file(GLOB words CONFIGURE_DEPENDS ${page}/words/*.json)
  add_custom_command(
    OUTPUT ${PAGE_OUTPUT}
    COMMAND ${CMAKE_COMMAND} -DTEMPLATE=${page}/drive.html -DOUTPUT=${PAGE_OUTPUT}
            "-DTEXT=${text}" "-DBASE64=module=${PAGE_MODULE}" "-DCONSTANTS=page_api=${api}"
            "-DCATALOGUE=words=${page}/words"
            -P ${ATS_FILL_PAGE}
    DEPENDS ${page}/drive.html ${page}/drive.css ${page}/drive.js ${page}/audio.js
            ${cab}/cab.html ${cab}/cab.css ${cab}/cab.js ${constants} ${words} ${api} ${PAGE_MODULE}
            ${PAGE_DEPENDS}
            ${ATS_FILL_PAGE}
    COMMENT "Writing the driving page, its module inline"
    VERBATIM)
  add_custom_target(${PAGE_TARGET} ALL DEPENDS ${PAGE_OUTPUT})
endfunction()
