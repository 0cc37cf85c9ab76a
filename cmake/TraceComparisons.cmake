# ats_add_trace_comparisons(TAG TRACES_DIR COMPARE...): the tests TAG_trace_*
# that run atshost on the same inputs with the native library and with a
# Windows build, and require identical traces (tests/compare_traces.py, given
# as COMPARE with its leading arguments): the built-in demo drive, every
# example scenario and route, and a long seeded random scenario (written first
# by the fixture test TAG_random_scenario, with one seed for every build, so
# that all of them meet on the same scenario). The names of the comparison
# tests are returned in TAG_TRACE_TESTS.
function(ats_add_trace_comparisons tag traces)
  set(compare ${ARGN})
  add_test(NAME ${tag}_trace_demo COMMAND ${compare} ${traces}/demo drive)
  set(tests ${tag}_trace_demo)
  file(GLOB scenarios CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/scenarios/*.txt
       ${PROJECT_SOURCE_DIR}/scenarios/*.route)
  foreach(file IN LISTS scenarios)
    get_filename_component(name ${file} NAME_WE)
    get_filename_component(ext ${file} LAST_EXT)
    if(ext STREQUAL ".route")
      set(command drive)
    else()
      set(command replay)
    endif()
    add_test(NAME ${tag}_trace_${name} COMMAND ${compare} ${traces}/${name} ${command} ${file})
    list(APPEND tests ${tag}_trace_${name})
  endforeach()
  add_test(NAME ${tag}_random_scenario
           COMMAND python3 ${PROJECT_SOURCE_DIR}/emu/tests/random_scenario.py --seed 20261208
                   --frames 8000 --out ${traces}/random_drive.txt)
  set_tests_properties(${tag}_random_scenario PROPERTIES FIXTURES_SETUP ${tag}_random_scenario
                                                         LABELS ${tag})
  add_test(NAME ${tag}_trace_random
           COMMAND ${compare} ${traces}/random replay ${traces}/random_drive.txt)
  set_tests_properties(${tag}_trace_random PROPERTIES
                       FIXTURES_REQUIRED ${tag}_random_scenario)
  list(APPEND tests ${tag}_trace_random)
  set(${tag}_TRACE_TESTS ${tests} PARENT_SCOPE)
endfunction()
