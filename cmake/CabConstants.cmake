# The cab's numbers for the pages' scripts: host/output/page/cab_constants.js.in
# filled from the plug-in's header, the core's description of the cab and its
# traced indices (cmake/fill_page.cmake's constants), so that no script writes
# one of them.
#   ats_cab_constants(path/cab_constants.js)
get_filename_component(ATS_CAB_CONSTANTS_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)

function(ats_cab_constants output)
  set(root ${ATS_CAB_CONSTANTS_ROOT})
  set(template ${root}/host/output/page/cab_constants.js.in)
  add_custom_command(
    OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DTEMPLATE=${template} -DOUTPUT=${output}
            "-DCONSTANTS=ats=${root}/plugin/atsplugin.h|cab=${root}/host/sim/cab.h|traced=${root}/host/sim/cab_tables.h"
            -P ${root}/cmake/fill_page.cmake
    DEPENDS ${template} ${root}/plugin/atsplugin.h ${root}/host/sim/cab.h
            ${root}/host/sim/cab_tables.h
            ${root}/cmake/fill_page.cmake
    COMMENT "Writing the cab's numbers for the pages' scripts"
    VERBATIM)
endfunction()
