# The plug-in alone as a WebAssembly module, ATSVorlan800.wasm: the same
# objects as the DLL, exporting the sixteen plain entry-point names and the
# heap (malloc and free, so that a host can place its records and arrays in
# the module's memory). It imports nothing: the keyboard watch finds no
# keyboard here, and its end of the process traps.
include(${CMAKE_CURRENT_LIST_DIR}/entry_points.cmake)
add_executable(ATSVorlan800 $<TARGET_OBJECTS:ats_objects>)
set(ats_exports "")
foreach(name IN LISTS ATS_ENTRY_POINT_NAMES ITEMS malloc free)
  list(APPEND ats_exports -Wl,--export=${name})
endforeach()
target_link_options(ATSVorlan800 PRIVATE ${ats_exports} -Wl,--strip-all)
set_target_properties(ATSVorlan800 PROPERTIES OUTPUT_NAME ATSVorlan800
                                              RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
